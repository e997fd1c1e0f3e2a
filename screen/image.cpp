#include "screen/image.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace drusk {

namespace {

constexpr double coordLimit = 1 << 30;

}  // namespace

ClipRect clipRect(const Screen& screen) {
    return {0, 0, screen.width, screen.height};
}

int32_t roundCoord(float v) {
    // In double the sum is exact for every float, so 0.49999997 stays below
    // one half instead of rounding up to it.
    double d = static_cast<double>(v);
    if (std::isnan(d)) return 0;
    d = d > 0 ? d + 0.5 : d - 0.5;
    if (d >= coordLimit) return 1 << 30;
    if (d <= -coordLimit) return -(1 << 30);
    return static_cast<int32_t>(d);
}

Image* createImage(int32_t width, int32_t height) {
    Screen* screen = currentScreen();
    if (!screen || width <= 0 || height <= 0) return nullptr;
    uint64_t pitch = (static_cast<uint64_t>(width) * 4 + 15) & ~uint64_t{15};
    if (pitch > UINT32_MAX) return nullptr;
    uint64_t pixelBytes = pitch * static_cast<uint64_t>(height);
    if (pixelBytes > SIZE_MAX - sizeof(ImageHeader)) return nullptr;
    // The header is 32 bytes and the pitch a multiple of 16, so a 16-byte
    // aligned block keeps every row aligned too.
    void* block = std::aligned_alloc(16, sizeof(ImageHeader) + static_cast<size_t>(pixelBytes));
    if (!block) return nullptr;
    auto* image = new (block) Image;
    image->header.bytesPerPixel = screen->bytesPerPixel;
    image->header.width = static_cast<uint32_t>(width);
    image->header.height = static_cast<uint32_t>(height);
    image->header.pitch = static_cast<uint32_t>(pitch);
    uint32_t* pixels = imageRow(image, 0);
    size_t words = static_cast<size_t>(pixelBytes / 4);
    for (size_t i = 0; i < words; ++i)
        pixels[i] = maskColour;
    return image;
}

void destroyImage(Image* image) {
    std::free(image);
}

int putImage(float x, float y, const Image* image, PutMode mode) {
    Screen* screen = currentScreen();
    if (!screen || !image) return 1;
    if (image->header.bytesPerPixel != screen->bytesPerPixel) return 1;
    if (mode != Copy && mode != Transparent) return 1;

    int64_t px = roundCoord(x);
    int64_t py = roundCoord(y);
    int64_t w = image->header.width;
    int64_t h = image->header.height;
    ClipRect clip = clipRect(*screen);
    if (px + w <= clip.left || px >= int64_t{clip.left} + clip.width || py + h <= clip.top ||
        py >= int64_t{clip.top} + clip.height) {
        return 0;
    }

    int64_t firstRow = 0;
    if (py < clip.top) {
        firstRow = clip.top - py;
        py = clip.top;
    }
    int64_t rows = h - firstRow;
    if (py + rows > int64_t{clip.top} + clip.height) rows = int64_t{clip.top} + clip.height - py;
    int64_t firstColumn = 0;
    if (px < clip.left) {
        firstColumn = clip.left - px;
        px = clip.left;
    }
    int64_t columns = w - firstColumn;
    if (px + columns > int64_t{clip.left} + clip.width) {
        columns = int64_t{clip.left} + clip.width - px;
    }

    lockScreen();
    for (int64_t r = 0; r < rows; ++r) {
        const uint32_t* source = imageRow(image, static_cast<uint32_t>(firstRow + r)) + firstColumn;
        uint32_t* target =
            screenRow(*screen, screen->drawingPage, static_cast<int32_t>(py + r)) + px;
        if (mode == Copy) {
            std::memcpy(target, source, static_cast<size_t>(columns) * 4);
        } else {
            // A select rather than a branch, so the loop vectorises.
            for (int64_t i = 0; i < columns; ++i) {
                uint32_t s = source[i] & 0x00FFFFFF;
                target[i] = s == (maskColour & 0x00FFFFFF) ? target[i] : s;
            }
        }
    }
    unlockScreen(static_cast<int32_t>(py), static_cast<int32_t>(py + rows - 1));
    return 0;
}

}  // namespace drusk
