#include "screen/sdl_presenter.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "screen/keyboard.h"
#include "screen/picture_fit.h"
#include "screen/sdl_key_mapping.h"

namespace drusk {

struct SdlPresenter {
    Screen* screen = nullptr;
    bool fullScreen = false;
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    uint32_t windowId = 0;
    int displayIndex = 0;  // the display the window is on
    SdlKeyTracker keys;
    bool needsPresent = false;
    bool focused = true;
    bool minimised = false;
    // Where the window form was last, so a switch back puts it there again.
    bool haveWindowPosition = false;
    int windowX = 0;
    int windowY = 0;
    // After a failed switch the window is gone until it can be made again.
    uint32_t nextRetryTicks = 0;

    // Pointer setting, kept across switches; requests wait for the cycle.
    bool pointerHidden = false;
    bool pointerConfined = false;
    bool pointerChanged = false;
    bool warpPending = false;
    int32_t warpX = 0;
    int32_t warpY = 0;
};

namespace {

constexpr uint32_t switchRetryMs = 300;

// Drivers that open no visible window; SDL falls back to them when nothing
// else works, which would leave the player looking at nothing.
bool isInvisibleDriver(const char* name) {
    return std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0 ||
           std::strcmp(name, "evdev") == 0;
}

bool hasSetting(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Video is ours; SDL as a whole may be shared with other users (sound), so
// it is shut down only when nothing else still uses it. That also frees
// the hints set here.
void stopVideo() {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (SDL_WasInit(0) == 0) SDL_Quit();
}

bool startVideo() {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_WINDOWS_NO_CLOSE_ON_ALT_F4, "1");
    SDL_SetHint(SDL_HINT_WINDOWS_DPI_AWARENESS, "permonitorv2");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "0");
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "1");
    // A driver the user names is used as named.
    if (hasSetting("SDL_VIDEODRIVER")) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
        stopVideo();
        return false;
    }
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const char* name = SDL_GetVideoDriver(i);
        if (!name || isInvisibleDriver(name)) continue;
        // Without either setting no compositor can be reached, and trying
        // only prints complaints.
        if (std::strcmp(name, "wayland") == 0 && !hasSetting("WAYLAND_DISPLAY") &&
            !hasSetting("XDG_RUNTIME_DIR")) {
            continue;
        }
        // An empty SDL_VIDEODRIVER in the environment would otherwise win
        // over the hint and let SDL pick an invisible driver itself.
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, name, SDL_HINT_OVERRIDE);
        bool started = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        SDL_ResetHint(SDL_HINT_VIDEODRIVER);
        if (started) return true;
    }
    stopVideo();
    return false;
}

// Drawable pixels per window coordinate; above 1 on high-DPI displays.
void outputSize(const SdlPresenter& p, int* width, int* height) {
    if (SDL_GetRendererOutputSize(p.renderer, width, height) != 0) {
        SDL_GetWindowSize(p.window, width, height);
    }
}

PictureRect pictureTarget(const SdlPresenter& p) {
    int w = 0, h = 0;
    outputSize(p, &w, &h);
    return fitPicture(w, h, p.screen->width, p.screen->height);
}

// The picture's rectangle in window coordinates, which pointer calls use.
SDL_Rect pictureInWindow(const SdlPresenter& p) {
    int ow = 0, oh = 0, ww = 0, wh = 0;
    outputSize(p, &ow, &oh);
    SDL_GetWindowSize(p.window, &ww, &wh);
    PictureRect r = fitPicture(ow, oh, p.screen->width, p.screen->height);
    double sx = ow > 0 ? static_cast<double>(ww) / ow : 1.0;
    double sy = oh > 0 ? static_cast<double>(wh) / oh : 1.0;
    return {static_cast<int>(std::lround(r.x * sx)), static_cast<int>(std::lround(r.y * sy)),
            std::max(1, static_cast<int>(std::lround(r.width * sx))),
            std::max(1, static_cast<int>(std::lround(r.height * sy)))};
}

void markAllRows(SdlPresenter& p) {
    std::memset(p.screen->changedRows, 1, static_cast<size_t>(p.screen->height));
}

