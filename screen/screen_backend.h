// What a display back end provides to the screen core.
#pragma once

#include <cstdint>

#include "screen/screen.h"

namespace drusk {

struct ScreenBackend {
    const char* name;
    // Shows the open screen full screen or in a window, starting the window
    // thread if it has one; false when it declines. Everything it started
    // is stopped again before it returns false.
    bool (*start)(Screen& screen, bool fullScreen, int32_t refresh);
    // Stops the window thread and removes what start created. Called
    // without the display lock held by the caller.
    void (*stop)(Screen& screen);
    // Applies a setMouse request; called with the display lock held.
    void (*setMouse)(Screen& screen, int32_t x, int32_t y, int32_t visible, int32_t clip);
};

// The back end that keeps the screen in memory only: no window, no output,
// no keys.
extern const ScreenBackend nullScreenBackend;

// The back end that shows the screen through SDL: a borderless window over
// the whole desktop, or a 640 by 480 window.
extern const ScreenBackend sdlScreenBackend;

// Back ends tried when none is named, in order.
inline constexpr int maxScreenBackends = 4;
struct ScreenBackendList {
    const ScreenBackend* entries[maxScreenBackends] = {};
    int count = 0;
};
// The platform back ends of this build, in the order they are tried.
ScreenBackendList platformScreenBackends();

// The order openScreen tries back ends in, given the DRUSK_SCREEN setting
// (may be null): a named back end first, "null" alone.
ScreenBackendList screenBackendOrder(const char* setting);

}  // namespace drusk
