// A picture in memory: 0xAARRGGBB pixels, top row first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace drusk::castle {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

inline Picture blankPicture(int width, int height, uint32_t fill) {
    return Picture{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, fill)};
}

}  // namespace drusk::castle
