#include "screen/image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "tests/screen_fixture.h"

namespace drusk {
namespace {

struct ImageDeleter {
    void operator()(Image* image) const { destroyImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

ImagePtr makeImage(int32_t width, int32_t height) {
    return ImagePtr(createImage(width, height));
}

using ImageTest = testing::ScreenTest;

TEST(RoundCoord, HalvesGoAwayFromZero) {
    struct Case {
        float v;
        int32_t expected;
    };
    const Case cases[] = {
        {0.5f, 1},
        {-0.5f, -1},
        {2.5f, 3},
        {-2.5f, -3},
        {0.49999997f, 0},
        {-0.49999997f, 0},
        {0.0f, 0},
        {-0.0f, 0},
        {639.0f, 639},
        {-10.0f, -10},
        {1.4999999f, 1},
        {1e30f, 1 << 30},
        {-1e30f, -(1 << 30)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(roundCoord(c.v), c.expected) << c.v;
}

TEST(CreateImage, NeedsAScreenAndAPositiveSize) {
    EXPECT_EQ(createImage(10, 10), nullptr) << "no screen open";
    setenv("DRUSK_SCREEN", "null", 1);
    ASSERT_EQ(openScreen(640, 480, 32, 2, 0x41, 0), 0);
    EXPECT_EQ(createImage(0, 10), nullptr);
    EXPECT_EQ(createImage(10, -1), nullptr);
    closeScreen();
}

TEST_F(ImageTest, NewImageIsAlignedAndMaskFilledIncludingPadding) {
    for (int32_t width : {1, 3, 4, 5, 640}) {
        ImagePtr image = makeImage(width, 3);
        ASSERT_NE(image, nullptr);
        const ImageHeader& h = image->header;
        EXPECT_EQ(h.type, 7u);
        EXPECT_EQ(h.bytesPerPixel, 4);
        EXPECT_EQ(h.width, static_cast<uint32_t>(width));
        EXPECT_EQ(h.height, 3u);
        EXPECT_EQ(h.pitch, (static_cast<uint32_t>(width) * 4 + 15) / 16 * 16);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(image.get()) % 16, 0u);
        for (uint32_t y = 0; y < 3; ++y) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(imageRow(image.get(), y)) % 16, 0u);
            EXPECT_EQ(reinterpret_cast<uint8_t*>(imageRow(image.get(), y)),
                      reinterpret_cast<uint8_t*>(image.get()) + 32 + y * h.pitch);
            for (uint32_t x = 0; x < h.pitch / 4; ++x)
                ASSERT_EQ(imageRow(image.get(), y)[x], maskColour) << x << "," << y;
        }
    }
    EXPECT_EQ(makeImage(640, 480)->header.pitch, 2560u);
}

TEST_F(ImageTest, NewImageTransparentChangesNothingAndCopyMakesMagenta) {
    ImagePtr image = makeImage(640, 480);
    fillScreen(0xFF123456);
    clearMarks();
    EXPECT_EQ(putImage(0, 0, image.get(), Transparent), 0);
    for (int32_t y = 0; y < 480; y += 7)
        for (int32_t x = 0; x < 640; x += 3)
            ASSERT_EQ(pixel(x, y), 0xFF123456u);
    EXPECT_EQ(putImage(0, 0, image.get(), Copy), 0);
    for (int32_t y = 0; y < 480; ++y)
        for (int32_t x = 0; x < 640; ++x)
            ASSERT_EQ(pixel(x, y), 0xFFFF00FFu);
    EXPECT_EQ(markedSpan(), std::make_pair(0, 479));
    EXPECT_EQ(screen().lockCount, 0);
}

TEST_F(ImageTest, TransparentMaskRuleAndCopyCarriesAlpha) {
    struct Case {
        uint32_t source;
        uint32_t transparentResult;  // over 0xFF000000
        uint32_t copyResult;
    };
    const Case cases[] = {
        {0xFFFF00FF, 0xFF000000, 0xFFFF00FF},  // mask colour, any alpha
        {0x00FF00FF, 0xFF000000, 0x00FF00FF}, {0x12FF00FF, 0xFF000000, 0x12FF00FF},
        {0xFFFF00FE, 0x00FF00FE, 0xFFFF00FE},  // one off: written, alpha 0
        {0x00123456, 0x00123456, 0x00123456},  // Copy carries alpha 0
        {0x80FFFFFF, 0x00FFFFFF, 0x80FFFFFF},
    };
    ImagePtr image = makeImage(1, 1);
    for (const Case& c : cases) {
        imageRow(image.get(), 0)[0] = c.source;
        pixel(3, 4) = 0xFF000000;
        putImage(3, 4, image.get(), Transparent);
        EXPECT_EQ(pixel(3, 4), c.transparentResult) << std::hex << c.source;
        pixel(3, 4) = 0xFF000000;
        putImage(3, 4, image.get(), Copy);
        EXPECT_EQ(pixel(3, 4), c.copyResult) << std::hex << c.source;
    }
}

// Source pixel (x, y) of the test picture.
uint32_t sourceValue(uint32_t x, uint32_t y) {
    return 0xFF000000u | y << 12 | x;
}

TEST_F(ImageTest, ClippingPlacesTheVisiblePart) {
    ImagePtr image = makeImage(640, 480);
    for (uint32_t y = 0; y < 480; ++y)
        for (uint32_t x = 0; x < 640; ++x)
            imageRow(image.get(), y)[x] = sourceValue(x, y);

    struct Case {
        float x, y;
        int32_t left, top, right, bottom;  // screen area covered, inclusive; left > right: none
        int32_t sourceX, sourceY;          // source pixel at (left, top)
    };
    const Case cases[] = {
        {600, 450, 600, 450, 639, 479, 0, 0},  // bottom-right corner: 40 by 30
        {-10, 0, 0, 0, 629, 479, 10, 0},       // columns 10..639 to 0..629
        {0, -20, 0, 0, 639, 459, 0, 20},       //
        {0.5f, 0, 1, 0, 639, 479, 0, 0},       // rounds to 1
        {-0.5f, 0, 0, 0, 638, 479, 1, 0},      // rounds to -1
        {640, 0, 1, 0, 0, -1, 0, 0},           // wholly right: nothing
        {-640, 0, 1, 0, 0, -1, 0, 0},          // wholly left: nothing
        {0, 480, 1, 0, 0, -1, 0, 0},           // wholly below
        {0, -480, 1, 0, 0, -1, 0, 0},          // wholly above
        {1e30f, -1e30f, 1, 0, 0, -1, 0, 0},    // far away
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "at " << c.x << ", " << c.y);
        fillScreen(0xFF000001);
        clearMarks();
        EXPECT_EQ(putImage(c.x, c.y, image.get(), Copy), 0);
        for (int32_t y = 0; y < 480; ++y) {
            for (int32_t x = 0; x < 640; ++x) {
                bool inside = x >= c.left && x <= c.right && y >= c.top && y <= c.bottom;
                uint32_t expected = inside
                                        ? sourceValue(static_cast<uint32_t>(x - c.left + c.sourceX),
                                                      static_cast<uint32_t>(y - c.top + c.sourceY))
                                        : 0xFF000001u;
                ASSERT_EQ(pixel(x, y), expected) << x << "," << y;
            }
        }
        if (c.left <= c.right) {
            EXPECT_EQ(markedSpan(), std::make_pair(c.top, c.bottom));
        } else {
            EXPECT_EQ(markedSpan(), std::make_pair(-1, -1));
        }
        EXPECT_EQ(screen().lockCount, 0);
    }
}

TEST_F(ImageTest, TransparentClipsLikeCopy) {
    ImagePtr image = makeImage(20, 20);
    imageRow(image.get(), 15)[15] = 0xFF010203;
    imageRow(image.get(), 0)[0] = 0xFF040506;
    fillScreen(0xFF000000);
    putImage(-10, -10, image.get(), Transparent);
    EXPECT_EQ(pixel(5, 5), 0x00010203u);
    EXPECT_EQ(pixel(0, 0), 0xFF000000u);
}

TEST_F(ImageTest, RefusedPutsDrawNothing) {
    fillScreen(0xFF000000);
    clearMarks();
    EXPECT_EQ(putImage(0, 0, nullptr, Copy), 1);
    ImagePtr image = makeImage(4, 4);
    image->header.bytesPerPixel = 2;
    EXPECT_EQ(putImage(0, 0, image.get(), Copy), 1);
    image->header.bytesPerPixel = 4;
    EXPECT_EQ(putImage(0, 0, image.get(), static_cast<PutMode>(7)), 1);
    EXPECT_EQ(pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(markedSpan(), std::make_pair(-1, -1));
    closeScreen();
    EXPECT_EQ(putImage(0, 0, image.get(), Copy), 1) << "no screen open";
    setenv("DRUSK_SCREEN", "null", 1);
    ASSERT_EQ(openScreen(640, 480, 32, 2, 0x41, 0), 0);
}

TEST_F(ImageTest, PutInsideTheGamesLockOnlyCounts) {
    ImagePtr image = makeImage(8, 8);
    lockScreen();
    clearMarks();
    putImage(0, 100, image.get(), Copy);
    EXPECT_EQ(screen().lockCount, 1);
    EXPECT_EQ(markedSpan(), std::make_pair(100, 107));
    unlockScreen(-1, -1);
    EXPECT_EQ(screen().lockCount, 0);
}

}  // namespace
}  // namespace drusk
