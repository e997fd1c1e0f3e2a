// Filled boxes and 8 by 8 text on the screen's drawing page.
#pragma once

#include <cstdint>
#include <string>

#include "screen/screen.h"

namespace drusk {

// The colour a drawing primitive leaves in a pixel that held `old`: colour
// itself when stored, the alpha blend when the screen blends and colour is
// not opaque. The blended pixel keeps old's alpha byte.
inline Colour blendPixel(Colour old, Colour colour) {
    uint32_t a = colour >> 24;
    uint32_t redBlue =
        ((((colour & 0x00FF00FFu) - (old & 0x00FF00FFu)) * a >> 8) + (old & 0x00FF00FFu)) &
        0x00FF00FFu;
    uint32_t green =
        ((((colour & 0x0000FF00u) - (old & 0x0000FF00u)) * a >> 8) + (old & 0x0000FF00u)) &
        0x0000FF00u;
    return (old & 0xFF000000u) | redBlue | green;
}

// True when primitives drawing in this colour blend rather than store.
inline bool blendsOn(const Screen& screen, Colour colour) {
    return (screen.flags & alphaPrimitives) != 0 && (colour >> 24) != 0xFF;
}

// Fills the box between two corners, both included, in any order.
void fillBox(float x1, float y1, float x2, float y2, Colour colour);

// Draws every byte of text as its glyph, 8 pixels apart, the first cell's
// top-left corner at (x, y); only the glyphs' set pixels are written.
// Returns 0.
int drawText(float x, float y, const std::string& text, Colour colour);

}  // namespace drusk
