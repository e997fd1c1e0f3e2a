#include "screen/screen_backend.h"

namespace drusk {

namespace {

bool startNull(Screen& screen, bool, int32_t) {
    screen.active = true;
    return true;
}

void stopNull(Screen& screen) {
    screen.active = false;
}

void setMouseNull(Screen&, int32_t, int32_t, int32_t, int32_t) {}

}  // namespace

const ScreenBackend nullScreenBackend = {"null", startNull, stopNull, setMouseNull};

}  // namespace drusk
