#include "game/game_data.h"

#include "textin/program.h"

namespace drusk {

Facing facingFromField(const std::string& field) {
    size_t first = field.find_first_not_of(' ');
    if (first == std::string::npos) return north;
    size_t last = field.find_last_not_of(' ');
    std::string letter = field.substr(first, last - first + 1);
    for (char& c : letter) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (letter == "n") return north;
    if (letter == "s") return south;
    if (letter == "w") return west;
    if (letter == "e") return east;
    return north;
}

void openGameFile(FieldReader& reader) {
    if (open(reader, assetRoot() + "/game.txt") != 0) {
        printLine("Can't locate game file!");
        endProgram(exitFatal);
    }
}

namespace {

void readEvent(FieldReader& reader, GameEvent& event) {
    readRestOfLine(reader);  // the separator line before every record
    event.row = readIntegerField(reader);
    event.column = readIntegerField(reader);
    event.facing = facingFromField(readStringField(reader));
    event.key = readStringField(reader);
    event.fatal = 0;
    if (!event.key.empty() && event.key.back() == '%') {
        event.key.pop_back();
        event.fatal = 1;
    }
    event.sound = readStringField(reader);
    event.text = readRestOfLine(reader);
}

}  // namespace

void loadGameData(FieldReader& reader, GameData& data, RoomCellHandler handler, void* context) {
    for (int row = 0; row < mapRows; ++row) {
        for (int column = 0; column < mapColumns; ++column) {
            int32_t value = readIntegerField(reader);
            data.map.cells[row][column] = value;
            if (value != 0 && handler) handler(column, row, context);
        }
    }
    data.start.column = readIntegerField(reader);
    data.start.row = readIntegerField(reader);
    data.start.facing = readIntegerField(reader);

    // Records past the last slot would never be used, so reading stops there.
    for (int slot = 0; slot < eventSlots && !atEndOfFile(reader); ++slot) {
        readEvent(reader, data.events.slots[slot]);
    }
    close(reader);
}

}  // namespace drusk
