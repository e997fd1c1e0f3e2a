#include "screen/screen_backend.h"

namespace drusk {

ScreenBackendList platformScreenBackends() {
    ScreenBackendList list;
    list.entries[list.count++] = &sdlScreenBackend;
    return list;
}

}  // namespace drusk
