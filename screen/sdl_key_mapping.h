// How the window's SDL events become queued keys. Kept free of any window
// so every case can be checked with hand-made events.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "screen/keyboard.h"

namespace drusk {

// A key's position on the PC keyboard: its set-1 scan code and whether the
// keyboard sends it with the extended-key prefix. Code 0 for keys it lacks.
struct PcScanCode {
    uint8_t code;
    bool extended;
};
PcScanCode pcScanCode(SDL_Scancode scancode);

// What the mapping remembers between events: text input carries no
// modifier state, so it belongs to the key press that came before it.
struct SdlKeyTracker {
    bool textAllowed = true;
};

struct SdlKeyInput {
    KeyCode codes[32] = {};  // to append, in order
    int count = 0;
    bool switchForm = false;  // Alt+Enter: switch between full screen and window
};

// Maps one event. Events that are not about keys or the close request give
// nothing.
SdlKeyInput mapSdlEvent(const SDL_Event& event, SdlKeyTracker& tracker);

}  // namespace drusk
