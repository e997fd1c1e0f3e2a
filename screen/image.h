// Off-screen pictures in the screen's 32-bit format, and putting them on the
// screen.
#pragma once

#include <cstddef>
#include <cstdint>

#include "screen/screen.h"

namespace drusk {

// Opaque magenta: the fill of a new image, and the colour Transparent leaves
// out (its red, green and blue only).
inline constexpr Colour maskColour = 0xFFFF00FF;
inline constexpr uint32_t imageHeaderType = 7;

struct ImageHeader {
    uint32_t type = imageHeaderType;
    int32_t bytesPerPixel = 4;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t pitch = 0;  // width * bytesPerPixel rounded up to 16
    uint8_t reserved[12] = {};
};
static_assert(sizeof(ImageHeader) == 32);

// One block: the header on a 16-byte boundary, the pixel rows right after it,
// top row first, each starting on a 16-byte boundary too.
struct alignas(16) Image {
    ImageHeader header;
};
static_assert(sizeof(Image) == sizeof(ImageHeader));

// Pixel row y of an image.
inline uint32_t* imageRow(Image* image, uint32_t y) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(image) + sizeof(ImageHeader) +
                                       static_cast<size_t>(y) * image->header.pitch);
}
inline const uint32_t* imageRow(const Image* image, uint32_t y) {
    return reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(image) +
                                             sizeof(ImageHeader) +
                                             static_cast<size_t>(y) * image->header.pitch);
}

enum PutMode : int32_t {
    Transparent = 0,  // leaves out maskColour, writes the rest with alpha 0
    Copy = 1,         // every pixel, alpha included
};

// The rectangle outside which nothing is drawn: the whole screen.
struct ClipRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
};
ClipRect clipRect(const Screen& screen);

// A drawing coordinate to a pixel index, halves away from zero. Values beyond
// any screen are held at +-2^30 so that sums with sizes cannot overflow; NaN
// counts as 0.
int32_t roundCoord(float v);

// A new image filled with maskColour, padding included; null when no screen
// is open, a size is not positive, or the memory cannot be had.
Image* createImage(int32_t width, int32_t height);
// Gives back an image's memory. The game keeps its images for the whole run.
void destroyImage(Image* image);

// Puts the whole image with its top-left corner at (x, y) on the drawing
// page. 0 when it ran (also when nothing was visible), 1 when refused: no
// screen, a null image, or pixels of another size than the screen's.
int putImage(float x, float y, const Image* image, PutMode mode);

}  // namespace drusk
