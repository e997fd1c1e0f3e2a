#include "tools/bmp_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace drusk {
namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

TEST(BmpWriter, TwoByTwoTrueColourFileByteForByte) {
    BmpPicture picture;
    BmpFormat format;  // 40-byte header, 24 bits, bottom-up
    ASSERT_TRUE(pictureFromColours(2, 2, {0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C}, format,
                                   picture));
    std::string expected =
        bytes({'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,    // file header
               40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,  // size, width, height, planes
               0, 0, 0, 0, 0, 0, 0, 0,                            // compression, image size
               0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
               // bottom row first, blue green red, padded to 8 bytes
               9, 8, 7, 0x0C, 0x0B, 0x0A, 0, 0, 3, 2, 1, 6, 5, 4, 0, 0});
    EXPECT_EQ(encodeBmp(picture, format), expected);
}

TEST(BmpWriter, CoreHeaderSmallPixelsAndTopDown) {
    BmpPicture picture;
    picture.width = 10;
    picture.height = 1;
    picture.values = {1, 0, 0, 0, 0, 0, 0, 1, 1, 0};
    picture.palette = {0xFF000000, 0xFFFFFFFF};
    BmpFormat format;
    format.infoHeaderSize = 12;
    format.bitCount = 1;
    format.topDown = true;
    std::string file = encodeBmp(picture, format);
    std::string expected =
        bytes({'B', 'M', 36, 0,    0,    0,    0,    0,    0, 0, 32, 0, 0, 0,  // 14 + 12 + 2 * 3
               12,  0,   0,  0,    10,   0,    0xFF, 0xFF, 1, 0, 1,  0,  // height -1 in 16 bits
               0,   0,   0,  0xFF, 0xFF, 0xFF, 0x81, 0x80, 0, 0});
    EXPECT_EQ(file, expected);
}

TEST(BmpWriter, RunLengthRowsBottomUpWithEndCodes) {
    BmpPicture picture;
    picture.width = 8;
    picture.height = 2;
    picture.values = {5, 5, 5, 1, 2, 3, 4, 4,  // top row
                      7, 7, 7, 7, 7, 7, 7, 7};
    BmpFormat format;
    format.bitCount = 8;
    format.compression = BmpRunLength8;
    std::string file = encodeBmp(picture, format);
    std::string data = file.substr(14 + 40 + 1024);
    EXPECT_EQ(data, bytes({8, 7, 0, 0,                          // bottom row: one run, end of line
                           3, 5, 0, 3, 1, 2, 3, 0, 2, 4, 0, 0,  // run, padded literal, run
                           0, 1}));                             // end of picture
    BmpFormat four = format;
    four.bitCount = 4;
    four.compression = BmpRunLength4;
    picture.values = {1, 2, 3, 4, 5, 9, 9, 9, 6, 6, 6, 6, 6, 6, 6, 6};
    data = encodeBmp(picture, four).substr(14 + 40 + 64);
    EXPECT_EQ(data, bytes({8, 0x66, 0, 0, 0, 5, 0x12, 0x34, 0x50, 0, 3, 0x99, 0, 0, 0, 1}));
}

TEST(BmpWriter, BitFieldsAfterOrInsideTheHeader) {
    BmpPicture picture;
    BmpFormat format;
    format.bitCount = 16;
    format.compression = BmpBitFields;
    format.masks[0] = 0xF800;
    format.masks[1] = 0x07E0;
    format.masks[2] = 0x001F;
    ASSERT_TRUE(pictureFromColours(1, 1, {0xFFFFFFFF}, format, picture));
    EXPECT_EQ(picture.values, std::vector<uint32_t>{0xFFFF});
    std::string after = encodeBmp(picture, format);
    EXPECT_EQ(after.substr(54, 12), bytes({0, 0xF8, 0, 0, 0xE0, 7, 0, 0, 0x1F, 0, 0, 0}));
    EXPECT_EQ(after[10], 66);
    format.infoHeaderSize = 108;
    std::string inside = encodeBmp(picture, format);
    EXPECT_EQ(inside.substr(14 + 40, 12), after.substr(54, 12));
    EXPECT_EQ(inside[10], 14 + 108);
}

TEST(BmpWriter, IndexingRefusesTooManyColours) {
    std::vector<uint32_t> indices, palette;
    EXPECT_TRUE(indexColours({3, 4, 3, 5}, 3, indices, palette));
    EXPECT_EQ(indices, (std::vector<uint32_t>{0, 1, 0, 2}));
    EXPECT_EQ(palette, (std::vector<uint32_t>{3, 4, 5}));
    EXPECT_FALSE(indexColours({3, 4, 5, 6}, 3, indices, palette));
}

}  // namespace
}  // namespace drusk
