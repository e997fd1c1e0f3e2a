// Writes Windows bitmap (BMP) files in every layout the game's loader reads,
// and on request in broken ones. The sample castle's pictures and the tests'
// fixtures are written with it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace drusk {

// A picture as it goes into the file: width by height values, top row
// first. For 1, 4 and 8 bits a value is a colour table index; for 16, 24 and
// 32 bits it is the pixel value exactly as stored (see packPixels).
struct BmpPicture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> values;
    // 0xAARRGGBB colour table entries for 1, 4 and 8 bits; the file gets
    // exactly 2^bits entries unless colourTableEntries says otherwise, the
    // missing ones black.
    std::vector<uint32_t> palette;
};

enum BmpCompression : uint32_t {
    BmpUncompressed = 0,
    BmpRunLength8 = 1,
    BmpRunLength4 = 2,
    BmpBitFields = 3,
};

struct BmpFormat {
    // 12 gives the short core header with 16-bit sizes and 3-byte colour
    // table entries; 16 and up the long form, cut or padded to this size.
    uint32_t infoHeaderSize = 40;
    uint16_t bitCount = 24;
    uint32_t compression = BmpUncompressed;
    // Rows top first, with a negative height. The 12-byte core header has
    // no negative heights: there the 16-bit field simply wraps.
    bool topDown = false;
    // Red, green, blue and alpha masks. With bit fields they are written in
    // the header when it has room for them (56 bytes and up), else right
    // after it; a header of 56 bytes or more carries them in any case.
    uint32_t masks[4] = {0, 0, 0, 0};

    // Writes 0 as the pixel-data offset: the rows follow the tables.
    bool zeroDataOffset = false;
    // Bytes of zeros between the tables and the pixel rows.
    uint32_t gapBeforePixels = 0;

    // For broken files: fields written instead of the true ones.
    char signature[2] = {'B', 'M'};
    uint16_t planes = 1;
    std::optional<int32_t> widthField;
    std::optional<int32_t> heightField;  // before topDown is applied
    std::optional<uint32_t> dataOffset;
    std::optional<uint32_t> colourTableEntries;
    // Written as the pixel data instead of the encoded picture.
    std::optional<std::string> pixelData;
};

// The standard masks of each bit count: 5-5-5 for 16 bits, 8-8-8(-8) above.
void defaultMasks(uint16_t bitCount, uint32_t masks[4]);

// Packs 0xAARRGGBB colours into the pixel values of a 16, 24 or 32-bit
// format: each channel cut to its mask's width (or widened past 8 bits) and
// shifted into place; the format's masks, or the default ones when they are
// all zero.
std::vector<uint32_t> packPixels(const std::vector<uint32_t>& colours, const BmpFormat& format);

// Gives every distinct colour of `colours` a palette entry, in order of first
// appearance. False when there are more than maxEntries colours.
bool indexColours(const std::vector<uint32_t>& colours, size_t maxEntries,
                  std::vector<uint32_t>& indices, std::vector<uint32_t>& palette);

// The whole file. Run-length formats are encoded with runs, literal
// stretches and an end-of-line code per row, and one end-of-picture code.
std::string encodeBmp(const BmpPicture& picture, const BmpFormat& format);

// encodeBmp written to a file; false when the file cannot be written.
bool writeBmpFile(const std::string& path, const BmpPicture& picture, const BmpFormat& format);

// Builds a picture of 0xAARRGGBB colours in the given format: packed for 16
// to 32 bits, indexed for 8 bits and less. False when an indexed format has
// too few entries for the colours.
bool pictureFromColours(int32_t width, int32_t height, const std::vector<uint32_t>& colours,
                        const BmpFormat& format, BmpPicture& picture);

}  // namespace drusk
