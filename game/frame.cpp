#include "game/frame.h"

#include "audio/audio.h"
#include "game/event_rules.h"
#include "screen/draw.h"
#include "screen/keyboard.h"
#include "screen/screen.h"
#include "textin/program.h"

namespace drusk {

namespace {

constexpr Colour noRoomColour = 0x80000000;
constexpr Colour roomColour = 0x800000FF;
constexpr Colour playerColour = 0x8CFFFF00;
constexpr Colour panelColour = 0xC8000000;
constexpr Colour textColour = 0xFFFFFFFF;
constexpr float textLeft = 5;
constexpr float textTop = 405;
constexpr float lineHeight = 8;

void drawMinimap(const RoomMap& map, const PlayerState& player) {
    for (int row = 0; row < mapRows; ++row) {
        for (int column = 0; column < mapColumns; ++column) {
            Colour colour = noRoomColour;
            if (map.cells[row][column] != 0) colour = roomColour;
            if (column == player.column && row == player.row) colour = playerColour;
            fillBox(column * 10 + 5, row * 10 + 5, column * 10 + 13, row * 10 + 13, colour);
        }
    }
}

}  // namespace

ScanResult scanEvents(const FrameInputs& inputs, const std::string& key) {
    int slot = findEvent(inputs.data->events, inputs.player, key);
    if (slot == noEvent) return ScanResult::NothingShown;
    const GameEvent& event = inputs.data->events.slots[slot];

    float y = textTop;
    for (const std::string& line : messageLines(event.text)) {
        drawText(textLeft, y, line, textColour);
        y += lineHeight;
    }

    std::string sound = eventSoundName(event);
    if (!sound.empty()) playChannel(createSoundStream(assetRoot() + "/sfx/" + sound + ".ogg"));

    if (!event.fatal) return ScanResult::Shown;
    putImage(0, 0, inputs.gameOver, Transparent);
    unlockScreen(-1, -1);
    waitKey();
    return ScanResult::Fatal;
}

FrameResult composeFrame(const FrameInputs& inputs, const std::string& key,
                         uint8_t& redrawPending) {
    const PlayerState& player = inputs.player;
    lockScreen();
    putImage(0, 0, viewPicture(*inputs.views, player.column, player.row, player.facing), Copy);
    drawMinimap(inputs.data->map, player);
    fillBox(0, 400, 639, 479, panelColour);
    ScanResult scan = scanEvents(inputs, key);
    if (scan == ScanResult::Fatal) return FrameResult::Fatal;
    if (scan == ScanResult::NothingShown) drawText(textLeft, textTop, welcomeLine, textColour);
    redrawPending = 0;
    unlockScreen(-1, -1);
    return FrameResult::Complete;
}

}  // namespace drusk
