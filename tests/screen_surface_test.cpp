// The screen in memory (null back end): opening, row marks and the lock.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "screen/screen.h"
#include "screen/screen_backend.h"

namespace drusk {
namespace {

bool lockIsFreeForOtherThreads() {
    bool taken = false;
    std::thread other([&] {
        taken = displayLock().try_lock();
        if (taken) displayLock().unlock();
    });
    other.join();
    return taken;
}

int markedRowCount(const Screen& screen) {
    int count = 0;
    for (int y = 0; y < screen.height; ++y)
        count += screen.changedRows[y] != 0;
    return count;
}

class NullScreen : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("DRUSK_SCREEN", "null", 1);
        ASSERT_EQ(openScreen(640, 480, 32, 2, fullScreen | alphaPrimitives, 0), 0);
        screen = currentScreen();
        ASSERT_NE(screen, nullptr);
    }
    void TearDown() override {
        closeScreen();
        unsetenv("DRUSK_SCREEN");
    }
    Screen* screen = nullptr;
};

TEST_F(NullScreen, OpensOpaqueBlackUnlockedAndUnmarked) {
    EXPECT_EQ(screen->width, 640);
    EXPECT_EQ(screen->height, 480);
    EXPECT_EQ(screen->bytesPerPixel, 4);
    EXPECT_EQ(screen->pitch, 2560);
    EXPECT_EQ(screen->pageCount, 2);
    EXPECT_EQ(screen->flags, 0x41u);
    EXPECT_EQ(screen->lockCount, 0);
    EXPECT_EQ(markedRowCount(*screen), 0);
    EXPECT_STREQ(screen->backend->name, "null");
    EXPECT_EQ(triedScreenBackends(), "null");
    for (int page = 0; page < 2; ++page) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(screen->pages[page]) % 16, 0u);
        for (int y = 0; y < 480; ++y) {
            const uint32_t* row = screenRow(*screen, page, y);
            for (int x = 0; x < 640; ++x)
                ASSERT_EQ(row[x], 0xFF000000u) << page << " " << x;
        }
    }
    EXPECT_TRUE(lockIsFreeForOtherThreads());
}

struct MarkCase {
    int32_t first;
    int32_t last;
    int32_t markedFrom;  // -1: nothing marked
    int32_t markedTo;
};

TEST_F(NullScreen, UnlockMarksRowsByItsRules) {
    const MarkCase cases[] = {
        {-1, -1, 0, 479},     {0, 479, 0, 479},  {10, 20, 10, 20}, {-5, 3, 0, 3},
        {7, -1, 7, 479},      {5, 5, 5, 5},      {1, 0, -1, -1},   {0, 480, -1, -1},
        {479, 479, 479, 479}, {480, -1, -1, -1},
    };
    for (const MarkCase& c : cases) {
        std::memset(screen->changedRows, 0, 480);
        lockScreen();
        unlockScreen(c.first, c.last);
        EXPECT_EQ(screen->lockCount, 0);
        for (int y = 0; y < 480; ++y) {
            bool expected = c.markedFrom >= 0 && y >= c.markedFrom && y <= c.markedTo;
            ASSERT_EQ(screen->changedRows[y] != 0, expected)
                << "unlock(" << c.first << ", " << c.last << ") row " << y;
        }
        EXPECT_TRUE(lockIsFreeForOtherThreads());
    }
}

TEST_F(NullScreen, UnlockWithoutLockMarksAllAndKeepsCountAtZero) {
    unlockScreen(-1, -1);
    EXPECT_EQ(markedRowCount(*screen), 480);
    EXPECT_EQ(screen->lockCount, 0);
    EXPECT_TRUE(lockIsFreeForOtherThreads());
}

