#include "screen/picture_fit.h"

#include <algorithm>

namespace drusk {

PictureRect fitPicture(int32_t outputWidth, int32_t outputHeight, int32_t pictureWidth,
                       int32_t pictureHeight) {
    if (outputWidth <= 0 || outputHeight <= 0 || pictureWidth <= 0 || pictureHeight <= 0) {
        return {0, 0, 0, 0};
    }
    int64_t ow = outputWidth, oh = outputHeight, pw = pictureWidth, ph = pictureHeight;
    int64_t whole = std::min(ow / pw, oh / ph);
    int64_t width, height;
    if (whole >= 2) {
        width = pw * whole;
        height = ph * whole;
    } else if (ow * ph <= oh * pw) {
        width = ow;
        height = std::max<int64_t>(1, ow * ph / pw);
    } else {
        height = oh;
        width = std::max<int64_t>(1, oh * pw / ph);
    }
    return {static_cast<int32_t>((ow - width) / 2), static_cast<int32_t>((oh - height) / 2),
            static_cast<int32_t>(width), static_cast<int32_t>(height)};
}

}  // namespace drusk
