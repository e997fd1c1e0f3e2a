// Plays small castles written by the test with the real program in a real
// window: screenshots are compared with the pixels the game must show, and
// keys go in through the X server.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "screen/draw.h"
#include "screen/font.h"
#include "tests/run_program.h"
#include "tests/temp_dir.h"
#include "tests/x11_session.h"
#include "tools/bmp_writer.h"
#include "tools/ogg_writer.h"

namespace drusk {
namespace {

using testing::Capture;
using testing::RunningProgram;
using testing::TempDir;
using testing::X11Session;
using testing::XWindowId;

constexpr uint32_t titleColour = 0x00336699;
constexpr uint32_t white = 0x00FFFFFF;

// Every view picture is one flat colour that tells its room and facing.
uint32_t viewColour(int column, int row, int facing) {
    return static_cast<uint32_t>(0x20 + column * 0x30) << 16 |
           static_cast<uint32_t>(0x20 + row * 0x30) << 8 |
           static_cast<uint32_t>(0x10 + facing * 0x30);
}

void writeFlatBmp(const TempDir& dir, const std::string& name,
                  const std::vector<uint32_t>& colours) {
    BmpFormat format;
    format.bitCount = 24;
    BmpPicture picture;
    ASSERT_TRUE(pictureFromColours(640, 480, colours, format, picture));
    ASSERT_TRUE(writeBmpFile(dir.path() + "/" + name, picture, format));
}

// A corridor of two rooms, (0,0) and (1,0); the start is (0,0) facing
// east. Arriving in (1,0) facing east says hello on two lines; facing north
// there is a trap.
void writeCastle(const TempDir& dir) {
    std::filesystem::create_directories(dir.path() + "/img");
    std::filesystem::create_directories(dir.path() + "/sfx");
    std::string map = "1,1,0,0,0,0\n";
    for (int row = 1; row < 8; ++row)
        map += "0,0,0,0,0,0\n";
    dir.write("game.txt", map +
                              "0,0,3\n"
                              "'\n0,1,e,_,-,Hello^World\n"
                              "'\n0,1,n,_%,-,A trap!\n");
    for (int column = 0; column < 2; ++column) {
        for (int facing = 0; facing < 4; ++facing) {
            std::string name = "img/0_" + std::to_string(column) + "_" + "nwse"[facing] + ".bmp";
            writeFlatBmp(
                dir, name,
                std::vector<uint32_t>(640 * 480, 0xFF000000 | viewColour(column, 0, facing)));
        }
    }
    writeFlatBmp(dir, "img/titlecard.bmp",
                 std::vector<uint32_t>(640 * 480, 0xFF000000 | titleColour));
    std::vector<uint32_t> overlay(640 * 480, 0xFFFF00FF);
    for (int x = 0; x < 640; ++x)
        overlay[240 * 640 + x] = 0xFFAA0000;  // one red line
    writeFlatBmp(dir, "img/gameover.bmp", overlay);
    std::vector<float> tone(4410);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.3f * std::sin(i * 0.1f);
    PcmSound sound{tone.data(), static_cast<int64_t>(tone.size()), 1, 44100};
    ASSERT_EQ(writeOggVorbis(dir.path() + "/sfx/die.ogg", sound), 0);
}

uint32_t blended(uint32_t below, Colour colour) {
    return blendPixel(below, colour) & 0x00FFFFFF;
}

class GameEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(x.ok()) << x.error();
        writeCastle(dir);
        program = dir.path() + "/drusk";
        testing::copyExecutable(DRUSK_BINARY, program);
    }

    void start() {
        // The windowing libraries keep allocations to the end of the process,
        // which a sanitizer build would report as the program's leaks.
        game = std::make_unique<RunningProgram>(
            program, dir.path(),
            std::vector<std::string>{"DRUSK_SCREEN=sdl", "SDL_AUDIODRIVER=dummy",
                                     "ASAN_OPTIONS=detect_leaks=0"});
        window = x.waitForWindow("drusk", 20000);
        ASSERT_NE(window, 0u) << game->err();
        x.focus(window);
    }