// Streaming texture memory is write-only, so the whole span from the first
// to the last marked row is written.
bool copyRows(SdlPresenter& p, int32_t first, int32_t last) {
    Screen& s = *p.screen;
    SDL_Rect span = {0, first, s.width, last - first + 1};
    void* pixels = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(p.texture, &span, &pixels, &pitch) != 0) return false;
    auto* out = static_cast<uint8_t*>(pixels);
    size_t rowBytes = static_cast<size_t>(s.width) * 4;
    if (pitch == s.pitch) {
        std::memcpy(out, screenRow(s, s.shownPage, first), rowBytes * span.h);
    } else {
        for (int32_t y = first; y <= last; ++y) {
            std::memcpy(out + static_cast<size_t>(y - first) * pitch, screenRow(s, s.shownPage, y),
                        rowBytes);
        }
    }
    SDL_UnlockTexture(p.texture);
    return true;
}

void copyMarkedRows(SdlPresenter& p) {
    if (!p.texture) return;
    Screen& s = *p.screen;
    int32_t first = 0;
    while (first < s.height && !s.changedRows[first])
        ++first;
    if (first == s.height) return;
    int32_t last = s.height - 1;
    while (!s.changedRows[last])
        --last;
    if (!copyRows(p, first, last)) return;  // marks stay for the next cycle
    std::memset(s.changedRows + first, 0, static_cast<size_t>(last - first + 1));
    p.needsPresent = true;
}

void applyPointer(SdlPresenter& p) {
    if (!p.window) return;
    SDL_ShowCursor(p.pointerHidden ? SDL_DISABLE : SDL_ENABLE);
    if (p.pointerConfined) {
        SDL_Rect area = pictureInWindow(p);
        SDL_SetWindowMouseRect(p.window, &area);
    } else {
        SDL_SetWindowMouseRect(p.window, nullptr);
    }
    if (p.warpPending) {
        SDL_Rect area = pictureInWindow(p);
        double sx = static_cast<double>(area.w) / p.screen->width;
        double sy = static_cast<double>(area.h) / p.screen->height;
        SDL_WarpMouseInWindow(p.window, area.x + static_cast<int>((p.warpX + 0.5) * sx),
                              area.y + static_cast<int>((p.warpY + 0.5) * sy));
        p.warpPending = false;
    }
    p.pointerChanged = false;
}

void destroyWindow(SdlPresenter& p) {
    if (p.window) {
        int display = SDL_GetWindowDisplayIndex(p.window);
        if (display >= 0) p.displayIndex = display;
    }
    if (p.window && !p.fullScreen) {
        SDL_GetWindowPosition(p.window, &p.windowX, &p.windowY);
        p.haveWindowPosition = true;
    }
    if (p.texture) SDL_DestroyTexture(p.texture);
    if (p.renderer) SDL_DestroyRenderer(p.renderer);
    if (p.window) SDL_DestroyWindow(p.window);
    p.texture = nullptr;
    p.renderer = nullptr;
    p.window = nullptr;
    p.windowId = 0;
}

