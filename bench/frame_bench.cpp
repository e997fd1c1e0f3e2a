// One whole frame of play on the in-memory screen (view picture, minimap,
// panel, and the welcome line or an event's text), and one pass of the
// play loop that takes a key and answers it with a frame, against copying
// the frame's 1,228,800 bytes with memcpy.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "game/frame.h"
#include "game/movement.h"
#include "screen/image.h"
#include "screen/keyboard.h"
#include "screen/screen.h"

namespace {

using namespace drusk;

constexpr size_t frameBytes = 640 * 480 * 4;

// A castle whose every cell is a room, seen in four pictures (one per
// facing, shared by the rooms), and one event in the cell (1, 0) facing north with a three-line
// message.
struct Castle {
    GameData data;
    ViewImageTable views;
    Image* gameOver = nullptr;
};

Castle& castle() {
    static Castle* made = [] {
        setenv("DRUSK_SCREEN", "null", 1);
        if (openScreen(640, 480, 32, 2, fullScreen | alphaPrimitives, 0) != 0) std::abort();
        auto* c = new Castle;
        uint32_t noise = 12345;
        Image* pictures[4];
        for (Image*& image : pictures) {
            image = createImage(640, 480);
            for (uint32_t y = 0; y < 480; ++y) {
                for (uint32_t x = 0; x < 640; ++x) {
                    noise = noise * 1103515245u + 12345u;
                    imageRow(image, y)[x] = 0xFF000000u | (noise >> 8);
                }
            }
        }
        for (int row = 0; row < mapRows; ++row) {
            for (int column = 0; column < mapColumns; ++column) {
                c->data.map.cells[row][column] = 1;
                for (int facing = 0; facing < 4; ++facing)
                    c->views.images[column][row][facing] = pictures[facing];
            }
        }
        c->data.events.slots[0] =
            GameEvent{1,
                      0,
                      north,
                      "_",
                      "The door behind you falls shut with a crash that shakes dust from the walls."
                      "^A cold draught comes from the stairs to the north.^Something moves below.",
                      0,
                      "-"};
        c->gameOver = createImage(640, 480);
        return c;
    }();
    return *made;
}

FrameInputs inputsAt(PlayerState player) {
    Castle& c = castle();
    return {&c.data, &c.views, c.gameOver, player};
}

// The reference: the frame's bytes from a picture-sized buffer onto the
// screen page.
void MemcpyFrame(benchmark::State& state) {
    castle();
    std::vector<uint32_t> source(640 * 480, 0xFF123456u);
    Screen* screen = currentScreen();
    for (auto _ : state) {
        std::memcpy(screen->pages[0], source.data(), frameBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * frameBytes);
}
BENCHMARK(MemcpyFrame);

// Whole frames composed where the player stands: at (2, 3) facing east no
// event answers, so the welcome line is drawn; at (1, 0) facing north an
// event's three lines take its place.
void composeFrameAt(benchmark::State& state, PlayerState player) {
    FrameInputs inputs = inputsAt(player);
    uint8_t redrawPending = 1;
    for (auto _ : state) {
        redrawPending = 1;
        if (composeFrame(inputs, "", redrawPending) != FrameResult::Complete) std::abort();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * frameBytes);
}
void ComposeFrameWelcome(benchmark::State& state) {
    composeFrameAt(state, {2, 3, east});
}
void ComposeFrameEvent(benchmark::State& state) {
    composeFrameAt(state, {1, 0, north});
}
BENCHMARK(ComposeFrameWelcome);
BENCHMARK(ComposeFrameEvent);

// One pass of the play loop with a key waiting, as main runs it but
// without its 10 ms sleep: the key is queued the way the window thread
// queues it, polled, turns the player, and the new view is composed. Each
// key turns to another of the four pictures, so the view is not the one
// copied just before.
void KeyToFrame(benchmark::State& state) {
    Castle& c = castle();
    PlayerState player{2, 3, north};
    const KeyCode turnRight = extendedKey(0x4D);
    for (auto _ : state) {
        pushKey(turnRight);
        KeyString key = pollKey();
        uint8_t redrawPending = 0;
        if (applyMoveKey(c.data.map, player, key)) redrawPending = 1;
        if (!redrawPending) std::abort();
        if (composeFrame(inputsAt(player), key, redrawPending) != FrameResult::Complete) {
            std::abort();
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(KeyToFrame);

// A pass with no key: what the loop does a hundred times a second while
// the player does nothing (again without the sleep).
void IdlePass(benchmark::State& state) {
    Castle& c = castle();
    PlayerState player{2, 3, north};
    for (auto _ : state) {
        KeyString key = pollKey();
        uint8_t redrawPending = 0;
        if (applyMoveKey(c.data.map, player, key)) redrawPending = 1;
        if (redrawPending) std::abort();
        benchmark::DoNotOptimize(player);
    }
}
BENCHMARK(IdlePass);

}  // namespace

int main(int argc, char** argv) {
    return drusk::bench::runWithRatios(argc, argv,
                                       {
                                           {"ComposeFrameWelcome", "MemcpyFrame", "< 3"},
                                           {"ComposeFrameEvent", "MemcpyFrame", "< 3"},
                                           {"KeyToFrame", "MemcpyFrame", ""},
                                           {"IdlePass", "MemcpyFrame", ""},
                                       });
}
