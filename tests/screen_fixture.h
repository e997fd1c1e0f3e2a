// A 640 by 480 screen in memory for drawing tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "screen/screen.h"

namespace drusk::testing {

class ScreenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("DRUSK_SCREEN", "null", 1);
        ASSERT_EQ(openScreen(640, 480, 32, 2, 0x41, 0), 0);
    }
    void TearDown() override { closeScreen(); }

    static Screen& screen() { return *currentScreen(); }
    static uint32_t& pixel(int32_t x, int32_t y) { return screenRow(screen(), 0, y)[x]; }
    static void fillScreen(uint32_t colour) {
        for (int32_t y = 0; y < 480; ++y)
            for (int32_t x = 0; x < 640; ++x)
                pixel(x, y) = colour;
    }
    static void clearMarks() {
        for (int32_t y = 0; y < 480; ++y)
            screen().changedRows[y] = 0;
    }
    // The rows marked as changed, as first..last, or {-1, -1} for none;
    // fails when the marked rows are not one span.
    static std::pair<int32_t, int32_t> markedSpan() {
        int32_t first = -1, last = -1;
        for (int32_t y = 0; y < 480; ++y) {
            if (!screen().changedRows[y]) continue;
            if (first < 0) first = y;
            EXPECT_TRUE(last < 0 || last == y - 1) << "gap before row " << y;
            last = y;
        }
        return {first, last};
    }
};

}  // namespace drusk::testing
