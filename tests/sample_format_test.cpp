// The mixer's float stereo written in each device layout.
#include "audio/sample_format.h"

#include <gtest/gtest.h>

#include <vector>

namespace drusk {
namespace {

struct FormatCase {
    const char* name;
    OutputFormat format;
    std::vector<float> stereo;  // interleaved frames
    std::vector<uint8_t> expected;
};

TEST(SampleFormatTest, WritesEachLayout) {
    const FormatCase cases[] = {
        {"float stereo",
         {44100, 2, SampleType::Float32, false},
         {1.0f, -0.5f},
         {0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0xBF}},
        {"float big-endian",
         {44100, 1, SampleType::Float32, true},
         {1.0f, 1.0f},
         {0x3F, 0x80, 0x00, 0x00}},
        {"16-bit full scale",
         {44100, 2, SampleType::Int16, false},
         {1.0f, -1.0f},
         {0xFF, 0x7F, 0x01, 0x80}},
        {"16-bit half",
         {44100, 2, SampleType::Int16, false},
         {0.5f, 0.0f},
         {0x00, 0x40, 0x00, 0x00}},
        {"16-bit big-endian",
         {44100, 2, SampleType::Int16, true},
         {1.0f, -1.0f},
         {0x7F, 0xFF, 0x80, 0x01}},
        {"unsigned 16-bit",
         {44100, 2, SampleType::Uint16, false},
         {0.0f, -1.0f},
         {0x00, 0x80, 0x01, 0x00}},
        {"32-bit",
         {44100, 2, SampleType::Int32, false},
         {1.0f, -1.0f},
         {0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0x80}},
        {"8-bit", {44100, 2, SampleType::Int8, false}, {1.0f, -1.0f}, {0x7F, 0x81}},
        {"unsigned 8-bit", {44100, 2, SampleType::Uint8, false}, {0.0f, 1.0f}, {0x80, 0xFF}},
        {"mono averages the sides",
         {44100, 1, SampleType::Int16, false},
         {0.5f, -0.25f, 1.0f, 1.0f},
         {0x00, 0x10, 0xFF, 0x7F}},
        {"six channels: sides in front, silence behind",
         {48000, 6, SampleType::Int8, false},
         {0.5f, -0.5f},
         {0x40, 0xC0, 0, 0, 0, 0}},
        {"six channels unsigned: silence is the middle",
         {48000, 6, SampleType::Uint8, false},
         {0.0f, 0.0f},
         {0x80, 0x80, 0x80, 0x80, 0x80, 0x80}},
    };
    for (const FormatCase& c : cases) {
        int32_t frames = static_cast<int32_t>(c.stereo.size() / 2);
        std::vector<uint8_t> out(static_cast<size_t>(frames * bytesPerFrame(c.format)) + 1, 0xEE);
        convertSamples(c.stereo.data(), frames, c.format, out.data());
        EXPECT_EQ(out.back(), 0xEE) << c.name << ": wrote past the frames";
        out.pop_back();
        EXPECT_EQ(out, c.expected) << c.name;
    }
}

TEST(SampleFormatTest, FrameSizes) {
    EXPECT_EQ(bytesPerFrame({44100, 2, SampleType::Float32, false}), 8);
    EXPECT_EQ(bytesPerFrame({44100, 6, SampleType::Int16, false}), 12);
    EXPECT_EQ(bytesPerFrame({44100, 1, SampleType::Uint8, false}), 1);
}

}  // namespace
}  // namespace drusk
