// Where the picture goes inside a window or display of another size.
#pragma once

#include <cstdint>

namespace drusk {

struct PictureRect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// The picture scaled as large as the output allows with its aspect kept and
// centred; the scale is a whole number whenever at least 2 fits, so every
// picture pixel becomes the same square of output pixels.
PictureRect fitPicture(int32_t outputWidth, int32_t outputHeight, int32_t pictureWidth,
                       int32_t pictureHeight);

}  // namespace drusk
