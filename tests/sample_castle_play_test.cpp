// Plays the sample castle with the real program in a real window, as the
// build lays it out: title, moves, the book, both ways into the pit, the
// way out, and the restarts in between. Every frame is compared pixel for
// pixel with one put together here from the castle's own files: the view
// picture, the minimap, the panel and the glyphs of the message that
// game.txt gives for that room and facing.
//
// With DRUSK_SCREENSHOT_DIR set, the walk also saves the title and a room
// as PNG files there (the README's pictures come from this).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

#include "game/event_rules.h"
#include "game/frame.h"
#include "game/game_data.h"
#include "game/view_pictures.h"
#include "screen/bitmap.h"
#include "screen/draw.h"
#include "screen/font.h"
#include "screen/image.h"
#include "screen/screen.h"
#include "tests/png_file.h"
#include "tests/run_program.h"
#include "tests/x11_session.h"

namespace drusk {
namespace {

using testing::Capture;
using testing::RunningProgram;
using testing::X11Session;
using testing::XWindowId;

constexpr int width = 640;
constexpr int height = 480;
constexpr uint32_t rgbMask = 0x00FFFFFF;

const std::string castleDir = DRUSK_CASTLE_DIR;

constexpr int welcome = -1;  // no event: the welcome line

enum class Shows { Title, Frame };

// One key press and what the window must show after it.
struct Step {
    const char* key;
    Shows shows;
    int column = 0;
    int row = 0;
    Facing facing = north;
    int slot = welcome;  // the event whose message the panel shows
    bool shift = false;
    const char* screenshot = nullptr;  // saved under this name on request
};

Step title(const char* key = "space") {
    return {key, Shows::Title};
}
Step frame(const char* key, int column, int row, Facing facing, int slot = welcome) {
    return {key, Shows::Frame, column, row, facing, slot};
}

// The walk. Event slots as game.txt numbers them: 0 entrance, 1 the barred
// gate behind it, 2 the draught, 3 the pit ahead, 4 the pit walked into
// backwards, 5 the great hall, 6 the book, 7 the library shelves, 8 the
// crypt, 9 the dead end, 10 the door, 11 the way out.
std::vector<Step> walk() {
    Step hall = frame("Up", 3, 4, north, 5);
    hall.screenshot = "room.png";
    Step shiftR = frame("r", 5, 2, east, 6);
    shiftR.shift = true;
    return {
        // First game: look around the entrance, then back into the pit.
        frame("space", 3, 7, north, 0),
        frame("Left", 3, 7, west),
        frame("Left", 3, 7, south, 1),
        frame("Right", 3, 7, west),
        frame("Right", 3, 7, north, 0),
        frame("Up", 3, 6, north),
        frame("Right", 3, 6, east, 2),
        frame("Up", 4, 6, east),
        frame("Up", 5, 6, east),
        frame("Right", 5, 6, south),
        frame("Down", 5, 5, south, 4),
        title(),
        frame("space", 3, 7, north, 0),
        // Second game: straight into the pit.
        frame("Up", 3, 6, north),
        frame("Right", 3, 6, east, 2),
        frame("Up", 4, 6, east),
        frame("Up", 5, 6, east),
        frame("Left", 5, 6, north),
        frame("Up", 5, 5, north, 3),
        title(),
        frame("space", 3, 7, north, 0),
        // Third game: the hall, the library and its book, the crypt, the
        // western dead end, and out through the door.
        frame("Up", 3, 6, north),
        frame("Up", 3, 5, north),
        hall,
        frame("Up", 3, 3, north),
        frame("Right", 3, 3, east),
        frame("Up", 4, 3, east),
        frame("Left", 4, 3, north),
        frame("Up", 4, 2, north),
        frame("Right", 4, 2, east),
        frame("Up", 5, 2, east, 7),
        frame("r", 5, 2, east, 6),
        frame("x", 5, 2, east, 7),
        shiftR,
        frame("Down", 4, 2, east),
        frame("Left", 4, 2, north),
        frame("Up", 4, 1, north),
        frame("Left", 4, 1, west),
        frame("Up", 3, 1, west),
        frame("Up", 2, 1, west),
        frame("Up", 1, 1, west),
        frame("Left", 1, 1, south),
        frame("Up", 1, 2, south),
        frame("Up", 1, 3, south),
        frame("Right", 1, 3, west),
        frame("Up", 0, 3, west, 8),
        frame("Down", 1, 3, west),
        frame("Left", 1, 3, south),
        frame("Up", 1, 4, south),
        frame("Up", 1, 5, south),
        frame("Up", 1, 6, south, 9),
        frame("Left", 1, 6, east),
        frame("Left", 1, 6, north),
        frame("Up", 1, 5, north),
        frame("Up", 1, 4, north),
        frame("Up", 1, 3, north),
        frame("Up", 1, 2, north),
        frame("Up", 1, 1, north),
        frame("Right", 1, 1, east),
        frame("Up", 2, 1, east),
        frame("Left", 2, 1, north, 10),
        frame("Up", 2, 0, north, 11),
        title(),
        frame("space", 3, 7, north, 0),
    };
}

void noRoom(int32_t, int32_t, void*) {}

class SampleCastlePlay : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(x.ok()) << x.error();
        FieldReader reader;
        ASSERT_EQ(open(reader, castleDir + "/game.txt"), 0) << castleDir;
        loadGameData(reader, data, noRoom, nullptr);
        // The expected frames are put together from pictures loaded here by
        // the game's own loader, into images on a screen in memory.
        setenv("DRUSK_SCREEN", "null", 1);
        ASSERT_EQ(openScreen(width, height, 32, 2, fullScreen | alphaPrimitives, 0), 0);
        picture = createImage(width, height);
        titlePicture = loadPicture("/img/titlecard.bmp");
        gameOver = loadPicture("/img/gameover.bmp");
    }
    void TearDown() override {
        destroyImage(picture);
        closeScreen();
    }

