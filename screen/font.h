// The font that text on the screen is drawn in.
#pragma once

#include <cstdint>

namespace drusk {

inline constexpr int glyphWidth = 8;
inline constexpr int glyphHeight = 8;

// screenFont[byte][row]: the row's pixels, bit 7 leftmost, a set bit drawn.
extern const uint8_t screenFont[256][8];

}  // namespace drusk
