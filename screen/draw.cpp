#include "screen/draw.h"

#include <algorithm>

#include "screen/font.h"
#include "screen/image.h"

namespace drusk {

void fillBox(float x1, float y1, float x2, float y2, Colour colour) {
    Screen* screen = currentScreen();
    if (!screen) return;
    bool blend = blendsOn(*screen, colour);
    int32_t left = roundCoord(x1);
    int32_t top = roundCoord(y1);
    int32_t right = roundCoord(x2);
    int32_t bottom = roundCoord(y2);
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);

    ClipRect clip = clipRect(*screen);
    int32_t clipRight = clip.left + clip.width - 1;
    int32_t clipBottom = clip.top + clip.height - 1;
    if (right < clip.left || bottom < clip.top || left > clipRight || top > clipBottom) return;
    left = std::max(left, clip.left);
    top = std::max(top, clip.top);
    right = std::min(right, clipRight);
    bottom = std::min(bottom, clipBottom);

    lockScreen();
    int32_t count = right - left + 1;
    for (int32_t y = top; y <= bottom; ++y) {
        uint32_t* span = screenRow(*screen, screen->drawingPage, y) + left;
        if (blend) {
            for (int32_t i = 0; i < count; ++i)
                span[i] = blendPixel(span[i], colour);
        } else {
            std::fill(span, span + count, colour);
        }
    }
    unlockScreen(top, bottom);
}

int drawText(float x, float y, const std::string& text, Colour colour) {
    Screen* screen = currentScreen();
    if (!screen || text.empty()) return 0;
    bool blend = blendsOn(*screen, colour);
    int64_t px = roundCoord(x);
    int64_t py = roundCoord(y);
    int64_t n = static_cast<int64_t>(text.size());
    lockScreen();

    ClipRect clip = clipRect(*screen);
    int64_t clipRight = int64_t{clip.left} + clip.width - 1;
    int64_t clipBottom = int64_t{clip.top} + clip.height - 1;
    int64_t textRight = px + glyphWidth * n - 1;
    if (textRight < clip.left || px > clipRight || py + glyphHeight - 1 < clip.top ||
        py > clipBottom) {
        unlockScreen(1, 0);
        return 0;
    }

    int64_t firstRow = std::max<int64_t>(0, clip.top - py);
    int64_t lastRow = std::min<int64_t>(glyphHeight - 1, clipBottom - py);
    // Characters whose cell reaches into the clip rectangle.
    int64_t firstChar = px >= clip.left ? 0 : (clip.left - px) / glyphWidth;
    int64_t lastChar = std::min<int64_t>(n - 1, (clipRight - px) / glyphWidth);

    for (int64_t k = firstChar; k <= lastChar; ++k) {
        const uint8_t* glyph = screenFont[static_cast<uint8_t>(text[static_cast<size_t>(k)])];
        int64_t cellLeft = px + glyphWidth * k;
        // Glyph columns that fall inside the clip rectangle.
        int firstColumn = static_cast<int>(std::max<int64_t>(0, clip.left - cellLeft));
        int lastColumn = static_cast<int>(std::min<int64_t>(glyphWidth - 1, clipRight - cellLeft));
        for (int64_t r = firstRow; r <= lastRow; ++r) {
            uint8_t bits = glyph[r];
            if (bits == 0) continue;
            uint32_t* row = screenRow(*screen, screen->drawingPage, static_cast<int32_t>(py + r));
            for (int i = firstColumn; i <= lastColumn; ++i) {
                if (!(bits & (0x80 >> i))) continue;
                uint32_t& pixel = row[cellLeft + i];
                pixel = blend ? blendPixel(pixel, colour) : colour;
            }
        }
    }
    unlockScreen(static_cast<int32_t>(py + firstRow), static_cast<int32_t>(py + lastRow));
    return 0;
}

}  // namespace drusk
