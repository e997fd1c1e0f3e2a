// The title picture and the game-over overlay of the sample castle.
#pragma once

#include <cstdint>

#include "tools/castle/picture.h"

namespace drusk::castle {

// glyphs: 256 glyphs of 8 rows, most significant bit leftmost.
Picture renderTitle(const uint8_t (*glyphs)[8]);

// Magenta (the mask colour) everywhere but the banner, so the frame below
// shows through around it.
Picture renderGameOver(const uint8_t (*glyphs)[8]);

}  // namespace drusk::castle
