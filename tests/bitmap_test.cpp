#include "screen/bitmap.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "tests/screen_fixture.h"
#include "tests/temp_dir.h"
#include "tools/bmp_writer.h"

// The loader's buffers are arrays; record the largest one asked for, so the
// tests can see that hostile sizes allocate nothing large.
namespace {
std::atomic<size_t> largestArray{0};
}
void* operator new[](std::size_t size) {
    size_t seen = largestArray.load();
    while (size > seen && !largestArray.compare_exchange_weak(seen, size)) {
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace drusk {
namespace {

using testing::TempDir;

struct ImageDeleter {
    void operator()(Image* image) const { destroyImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

// A channel by a mask, widened to 8 bits, written plainly from the rules.
uint32_t channelOf(uint32_t pixel, uint32_t mask) {
    if (mask == 0) return 0;
    int low = 0;
    while (!(mask >> low & 1))
        ++low;
    int high = 31;
    while (!(mask >> high & 1))
        --high;
    int w = high - low + 1;
    uint32_t v = (pixel >> low) & (mask >> low);
    if (w >= 4 && w <= 8) return (v << (8 - w)) | (v >> (2 * w - 8));
    if (w <= 3) return v << (8 - w);
    return v >> (w - 8);
}

// A scrambled but repeatable value for position (x, y).
uint32_t scramble(uint32_t x, uint32_t y, uint32_t salt) {
    uint32_t h = x * 0x9E3779B1u ^ y * 0x85EBCA77u ^ salt * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h;
}

struct Variant {
    const char* name;
    BmpFormat format;
    int32_t width;
    int32_t height;
};

BmpFormat format(uint32_t headerSize, uint16_t bits, uint32_t compression = BmpUncompressed) {
    BmpFormat f;
    f.infoHeaderSize = headerSize;
    f.bitCount = bits;
    f.compression = compression;
    return f;
}

BmpFormat withMasks(BmpFormat f, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    f.masks[0] = r;
    f.masks[1] = g;
    f.masks[2] = b;
    f.masks[3] = a;
    return f;
}

BmpFormat topDown(BmpFormat f) {
    f.topDown = true;
    return f;
}

BmpFormat zeroOffset(BmpFormat f) {
    f.zeroDataOffset = true;
    return f;
}

BmpFormat withGap(BmpFormat f, uint32_t gap) {
    f.gapBeforePixels = gap;
    return f;
}

BmpFormat shortTable(BmpFormat f, uint32_t entries) {
    f.colourTableEntries = entries;
    return f;
}

// A test picture for the variant and the Colours the loader must make of it,
// top row first.
struct Fixture {
    BmpPicture picture;
    std::vector<uint32_t> expected;
};

Fixture makeFixture(const Variant& v) {
    Fixture fx;
    BmpPicture& p = fx.picture;
    p.width = v.width;
    p.height = v.height;
    const BmpFormat& f = v.format;
    uint32_t bits = f.bitCount;
    bool runLength = f.compression == BmpRunLength8 || f.compression == BmpRunLength4;
    if (bits <= 8) {
        uint32_t entries = 1u << bits;
        uint32_t used = f.colourTableEntries ? std::min(*f.colourTableEntries, entries) : entries;
        for (uint32_t i = 0; i < entries; ++i)
            p.palette.push_back(scramble(i, 99, bits) | (f.infoHeaderSize == 12 ? 0 : 0));
        for (int32_t y = 0; y < v.height; ++y) {
            for (int32_t x = 0; x < v.width; ++x) {
                // Stretches of repeats, so run-length data has runs and
                // literals both.
                uint32_t index =
                    runLength && (x / 5 + y) % 3 == 0 ? (y * 7) % used : scramble(x, y, 7) % used;
                p.values.push_back(index);
                fx.expected.push_back(0xFF000000u | (p.palette[index] & 0x00FFFFFF));
            }
        }
        return fx;
    }
    uint32_t masks[4];
    bool given = f.masks[0] | f.masks[1] | f.masks[2] | f.masks[3];
    if (f.compression == BmpBitFields) {
        for (int i = 0; i < 4; ++i)
            masks[i] = f.masks[i];
        if (f.infoHeaderSize < 108) masks[3] = 0;  // no alpha mask from a short header
    } else {
        defaultMasks(f.bitCount, masks);
        if (bits == 16) masks[3] = 0;
        (void)given;
    }
    uint32_t valueMask = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
    for (int32_t y = 0; y < v.height; ++y) {
        for (int32_t x = 0; x < v.width; ++x) {
            uint32_t raw = scramble(x, y, bits) & valueMask;
            p.values.push_back(raw);
            uint32_t alpha = bits == 32 ? channelOf(raw, masks[3]) : 0xFF;
            fx.expected.push_back(alpha << 24 | channelOf(raw, masks[0]) << 16 |
                                  channelOf(raw, masks[1]) << 8 | channelOf(raw, masks[2]));
        }
    }
    return fx;
}

std::vector<Variant> variants() {
    return {
        {"24-bit", format(40, 24), 13, 7},
        {"24-bit top-down", topDown(format(40, 24)), 13, 7},
        {"24-bit width 4", format(40, 24), 4, 3},
        {"24-bit width 37", format(40, 24), 37, 3},
        {"24-bit width 37 top-down", topDown(format(40, 24)), 37, 3},
        {"24-bit core header", format(12, 24), 9, 5},
        {"24-bit 16-byte header", format(16, 24), 9, 5},
        {"24-bit 20-byte header", format(20, 24), 9, 5},
        {"24-bit 64-byte header", format(64, 24), 9, 5},
        {"24-bit 108-byte header", format(108, 24), 9, 5},
        {"24-bit 124-byte header", format(124, 24), 9, 5},
        {"24-bit pixel offset 0", zeroOffset(format(40, 24)), 9, 5},
        {"24-bit gap before pixels", withGap(format(40, 24), 37), 9, 5},
        {"24-bit bit fields, blue and red swapped",
         withMasks(format(40, 24, BmpBitFields), 0xFF, 0xFF00, 0xFF0000, 0), 9, 5},
        {"32-bit", format(40, 32), 11, 6},
        {"32-bit top-down", topDown(format(40, 32)), 11, 6},
        {"32-bit core header", format(12, 32), 11, 6},
        {"32-bit bit fields after the header",
         withMasks(format(40, 32, BmpBitFields), 0xFF0000, 0xFF00, 0xFF, 0), 11, 6},
        {"32-bit bit fields after the header, offset 0",
         zeroOffset(withMasks(format(40, 32, BmpBitFields), 0xFF0000, 0xFF00, 0xFF, 0)), 11, 6},
        {"32-bit bit fields, odd masks",
         withMasks(format(40, 32, BmpBitFields), 0xFF000000, 0xFF0000, 0xFF00, 0), 11, 6},
        {"32-bit bit fields in a 108-byte header",
         withMasks(format(108, 32, BmpBitFields), 0xFF000000, 0xFF0000, 0xFF00, 0xFF), 11, 6},
        {"32-bit 10-10-10-2 in a 124-byte header",
         withMasks(format(124, 32, BmpBitFields), 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000), 11, 6},
        {"32-bit standard masks in a 124-byte header",
         withMasks(format(124, 32, BmpBitFields), 0xFF0000, 0xFF00, 0xFF, 0xFF000000), 11, 6},
        {"32-bit masks with holes",
         withMasks(format(108, 32, BmpBitFields), 0x0F0F0000, 0x8001, 0x00F00000 >> 8, 0x7), 11, 6},
        {"16-bit 5-5-5", format(40, 16), 7, 6},
        {"16-bit top-down", topDown(format(40, 16)), 7, 6},
        {"16-bit core header", format(12, 16), 7, 6},
        {"16-bit 5-6-5 bit fields",
         withMasks(format(40, 16, BmpBitFields), 0xF800, 0x07E0, 0x001F, 0), 7, 6},
        {"16-bit 4-4-4-4 in a 108-byte header",
         withMasks(format(108, 16, BmpBitFields), 0x0F00, 0x00F0, 0x000F, 0xF000), 7, 6},
        {"16-bit 3-3-2 with 2 bits and 1 bit",
         withMasks(format(40, 16, BmpBitFields), 0xE0, 0x1C, 0x3, 0), 7, 6},
        {"16-bit 1-bit channels", withMasks(format(40, 16, BmpBitFields), 0x1, 0x2, 0x4, 0), 7, 6},
        {"8-bit", format(40, 8), 13, 7},
        {"8-bit top-down", topDown(format(40, 8)), 13, 7},
        {"8-bit core header", format(12, 8), 13, 7},
        {"8-bit pixel offset 0", zeroOffset(format(40, 8)), 13, 7},
        {"8-bit 16-entry table", shortTable(format(40, 8), 16), 13, 7},
        {"8-bit bit fields", withMasks(format(40, 8, BmpBitFields), 1, 2, 3, 0), 6, 3},
        {"4-bit", format(40, 4), 13, 7},
        {"4-bit core header", format(12, 4), 13, 7},
        {"4-bit top-down", topDown(format(40, 4)), 13, 7},
        {"1-bit width 10", format(40, 1), 10, 5},
        {"1-bit width 37", format(40, 1), 37, 5},
        {"1-bit core header", format(12, 1), 37, 5},
        {"1-bit top-down", topDown(format(40, 1)), 33, 4},
        {"run-length 8", format(40, 8, BmpRunLength8), 29, 9},
        {"run-length 8, width 1", format(40, 8, BmpRunLength8), 1, 4},
        {"run-length 8, wide rows", format(40, 8, BmpRunLength8), 700, 3},
        {"run-length 4", format(40, 4, BmpRunLength4), 29, 9},
        {"run-length 4, odd width", format(40, 4, BmpRunLength4), 7, 5},
        {"run-length 4, pixel offset 0", zeroOffset(format(40, 4, BmpRunLength4)), 7, 5},
    };
}

class BitmapTest : public testing::ScreenTest {
  protected:
    TempDir dir;

    std::string file(const std::string& bytes, const std::string& name = "picture.bmp") {
        return dir.write(name, bytes);
    }

    // An image of the given size, filled with maskColour.
    static ImagePtr newImage(int32_t width, int32_t height) {
        return ImagePtr(createImage(width, height));
    }
    static uint32_t at(const ImagePtr& image, uint32_t x, uint32_t y) {
        return imageRow(image.get(), y)[x];
    }
    static bool allMask(const ImagePtr& image) {
        for (uint32_t y = 0; y < image->header.height; ++y)
            for (uint32_t x = 0; x < image->header.width; ++x)
                if (at(image, x, y) != maskColour) return false;
        return true;
    }
};

TEST_F(BitmapTest, EveryVariantConvertsPixelForPixel) {
    for (const Variant& v : variants()) {
        SCOPED_TRACE(v.name);
        Fixture fx = makeFixture(v);
        std::string path = file(encodeBmp(fx.picture, v.format));

        // Into an image larger than the picture: the rest stays magenta.
        ImagePtr large = newImage(v.width + 3, v.height + 2);
        clearMarks();
        ASSERT_EQ(loadBitmap(path, large.get()), Ok);
        EXPECT_EQ(markedSpan(), std::make_pair(-1, -1)) << "an image load marks no row";
        EXPECT_EQ(screen().lockCount, 0);
        for (int32_t y = 0; y < v.height + 2; ++y) {
            for (int32_t x = 0; x < v.width + 3; ++x) {
                uint32_t expected = x < v.width && y < v.height
                                        ? fx.expected[static_cast<size_t>(y * v.width + x)]
                                        : maskColour;
                ASSERT_EQ(at(large, x, y), expected)
                    << std::hex << "pixel " << std::dec << x << "," << y;
            }
        }
        // Into a smaller image: only the top-left part.
        int32_t w = (v.width + 1) / 2, h = (v.height + 1) / 2;
        ImagePtr small = newImage(w, h);
        ASSERT_EQ(loadBitmap(path, small.get()), Ok);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                ASSERT_EQ(at(small, x, y), fx.expected[static_cast<size_t>(y * v.width + x)])
                    << x << "," << y;
        // Onto the screen.
        fillScreen(0xFF000001);
        clearMarks();
        ASSERT_EQ(loadBitmap(path, nullptr), Ok);
        EXPECT_EQ(markedSpan(), std::make_pair(0, 479));
        for (int32_t y = 0; y < std::min(v.height, 480); ++y)
            for (int32_t x = 0; x < std::min(v.width, 640); ++x)
                ASSERT_EQ(pixel(x, y), fx.expected[static_cast<size_t>(y * v.width + x)]);
        EXPECT_EQ(pixel(std::min(v.width, 639), std::min(v.height, 479)),
                  v.width < 640 || v.height < 480 ? 0xFF000001u : pixel(639, 479));
    }
}

// Bytes of a little-endian 16 or 32-bit value.
std::string le16(uint32_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF)};
}
std::string le32(uint32_t v) {
    return le16(v & 0xFFFF) + le16(v >> 16);
}

// A string literal with every byte, NULs included.
template <size_t N>
std::string raw(const char (&s)[N]) {
    return std::string(s, N - 1);
}

// A file laid out by hand: header fields, colour table and rows as given.
std::string handMade(uint32_t headerSize, int32_t width, int32_t height, uint16_t bits,
                     uint32_t compression, const std::string& tables, const std::string& rows,
                     int64_t dataOffset = -1) {
    std::string info = le32(headerSize) + le32(static_cast<uint32_t>(width)) +
                       le32(static_cast<uint32_t>(height)) + le16(1) + le16(bits) +
                       le32(compression) + std::string(20, '\0');
    info.resize(headerSize, '\0');
    uint32_t offset = dataOffset >= 0 ? static_cast<uint32_t>(dataOffset)
                                      : static_cast<uint32_t>(14 + info.size() + tables.size());
    std::string fileHeader = "BM" + le32(0) + le32(0) + le32(offset);
    return fileHeader + info + tables + rows;
}

TEST_F(BitmapTest, WorkedConversions) {
    struct Case {
        const char* name;
        uint16_t bits;
        uint32_t compression;
        std::string tables;  // bit-field masks
        std::string pixel;   // one pixel, padded
        uint32_t expected;
    };
    const Case cases[] = {
        {"24-bit bytes 10 20 30", 24, 0, "", raw("\x10\x20\x30\0"), 0xFF302010},
        {"16-bit 7FFF", 16, 0, "", le16(0x7FFF) + le16(0), 0xFFFFFFFF},
        {"16-bit 001F", 16, 0, "", le16(0x001F) + le16(0), 0xFF0000FF},
        {"16-bit 4210", 16, 0, "", le16(0x4210) + le16(0), 0xFF848484},
        {"5-6-5 green 63", 16, 3, le32(0xF800) + le32(0x07E0) + le32(0x001F),
         le16(63 << 5) + le16(0), 0xFF00FF00},
        {"32-bit bytes 10 20 30 40", 32, 0, "", raw("\x10\x20\x30\x40"), 0x40302010},
        {"32-bit bit fields, 40-byte header", 32, 3, le32(0xFF0000) + le32(0xFF00) + le32(0xFF),
         raw("\x10\x20\x30\x40"), 0x00302010},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImagePtr image = newImage(1, 1);
        ASSERT_EQ(loadBitmap(file(handMade(40, 1, 1, c.bits, c.compression, c.tables, c.pixel)),
                             image.get()),
                  Ok);
        EXPECT_EQ(at(image, 0, 0), c.expected) << std::hex << at(image, 0, 0);
    }
}

TEST_F(BitmapTest, PaletteEntryFiveAndBitOrderOfSmallPixels) {
    std::string table(256 * 4, '\0');
    table[5 * 4 + 0] = 0x11;
    table[5 * 4 + 1] = 0x22;
    table[5 * 4 + 2] = 0x33;
    ImagePtr image = newImage(3, 1);
    ASSERT_EQ(
        loadBitmap(file(handMade(40, 3, 1, 8, 0, table, std::string("\5\5\5\0", 4))), image.get()),
        Ok);
    for (uint32_t x = 0; x < 3; ++x)
        EXPECT_EQ(at(image, x, 0), 0xFF332211u);

    // 1 bit, 10 wide: 2 pixel bytes and 2 padding bytes per row, first
    // pixel in the top bit. Rows bottom-up: the second row in the file is
    // the top one.
    std::string mono = le32(0x000000) + le32(0xFFFFFF);
    std::string rows = std::string("\x80\x40\0\0", 4) + std::string("\x01\xC0\xEE\xEE", 4);
    image = newImage(10, 2);
    ASSERT_EQ(loadBitmap(file(handMade(40, 10, 2, 1, 0, mono, rows)), image.get()), Ok);
    for (uint32_t x = 0; x < 10; ++x) {
        EXPECT_EQ(at(image, x, 1), x == 0 || x == 9 ? 0xFFFFFFFFu : 0xFF000000u) << x;
        EXPECT_EQ(at(image, x, 0), x == 7 || x == 8 || x == 9 ? 0xFFFFFFFFu : 0xFF000000u) << x;
    }

    // 4 bits: the high half of a byte comes first.
    std::string sixteen(16 * 4, '\0');
    sixteen[1 * 4] = 0x01;
    sixteen[2 * 4] = 0x02;
    image = newImage(3, 1);
    ASSERT_EQ(loadBitmap(file(handMade(40, 3, 1, 4, 0, sixteen, raw("\x12\x10\0\0"))), image.get()),
              Ok);
    EXPECT_EQ(at(image, 0, 0), 0xFF000001u);
    EXPECT_EQ(at(image, 1, 0), 0xFF000002u);
    EXPECT_EQ(at(image, 2, 0), 0xFF000001u);
}

TEST_F(BitmapTest, CoreHeaderHasThreeByteEntriesAndSixteenBitSizes) {
    std::string info = le32(12) + le16(2) + le16(1) + le16(1) + le16(8);
    std::string table(256 * 3, '\0');
    table[3 * 3 + 0] = 0x0A;
    table[3 * 3 + 1] = 0x0B;
    table[3 * 3 + 2] = 0x0C;
    std::string bytes =
        "BM" + le32(0) + le32(0) + le32(14 + 12 + 768) + info + table + raw("\3\0\0\0");
    ImagePtr image = newImage(2, 1);
    ASSERT_EQ(loadBitmap(file(bytes), image.get()), Ok);
    EXPECT_EQ(at(image, 0, 0), 0xFF0C0B0Au);
    EXPECT_EQ(at(image, 1, 0), 0xFF000000u);
}

TEST_F(BitmapTest, PixelOffsetZeroFollowsAnEightBitTable) {
    // The rows start at 14 + 40 + 1024; a wrong start would read table bytes.
    std::string table(1024, '\x77');
    std::string bytes = handMade(40, 1, 1, 8, 0, table, raw("\1\0\0\0"), 0);
    ImagePtr image = newImage(1, 1);
    ASSERT_EQ(loadBitmap(file(bytes), image.get()), Ok);
    EXPECT_EQ(at(image, 0, 0), 0xFF777777u);
    EXPECT_EQ(bytes.size(), 14u + 40 + 1024 + 4);
}

std::vector<uint32_t> pattern(int32_t width, int32_t height) {
    std::vector<uint32_t> colours;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            colours.push_back(0xFF000000u | (scramble(x, y, 1) & 0xFFFFFF));
    return colours;
}

std::string picture24(int32_t width, int32_t height, bool topDownRows = false) {
    BmpFormat f = format(40, 24);
    f.topDown = topDownRows;
    BmpPicture p;
    EXPECT_TRUE(pictureFromColours(width, height, pattern(width, height), f, p));
    return encodeBmp(p, f);
}

TEST_F(BitmapTest, FullPictureReplacesEveryPixelLastFileRowOnTop) {
    std::vector<uint32_t> colours = pattern(640, 480);
    std::string bytes = picture24(640, 480);
    ImagePtr image = newImage(640, 480);
    ASSERT_EQ(loadBitmap(file(bytes), image.get()), Ok);
    for (uint32_t y = 0; y < 480; ++y)
        for (uint32_t x = 0; x < 640; ++x)
            ASSERT_EQ(at(image, x, y), colours[y * 640 + x]);
    // The last row of the file is row 0.
    const uint8_t* lastRow = reinterpret_cast<const uint8_t*>(bytes.data()) + bytes.size() - 1920;
    EXPECT_EQ(at(image, 0, 0), 0xFF000000u | lastRow[2] << 16 | lastRow[1] << 8 | lastRow[0]);

    ImagePtr fromTopDown = newImage(640, 480);
    ASSERT_EQ(loadBitmap(file(picture24(640, 480, true), "top.bmp"), fromTopDown.get()), Ok);
    EXPECT_EQ(std::memcmp(imageRow(image.get(), 0), imageRow(fromTopDown.get(), 0), 640 * 480 * 4),
              0);
}

TEST_F(BitmapTest, SmallPictureFillsTheTopLeftOnly) {
    std::vector<uint32_t> colours = pattern(320, 240);
    std::string path = file(picture24(320, 240));
    ImagePtr image = newImage(640, 480);
    ASSERT_EQ(loadBitmap(path, image.get()), Ok);
    fillScreen(0xFF000001);
    clearMarks();
    ASSERT_EQ(loadBitmap(path, nullptr), Ok);
    EXPECT_EQ(markedSpan(), std::make_pair(0, 479));
    for (uint32_t y = 0; y < 480; ++y) {
        for (uint32_t x = 0; x < 640; ++x) {
            bool inside = x < 320 && y < 240;
            ASSERT_EQ(at(image, x, y), inside ? colours[y * 320 + x] : maskColour);
            ASSERT_EQ(pixel(x, y), inside ? colours[y * 320 + x] : 0xFF000001u);
        }
    }
}

TEST_F(BitmapTest, LargePictureKeepsItsTopLeftPart) {
    for (bool rowsTopDown : {false, true}) {
        SCOPED_TRACE(rowsTopDown ? "top-down" : "bottom-up");
        std::vector<uint32_t> colours = pattern(800, 600);
        std::string path = file(picture24(800, 600, rowsTopDown));
        ImagePtr image = newImage(640, 480);
        ASSERT_EQ(loadBitmap(path, image.get()), Ok);
        ASSERT_EQ(loadBitmap(path, nullptr), Ok);
        for (uint32_t y = 0; y < 480; ++y) {
            for (uint32_t x = 0; x < 640; ++x) {
                ASSERT_EQ(at(image, x, y), colours[y * 800 + x]);
                ASSERT_EQ(pixel(x, y), colours[y * 800 + x]);
            }
        }
    }
}

TEST_F(BitmapTest, CutOffFileKeepsTheRowsReadBeforeTheCut) {
    // 10 rows of 8 pixels, bottom-up: 96 bytes a row. Cut inside the 5th row
    // of the file: picture rows 9..6 are written, 5..0 keep their content.
    std::vector<uint32_t> colours = pattern(8, 10);
    std::string whole = picture24(8, 10);
    std::string cut = whole.substr(0, 54 + 4 * 24 + 10);
    std::string path = file(cut);
    ImagePtr image = newImage(8, 10);
    EXPECT_EQ(loadBitmap(path, image.get()), BadFile);
    for (uint32_t y = 0; y < 10; ++y)
        for (uint32_t x = 0; x < 8; ++x)
            ASSERT_EQ(at(image, x, y), y >= 6 ? colours[y * 8 + x] : maskColour) << x << "," << y;

    fillScreen(0xFF000001);
    clearMarks();
    EXPECT_EQ(loadBitmap(path, nullptr), BadFile);
    EXPECT_EQ(markedSpan(), std::make_pair(0, 479)) << "every row is marked";
    EXPECT_EQ(pixel(0, 9), colours[9 * 8]);
    EXPECT_EQ(pixel(0, 5), 0xFF000001u);
    EXPECT_EQ(screen().lockCount, 0);

    // Top-down: the top rows are written.
    std::string cutTop = picture24(8, 10, true).substr(0, 54 + 3 * 24);
    image = newImage(8, 10);
    EXPECT_EQ(loadBitmap(file(cutTop, "top.bmp"), image.get()), BadFile);
    EXPECT_EQ(at(image, 7, 2), colours[2 * 8 + 7]);
    EXPECT_EQ(at(image, 0, 3), maskColour);
}

TEST_F(BitmapTest, CutOffInRowsTheDestinationDrops) {
    // 8 by 10 into a 8 by 4 image. Bottom-up, the dropped rows come first:
    // cut in them, nothing is written. Top-down, they come last: the kept
    // rows are written and the load still fails.
    std::vector<uint32_t> colours = pattern(8, 10);
    ImagePtr image = newImage(8, 4);
    EXPECT_EQ(loadBitmap(file(picture24(8, 10).substr(0, 54 + 3 * 24)), image.get()), BadFile);
    EXPECT_TRUE(allMask(image));
    std::string top = picture24(8, 10, true);
    EXPECT_EQ(loadBitmap(file(top.substr(0, top.size() - 1), "top.bmp"), image.get()), BadFile);
    EXPECT_EQ(at(image, 7, 3), colours[3 * 8 + 7]);
    image = newImage(8, 4);
    EXPECT_EQ(loadBitmap(file(top, "whole.bmp"), image.get()), Ok);
}

TEST_F(BitmapTest, SmallPixelRowsNeedOnlyTheirPixelBytes) {
    std::string mono = le32(0) + le32(0xFFFFFF);
    // One row of 10 pixels: 2 pixel bytes; the 2 padding bytes are missing.
    ImagePtr image = newImage(10, 1);
    EXPECT_EQ(loadBitmap(file(handMade(40, 10, 1, 1, 0, mono, "\xFF\xC0")), image.get()), Ok);
    EXPECT_EQ(at(image, 9, 0), 0xFFFFFFFFu);
    image = newImage(10, 1);
    EXPECT_EQ(loadBitmap(file(handMade(40, 10, 1, 1, 0, mono, "\xFF"), "short.bmp"), image.get()),
              BadFile);
    EXPECT_TRUE(allMask(image));
    // 8 bits need the whole padded row.
    std::string table(1024, '\0');
    EXPECT_EQ(loadBitmap(file(handMade(40, 3, 1, 8, 0, table, "\1\1\1"), "eight.bmp"), image.get()),
              BadFile);
}

struct Failure {
    const char* name;
    std::string bytes;
};

std::vector<Failure> failures() {
    BmpPicture p;
    pictureFromColours(4, 4, pattern(4, 4), format(40, 24), p);
    auto with = [&](std::function<void(BmpFormat&)> change, uint16_t bits = 24) {
        BmpFormat f = format(40, bits);
        BmpPicture picture = p;
        if (bits <= 8) pictureFromColours(4, 4, std::vector<uint32_t>(16, 0xFF000000u), f, picture);
        change(f);
        return encodeBmp(picture, f);
    };
    std::string good = encodeBmp(p, format(40, 24));
    std::string v4 = with([](BmpFormat& f) { f.infoHeaderSize = 108; });
    std::vector<Failure> list = {
        {"empty file", ""},
        {"first byte not B", "XM" + good.substr(2)},
        {"raw dump 0xFD", "\xFD" + good.substr(1)},
        {"raw dump 0xFE", "\xFE" + good.substr(1)},
        {"signature BA", with([](BmpFormat& f) { f.signature[1] = 'A'; })},
        {"only B", "B"},
        {"file header short", good.substr(0, 13)},
        {"header size missing", good.substr(0, 16)},
        {"info header short", good.substr(0, 14 + 30)},
        {"core header short", with([](BmpFormat& f) { f.infoHeaderSize = 12; }).substr(0, 14 + 10)},
        {"108-byte header short of its masks", v4.substr(0, 14 + 50)},
        {"planes 2", with([](BmpFormat& f) { f.planes = 2; })},
        {"width 0", with([](BmpFormat& f) { f.widthField = 0; })},
        {"width negative", with([](BmpFormat& f) { f.widthField = -4; })},
        {"height 0", with([](BmpFormat& f) { f.heightField = 0; })},
        {"compression 4", with([](BmpFormat& f) { f.compression = 4; })},
        {"top-down run-length 8",
         with([](BmpFormat& f) { f.compression = BmpRunLength8, f.topDown = true; }, 8)},
        {"top-down run-length 4",
         with([](BmpFormat& f) { f.compression = BmpRunLength4, f.topDown = true; }, 4)},
        {"run-length 8 with 24 bits", with([](BmpFormat& f) { f.compression = BmpRunLength8; })},
        {"run-length 4 with 8 bits", with([](BmpFormat& f) { f.compression = BmpRunLength4; }, 8)},
        {"header size 11", with([](BmpFormat& f) { f.infoHeaderSize = 11; })},
        {"header size 13", with([](BmpFormat& f) { f.infoHeaderSize = 13; })},
        {"header size 15", with([](BmpFormat& f) { f.infoHeaderSize = 15; })},
        {"header size 0", with([](BmpFormat& f) { f.infoHeaderSize = 0; })},
        {"bit count 33", with([](BmpFormat& f) { f.bitCount = 33; })},
        {"bit count 64", with([](BmpFormat& f) { f.bitCount = 64; })},
        {"bit count 0", with([](BmpFormat& f) { f.bitCount = 0; })},
        {"bit count 2", with([](BmpFormat& f) { f.bitCount = 2; })},
        {"bit count 7", with([](BmpFormat& f) { f.bitCount = 7; })},
        {"bit count 15", with([](BmpFormat& f) { f.bitCount = 15; })},
        {"bit-field masks short", with([](BmpFormat& f) {
                                      f.compression = BmpBitFields;
                                      f.pixelData = "";
                                  }).substr(0, 14 + 40 + 8)},
        {"pixel offset past the end", with([](BmpFormat& f) { f.dataOffset = 0xFFFFFFF0; })},
        {"no pixel rows", with([](BmpFormat& f) { f.pixelData = ""; })},
    };
    return list;
}

TEST_F(BitmapTest, FailuresLeaveTheDestinationAsItWas) {
    for (const Failure& c : failures()) {
        SCOPED_TRACE(c.name);
        std::string path = file(c.bytes);
        ImagePtr image = newImage(4, 4);
        clearMarks();
        EXPECT_EQ(loadBitmap(path, image.get()), BadFile);
        EXPECT_TRUE(allMask(image));
        EXPECT_EQ(screen().lockCount, 0);
        fillScreen(0xFF000001);
        LoadResult onScreen = loadBitmap(path, nullptr);
        EXPECT_EQ(onScreen, BadFile);
        EXPECT_EQ(pixel(0, 0), 0xFF000001u);
        EXPECT_EQ(pixel(3, 3), 0xFF000001u);
    }
}

TEST_F(BitmapTest, NoScreenAndCannotOpen) {
    std::string good = file(picture24(4, 4));
    ImagePtr image = newImage(4, 4);
    EXPECT_EQ(loadBitmap(dir.path() + "/missing.bmp", image.get()), CannotOpen);
    EXPECT_EQ(loadBitmap(dir.path(), image.get()), CannotOpen) << "a directory";
    EXPECT_EQ(loadBitmap(good + std::string(1, '\0') + "x", image.get()), CannotOpen);
    EXPECT_TRUE(allMask(image));

    std::string notBitmap = file("PK\3\4", "other.bmp");
    closeScreen();
    EXPECT_EQ(loadBitmap(good, nullptr), NoScreen);
    EXPECT_EQ(loadBitmap(good, image.get()), NoScreen);
    EXPECT_EQ(loadBitmap(dir.path() + "/missing.bmp", image.get()), CannotOpen);
    EXPECT_EQ(loadBitmap(notBitmap, image.get()), BadFile) << "the first byte is looked at first";
    EXPECT_TRUE(allMask(image));
    setenv("DRUSK_SCREEN", "null", 1);
    ASSERT_EQ(openScreen(640, 480, 32, 2, 0x41, 0), 0);

    image->header.bytesPerPixel = 2;
    EXPECT_EQ(loadBitmap(good, image.get()), NoScreen) << "not the screen's pixel format";
}

TEST_F(BitmapTest, LongNamesAreUsedWhole) {
    std::string directory = dir.path();
    while (directory.size() < 200)
        directory += "/" + std::string(40, 'd');
    std::string prefix = directory + "/" + std::string(259 - directory.size() - 1, 'p');
    ASSERT_EQ(prefix.size(), 259u);
    std::string shortName = prefix.substr(dir.path().size() + 1);
    std::string longName = shortName + "-and-more.bmp";
    file(picture24(1, 1), shortName);
    BmpPicture p;
    pictureFromColours(1, 1, {0xFF123456}, format(40, 24), p);
    std::string longPath = file(encodeBmp(p, format(40, 24)), longName);
    ASSERT_GT(longPath.size(), 259u);
    ImagePtr image = newImage(1, 1);
    ASSERT_EQ(loadBitmap(longPath, image.get()), Ok);
    EXPECT_EQ(at(image, 0, 0), 0xFF123456u);
}

// Run-length data written by hand: a 6 by 4 picture, rows bottom-up.
std::string runLengthFile(uint16_t bits, const std::string& data, int32_t width = 6,
                          int32_t height = 4) {
    uint32_t entries = 1u << bits;
    std::string table;
    for (uint32_t i = 0; i < entries; ++i)
        table += le32(0x010101u * i);  // entry i is grey i
    return handMade(40, width, height, bits, bits == 8 ? 1 : 2, table, data);
}

std::string codes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s.push_back(static_cast<char>(b));
    return s;
}

uint32_t grey(uint32_t i) {
    return 0xFF000000u | 0x010101u * i;
}

TEST_F(BitmapTest, RunLengthCodesByHand) {
    constexpr uint32_t M = maskColour;
    struct Case {
        const char* name;
        uint16_t bits;
        std::string data;
        LoadResult result;
        uint32_t rows[4][6];  // top row first
    };
    const Case cases[] = {
        {"runs, end of line, end of picture",
         8,
         codes({3, 7, 3, 9, 0, 0, 6, 1, 0, 0, 6, 2, 0, 0, 6, 3, 0, 0, 0, 1}),
         Ok,
         {{grey(3), grey(3), grey(3), grey(3), grey(3), grey(3)},
          {grey(2), grey(2), grey(2), grey(2), grey(2), grey(2)},
          {grey(1), grey(1), grey(1), grey(1), grey(1), grey(1)},
          {grey(7), grey(7), grey(7), grey(9), grey(9), grey(9)}}},
        {"literal of three, padded",
         8,
         codes({0, 3, 4, 5, 6, 0, 2, 8, 0, 1}),
         Ok,
         {{M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {grey(4), grey(5), grey(6), grey(8), grey(8), M}}},
        {"delta right and up",
         8,
         codes({1, 1, 0, 2, 2, 1, 2, 9, 0, 2, 0, 2, 1, 5, 0, 1}),
         Ok,
         {{M, M, M, M, M, grey(5)},
          {M, M, M, M, M, M},
          {M, M, M, grey(9), grey(9), M},
          {grey(1), M, M, M, M, M}}},
        {"early end of picture keeps the rest",
         8,
         codes({2, 4, 0, 1, 9, 9}),
         Ok,
         {{M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {grey(4), grey(4), M, M, M, M}}},
        {"4-bit runs alternate the two halves",
         4,
         codes({5, 0x12, 0, 0, 2, 0x33, 0, 1}),
         Ok,
         {{M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {grey(3), grey(3), M, M, M, M},
          {grey(1), grey(2), grey(1), grey(2), grey(1), M}}},
        {"4-bit literal of five, padded to two bytes",
         4,
         codes({0, 5, 0xAB, 0xCD, 0xE0, 0, 1, 0xF0, 0, 1}),
         Ok,
         {{M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {grey(10), grey(11), grey(12), grey(13), grey(14), grey(15)}}},
        {"run past the row end",
         8,
         codes({6, 1, 0, 0, 7, 2, 0, 1}),
         BadFile,
         {{M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {grey(1), grey(1), grey(1), grey(1), grey(1), grey(1)}}},
        {"literal past the row end",
         8,
         codes({4, 1, 0, 3, 1, 2, 3, 0, 0, 1}),
         BadFile,
         {{M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {grey(1), grey(1), grey(1), grey(1), M, M}}},
        {"no end of picture",
         8,
         codes({6, 1, 0, 0, 6, 2}),
         BadFile,
         {{M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {grey(2), grey(2), grey(2), grey(2), grey(2), grey(2)},
          {grey(1), grey(1), grey(1), grey(1), grey(1), grey(1)}}},
        {"cut inside a literal",
         8,
         codes({2, 1, 0, 4, 1, 2}),
         BadFile,
         {{M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {grey(1), grey(1), M, M, M, M}}},
        {"cut inside a delta",
         8,
         codes({2, 1, 0, 2, 1}),
         BadFile,
         {{M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {grey(1), grey(1), M, M, M, M}}},
        {"delta past the right edge",
         8,
         codes({2, 1, 0, 2, 5, 0, 1, 1, 0, 1}),
         BadFile,
         {{M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {grey(1), grey(1), M, M, M, M}}},
        {"delta past the top",
         8,
         codes({2, 1, 0, 2, 0, 5, 0, 1}),
         BadFile,
         {{M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {M, M, M, M, M, M},
          {grey(1), grey(1), M, M, M, M}}},
        {"pixels after the last row",
         8,
         codes({1, 1, 0, 0, 1, 2, 0, 0, 1, 3, 0, 0, 1, 4, 0, 0, 1, 5, 0, 1}),
         BadFile,
         {{grey(4), M, M, M, M, M},
          {grey(3), M, M, M, M, M},
          {grey(2), M, M, M, M, M},
          {grey(1), M, M, M, M, M}}},
        {"end of line after the last row",
         8,
         codes({0, 2, 0, 4, 0, 0, 0, 1}),
         BadFile,
         {{M, M, M, M, M, M}, {M, M, M, M, M, M}, {M, M, M, M, M, M}, {M, M, M, M, M, M}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImagePtr image = newImage(6, 4);
        EXPECT_EQ(loadBitmap(file(runLengthFile(c.bits, c.data)), image.get()), c.result);
        for (uint32_t y = 0; y < 4; ++y)
            for (uint32_t x = 0; x < 6; ++x)
                EXPECT_EQ(at(image, x, y), c.rows[y][x]) << std::hex << x << "," << y;
    }
}

TEST_F(BitmapTest, RunLengthIntoASmallerDestination) {
    // 6 by 4 into 3 by 2: only the top-left part, from the top two rows.
    std::string data = codes({6, 1, 0, 0, 6, 2, 0, 0, 0, 6, 1, 2, 3, 4, 5, 6, 0, 0, 6, 4, 0, 1});
    ImagePtr image = newImage(3, 2);
    ASSERT_EQ(loadBitmap(file(runLengthFile(8, data)), image.get()), Ok);
    EXPECT_EQ(at(image, 0, 0), grey(4));
    EXPECT_EQ(at(image, 2, 0), grey(4));
    EXPECT_EQ(at(image, 0, 1), grey(1));
    EXPECT_EQ(at(image, 2, 1), grey(3));
}

TEST_F(BitmapTest, HostileSizesAllocateNothingLarge) {
    std::string tiny24 = handMade(40, 0x7FFFFFFF, 1, 24, 0, "", std::string(64, '\1'));
    std::string tinyMono =
        handMade(40, 0x7FFFFFFF, 0x7FFFFFFF, 1, 0, le32(0) + le32(0xFFFFFF), std::string(64, '\1'));
    std::string tallBottomUp = handMade(40, 4, 0x7FFFFFFF, 24, 0, "", std::string(64, '\1'));
    std::string tallTopDown =
        handMade(40, 4, static_cast<int32_t>(0x80000000u), 24, 0, "", std::string(64, '\1'));
    std::string hugeRunLength =
        runLengthFile(8, codes({255, 1, 0, 2, 255, 255, 0, 0, 0, 1}), 0x7FFFFFFF, 0x7FFFFFFF);
    std::string hugeHeader = "BM" + le32(0) + le32(0) + le32(0) + le32(0xFFFFFFF0) + le32(4) +
                             le32(4) + le16(1) + le16(8) + std::string(64, '\0');
    struct Case {
        const char* name;
        std::string bytes;
        LoadResult result;
    };
    const Case cases[] = {
        {"24-bit row wider than the file", tiny24, BadFile},
        {"1-bit row wider than the file", tinyMono, BadFile},
        {"2^31 - 1 rows bottom-up", tallBottomUp, BadFile},
        {"2^31 rows top-down", tallTopDown, BadFile},
        {"2^31 - 1 square run-length picture", hugeRunLength, Ok},
        {"header size near 2^32", hugeHeader, BadFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = file(c.bytes);
        ImagePtr image = newImage(8, 8);
        largestArray = 0;
        EXPECT_EQ(loadBitmap(path, image.get()), c.result);
        EXPECT_LE(largestArray.load(), size_t{64} * 1024);
        largestArray = 0;
        EXPECT_EQ(loadBitmap(path, nullptr), c.result);
        EXPECT_LE(largestArray.load(), size_t{64} * 1024);
    }
}

TEST_F(BitmapTest, ScreenLoadInsideTheGamesLockOnlyCounts) {
    std::string path = file(picture24(4, 4));
    lockScreen();
    EXPECT_EQ(loadBitmap(path, nullptr), Ok);
    EXPECT_EQ(screen().lockCount, 1);
    unlockScreen(-1, -1);
    EXPECT_EQ(screen().lockCount, 0);
}

}  // namespace
}  // namespace drusk
