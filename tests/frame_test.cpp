#include "game/frame.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "screen/font.h"
#include "screen/keyboard.h"
#include "screen/screen.h"

namespace drusk {
namespace {

constexpr Colour white = 0xFFFFFFFF;
constexpr Colour black = 0xFF000000;

uint32_t rgbOf(Colour c) {
    return c & 0x00FFFFFF;
}

class FrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("DRUSK_SCREEN", "null", 1);
        ASSERT_EQ(openScreen(640, 480, 32, 2, fullScreen | alphaPrimitives, 0), 0);
        data.map.cells[0][0] = 1;
        data.map.cells[0][1] = 1;
        data.map.cells[1][1] = 1;
        view = createImage(640, 480);
        for (uint32_t y = 0; y < 480; ++y) {
            for (uint32_t x = 0; x < 640; ++x)
                imageRow(view, y)[x] = white;
        }
        views.images[0][0][north] = view;
        gameOver = createImage(640, 480);
        for (uint32_t x = 0; x < 640; ++x)
            imageRow(gameOver, 200)[x] = 0xFF123456;
    }
    void TearDown() override {
        closeScreen();
        destroyImage(view);
        destroyImage(gameOver);
    }

    Colour pixel(int x, int y) const { return screenRow(*currentScreen(), 0, y)[x]; }

    FrameResult compose(PlayerState player, const std::string& key = "") {
        FrameInputs inputs{&data, &views, gameOver, player};
        redrawPending = 1;
        return composeFrame(inputs, key, redrawPending);
    }

    GameData data;
    ViewImageTable views;
    Image* view = nullptr;
    Image* gameOver = nullptr;
    uint8_t redrawPending = 0;
};

TEST_F(FrameTest, LayersOverAViewPicture) {
    ASSERT_EQ(compose({0, 0, north}), FrameResult::Complete);
    EXPECT_EQ(redrawPending, 0);
    EXPECT_EQ(currentScreen()->lockCount, 0);
    // The player's cell: yellow, alpha 140, over white.
    EXPECT_EQ(rgbOf(pixel(5, 5)), 0xFFFF73u);
    EXPECT_EQ(rgbOf(pixel(13, 13)), 0xFFFF73u);
    // A room: blue, alpha 128, over white.
    EXPECT_EQ(rgbOf(pixel(15, 15)), 0x7F7FFFu);
    // No room: black, alpha 128, over white.
    EXPECT_EQ(rgbOf(pixel(25, 5)), 0x7F7F7Fu);
    // The one-pixel gaps and the rest of the view stay white.
    EXPECT_EQ(pixel(14, 5), white);
    EXPECT_EQ(pixel(64, 84), white);
    EXPECT_EQ(pixel(300, 399), white);
    // The panel over white, where no glyph pixel is.
    EXPECT_EQ(rgbOf(pixel(639, 479)), 0x373737u);
    EXPECT_EQ(rgbOf(pixel(0, 400)), 0x373737u);
}

TEST_F(FrameTest, WelcomeLineGlyphs) {
    compose({0, 0, north}, "z");  // with a key, the empty slots here do not match
    const std::string line = welcomeLine;
    ASSERT_LE(5 + 8 * line.size(), 640u) << "the whole line fits on the screen";
    for (size_t k = 0; k < line.size(); ++k) {
        const uint8_t* glyph = screenFont[static_cast<uint8_t>(line[k])];
        for (int r = 0; r < 8; ++r) {
            for (int i = 0; i < 8; ++i) {
                bool set = glyph[r] & (0x80 >> i);
                Colour expected = set ? white : 0xFF373737;
                ASSERT_EQ(rgbOf(pixel(5 + 8 * static_cast<int>(k) + i, 405 + r)), rgbOf(expected))
                    << "character " << k << " row " << r << " column " << i;
            }
        }
    }
}

TEST_F(FrameTest, PlayerCellIsYellowEvenWithoutARoom) {
    // Column 2, row 0 is no room and has no picture: the layers blend over
    // the opaque black of the fresh screen.
    compose({2, 0, north});
    EXPECT_EQ(rgbOf(pixel(25, 5)), 0x8B8B00u);
    EXPECT_EQ(rgbOf(pixel(5, 5)), 0x00007Fu);  // a room, blue over black
    EXPECT_EQ(rgbOf(pixel(300, 200)), 0u);
}

TEST_F(FrameTest, WithoutAPictureTheLayersDeepenOverThePreviousFrame) {
    compose({0, 0, north});  // white view below everything
    compose({2, 0, north});  // no picture: blends over the first frame
    // The no-room square was 0x7F grey; now the yellow of the player's cell
    // blends over it.
    EXPECT_EQ(rgbOf(pixel(25, 5)), 0xC5C539u);
    // The view area outside the minimap keeps the first frame.
    EXPECT_EQ(pixel(300, 200), white);
    // The panel blends twice: 0x37 then 0x0C.
    EXPECT_EQ(rgbOf(pixel(639, 479)), 0x0C0C0Cu);
}

TEST_F(FrameTest, EventTextReplacesTheWelcomeLine) {
    data.events.slots[0] = GameEvent{0, 0, north, "a", "A^", 0, "-"};
    compose({0, 0, north}, "a");
    const uint8_t* glyph = screenFont['A'];
    for (int i = 0; i < 8; ++i) {
        bool set = glyph[0] & (0x80 >> i);
        EXPECT_EQ(pixel(5 + i, 405), set ? white : 0xFF373737) << i;
    }
    // Where the welcome line's second character would be, only the panel.
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(rgbOf(pixel(13 + i, 405 + 2)), 0x373737u);
}

TEST_F(FrameTest, AnEmptySlotAtTheNorthWestCornerAnswersNoKey) {
    // Slots no record reached are at column 0, row 0, facing north with an
    // empty key: they match a frame composed without a key press there.
    data.events.slots[3] = GameEvent{0, 0, north, "_", "Dead", 1, ""};
    EXPECT_EQ(compose({0, 0, north}), FrameResult::Complete);
    EXPECT_EQ(rgbOf(pixel(5, 405)), 0x373737u) << "slot 0 matched: no welcome line";
    pushKey('x');  // ends the game-over wait
    EXPECT_EQ(compose({0, 0, north}, "q"), FrameResult::Fatal)
        << "with a key pressed, the empty slots no longer match and slot 3 fires";
}

TEST_F(FrameTest, EmptyEventTextStillHidesTheWelcomeLine) {
    data.events.slots[0] = GameEvent{0, 0, north, "_", "", 0, "-"};
    compose({0, 0, north});
    for (int x = 0; x < 640; ++x) {
        for (int y = 400; y < 480; ++y)
            ASSERT_EQ(rgbOf(pixel(x, y)), 0x373737u);
    }
}

TEST_F(FrameTest, FatalEventLaysTheOverlayAndWaitsForAKey) {
    data.events.slots[0] = GameEvent{0, 0, north, "_", "Dead", 1, ""};
    pushKey('x');  // ends the wait for a key at once
    EXPECT_EQ(compose({0, 0, north}), FrameResult::Fatal);
    EXPECT_EQ(redrawPending, 1) << "a fatal frame is not finished";
    EXPECT_EQ(currentScreen()->lockCount, 0);
    EXPECT_EQ(pixel(100, 200), 0x00123456u) << "overlay pixels arrive with alpha 0";
    EXPECT_EQ(pixel(100, 201), white) << "mask-coloured pixels leave the frame";
    EXPECT_EQ(pollKey(), "") << "the key that ended the wait is taken";
}

}  // namespace
}  // namespace drusk
