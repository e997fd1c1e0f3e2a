#include "tools/castle/castle_plan.h"

namespace drusk::castle {

namespace {

CastlePlan makePlan() {
    // Rows from north to south; the gate out is at the top, the entrance at
    // the bottom.
    const char* map[rows] = {
        "..X...",  //
        ".CCCC.",  //
        ".C..LL",  //
        "KC.HH.",  //
        ".C.HH.",  //
        ".CCC.T",  //
        ".C.ETT",  //
        "...E..",  //
    };
    CastlePlan plan{};
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c)
            plan.cells[r][c] = static_cast<Area>(map[r][c]);
    }
    plan.startColumn = 3;
    plan.startRow = 7;
    plan.startFacing = 0;
    plan.pitColumn = 5;
    plan.pitRow = 5;
    plan.gateColumn = 2;
    plan.gateRow = 0;
    plan.events = {
        {7, 3, 'n', "_", "-",
         "You stand in the entrance of Vezoza Drusk. The gate has fallen shut behind you.^"
         "Somewhere in these halls there must be another way out.",
         "The entrance: shown on arrival and on every key pressed here, facing north"},
        {7, 3, 's', "_", "door", "The gate is barred from outside. There is no way back.",
         "Turning round at the entrance: a sound plays each time"},
        {6, 3, 'e', "_", "-", "A draught comes from the narrow passage to the east.",
         "A hint at the side passage"},
        {5, 5, 'n', "_%", "-",
         "The floor gives way beneath you!^You fall into the darkness below Vezoza Drusk...",
         "The pit: fatal on arrival; the sound field \"-\" plays the default death sound"},
        {5, 5, 's', "_%", "-", "You stumble backwards into the pit...",
         "The same pit, for a player who walks in backwards"},
        {4, 3, 'n', "_", "chime",
         "The great hall. Faded banners hang from the walls,^"
         "each showing a tower above a closed gate.",
         "Arrival in the hall, a message on two lines"},
        {2, 5, 'e', "r", "page",
         "The book reads:^"
         "  \"The keeper of Drusk sealed the southern gate and fled north.^"
         "   His door opens north off the upper corridor.\"",
         "Reading the book: only the R key fires it, so it comes before the any-key event"},
        {2, 5, 'e', "_", "-",
         "Shelves of mouldering books. One lies open on a lectern.^(Press R to read it.)",
         "The library, facing the lectern"},
        {3, 0, 'w', "_", "drip",
         "Cold air. Old bones lie in the niches of the crypt.^"
         "Nothing here but the dead.",
         "A dead end in the crypt"},
        {6, 1, 's', "_", "-", "A dead end. Scratches on the wall count days.",
         "A dead end in the western corridor"},
        {1, 2, 'n', "_", "-", "A heavy door stands to the north, light showing under it.",
         "Approaching the gate"},
        {0, 2, 'n', "_%", "victory",
         "You push the door open and step into the daylight.^"
         "You have escaped Vezoza Drusk!^^Press a key to play again.",
         "The exit: fatal too, so the game starts over, with its own sound"},
    };
    return plan;
}

}  // namespace

const CastlePlan& vezozaDrusk() {
    static const CastlePlan plan = makePlan();
    return plan;
}

bool isRoom(const CastlePlan& plan, int column, int row) {
    return column >= 0 && column < columns && row >= 0 && row < rows &&
           plan.cells[row][column] != Area::None;
}

std::string gameText(const CastlePlan& plan) {
    std::string text;
    // The map: one line per row from north to south, west to east; 0 is no
    // room, any other number a room.
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            text += isRoom(plan, c, r) ? "1" : "0";
            text += c + 1 < columns ? "," : "\r\n";
        }
    }
    // The start: column, row, facing (0 north, 1 west, 2 south, 3 east).
    text += std::to_string(plan.startColumn) + "," + std::to_string(plan.startRow) + "," +
            std::to_string(plan.startFacing) + "\r\n";
    // Each event: a line of its own that the game skips, then row, column,
    // facing letter, key ("_" any key, a trailing "%" ends the game), sound
    // name ("-" for none) and the message, "^" breaking its lines.
    for (const EventLine& e : plan.events) {
        text += "' " + e.comment + "\r\n";
        text += std::to_string(e.row) + "," + std::to_string(e.column) + "," + e.facing + "," +
                e.key + "," + e.sound + "," + e.text + "\r\n";
    }
    return text;
}

}  // namespace drusk::castle
