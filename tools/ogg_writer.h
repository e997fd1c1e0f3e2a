// Encodes float PCM as an Ogg Vorbis file: the event sounds of the sample
// castle and the fixtures of the sound tests come from here.
#pragma once

#include <cstdint>
#include <string>

namespace drusk {

struct PcmSound {
    const float* samples = nullptr;  // interleaved, one value per channel per frame, -1 to 1
    int64_t frames = 0;
    int32_t channels = 0;  // 1 to 255
    int32_t rate = 0;      // frames per second
};

// Vorbis quality from -0.1 (smallest) to 1 (best); 0.4 is plenty for effects.
inline constexpr float defaultOggQuality = 0.4f;

// 0 and the file's bytes in `bytes`, or 3 when the encoder cannot take the
// sound (no channels, an unsupported rate, a quality out of range).
int encodeOggVorbis(const PcmSound& sound, float quality, std::string& bytes);

// 0, 2 when the file cannot be written, or 3 as for encodeOggVorbis.
int writeOggVorbis(const std::string& path, const PcmSound& sound,
                   float quality = defaultOggQuality);

}  // namespace drusk
