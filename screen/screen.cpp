#include "screen/screen.h"

#include <strings.h>
#include <unistd.h>
#include <cstdlib>
#include <cstring>

#include <algorithm>

#include "screen/console.h"
#include "screen/screen_backend.h"
#include "textin/program.h"

namespace drusk {

namespace {

Screen* openedScreen = nullptr;
bool closeRegistered = false;
std::string triedBackends;

void freeScreen(Screen* screen) {
    for (uint8_t*& page : screen->pages) {
        std::free(page);
        page = nullptr;
    }
    delete[] screen->changedRows;
    delete screen;
}

std::string programTitle() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "drusk";
    path[n] = '\0';
    return titleFromProgramPath(path);
}

bool tryBackends(Screen& screen, const ScreenBackendList& order, int32_t refresh) {
    triedBackends.clear();
    for (int i = 0; i < order.count; ++i) {
        if (i > 0) triedBackends += ", ";
        triedBackends += order.entries[i]->name;
    }
    for (int pass = 0; pass < 2; ++pass) {
        bool wantFull = ((screen.flags & fullScreen) != 0) != (pass == 1);
        for (int i = 0; i < order.count; ++i) {
            const ScreenBackend* backend = order.entries[i];
            screen.backend = backend;
            if (backend->start(screen, wantFull, refresh)) return true;
            if (refresh != 0 && backend->start(screen, wantFull, 0)) return true;
        }
    }
    screen.backend = nullptr;
    return false;
}

}  // namespace

ScreenBackendList screenBackendOrder(const char* setting) {
    ScreenBackendList platform = platformScreenBackends();
    ScreenBackendList order;
    if (setting && *setting) {
        if (strcasecmp(setting, "null") == 0) {
            order.entries[order.count++] = &nullScreenBackend;
            return order;
        }
        for (int i = 0; i < platform.count; ++i) {
            if (strcasecmp(setting, platform.entries[i]->name) == 0) {
                order.entries[order.count++] = platform.entries[i];
            }
        }
    }
    for (int i = 0; i < platform.count; ++i) {
        if (order.count > 0 && order.entries[0] == platform.entries[i]) continue;
        order.entries[order.count++] = platform.entries[i];
    }
    return order;
}

std::string titleFromProgramPath(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

Screen* currentScreen() {
    return openedScreen;
}

std::recursive_mutex& displayLock() {
    static std::recursive_mutex lock;
    return lock;
}

int openScreen(int32_t width, int32_t height, int32_t depth, int32_t pages, ScreenFlags flags,
               int32_t refresh) {
    // Sides past the limit would overflow the page arithmetic.
    if (width <= 0 || height <= 0 || width > maxScreenSide || height > maxScreenSide) return 1;
    if (depth != 32) return 1;
    if (openedScreen) closeScreen();

    auto* screen = new Screen;
    screen->width = width;
    screen->height = height;
    screen->depth = depth;
    screen->bytesPerPixel = (depth + 7) / 8;
    screen->pitch = width * screen->bytesPerPixel;
    screen->pageCount = pages < 1 ? 1 : (pages > maxScreenPages ? maxScreenPages : pages);
    size_t pageBytes = static_cast<size_t>(screen->pitch) * static_cast<size_t>(height);
    size_t alignedBytes = (pageBytes + 15) & ~size_t{15};
    for (int i = 0; i < screen->pageCount; ++i) {
        screen->pages[i] = static_cast<uint8_t*>(std::aligned_alloc(16, alignedBytes));
        if (!screen->pages[i]) {
            freeScreen(screen);
            return 1;
        }
    }
    screen->changedRows = new uint8_t[height]();
    screen->flags = flags;
    screen->title = programTitle();
    // The picture starts opaque black, and is so before the window thread
    // can show any of it.
    for (int i = 0; i < screen->pageCount; ++i) {
        auto* pixels = reinterpret_cast<uint32_t*>(screen->pages[i]);
        std::fill(pixels, pixels + pageBytes / 4, screen->defaultBackground);
    }
    screen->textColumn = 0;
    screen->textRow = 0;

    // The window thread reads the record from its first cycle on, so it is
    // published before a back end starts.
    {
        std::lock_guard<std::recursive_mutex> hold(displayLock());
        openedScreen = screen;
    }
    if (!tryBackends(*screen, screenBackendOrder(std::getenv("DRUSK_SCREEN")), refresh)) {
        std::lock_guard<std::recursive_mutex> hold(displayLock());
        openedScreen = nullptr;
        freeScreen(screen);
        return 1;
    }
    setConsoleSink(drawConsoleLine);
    if (!closeRegistered) {
        addCleanupAction(closeScreen);
        // A program that ends without endProgram (returning from main,
        // exit) must still stop the window thread before its statics go.
        std::atexit(closeScreen);
        closeRegistered = true;
    }
    return 0;
}

void closeScreen() {
    Screen* screen = openedScreen;
    if (!screen) return;
    setConsoleSink(nullptr);
    // The window thread may be waiting for this lock; it must finish its
    // cycle before it can stop.
    if (screen->lockCount > 0) {
        screen->lockCount = 0;
        displayLock().unlock();
    }
    screen->backend->stop(*screen);
    {
        std::lock_guard<std::recursive_mutex> hold(displayLock());
        openedScreen = nullptr;
    }
    freeScreen(screen);
}

std::string triedScreenBackends() {
    return triedBackends;
}

void lockScreen() {
    Screen* screen = openedScreen;
    if (!screen) return;
    if (screen->lockCount == 0) displayLock().lock();
    ++screen->lockCount;
}

void unlockScreen(int32_t firstRow, int32_t lastRow) {
    Screen* screen = openedScreen;
    if (!screen) return;
    // Marks are shared with the window thread, so they change under the lock.
    std::lock_guard<std::recursive_mutex> hold(displayLock());
    if (lastRow < 0) lastRow = screen->height - 1;
    if (screen->drawingPage == screen->shownPage) {
        if (firstRow < 0) firstRow = 0;
        if (firstRow <= lastRow && lastRow < screen->height) {
            std::memset(screen->changedRows + firstRow, 1, lastRow - firstRow + 1);
        }
    }
    if (screen->lockCount > 0 && --screen->lockCount == 0) displayLock().unlock();
}

int setMouse(int32_t x, int32_t y, int32_t visible, int32_t clip) {
    Screen* screen = openedScreen;
    if (!screen) return 1;
    std::lock_guard<std::recursive_mutex> hold(displayLock());
    if (screen->backend->setMouse) screen->backend->setMouse(*screen, x, y, visible, clip);
    return 0;
}

}  // namespace drusk