TEST_F(NullScreen, NestedLocksHoldUntilTheLastUnlock) {
    lockScreen();
    lockScreen();
    EXPECT_EQ(screen->lockCount, 2);
    unlockScreen(-1, -1);
    EXPECT_EQ(screen->lockCount, 1);
    EXPECT_FALSE(lockIsFreeForOtherThreads());
    unlockScreen(1, 0);  // marks nothing but still releases a level
    EXPECT_EQ(screen->lockCount, 0);
    EXPECT_TRUE(lockIsFreeForOtherThreads());
}

TEST_F(NullScreen, MarksOnlyWhenDrawingOnTheShownPage) {
    screen->drawingPage = 1;
    unlockScreen(-1, -1);
    EXPECT_EQ(markedRowCount(*screen), 0);
    screen->drawingPage = 0;
}

TEST_F(NullScreen, CloseInsideAFrameReleasesTheLock) {
    lockScreen();
    lockScreen();
    closeScreen();
    EXPECT_EQ(currentScreen(), nullptr);
    EXPECT_TRUE(lockIsFreeForOtherThreads());
}

TEST_F(NullScreen, OpeningAgainClosesTheFirstScreen) {
    lockScreen();
    ASSERT_EQ(openScreen(320, 200, 32, 0, 0, 60), 0);
    Screen* second = currentScreen();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->width, 320);
    EXPECT_EQ(second->pageCount, 1);
    EXPECT_EQ(second->lockCount, 0);
    EXPECT_TRUE(lockIsFreeForOtherThreads());
}

TEST_F(NullScreen, SetMouseAnswersZeroWhileOpen) {
    EXPECT_EQ(setMouse(-1, -1, 0, -1), 0);
    EXPECT_EQ(setMouse(700, -3, 1, 1), 0);
}

TEST(ScreenClosed, OperationsDoNothing) {
    ASSERT_EQ(currentScreen(), nullptr);
    lockScreen();
    unlockScreen(-1, -1);
    EXPECT_TRUE(lockIsFreeForOtherThreads());
    EXPECT_EQ(setMouse(-1, -1, 0, -1), 1);
    closeScreen();
}

TEST(ScreenOpening, RefusesBadSizesAndKeepsNothing) {
    setenv("DRUSK_SCREEN", "null", 1);
    const int32_t sizes[][2] = {{0, 480}, {640, 0}, {-1, 480}, {640, -480}, {maxScreenSide + 1, 1}};
    for (const auto& size : sizes) {
        EXPECT_EQ(openScreen(size[0], size[1], 32, 2, 0x41, 0), 1) << size[0] << "x" << size[1];
        EXPECT_EQ(currentScreen(), nullptr);
    }
    unsetenv("DRUSK_SCREEN");
}

TEST(ScreenOpening, TitleIsTheProgramNameUpToItsLastDot) {
    const char* cases[][2] = {
        {"C:/games/walk.exe", "walk"},
        {"/opt/a.b.exe", "a.b"},
        {"/usr/bin/game", "game"},
        {"drusk", "drusk"},
        {"/x/.hidden", ""},
        {"/dir.d/plain", "plain"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(titleFromProgramPath(c[0]), c[1]) << c[0];
}

TEST(ScreenOpening, BackEndOrderFollowsTheSetting) {
    ScreenBackendList platform = platformScreenBackends();
    ASSERT_GE(platform.count, 1);
    EXPECT_STREQ(platform.entries[0]->name, "sdl");

    ScreenBackendList onlyNull = screenBackendOrder("NuLL");
    ASSERT_EQ(onlyNull.count, 1);
    EXPECT_EQ(onlyNull.entries[0], &nullScreenBackend);

    for (const char* setting : {"SDL", "sdl", "unknown", "", static_cast<const char*>(nullptr)}) {
        ScreenBackendList order = screenBackendOrder(setting);
        ASSERT_EQ(order.count, platform.count) << (setting ? setting : "(unset)");
        EXPECT_EQ(order.entries[0], &sdlScreenBackend);
    }
}

}  // namespace
}  // namespace drusk
