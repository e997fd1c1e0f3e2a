// The SDL window that shows the screen: created, cycled and destroyed by one
// thread, which makes every SDL video and event call. The window thread of
// the sdl back end drives it; the benchmark drives it directly.
#pragma once

#include <cstdint>

#include "screen/screen.h"

namespace drusk {

struct SdlPresenter;

// Starts SDL video and opens the window full screen (a borderless window
// over the whole desktop) or as a 640 by 480 window; null when it cannot.
// The screen's pages must already exist.
SdlPresenter* createSdlPresenter(Screen& screen, bool fullScreen);
void destroySdlPresenter(SdlPresenter* presenter);

// The part of a presentation cycle done under the display lock: copies the
// marked rows into the texture, clears the marks and handles every waiting
// window event.
void runLockedCycle(SdlPresenter& presenter);
// Shows the texture when anything changed since it was last shown. Needs no
// lock: only the presenting thread touches the texture.
void presentIfChanged(SdlPresenter& presenter);

// Records a setMouse request for the next cycle. Call with the display
// lock held.
void requestPointer(SdlPresenter& presenter, int32_t x, int32_t y, int32_t visible, int32_t clip);

bool presenterFullScreen(const SdlPresenter& presenter);

}  // namespace drusk