bool createRenderer(SdlPresenter& p) {
    Screen& s = *p.screen;
    p.renderer = SDL_CreateRenderer(p.window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (!p.renderer) p.renderer = SDL_CreateRenderer(p.window, -1, SDL_RENDERER_SOFTWARE);
    if (!p.renderer) return false;
    // The alpha byte is never shown, so the texture ignores it.
    p.texture = SDL_CreateTexture(p.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                  s.width, s.height);
    if (!p.texture) return false;
    SDL_SetTextureScaleMode(p.texture, SDL_ScaleModeNearest);
    SDL_SetTextureBlendMode(p.texture, SDL_BLENDMODE_NONE);
    return true;
}

// Full screen is a borderless window over the whole desktop of the display
// the window was on; the display's mode is never changed. On X11 the window
// is placed and sized by us, which works with and without a window manager
// (SDL's own full-screen request needs one). Elsewhere (Wayland, where
// clients cannot place windows, and the rest) SDL's desktop full screen is
// that same borderless window.
bool createWindow(SdlPresenter& p, bool fullScreen) {
    Screen& s = *p.screen;
    uint32_t flags = SDL_WINDOW_ALLOW_HIGHDPI;
    int x = SDL_WINDOWPOS_CENTERED_DISPLAY(p.displayIndex);
    int y = SDL_WINDOWPOS_CENTERED_DISPLAY(p.displayIndex);
    int width = s.width, height = s.height;
    SDL_Rect desktop;
    if (fullScreen) {
        if (SDL_GetDisplayBounds(p.displayIndex, &desktop) != 0) return false;
        const char* driver = SDL_GetCurrentVideoDriver();
        if (driver && std::strcmp(driver, "x11") == 0) {
            flags |= SDL_WINDOW_BORDERLESS;
            x = desktop.x;
            y = desktop.y;
            width = desktop.w;
            height = desktop.h;
        } else {
            flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
        }
    } else if (p.haveWindowPosition) {
        x = p.windowX;
        y = p.windowY;
    }
    p.window = SDL_CreateWindow(s.title.c_str(), x, y, width, height, flags);
    if (!p.window || !createRenderer(p)) {
        destroyWindow(p);
        return false;
    }
    p.fullScreen = fullScreen;
    p.windowId = SDL_GetWindowID(p.window);
    SDL_RaiseWindow(p.window);
    if (!copyRows(p, 0, s.height - 1)) {
        destroyWindow(p);
        return false;
    }
    p.needsPresent = true;
    applyPointer(p);
    return true;
}

bool coversItsDisplay(const SdlPresenter& p) {
    SDL_Rect desktop;
    int display = SDL_GetWindowDisplayIndex(p.window);
    if (display < 0 || SDL_GetDisplayBounds(display, &desktop) != 0) return true;
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowPosition(p.window, &x, &y);
    SDL_GetWindowSize(p.window, &w, &h);
    return x == desktop.x && y == desktop.y && w == desktop.w && h == desktop.h;
}

void activationChanged(SdlPresenter& p) {
    p.screen->active = p.focused && !p.minimised;
    markAllRows(p);
    p.needsPresent = true;
}

void settleAfterSwitch(SdlPresenter& p) {
    markAllRows(p);
    p.focused = true;
    p.minimised = false;
    p.screen->active = true;
}

// The form changes by making the window again, which works the same with
// and without a window manager.
void switchForm(SdlPresenter& p) {
    bool from = p.fullScreen;
    p.pointerConfined = false;
    if (p.window) SDL_SetWindowMouseRect(p.window, nullptr);
    destroyWindow(p);
    if (!createWindow(p, !from) && !createWindow(p, from)) {
        p.fullScreen = from;
        p.nextRetryTicks = SDL_GetTicks() + switchRetryMs;
    }
    settleAfterSwitch(p);
}

void handleWindowEvent(SdlPresenter& p, const SDL_WindowEvent& event) {
    // Events of a window that a switch replaced say nothing about this one.
    if (event.windowID != p.windowId) return;
    switch (event.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            p.focused = true;
            activationChanged(p);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            p.focused = false;
            activationChanged(p);
            break;
        case SDL_WINDOWEVENT_MINIMIZED:
            p.minimised = true;
            activationChanged(p);
            break;
        case SDL_WINDOWEVENT_RESTORED:
            p.minimised = false;
            activationChanged(p);
            break;
        case SDL_WINDOWEVENT_MAXIMIZED:
            if (!p.fullScreen && p.screen->active) switchForm(p);
            break;
        case SDL_WINDOWEVENT_MOVED:
            if (!p.fullScreen) {
                p.windowX = event.data1;
                p.windowY = event.data2;
                p.haveWindowPosition = true;
            }
            break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_RESIZED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            p.needsPresent = true;
            if (p.pointerConfined) p.pointerChanged = true;
            break;
        default:
            break;
    }
}

void handleEvent(SdlPresenter& p, const SDL_Event& event) {
    SdlKeyInput keys = mapSdlEvent(event, p.keys);
    for (int i = 0; i < keys.count; ++i)
        pushKey(keys.codes[i]);
    if (keys.switchForm && p.screen->active) switchForm(p);
    switch (event.type) {
        case SDL_WINDOWEVENT:
            handleWindowEvent(p, event.window);
            break;
        case SDL_DISPLAYEVENT:
            // A full-screen window follows its display's new size.
            if (p.fullScreen && p.window && !coversItsDisplay(p)) {
                destroyWindow(p);
                if (!createWindow(p, true) && !createWindow(p, false)) {
                    p.nextRetryTicks = SDL_GetTicks() + switchRetryMs;
                }
                settleAfterSwitch(p);
            }
            markAllRows(p);
            p.needsPresent = true;
            break;
        case SDL_RENDER_TARGETS_RESET:
            markAllRows(p);
            p.needsPresent = true;
            break;
        case SDL_RENDER_DEVICE_RESET:
            if (p.window) {
                if (p.texture) SDL_DestroyTexture(p.texture);
                if (p.renderer) SDL_DestroyRenderer(p.renderer);
                p.texture = nullptr;
                p.renderer = nullptr;
                if (!createRenderer(p)) {
                    destroyWindow(p);
                    p.nextRetryTicks = SDL_GetTicks() + switchRetryMs;
                }
            }
            markAllRows(p);
            p.needsPresent = true;
            break;
        default:
            break;
    }
}

}  // namespace