    std::vector<uint32_t> loadPicture(const std::string& name) {
        for (uint32_t y = 0; y < height; ++y)
            std::fill_n(imageRow(picture, y), width, maskColour);
        EXPECT_EQ(loadBitmap(castleDir + name, picture), Ok) << name;
        std::vector<uint32_t> pixels;
        for (uint32_t y = 0; y < height; ++y)
            pixels.insert(pixels.end(), imageRow(picture, y), imageRow(picture, y) + width);
        return pixels;
    }

    static void blendBox(std::vector<uint32_t>& frame, int left, int top, int right, int bottom,
                         Colour colour) {
        for (int y = top; y <= bottom; ++y)
            for (int x = left; x <= right; ++x)
                frame[y * width + x] = blendPixel(frame[y * width + x], colour);
    }

    static void glyphs(std::vector<uint32_t>& frame, int left, int top, const std::string& text) {
        for (size_t i = 0; i < text.size(); ++i) {
            for (int gy = 0; gy < glyphHeight; ++gy) {
                uint8_t bits = screenFont[static_cast<uint8_t>(text[i])][gy];
                for (int gx = 0; gx < glyphWidth; ++gx) {
                    int x = left + static_cast<int>(i) * glyphWidth + gx, y = top + gy;
                    if ((bits & (0x80 >> gx)) && x < width && y < height)
                        frame[y * width + x] = 0xFFFFFFFF;
                }
            }
        }
    }

    // What the window must show for a step: the view of the room, the
    // minimap with the player's cell, the panel, the message or the welcome
    // line, and for a fatal event the game-over overlay on top.
    std::vector<uint32_t> expectedFrame(const Step& step) {
        std::vector<uint32_t> frame = titlePicture;
        if (step.shows == Shows::Frame) {
            std::string name = "/img/" + std::to_string(step.row) + "_" +
                               std::to_string(step.column) + "_" + facingLetter(step.facing) +
                               ".bmp";
            frame = loadPicture(name);
            for (int row = 0; row < mapRows; ++row) {
                for (int column = 0; column < mapColumns; ++column) {
                    Colour colour = data.map.cells[row][column] != 0 ? 0x800000FF : 0x80000000;
                    if (column == step.column && row == step.row) colour = 0x8CFFFF00;
                    blendBox(frame, column * 10 + 5, row * 10 + 5, column * 10 + 13, row * 10 + 13,
                             colour);
                }
            }
            blendBox(frame, 0, 400, 639, 479, 0xC8000000);
            if (step.slot == welcome) {
                glyphs(frame, 5, 405, welcomeLine);
            } else {
                int top = 405;
                for (const std::string& line : messageLines(data.events.slots[step.slot].text)) {
                    glyphs(frame, 5, top, line);
                    top += 8;
                }
                if (data.events.slots[step.slot].fatal) {
                    for (size_t i = 0; i < frame.size(); ++i)
                        if ((gameOver[i] & rgbMask) != (maskColour & rgbMask))
                            frame[i] = gameOver[i];
                }
            }
        }
        for (uint32_t& pixel : frame)
            pixel &= rgbMask;
        return frame;
    }

