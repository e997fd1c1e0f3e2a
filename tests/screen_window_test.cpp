// The sdl back end with a real window on an X display: what the window
// shows, the keys it queues, its close button and the switch between full
// screen and window.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "screen/keyboard.h"
#include "screen/screen.h"
#include "screen/screen_backend.h"
#include "tests/x11_session.h"

namespace drusk {
namespace {

using Clock = std::chrono::steady_clock;
using testing::Capture;
using testing::X11Session;
using testing::XWindowId;

constexpr int desktopWidth = 1280;
constexpr int desktopHeight = 1024;
constexpr auto patience = std::chrono::seconds(20);

std::string programTitle() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    path[n] = '\0';
    return titleFromProgramPath(path);
}

// A picture where neighbouring pixels differ and the alpha byte varies, to
// show that alpha never reaches the display.
void drawPattern(uint32_t seed) {
    lockScreen();
    Screen& screen = *currentScreen();
    for (int y = 0; y < screen.height; ++y) {
        uint32_t* row = screenRow(screen, screen.drawingPage, y);
        for (int x = 0; x < screen.width; ++x) {
            uint32_t hash = (static_cast<uint32_t>(x) * 2654435761u) ^
                            (static_cast<uint32_t>(y) * 40503u) ^ (seed * 97u);
            row[x] = ((hash * 31u) << 24) | (hash & 0x00FFFFFF);
        }
    }
    unlockScreen(-1, -1);
}

std::vector<uint32_t> shownPage() {
    Screen& screen = *currentScreen();
    std::vector<uint32_t> pixels;
    for (int y = 0; y < screen.height; ++y) {
        const uint32_t* row = screenRow(screen, screen.shownPage, y);
        for (int x = 0; x < screen.width; ++x)
            pixels.push_back(row[x] & 0x00FFFFFF);
    }
    return pixels;
}

int differingPixels(const Capture& shown, const std::vector<uint32_t>& expected) {
    if (shown.pixels.size() != expected.size()) return static_cast<int>(expected.size());
    int count = 0;
    for (size_t i = 0; i < expected.size(); ++i)
        count += shown.pixels[i] != expected[i];
    return count;
}

class ScreenWindow : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        session = std::make_unique<X11Session>(desktopWidth, desktopHeight);
    }
    static void TearDownTestSuite() { session.reset(); }

    void SetUp() override {
        ASSERT_TRUE(session->ok()) << session->error();
        setenv("DRUSK_SCREEN", "sdl", 1);
        ASSERT_EQ(openScreen(640, 480, 32, 2, fullScreen | alphaPrimitives, 0), 0);
        ASSERT_STREQ(currentScreen()->backend->name, "sdl");
        title = programTitle();
        window = session->waitForWindow(title);
        ASSERT_NE(window, 0u) << "no window titled " << title;
        drainKeys();
    }
    void TearDown() override {
        closeScreen();
        unsetenv("DRUSK_SCREEN");
        drainKeys();
    }

    static void drainKeys() {
        while (!pollKey().empty()) {
        }
    }

    // The window of our title with the given size, waiting for a switch to
    // replace the old one.
    XWindowId waitForWindowOfSize(int width, int height) {
        Clock::time_point deadline = Clock::now() + patience;
        while (Clock::now() < deadline) {
            XWindowId found = session->waitForWindow(title, 200);
            if (found) {
                testing::WindowGeometry size = session->geometry(found);
                if (size.width == width && size.height == height) return found;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return 0;
    }

    // True once the window shows exactly the shown page.
    bool waitUntilShown(XWindowId shownWindow, int* lastDifference = nullptr) {
        std::vector<uint32_t> expected = [] {
            std::lock_guard<std::recursive_mutex> hold(displayLock());
            return shownPage();
        }();
        Clock::time_point deadline = Clock::now() + patience;
        int difference = -1;
        while (Clock::now() < deadline) {
            difference = differingPixels(session->capturePicture(shownWindow, 640, 480), expected);
            if (difference == 0) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        if (lastDifference) *lastDifference = difference;
        return difference == 0;
    }

    // Keys until the marker string arrives (included), or what came before
    // the time ran out.
    std::vector<KeyString> keysUntil(const KeyString& marker) {
        std::vector<KeyString> keys;
        Clock::time_point deadline = Clock::now() + patience;
        while (Clock::now() < deadline) {
            KeyString key = pollKey();
            if (key.empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            keys.push_back(key);
            if (key == marker) break;
        }
        return keys;
    }

    static std::unique_ptr<X11Session> session;
    std::string title;
    XWindowId window = 0;
};

std::unique_ptr<X11Session> ScreenWindow::session;

TEST_F(ScreenWindow, FullScreenShowsThePageScaledAfterUnlock) {
    testing::WindowGeometry size = session->geometry(window);
    EXPECT_EQ(size.width, desktopWidth);
    EXPECT_EQ(size.height, desktopHeight);
    EXPECT_TRUE(waitUntilShown(window)) << "the opening black";

    drawPattern(1);
    int difference = -1;
    EXPECT_TRUE(waitUntilShown(window, &difference)) << difference << " pixels differ";

    // Twice the size, centred: 32 rows of black bar above and below.
    Capture whole = session->capture(window);
    ASSERT_EQ(whole.width, desktopWidth);
    for (int x = 0; x < desktopWidth; x += 97) {
        EXPECT_EQ(whole.at(x, 0), 0u);
        EXPECT_EQ(whole.at(x, 31), 0u);
        EXPECT_EQ(whole.at(x, desktopHeight - 32), 0u);
    }
    Screen& screen = *currentScreen();
    for (int y = 0; y < 480; y += 53) {
        for (int x = 0; x < 640; x += 41) {
            uint32_t pixel = screenRow(screen, 0, y)[x] & 0x00FFFFFF;
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    ASSERT_EQ(whole.at(2 * x + dx, 32 + 2 * y + dy), pixel) << x << "," << y;
                }
            }
        }
    }
}

TEST_F(ScreenWindow, NothingIsShownWhileTheGameHoldsTheLock) {
    drawPattern(2);
    ASSERT_TRUE(waitUntilShown(window));
    std::vector<uint32_t> before = [] {
        std::lock_guard<std::recursive_mutex> hold(displayLock());
        return shownPage();
    }();

    lockScreen();
    drawPattern(3);  // inside the game's lock: counts up and down only
    lockScreen();
    unlockScreen(-1, -1);
    ASSERT_EQ(currentScreen()->lockCount, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(differingPixels(session->capturePicture(window, 640, 480), before), 0);
    unlockScreen(-1, -1);
    EXPECT_TRUE(waitUntilShown(window));
}

TEST_F(ScreenWindow, KeysTypedIntoTheWindowArriveAsKeyStrings) {
    session->focus(window);
    struct Press {
        const char* key;
        std::vector<std::string> modifiers;
    };
    const Press presses[] = {
        {"Up", {}},           {"Down", {}},   {"Left", {}},      {"Right", {}},
        {"Escape", {}},       {"Return", {}}, {"a", {}},         {"a", {"Shift_L"}},
        {"Tab", {"Shift_L"}}, {"F1", {}},     {"F1", {"Alt_L"}}, {"b", {}},
    };
    for (const Press& press : presses) {
        ASSERT_TRUE(session->tapKey(press.key, press.modifiers)) << press.key;
    }
    std::vector<KeyString> expected = {
        "\xFF\x48", "\xFF\x50", "\xFF\x4B", "\xFF\x4D", "\x1B",     "\x0D",
        "a",        "A",        "\xFF\x0F", "\x09",     "\xFF\x3B", "b",
    };
    EXPECT_EQ(keysUntil("b"), expected);
}

TEST_F(ScreenWindow, CloseRequestIsAKeyAndTheWindowStays) {
    session->requestClose(window);
    EXPECT_EQ(keysUntil("\xFF\x6B"), std::vector<KeyString>{"\xFF\x6B"});
    EXPECT_EQ(session->waitForWindow(title, 500), window);
    drawPattern(4);
    EXPECT_TRUE(waitUntilShown(window));
}

TEST_F(ScreenWindow, AltEnterSwitchesFormsKeepingPictureAndKeys) {
    drawPattern(5);
    ASSERT_TRUE(waitUntilShown(window));
    // Switching works only while the window is active; focus changes
    // reach the window thread a little later than the server.
    auto focusAndWaitUntilActive = [&](XWindowId target) {
        session->focus(target);
        Clock::time_point deadline = Clock::now() + patience;
        while (!currentScreen()->active && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return currentScreen()->active.load();
    };
    ASSERT_TRUE(focusAndWaitUntilActive(window));
    ASSERT_TRUE(session->tapKey("x"));
    ASSERT_TRUE(session->tapKey("Return", {"Alt_L"}));

    XWindowId windowed = waitForWindowOfSize(640, 480);
    ASSERT_NE(windowed, 0u) << "no 640 by 480 window after Alt+Enter; active "
                            << currentScreen()->active;
    testing::WindowGeometry place = session->geometry(windowed);
    EXPECT_EQ(place.x, (desktopWidth - 640) / 2);
    EXPECT_EQ(place.y, (desktopHeight - 480) / 2);
    int difference = -1;
    EXPECT_TRUE(waitUntilShown(windowed, &difference)) << difference << " pixels differ";
    EXPECT_EQ(pollKey(), "x");  // typed before the switch, still waiting

    ASSERT_TRUE(focusAndWaitUntilActive(windowed));
    ASSERT_TRUE(session->tapKey("Return", {"Alt_R"}));
    XWindowId full = waitForWindowOfSize(desktopWidth, desktopHeight);
    ASSERT_NE(full, 0u) << "no full-screen window after the second Alt+Enter; active "
                        << currentScreen()->active;
    EXPECT_TRUE(waitUntilShown(full, &difference)) << difference << " pixels differ";
    EXPECT_EQ(pollKey(), "");
    EXPECT_EQ(currentScreen()->lockCount, 0);
}

TEST_F(ScreenWindow, PointerHidesOverThePictureWithoutMoving) {
    session->movePointer(500, 500);
    int x = 0, y = 0;
    auto waitFor = [&](bool invisible) {
        Clock::time_point deadline = Clock::now() + patience;
        while (Clock::now() < deadline && session->pointerInvisible() != invisible) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return session->pointerInvisible() == invisible;
    };
    EXPECT_TRUE(waitFor(false)) << "the pointer is visible after opening";

    EXPECT_EQ(setMouse(-1, -1, 0, -1), 0);
    EXPECT_TRUE(waitFor(true));
    ASSERT_TRUE(session->pointerPosition(&x, &y));
    EXPECT_EQ(x, 500);
    EXPECT_EQ(y, 500);

    // Picture pixel (100, 50) at twice the size, below the 32-row bar.
    EXPECT_EQ(setMouse(100, 50, 1, -1), 0);
    EXPECT_TRUE(waitFor(false));
    Clock::time_point deadline = Clock::now() + patience;
    while (Clock::now() < deadline && session->pointerPosition(&x, &y) && x != 201) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(x, 201);
    EXPECT_EQ(y, 32 + 101);
}

TEST_F(ScreenWindow, ClosingInsideAFrameDoesNotStallAndOpensAgain) {
    lockScreen();
    lockScreen();
    closeScreen();
    EXPECT_EQ(currentScreen(), nullptr);
    std::thread other([] {
        EXPECT_TRUE(displayLock().try_lock());
        displayLock().unlock();
    });
    other.join();

    // Without full screen the window form comes first.
    ASSERT_EQ(openScreen(640, 480, 32, 2, alphaPrimitives, 0), 0);
    XWindowId again = session->waitForWindow(title);
    ASSERT_NE(again, 0u);
    EXPECT_EQ(session->geometry(again).width, 640);
    drawPattern(6);
    EXPECT_TRUE(waitUntilShown(again));
}

TEST(ScreenWithoutDisplay, OpeningFailsQuicklyAndSaysWhatWasTried) {
    const char* saved = std::getenv("DISPLAY");
    std::string display = saved ? saved : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    // A console with a graphics device could really show the picture.
    if (access("/dev/dri", F_OK) == 0) setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("DRUSK_SCREEN", "sdl", 1);
    Clock::time_point start = Clock::now();
    EXPECT_EQ(openScreen(640, 480, 32, 2, fullScreen | alphaPrimitives, 0), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(currentScreen(), nullptr);
    EXPECT_EQ(triedScreenBackends(), "sdl");
    lockScreen();
    unlockScreen(-1, -1);
    EXPECT_EQ(setMouse(-1, -1, 0, -1), 1);
    unsetenv("DRUSK_SCREEN");
    unsetenv("SDL_VIDEODRIVER");
    if (saved) setenv("DISPLAY", display.c_str(), 1);
}

}  // namespace
}  // namespace drusk