    // Waits until the pixel shows the colour; false after a few seconds.
    // While the screen opens, the renderer may replace the first window
    // with one of other properties; a window that cannot be read is looked
    // up again by its title.
    bool waitForPixel(int px, int py, uint32_t colour) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            shot = x.capturePicture(window, 640, 480);
            if (!shot.pixels.empty() && shot.at(px, py) == colour) return true;
            if (shot.pixels.empty()) {
                XWindowId again = x.waitForWindow("drusk", 0);
                if (again) window = again;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ADD_FAILURE() << "pixel (" << px << ", " << py << ") shows " << std::hex
                      << (shot.pixels.empty() ? 0xDEADu : shot.at(px, py)) << " instead of "
                      << colour << "; the game said: " << game->err();
        return false;
    }

    void key(const std::string& name, const std::vector<std::string>& modifiers = {}) {
        x.focus(window);
        ASSERT_TRUE(x.tapKey(name, modifiers)) << name;
    }

    // The view colour where no layer covers it, and the text that the
    // second panel line holds only when an event has two lines.
    void expectView(int column, int facing) {
        EXPECT_TRUE(waitForPixel(300, 200, viewColour(column, 0, facing)))
            << "column " << column << " facing " << facing << ": got " << std::hex
            << shot.at(300, 200);
    }

    X11Session x;
    TempDir dir;
    std::string program;
    std::unique_ptr<RunningProgram> game;
    XWindowId window = 0;
    Capture shot;
};

TEST_F(GameEndToEnd, TitleMovesEventsFatalRestartAndEscape) {
    start();
    ASSERT_TRUE(waitForPixel(300, 200, titleColour)) << "the title picture";

    key("space");
    expectView(0, 3);
    // Minimap: the player's cell yellow over the view, the neighbour blue,
    // a cell without a room black; the panel and the welcome line's first
    // glyph pixel.
    uint32_t below = viewColour(0, 0, 3);
    EXPECT_EQ(shot.at(5, 5), blended(below, 0x8CFFFF00));
    EXPECT_EQ(shot.at(15, 5), blended(below, 0x800000FF));
    EXPECT_EQ(shot.at(25, 5), blended(below, 0x80000000));
    EXPECT_EQ(shot.at(639, 479), blended(below, 0xC8000000));
    EXPECT_EQ(shot.at(5, 405), white) << "top-left pixel of the W of the welcome line";
    EXPECT_EQ(shot.at(5, 413), blended(below, 0xC8000000)) << "no second line";

    key("Left");  // facing north
    expectView(0, 0);
    key("Right");  // east again
    expectView(0, 3);
    key("Up");  // into (1,0): the two-line event
    expectView(1, 3);
    EXPECT_EQ(shot.at(5, 413), white) << "the W of the second line";
    EXPECT_EQ(shot.at(15, 5), blended(viewColour(1, 0, 3), 0x8CFFFF00)) << "the player moved";

    key("Up");  // blocked: the same frame again
    expectView(1, 3);
    key("Down");  // back to (0,0)
    expectView(0, 3);

    // The close button is only a key: the game goes on.
    x.requestClose(window);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(game->running());
    key("Up");
    expectView(1, 3);

    key("Left");  // north in (1,0): the trap
    EXPECT_TRUE(waitForPixel(300, 240, 0x00AA0000)) << "the game-over overlay's red line";
    EXPECT_EQ(shot.at(300, 200), viewColour(1, 0, 0)) << "magenta lets the frame show through";

    key("space");  // leaves the overlay for the title
    EXPECT_TRUE(waitForPixel(300, 200, titleColour));
    key("space");  // back at the start position and facing
    expectView(0, 3);

    key("Escape");
    EXPECT_EQ(game->wait(20), 0) << game->err();
}

TEST_F(GameEndToEnd, EscapeAtTheTitleOnlyStartsPlay) {
    start();
    ASSERT_TRUE(waitForPixel(300, 200, titleColour));
    key("Escape");  // any key starts play, Escape too
    expectView(0, 3);
    EXPECT_TRUE(game->running());
    key("Escape");
    EXPECT_EQ(game->wait(20), 0) << game->err();
}

}  // namespace
}  // namespace drusk
