// Event sounds decoded whole into memory, so the mixer only ever reads
// prepared samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace drusk {

// The longest sound kept: about 3 minutes 10 seconds at 44100 Hz, 64 MiB of
// samples. Event sounds last seconds; a longer file plays its beginning.
inline constexpr int64_t maxClipFrames = int64_t{1} << 23;

// Rates outside this range are taken for a damaged file.
inline constexpr int32_t minClipRate = 1000;
inline constexpr int32_t maxClipRate = 384000;

struct SoundClip {
    std::vector<float> samples;  // interleaved left, right; may exceed -1 to 1 slightly
    int64_t frames = 0;
    int32_t rate = 0;
};

// 0, or 3 when the bytes are not an Ogg Vorbis stream this layer can play
// (no headers, no audio at all, a rate out of range). Sounds with more than
// two channels are folded to stereo, a mono sound plays on both sides.
int decodeOggVorbis(const uint8_t* data, size_t size, SoundClip& clip);

}  // namespace drusk
