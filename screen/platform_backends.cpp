#include "screen/screen_backend.h"

namespace drusk {

ScreenBackendList platformScreenBackends() {
    return {};
}

}  // namespace drusk
