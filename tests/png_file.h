// Saving what a test saw as a PNG file, for people to look at: 8-bit RGB,
// deflated with zlib.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace drusk::testing {

// The PNG file of a picture given as 0x00RRGGBB pixels, rows top to bottom;
// empty when the sizes do not fit the pixels.
std::string encodePng(int width, int height, const std::vector<uint32_t>& pixels);

// 0, 2 when the file cannot be written, 3 when the sizes do not fit.
int writePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels);

}  // namespace drusk::testing
