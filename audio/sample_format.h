// Turning the mixer's float stereo into whatever sample layout the output
// device took: its sample type, byte order and number of channels.
#pragma once

#include <cstdint>

namespace drusk {

enum class SampleType : uint8_t { Float32, Int32, Int16, Uint16, Int8, Uint8 };

struct OutputFormat {
    int32_t rate = 44100;
    int32_t channels = 2;
    SampleType type = SampleType::Float32;
    bool bigEndian = false;
};

int32_t bytesPerSample(SampleType type);
int32_t bytesPerFrame(const OutputFormat& format);

// Writes `frames` frames of interleaved stereo, each value within -1 to 1, to
// `out` in `format`. One channel gets the average of both sides; with more
// than two, the first two (front left and right in every layout) get the
// sides and the rest silence.
void convertSamples(const float* stereo, int32_t frames, const OutputFormat& format, uint8_t* out);

}  // namespace drusk
