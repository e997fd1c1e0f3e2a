// Arbitrary bytes as an event sound: decoded, then mixed at several output
// rates. Whatever the file holds, mixing must stay within full scale.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "audio/mixer.h"
#include "audio/sound_clip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace drusk;
    auto clip = std::make_unique<SoundClip>();
    if (decodeOggVorbis(data, size, *clip) != 0) return 0;
    if (clip->samples.size() != 2 * static_cast<size_t>(clip->frames)) abort();

    static Mixer* mixer = new Mixer;
    const int32_t rates[] = {44100, 48000, 22050, 96000};
    mixerSetOutputRate(*mixer, rates[size % 4]);
    auto copy = std::make_unique<SoundClip>(*clip);
    mixerPlay(*mixer, mixerAddStream(*mixer, std::move(clip)));
    mixerPlay(*mixer, mixerAddStream(*mixer, std::move(copy)));
    static float out[2 * 4096];
    for (int pass = 0; pass < 8; ++pass) {
        mixerRender(*mixer, out, 4096);
        for (float value : out)
            if (!(value >= -1.0f && value <= 1.0f)) abort();
    }
    mixerClear(*mixer);
    return 0;
}
