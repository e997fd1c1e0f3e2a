// The game's main routine: start-up in its fixed order, the title, the play
// loop, the restart after a fatal event, and the end.
#include <cstdio>
#include <string>

#include "audio/audio.h"
#include "game/frame.h"
#include "game/game_data.h"
#include "game/movement.h"
#include "game/view_pictures.h"
#include "screen/bitmap.h"
#include "screen/image.h"
#include "screen/keyboard.h"
#include "screen/screen.h"
#include "textin/field_reader.h"
#include "textin/program.h"

namespace drusk {

namespace {

const KeyString escapeKey = "\x1B";
const KeyString quitKey = "\xFFh";  // F1 with Ctrl and Alt

// Without a display no key can ever arrive, so the title would wait for
// ever; say why instead and fail.
[[noreturn]] void noDisplay() {
    std::string tried = triedScreenBackends();
    if (tried.empty()) tried = "none";
    std::string message = "drusk: no display could be opened (tried: " + tried +
                          "). Set DRUSK_SCREEN=null to run without one.\n";
    std::fputs(message.c_str(), stderr);
    endProgram(exitFatal);
}

struct Game {
    FieldReader reader;
    GameData data;
    ViewImageTable views;
    Image* gameOver = nullptr;
    AudioHandle music = noAudio;
};

// Every data path is built on assetRoot as it is needed, starting with the
// game file's.
void startUp(Game& game) {
    openGameFile(game.reader);
    if (openScreen(640, 480, 32, 2, fullScreen | alphaPrimitives, 0) != 0) noDisplay();
    setMouse(-1, -1, 0, -1);
    initAudio();
    game.music = loadMusic(assetRoot() + "/sfx/castletheme.mo3");
    game.gameOver = createImage(640, 480);
    loadBitmap(assetRoot() + "/img/gameover.bmp", game.gameOver);
    loadGameData(game.reader, game.data, loadViewPictures, &game.views);
    playChannel(game.music);
}

// Plays from the title until an exit key; a fatal event starts over.
void play(Game& game) {
    for (;;) {
        PlayerState player = game.data.start;
        loadBitmap(assetRoot() + "/img/titlecard.bmp", nullptr);
        waitKey();
        KeyString key;
        uint8_t redrawPending = 1;
        for (;;) {
            key = pollKey();
            if (applyMoveKey(game.data.map, player, key)) redrawPending = 1;
            if (redrawPending) {
                FrameInputs inputs{&game.data, &game.views, game.gameOver, player};
                if (composeFrame(inputs, key, redrawPending) == FrameResult::Fatal) break;
            }
            sleepMs(10);
            if (key == escapeKey || key == quitKey) return;
        }
    }
}

}  // namespace

}  // namespace drusk

int main() {
    using namespace drusk;
    static Game game;
    startUp(game);
    play(game);
    freeAudio();
    endProgram(exitNormal);
}
