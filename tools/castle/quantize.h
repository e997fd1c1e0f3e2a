// Reduces a picture to 256 colours for the palette formats of the castle.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/castle/picture.h"

namespace drusk::castle {

// indices: one palette index per pixel; palette: at most 256 0xFFRRGGBB
// colours chosen by median cut, with ordered dithering so gradients in the
// dark do not band.
void quantize(const Picture& picture, std::vector<uint32_t>& indices,
              std::vector<uint32_t>& palette);

}  // namespace drusk::castle
