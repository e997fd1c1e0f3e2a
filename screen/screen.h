// The one 640 by 480 display surface: pages in memory, changed-row marks and
// the display lock shared with the window thread that presents them.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace drusk {

// 0xAARRGGBB, stored little-endian as blue, green, red, alpha.
using Colour = uint32_t;

using ScreenFlags = uint32_t;
inline constexpr ScreenFlags fullScreen = 0x01;
inline constexpr ScreenFlags alphaPrimitives = 0x40;

inline constexpr int maxScreenPages = 4;
inline constexpr int32_t maxScreenSide = 16384;

struct ScreenBackend;

struct Screen {
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    int32_t bytesPerPixel = 0;
    int32_t pitch = 0;
    uint32_t colourMask = 0xFFFFFFFF;
    int32_t pageCount = 0;
    uint8_t* pages[maxScreenPages] = {};  // each 16-byte aligned, height * pitch bytes
    int32_t shownPage = 0;
    int32_t drawingPage = 0;
    uint8_t* changedRows = nullptr;  // one mark per row
    int32_t lockCount = 0;           // changed by the game thread only
    ScreenFlags flags = 0;
    std::string title;
    Colour defaultForeground = 0xFFFFFFFF;
    Colour defaultBackground = 0xFF000000;
    std::atomic<bool> active{false};
    int32_t textColumn = 0;  // console text position, in 8 by 8 cells
    int32_t textRow = 0;
    const ScreenBackend* backend = nullptr;
    void* backendState = nullptr;
};

// The open screen, or null.
Screen* currentScreen();

// The lock the window thread holds for each presentation cycle; the game
// takes it through lockScreen.
std::recursive_mutex& displayLock();

// 0 on success, 1 on bad sizes or when no back end could be started.
// DRUSK_SCREEN names the back end to try first ("sdl"), or "null" for a
// screen in memory only.
int openScreen(int32_t width, int32_t height, int32_t depth, int32_t pages, ScreenFlags flags,
               int32_t refresh);
void closeScreen();
// The names of the back ends the last openScreen tried, in order, joined
// by ", " (for saying what could not be opened).
std::string triedScreenBackends();
void lockScreen();
void unlockScreen(int32_t firstRow, int32_t lastRow);
int setMouse(int32_t x, int32_t y, int32_t visible, int32_t clip);

// Pixel row y of a page.
inline uint32_t* screenRow(const Screen& screen, int32_t page, int32_t y) {
    return reinterpret_cast<uint32_t*>(screen.pages[page] + static_cast<size_t>(y) * screen.pitch);
}

// The window title for a program path: its file name up to the last dot.
std::string titleFromProgramPath(const std::string& path);

}  // namespace drusk
