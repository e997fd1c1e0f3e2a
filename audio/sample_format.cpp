#include "audio/sample_format.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace drusk {

namespace {

template <typename T>
void store(uint8_t* out, T value, bool bigEndian) {
    using Bits = std::conditional_t<sizeof(T) == 4, uint32_t,
                                    std::conditional_t<sizeof(T) == 2, uint16_t, uint8_t>>;
    Bits bits = std::bit_cast<Bits>(value);
    for (size_t i = 0; i < sizeof(T); ++i) {
        size_t shift = 8 * (bigEndian ? sizeof(T) - 1 - i : i);
        out[i] = static_cast<uint8_t>(bits >> shift);
    }
}

// Full scale maps to the largest positive value and its negative, so the
// scale stays symmetric and never overflows.
void storeSample(uint8_t* out, float value, SampleType type, bool bigEndian) {
    switch (type) {
        case SampleType::Float32:
            store(out, value, bigEndian);
            break;
        case SampleType::Int32:
            store(out, static_cast<int32_t>(std::lrint(static_cast<double>(value) * 2147483647.0)),
                  bigEndian);
            break;
        case SampleType::Int16:
            store(out, static_cast<int16_t>(std::lrint(value * 32767.0f)), bigEndian);
            break;
        case SampleType::Uint16:
            store(out, static_cast<uint16_t>(std::lrint(value * 32767.0f) + 32768), bigEndian);
            break;
        case SampleType::Int8:
            store(out, static_cast<int8_t>(std::lrint(value * 127.0f)), bigEndian);
            break;
        case SampleType::Uint8:
            store(out, static_cast<uint8_t>(std::lrint(value * 127.0f) + 128), bigEndian);
            break;
    }
}

}  // namespace

int32_t bytesPerSample(SampleType type) {
    switch (type) {
        case SampleType::Float32:
        case SampleType::Int32:
            return 4;
        case SampleType::Int16:
        case SampleType::Uint16:
            return 2;
        case SampleType::Int8:
        case SampleType::Uint8:
            return 1;
    }
    return 0;
}

int32_t bytesPerFrame(const OutputFormat& format) {
    return bytesPerSample(format.type) * format.channels;
}

void convertSamples(const float* stereo, int32_t frames, const OutputFormat& format, uint8_t* out) {
    const int32_t size = bytesPerSample(format.type);
    for (int32_t frame = 0; frame < frames; ++frame) {
        float left = stereo[2 * frame], right = stereo[2 * frame + 1];
        if (format.channels == 1) {
            storeSample(out, 0.5f * (left + right), format.type, format.bigEndian);
            out += size;
            continue;
        }
        for (int32_t channel = 0; channel < format.channels; ++channel) {
            float value = channel == 0 ? left : channel == 1 ? right : 0.0f;
            storeSample(out, value, format.type, format.bigEndian);
            out += size;
        }
    }
}

}  // namespace drusk