SdlPresenter* createSdlPresenter(Screen& screen, bool fullScreen) {
    if (!startVideo()) return nullptr;
    auto* p = new SdlPresenter;
    p->screen = &screen;
    bool created;
    {
        std::lock_guard<std::recursive_mutex> hold(displayLock());
        created = createWindow(*p, fullScreen);
    }
    if (!created) {
        delete p;
        stopVideo();
        return nullptr;
    }
    SDL_DisableScreenSaver();
    SDL_StartTextInput();
    return p;
}

void destroySdlPresenter(SdlPresenter* p) {
    if (!p) return;
    if (p->window) SDL_SetWindowMouseRect(p->window, nullptr);
    SDL_ShowCursor(SDL_ENABLE);
    destroyWindow(*p);
    SDL_EnableScreenSaver();
    stopVideo();
    delete p;
}

void runLockedCycle(SdlPresenter& p) {
    std::lock_guard<std::recursive_mutex> hold(displayLock());
    if (!p.window && SDL_TICKS_PASSED(SDL_GetTicks(), p.nextRetryTicks)) {
        if (createWindow(p, p.fullScreen) || createWindow(p, !p.fullScreen)) {
            settleAfterSwitch(p);
        } else {
            p.nextRetryTicks = SDL_GetTicks() + switchRetryMs;
        }
    }
    copyMarkedRows(p);
    SDL_Event event;
    while (SDL_PollEvent(&event))
        handleEvent(p, event);
    if (p.pointerChanged) applyPointer(p);
}

void presentIfChanged(SdlPresenter& p) {
    if (!p.needsPresent || !p.renderer) return;
    PictureRect target = pictureTarget(p);
    SDL_Rect dst = {target.x, target.y, target.width, target.height};
    SDL_SetRenderDrawColor(p.renderer, 0, 0, 0, 255);
    SDL_RenderClear(p.renderer);
    SDL_RenderCopy(p.renderer, p.texture, nullptr, &dst);
    SDL_RenderPresent(p.renderer);
    p.needsPresent = false;
}

void requestPointer(SdlPresenter& p, int32_t x, int32_t y, int32_t visible, int32_t clip) {
    Screen& s = *p.screen;
    if (x >= 0) {
        p.warpX = std::min(x, s.width - 1);
        p.warpY = std::clamp(y, 0, s.height - 1);
        p.warpPending = true;
    }
    if (visible >= 0) p.pointerHidden = visible == 0;
    if (clip >= 0) p.pointerConfined = clip > 0;
    p.pointerChanged = true;
}

bool presenterFullScreen(const SdlPresenter& p) {
    return p.fullScreen;
}

}  // namespace drusk
