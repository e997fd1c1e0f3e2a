// The screenshots' PNG files, read back by an independent decoder.
#include "tests/png_file.h"

#include <gtest/gtest.h>
#include <stb_image.h>
#include <zlib.h>

#include "tests/temp_dir.h"

namespace drusk::testing {
namespace {

uint32_t bigEndian(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

struct Case {
    const char* name;
    int width;
    int height;
    uint32_t (*pixel)(int x, int y);
};

const Case cases[] = {
    {"one pixel", 1, 1, [](int, int) { return 0x00123456u; }},
    {"odd sizes", 3, 5,
     [](int x, int y) { return static_cast<uint32_t>(x * 0x550000 + y * 0x33); }},
    // Flat runs, ramps and noise: rows that suit different filters.
    {"a screen", 640, 480,
     [](int x, int y) {
         if (y < 100) return 0x00202020u;
         if (y < 300)
             return static_cast<uint32_t>((x & 0xFF) << 16 | (y & 0xFF) << 8 | ((x + y) & 0xFF));
         uint32_t h = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u;
         return (h ^ h >> 13) * 0x5bd1e995u & 0x00FFFFFF;
     }},
};

TEST(PngFile, DecodesToTheSamePixels) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint32_t> pixels;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                pixels.push_back(c.pixel(x, y));
        std::string png = encodePng(c.width, c.height, pixels);
        ASSERT_FALSE(png.empty());

        int width = 0, height = 0, channels = 0;
        unsigned char* decoded =
            stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(png.data()),
                                  static_cast<int>(png.size()), &width, &height, &channels, 3);
        ASSERT_NE(decoded, nullptr) << stbi_failure_reason();
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(height, c.height);
        EXPECT_EQ(channels, 3);
        int wrong = 0;
        for (size_t i = 0; i < pixels.size(); ++i) {
            uint32_t got = static_cast<uint32_t>(decoded[i * 3]) << 16 |
                           static_cast<uint32_t>(decoded[i * 3 + 1]) << 8 | decoded[i * 3 + 2];
            wrong += got != pixels[i];
        }
        stbi_image_free(decoded);
        EXPECT_EQ(wrong, 0);
    }
}

// Viewers refuse a file whose chunk checksums are wrong; the decoder above
// does not look at them.
TEST(PngFile, ChunksCarryTheirChecksums) {
    std::string png = encodePng(2, 2, {1, 2, 3, 4});
    ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1A\n"));
    std::vector<std::string> types;
    size_t at = 8;
    while (at + 12 <= png.size()) {
        uint32_t length = bigEndian(png, at);
        ASSERT_LE(at + 12 + length, png.size());
        std::string body = png.substr(at + 4, 4 + length);
        EXPECT_EQ(
            bigEndian(png, at + 8 + length),
            crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())))
            << body.substr(0, 4);
        types.push_back(body.substr(0, 4));
        at += 12 + length;
    }
    EXPECT_EQ(at, png.size());
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
}

TEST(PngFile, RefusesSizesThatDoNotFitThePixels) {
    EXPECT_TRUE(encodePng(2, 2, {1, 2, 3}).empty());
    EXPECT_TRUE(encodePng(0, 0, {}).empty());
    TempDir dir;
    EXPECT_EQ(writePng(dir.path() + "/bad.png", 2, 1, {1}), 3);
    EXPECT_EQ(writePng(dir.path() + "/missing/dir/a.png", 1, 1, {1}), 2);
    EXPECT_EQ(writePng(dir.path() + "/a.png", 1, 1, {1}), 0);
    EXPECT_EQ(readFile(dir.path() + "/a.png"), encodePng(1, 1, {1}));
}

}  // namespace
}  // namespace drusk::testing
