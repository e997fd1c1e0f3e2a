// Writes the seed corpus of the bitmap loader's fuzz target: one small file
// for each layout the loader reads.
//
//   make_bitmap_seeds DIRECTORY
#include <cstdio>
#include <string>
#include <vector>

#include "tools/bmp_writer.h"

namespace {

struct Seed {
    const char* name;
    uint32_t headerSize;
    uint16_t bits;
    uint32_t compression;
    bool topDown;
    uint32_t masks[4];
    bool zeroOffset;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    std::string directory = argv[1];
    const Seed seeds[] = {
        {"24-bit", 40, 24, 0, false, {}, false},
        {"24-bit-top-down", 40, 24, 0, true, {}, false},
        {"24-bit-core", 12, 24, 0, false, {}, false},
        {"24-bit-offset-0", 40, 24, 0, false, {}, true},
        {"32-bit", 40, 32, 0, false, {}, false},
        {"32-bit-fields", 40, 32, 3, false, {0xFF0000, 0xFF00, 0xFF, 0}, false},
        {"32-bit-v4-fields", 108, 32, 3, false, {0xFF000000, 0xFF0000, 0xFF00, 0xFF}, false},
        {"32-bit-v5-10-10-10-2", 124, 32, 3, true, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}, false},
        {"16-bit", 40, 16, 0, false, {}, false},
        {"16-bit-565", 40, 16, 3, false, {0xF800, 0x07E0, 0x001F, 0}, true},
        {"16-bit-core", 12, 16, 0, false, {}, false},
        {"8-bit", 40, 8, 0, false, {}, false},
        {"8-bit-core", 12, 8, 0, false, {}, false},
        {"8-bit-top-down", 40, 8, 0, true, {}, false},
        {"4-bit", 40, 4, 0, false, {}, false},
        {"1-bit", 40, 1, 0, false, {}, false},
        {"rle8", 40, 8, 1, false, {}, false},
        {"rle4", 40, 4, 2, false, {}, false},
    };
    // 11 by 6 pixels: an odd width for padding, stripes for runs.
    const int32_t width = 11, height = 6;
    std::vector<uint32_t> colours;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            uint32_t stripe = static_cast<uint32_t>((x / 3 + y) % 4);
            colours.push_back(0x80000000u | stripe * 0x3F1F0Fu | static_cast<uint32_t>(x));
        }
    }
    for (const Seed& s : seeds) {
        drusk::BmpFormat format;
        format.infoHeaderSize = s.headerSize;
        format.bitCount = s.bits;
        format.compression = s.compression;
        format.topDown = s.topDown;
        format.zeroDataOffset = s.zeroOffset;
        for (int i = 0; i < 4; ++i)
            format.masks[i] = s.masks[i];
        std::vector<uint32_t> used = colours;
        if (s.bits <= 8) {
            // Few enough colours for the smallest palette in use.
            uint32_t keep = s.bits == 1 ? 1 : 3;
            for (uint32_t& c : used)
                c = 0xFF000000u | (c & keep) * 0x404040u;
        }
        drusk::BmpPicture picture;
        if (!drusk::pictureFromColours(width, height, used, format, picture) ||
            !drusk::writeBmpFile(directory + "/" + s.name + ".bmp", picture, format)) {
            std::fprintf(stderr, "cannot write %s\n", s.name);
            return 1;
        }
    }
    return 0;
}
