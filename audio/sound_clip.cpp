#include "audio/sound_clip.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace drusk {

namespace {

struct MemoryFile {
    const uint8_t* data;
    size_t size;
    size_t position;
};

size_t readMemory(void* destination, size_t size, size_t count, void* source) {
    auto* file = static_cast<MemoryFile*>(source);
    if (size == 0) return 0;
    size_t items = std::min(count, (file->size - file->position) / size);
    if (items == 0) return 0;
    std::memcpy(destination, file->data + file->position, items * size);
    file->position += items * size;
    return items;
}

int seekMemory(void* source, ogg_int64_t offset, int whence) {
    auto* file = static_cast<MemoryFile*>(source);
    ogg_int64_t base = whence == SEEK_SET   ? 0
                       : whence == SEEK_CUR ? static_cast<ogg_int64_t>(file->position)
                       : whence == SEEK_END ? static_cast<ogg_int64_t>(file->size)
                                            : -1;
    if (base < 0) return -1;
    ogg_int64_t target = base + offset;
    if (target < 0 || target > static_cast<ogg_int64_t>(file->size)) return -1;
    file->position = static_cast<size_t>(target);
    return 0;
}

long tellMemory(void* source) {
    return static_cast<long>(static_cast<MemoryFile*>(source)->position);
}

// How much each channel of the Vorbis channel orders for one to eight
// channels feeds the left and the right output. Centre channels go to both
// sides at -3 dB; the low-frequency channel is left out, as stereo
// downmixes usually do.
struct Fold {
    float left;
    float right;
};
constexpr float h = 0.70710678f;
constexpr Fold L{1, 0}, R{0, 1}, C{h, h}, M{1, 1}, X{0, 0};
constexpr Fold folds[8][8] = {
    {M},                      // mono
    {L, R},                   // stereo
    {L, C, R},                // left, centre, right
    {L, R, L, R},             // quadraphonic
    {L, C, R, L, R},          // 5.0
    {L, C, R, L, R, X},       // 5.1
    {L, C, R, L, R, C, X},    // 6.1
    {L, C, R, L, R, L, R, X}  // 7.1
};

Fold foldFor(int channels, int channel) {
    if (channels <= 8) return folds[channels - 1][channel];
    // Beyond the defined orders there is no layout to follow: alternate
    // sides so nothing is lost.
    return channel % 2 == 0 ? L : R;
}

// Damaged data can decode to values far outside -1 to 1, or to no number at
// all. Bounding them here keeps any sum of voices a finite number, so the
// one clamp at the end of mixing holds.
constexpr float maxSampleMagnitude = 8.0f;

float sane(float value) {
    if (!std::isfinite(value)) return 0.0f;
    return std::clamp(value, -maxSampleMagnitude, maxSampleMagnitude);
}

struct VorbisFile {
    OggVorbis_File file;
    bool open = false;
    ~VorbisFile() {
        if (open) ov_clear(&file);
    }
};

}  // namespace

int decodeOggVorbis(const uint8_t* data, size_t size, SoundClip& clip) {
    clip = SoundClip{};
    MemoryFile memory{data, data ? size : 0, 0};
    ov_callbacks callbacks{readMemory, seekMemory, nullptr, tellMemory};
    VorbisFile vorbis;
    if (ov_open_callbacks(&memory, &vorbis.file, nullptr, 0, callbacks) != 0) return 3;
    vorbis.open = true;

    const vorbis_info* first = ov_info(&vorbis.file, -1);
    if (!first || first->channels < 1 || first->rate < minClipRate || first->rate > maxClipRate)
        return 3;
    clip.rate = static_cast<int32_t>(first->rate);

    try {
        // The stated length sizes the buffer in one go when it is believable.
        ogg_int64_t total = ov_pcm_total(&vorbis.file, -1);
        if (total > 0)
            clip.samples.reserve(2 * static_cast<size_t>(std::min(total, maxClipFrames)));

        int link = 0;
        while (clip.frames < maxClipFrames) {
            float** pcm = nullptr;
            long got = ov_read_float(&vorbis.file, &pcm, 4096, &link);
            if (got == OV_HOLE) continue;  // a gap in the data; what follows still plays
            if (got <= 0) break;           // end, or damage that decoding cannot pass
            const vorbis_info* info = ov_info(&vorbis.file, link);
            // A chained stream whose rate changes would play at the wrong
            // pitch; keep what came before.
            if (!info || info->rate != clip.rate) break;
            int channels = info->channels;
            int64_t frames = std::min<int64_t>(got, maxClipFrames - clip.frames);
            size_t start = clip.samples.size();
            clip.samples.resize(start + 2 * static_cast<size_t>(frames), 0.0f);
            float* out = clip.samples.data() + start;
            for (int channel = 0; channel < channels; ++channel) {
                Fold fold = foldFor(channels, channel);
                if (fold.left == 0 && fold.right == 0) continue;
                const float* in = pcm[channel];
                for (int64_t frame = 0; frame < frames; ++frame) {
                    float value = sane(in[frame]);
                    out[2 * frame] += fold.left * value;
                    out[2 * frame + 1] += fold.right * value;
                }
            }
            clip.frames += frames;
        }
    } catch (const std::bad_alloc&) {
        clip = SoundClip{};
        return 3;
    }
    if (clip.frames == 0) {
        clip = SoundClip{};
        return 3;
    }
    clip.samples.shrink_to_fit();
    return 0;
}

}  // namespace drusk
