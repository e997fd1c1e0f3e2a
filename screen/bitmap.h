// Loading Windows bitmap (BMP) files onto the screen or into an image.
#pragma once

#include <cstdint>
#include <string>

#include "screen/image.h"

namespace drusk {

enum LoadResult : int32_t {
    Ok = 0,
    NoScreen = 1,    // no screen open (or a destination image not in the screen's format)
    CannotOpen = 2,  // the file cannot be opened for reading
    BadFile = 3,     // the content is not a picture this loader reads
};

// Reads the picture and writes it, converted to 32-bit Colours, from the
// destination's top-left corner on: into the image, or onto the screen's
// drawing page when destination is null. Parts of the picture beyond the
// destination are dropped; parts of the destination beyond the picture keep
// what they had. A file that ends early, or whose run-length data is
// damaged, gives BadFile and keeps the rows converted before that point.
LoadResult loadBitmap(const std::string& name, Image* destination);

}  // namespace drusk
