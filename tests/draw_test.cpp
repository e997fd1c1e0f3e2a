#include "screen/draw.h"

#include <gtest/gtest.h>

#include <string>

#include "screen/console.h"
#include "screen/font.h"
#include "screen/image.h"
#include "tests/screen_fixture.h"
#include "textin/program.h"

namespace drusk {
namespace {

using DrawTest = testing::ScreenTest;

uint32_t rgb(uint32_t pixel) {
    return pixel & 0x00FFFFFF;
}

TEST(AlphaRule, KnownAnswers) {
    struct Case {
        uint32_t colour, old, expectedRgb;
    };
    const Case cases[] = {
        {0xC8000000, 0xFFFFFFFF, 0x373737},  // panel over white
        {0x80000000, 0xFF808080, 0x404040},
        {0x80000000, 0xFFFFFFFF, 0x7F7F7F},
        {0x80000000, 0xFF7F7F7F, 0x3F3F3F},  // the same box twice
        {0x800000FF, 0xFFFFFFFF, 0x7F7FFF},
        {0x8CFFFF00, 0xFF000000, 0x8B8B00},
        {0xC8000000, 0xFF123456, 0x030B12},
        {0x00ABCDEF, 0xFF123456, 0x123456},  // alpha 0 changes nothing
        {0xFEFFFFFF, 0xFF000000, 0xFDFDFD},  // never quite reaches the colour
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rgb(blendPixel(c.old, c.colour)), c.expectedRgb)
            << std::hex << c.colour << " over " << c.old;
    }
}

TEST(AlphaRule, MatchesTheRoundedDownWeightedSumForEveryValue) {
    // new = floor((old * (256 - a) + c * a) / 256), channel by channel.
    for (uint32_t a = 0; a < 255; a += 3) {
        for (uint32_t c = 0; c < 256; c += 5) {
            for (uint32_t old = 0; old < 256; old += 7) {
                uint32_t expected = (old * (256 - a) + c * a) / 256;
                uint32_t colour = a << 24 | c << 16 | (255 - c) << 8 | c;
                uint32_t pixel = 0xFF000000u | old << 16 | (255 - old) << 8 | old;
                uint32_t result = blendPixel(pixel, colour);
                ASSERT_EQ((result >> 16) & 0xFF, expected);
                ASSERT_EQ(result & 0xFF, expected);
                ASSERT_EQ((result >> 8) & 0xFF, ((255 - old) * (256 - a) + (255 - c) * a) / 256);
            }
        }
    }
}

TEST_F(DrawTest, PanelOverWhiteBlendsOnlyItsRows) {
    fillScreen(0xFFFFFFFF);
    clearMarks();
    fillBox(0, 400, 639, 479, 0xC8000000);
    for (int32_t y = 0; y < 480; ++y) {
        for (int32_t x = 0; x < 640; ++x) {
            ASSERT_EQ(rgb(pixel(x, y)), y < 400 ? 0xFFFFFFu : 0x373737u) << x << "," << y;
        }
    }
    EXPECT_EQ(markedSpan(), std::make_pair(400, 479));
    EXPECT_EQ(screen().lockCount, 0);
}

TEST_F(DrawTest, SameBoxTwiceOverWhite) {
    fillScreen(0xFFFFFFFF);
    fillBox(10, 10, 20, 20, 0x80000000);
    EXPECT_EQ(rgb(pixel(15, 15)), 0x7F7F7Fu);
    fillBox(10, 10, 20, 20, 0x80000000);
    EXPECT_EQ(rgb(pixel(15, 15)), 0x3F3F3Fu);
}

TEST_F(DrawTest, OpaqueColourIsStoredWithItsAlpha) {
    fillScreen(0xFF000000);
    fillBox(1, 1, 1, 1, 0xFF123456);
    EXPECT_EQ(pixel(1, 1), 0xFF123456u);
}

TEST_F(DrawTest, WithoutAlphaPrimitivesEveryColourIsStored) {
    closeScreen();
    ASSERT_EQ(openScreen(640, 480, 32, 2, 0x01, 0), 0);
    fillScreen(0xFFFFFFFF);
    fillBox(0, 0, 3, 3, 0x80123456);
    EXPECT_EQ(pixel(2, 2), 0x80123456u);
    drawText(8, 8, "A", 0x00ABCDEF);
    EXPECT_EQ(pixel(10, 8), 0x00ABCDEFu);
}

TEST_F(DrawTest, BoxCornersAndClipping) {
    struct Case {
        float x1, y1, x2, y2;
        int32_t left, top, right, bottom;  // filled area; left > right: none
    };
    const Case cases[] = {
        {5, 5, 13, 13, 5, 5, 13, 13},      // 81 pixels
        {13, 13, 5, 5, 5, 5, 13, 13},      // corners swapped
        {-5, -5, 3, 3, 0, 0, 3, 3},        // 16 pixels
        {700, 0, 800, 10, 1, 0, 0, -1},    // nothing
        {10, 10, 10, 20, 10, 10, 10, 20},  // a column of 11
        {630, 470, 900, 900, 630, 470, 639, 479},
        {-1e30f, -1e30f, 1e30f, 1e30f, 0, 0, 639, 479},
        {0, -3, 639, -1, 1, 0, 0, -1},  // wholly above
        {2.5f, 0.49999997f, 4.4f, 0.5f, 3, 0, 4, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2);
        fillScreen(0xFF000000);
        clearMarks();
        fillBox(c.x1, c.y1, c.x2, c.y2, 0xFFFFFFFF);
        for (int32_t y = 0; y < 480; ++y) {
            for (int32_t x = 0; x < 640; ++x) {
                bool inside = x >= c.left && x <= c.right && y >= c.top && y <= c.bottom;
                ASSERT_EQ(pixel(x, y), inside ? 0xFFFFFFFFu : 0xFF000000u) << x << "," << y;
            }
        }
        if (c.left <= c.right) {
            EXPECT_EQ(markedSpan(), std::make_pair(c.top, c.bottom));
        } else {
            EXPECT_EQ(markedSpan(), std::make_pair(-1, -1));
        }
        EXPECT_EQ(screen().lockCount, 0);
    }
}

TEST(Font, TellingGlyphs) {
    struct Case {
        uint8_t code;
        uint8_t rows[8];
    };
    const Case cases[] = {
        {0x00, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {0x01, {0x7E, 0x81, 0xA5, 0x81, 0xBD, 0x99, 0x81, 0x7E}},
        {0x20, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {0x21, {0x30, 0x78, 0x78, 0x78, 0x30, 0x00, 0x30, 0x00}},
        {0x30, {0x7C, 0xC6, 0xCE, 0xDE, 0xF6, 0xE6, 0x7C, 0x00}},
        {0x41, {0x30, 0x78, 0xCC, 0xCC, 0xFC, 0xCC, 0xCC, 0x00}},
        {0x61, {0x00, 0x00, 0x78, 0x0C, 0x7C, 0xCC, 0x76, 0x00}},
        {0x67, {0x00, 0x00, 0x76, 0xCC, 0xCC, 0x7C, 0x0C, 0xF8}},
        {0x80, {0x78, 0xCC, 0xC0, 0xCC, 0x78, 0x18, 0x0C, 0x78}},
        {0xB0, {0x22, 0x88, 0x22, 0x88, 0x22, 0x88, 0x22, 0x88}},
        {0xDB, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {0xFF, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        for (int r = 0; r < 8; ++r)
            EXPECT_EQ(screenFont[c.code][r], c.rows[r]) << std::hex << int(c.code) << " row " << r;
    }
    int blank = 0;
    for (int code = 0; code < 256; ++code) {
        bool empty = true;
        for (int r = 0; r < 8; ++r)
            empty = empty && screenFont[code][r] == 0;
        blank += empty;
    }
    EXPECT_EQ(blank, 3) << "only NUL, space and no-break space are blank";
}

// Pixels set by drawing text in white over black, as a set of (x, y).
std::vector<std::pair<int32_t, int32_t>> whitePixels() {
    std::vector<std::pair<int32_t, int32_t>> set;
    Screen& s = *currentScreen();
    for (int32_t y = 0; y < 480; ++y)
        for (int32_t x = 0; x < 640; ++x)
            if (screenRow(s, 0, y)[x] == 0xFFFFFFFFu) set.emplace_back(x, y);
    return set;
}

// Where the glyphs of text at (px, py) land when nothing is clipped.
std::vector<std::pair<int32_t, int32_t>> expectedPixels(int32_t px, int32_t py,
                                                        const std::string& text) {
    std::vector<std::pair<int32_t, int32_t>> set;
    for (int32_t y = 0; y < 480; ++y) {
        for (int32_t x = 0; x < 640; ++x) {
            int64_t k = (x - px) >= 0 ? (x - px) / 8 : -1;
            int32_t r = y - py;
            if (k < 0 || k >= static_cast<int64_t>(text.size()) || r < 0 || r > 7) continue;
            int i = (x - px) % 8;
            if (screenFont[static_cast<uint8_t>(text[k])][r] & (0x80 >> i)) set.emplace_back(x, y);
        }
    }
    return set;
}

TEST_F(DrawTest, LetterAAtItsPlace) {
    fillScreen(0xFF000000);
    clearMarks();
    EXPECT_EQ(drawText(5, 405, "A", 0xFFFFFFFF), 0);
    EXPECT_EQ(pixel(7, 405), 0xFFFFFFFFu);
    EXPECT_EQ(pixel(8, 405), 0xFFFFFFFFu);
    EXPECT_EQ(pixel(6, 405), 0xFF000000u);
    EXPECT_EQ(pixel(9, 405), 0xFF000000u);
    for (int32_t x = 5; x <= 10; ++x)
        EXPECT_EQ(pixel(x, 409), 0xFFFFFFFFu) << x;
    EXPECT_EQ(pixel(11, 409), 0xFF000000u);
    EXPECT_EQ(whitePixels(), expectedPixels(5, 405, "A"));
    EXPECT_EQ(markedSpan(), std::make_pair(405, 412));
    EXPECT_EQ(screen().lockCount, 0);
}

TEST_F(DrawTest, TextClipsAtEveryEdge) {
    std::string all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<char>(i);
    std::string eighty;
    for (int i = 0; i < 80; ++i)
        eighty += static_cast<char>(0xDB - (i % 2) * (0xDB - 'W'));

    struct Case {
        const char* name;
        float x, y;
        std::string text;
        int32_t firstMarked, lastMarked;
    };
    const Case cases[] = {
        {"80-byte line at x 5", 5, 100, eighty, 100, 107},
        {"line at y 477", 0, 477, "Hello", 477, 479},
        {"line at x -4", -4, 20, "AB", 20, 27},
        {"line at y -5", 3, -5, "gg", 0, 2},
        {"every byte a glyph", -300, 200, all, 200, 207},
        {"far right", 640, 0, "A", -1, -1},
        {"far left", -16, 0, "AB", -1, -1},
        {"below", 0, 480, "A", -1, -1},
        {"above", 0, -8, "A", -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fillScreen(0xFF000000);
        clearMarks();
        EXPECT_EQ(drawText(c.x, c.y, c.text, 0xFFFFFFFF), 0);
        EXPECT_EQ(whitePixels(), expectedPixels(roundCoord(c.x), roundCoord(c.y), c.text));
        EXPECT_EQ(markedSpan(), std::make_pair(c.firstMarked, c.lastMarked));
        EXPECT_EQ(screen().lockCount, 0);
    }
}

TEST_F(DrawTest, LastOfEightyBytesShowsItsFirstThreeColumns) {
    fillScreen(0xFF000000);
    std::string line(79, ' ');
    line += '\xDB';
    drawText(5, 50, line, 0xFFFFFFFF);
    for (int32_t x = 630; x < 640; ++x)
        EXPECT_EQ(pixel(x, 50), x >= 637 ? 0xFFFFFFFFu : 0xFF000000u) << x;
}

TEST_F(DrawTest, LineAtMinusFourShowsGlyphColumnsFourToSeven) {
    fillScreen(0xFF000000);
    drawText(-4, 0, "\xDB", 0xFFFFFFFF);
    for (int32_t x = 0; x < 8; ++x)
        EXPECT_EQ(pixel(x, 0), x < 4 ? 0xFFFFFFFFu : 0xFF000000u) << x;
}

TEST_F(DrawTest, BlankAndControlBytesTakeACell) {
    fillScreen(0xFF000000);
    drawText(0, 0, std::string("\0 \n\xDB", 4), 0xFFFFFFFF);
    for (int32_t x = 0; x < 16; ++x)
        EXPECT_EQ(pixel(x, 3), 0xFF000000u) << x;
    EXPECT_EQ(whitePixels(), expectedPixels(0, 0, std::string("\0 \n\xDB", 4)));
    EXPECT_EQ(pixel(24, 0), 0xFFFFFFFFu) << "the fourth byte starts at column 24";
    EXPECT_NE(screenFont[0x0A][0] | screenFont[0x0A][3], 0) << "line feed has a glyph";
}

TEST_F(DrawTest, TranslucentTextBlendsOnlyGlyphPixels) {
    fillScreen(0xFFFFFFFF);
    drawText(0, 0, "\xDB", 0x80000000);
    EXPECT_EQ(rgb(pixel(0, 0)), 0x7F7F7Fu);
    EXPECT_EQ(pixel(8, 0), 0xFFFFFFFFu);
}

TEST_F(DrawTest, NothingWithoutAScreenOrText) {
    fillScreen(0xFF000000);
    clearMarks();
    EXPECT_EQ(drawText(0, 0, "", 0xFFFFFFFF), 0);
    EXPECT_EQ(markedSpan(), std::make_pair(-1, -1));
    closeScreen();
    fillBox(0, 0, 10, 10, 0xFFFFFFFF);
    EXPECT_EQ(drawText(0, 0, "A", 0xFFFFFFFF), 0);
    setenv("DRUSK_SCREEN", "null", 1);
    ASSERT_EQ(openScreen(640, 480, 32, 2, 0x41, 0), 0);
}

// What a console cell shows: the glyph in opaque white on opaque black.
void expectCell(int32_t column, int32_t row, uint8_t byte) {
    Screen& s = *currentScreen();
    for (int r = 0; r < 8; ++r) {
        for (int i = 0; i < 8; ++i) {
            uint32_t expected = (screenFont[byte][r] & (0x80 >> i)) ? 0xFFFFFFFFu : 0xFF000000u;
            ASSERT_EQ(screenRow(s, 0, row * 8 + r)[column * 8 + i], expected)
                << "cell " << column << "," << row << " pixel " << i << "," << r;
        }
    }
}

TEST_F(DrawTest, PrintLineDrawsConsoleTextRowByRow) {
    fillScreen(0xFF00FF00);
    clearMarks();
    printLine("img/3_2_w.bmp not found!");
    std::string first = "img/3_2_w.bmp not found!";
    for (size_t k = 0; k < first.size(); ++k)
        expectCell(static_cast<int32_t>(k), 0, static_cast<uint8_t>(first[k]));
    EXPECT_EQ(pixel(static_cast<int32_t>(first.size()) * 8, 0), 0xFF00FF00u)
        << "cells after the text are untouched";
    EXPECT_EQ(markedSpan(), std::make_pair(0, 7));
    EXPECT_EQ(screen().lockCount, 0);

    clearMarks();
    printLine("ab");
    expectCell(0, 1, 'a');
    expectCell(1, 1, 'b');
    EXPECT_EQ(markedSpan(), std::make_pair(8, 15));
    EXPECT_EQ(screen().textRow, 2);
    EXPECT_EQ(screen().textColumn, 0);
}

TEST_F(DrawTest, ConsoleWrapsLongLinesAndScrollsAtTheBottom) {
    std::string longLine(85, 'x');
    longLine[80] = 'y';
    printLine(longLine);
    expectCell(79, 0, 'x');
    expectCell(0, 1, 'y');
    EXPECT_EQ(screen().textRow, 2);
    for (int i = 2; i < 60; ++i)
        printLine(std::string(1, static_cast<char>('0' + i % 10)));
    expectCell(0, 59, '0' + 59 % 10);
    clearMarks();
    printLine("last");
    // Everything moved up one row; the new line is at the bottom.
    expectCell(0, 0, 'y');
    expectCell(0, 58, '0' + 59 % 10);
    expectCell(0, 59, 'l');
    expectCell(4, 59, ' ');
    EXPECT_EQ(markedSpan(), std::make_pair(0, 479));
}

TEST_F(DrawTest, ConsoleBelongsToTheOpenScreenOnly) {
    closeScreen();
    ::testing::internal::CaptureStdout();
    printLine("to standard output");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "to standard output\r\n");
    setenv("DRUSK_SCREEN", "null", 1);
    ASSERT_EQ(openScreen(640, 480, 32, 2, 0x41, 0), 0);
    EXPECT_EQ(screen().textRow, 0);
    ::testing::internal::CaptureStdout();
    printLine("on screen");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    expectCell(0, 0, 'o');
}

}  // namespace
}  // namespace drusk