    // Polls the window until it shows the frame; false after a generous
    // while, with what differed.
    bool waitForFrame(const std::vector<uint32_t>& expected, const std::string& what) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            shot = x.capturePicture(window, width, height);
            if (shot.pixels == expected) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        int wrong = 0, firstX = -1, firstY = -1;
        for (size_t i = 0; i < shot.pixels.size() && i < expected.size(); ++i) {
            if (shot.pixels[i] == expected[i]) continue;
            if (wrong++ == 0) {
                firstX = static_cast<int>(i % width);
                firstY = static_cast<int>(i / width);
            }
        }
        ADD_FAILURE() << what << ": " << wrong << " pixels differ, the first at (" << firstX << ", "
                      << firstY << ")" << (shot.pixels.empty() ? "; no capture" : "")
                      << "; the game said: " << game->err();
        return false;
    }

    void saveScreenshot(const char* name) {
        const char* dir = std::getenv("DRUSK_SCREENSHOT_DIR");
        if (!dir || !name) return;
        std::string path = std::string(dir) + "/" + name;
        EXPECT_EQ(testing::writePng(path, width, height, shot.pixels), 0) << path;
    }

    X11Session x;
    GameData data;
    Image* picture = nullptr;
    std::vector<uint32_t> titlePicture;
    std::vector<uint32_t> gameOver;
    std::unique_ptr<RunningProgram> game;
    XWindowId window = 0;
    Capture shot;
};

std::string describe(const Step& step) {
    if (step.shows == Shows::Title) return std::string(step.key) + ": the title";
    return std::string(step.shift ? "Shift+" : "") + step.key + ": column " +
           std::to_string(step.column) + " row " + std::to_string(step.row) + " facing " +
           facingLetter(step.facing) +
           (step.slot == welcome ? ", the welcome line" : ", event " + std::to_string(step.slot));
}

TEST_F(SampleCastlePlay, WalksToEveryEventAndOut) {
    // Every event the walk expects stands where game.txt puts it.
    std::vector<Step> steps = walk();
    for (const Step& step : steps) {
        if (step.shows != Shows::Frame || step.slot == welcome) continue;
        const GameEvent& event = data.events.slots[step.slot];
        ASSERT_EQ(event.column, step.column) << describe(step);
        ASSERT_EQ(event.row, step.row) << describe(step);
        ASSERT_EQ(event.facing, step.facing) << describe(step);
    }

    // In place, as ./run starts it. The windowing libraries keep
    // allocations to the end of the process, which a sanitizer build would
    // report as the program's leaks.
    game = std::make_unique<RunningProgram>(
        castleDir + "/drusk", castleDir,
        std::vector<std::string>{"DRUSK_SCREEN=sdl", "SDL_AUDIODRIVER=dummy",
                                 "ASAN_OPTIONS=detect_leaks=0"});
    window = x.waitForWindow("drusk", 30000);
    ASSERT_NE(window, 0u) << game->err();
    x.focus(window);
    ASSERT_TRUE(waitForFrame(expectedFrame(title()), "the title at start-up"));
    saveScreenshot("title.png");

    std::set<int> seen;
    for (const Step& step : steps) {
        x.focus(window);
        ASSERT_TRUE(x.tapKey(step.key, step.shift ? std::vector<std::string>{"Shift_L"}
                                                  : std::vector<std::string>{}));
        ASSERT_TRUE(waitForFrame(expectedFrame(step), describe(step)));
        saveScreenshot(step.screenshot);
        if (step.shows == Shows::Frame) seen.insert(step.slot);
    }
    for (int slot = 0; slot < eventSlots; ++slot) {
        if (data.events.slots[slot].text.empty()) continue;
        EXPECT_TRUE(seen.count(slot)) << "the walk never shows event " << slot;
    }

    x.focus(window);
    ASSERT_TRUE(x.tapKey("Escape"));
    EXPECT_EQ(game->wait(30), 0) << game->err();
}

}  // namespace
}  // namespace drusk
