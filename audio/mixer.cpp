#include "audio/mixer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <vector>

#include "audio/music_module.h"

namespace drusk {

namespace {

// A handle packs the slot, whether it is music, and the slot's generation,
// so a handle of a sound that has ended and been freed never reaches the
// next sound in the same slot.
constexpr uint32_t slotBits = 9;
constexpr uint32_t slotMask = (1u << slotBits) - 1;
constexpr uint32_t musicBit = 1u << slotBits;
constexpr uint32_t generationShift = slotBits + 1;
constexpr uint32_t generationMask = (1u << (32 - generationShift)) - 1;
static_assert(maxVoices <= (1 << slotBits) && maxMusicSlots <= (1 << slotBits));

uint32_t nextGeneration(uint32_t generation) {
    generation = (generation + 1) & generationMask;
    return generation == 0 ? 1 : generation;
}

AudioHandle makeHandle(bool music, int32_t slot, uint32_t generation) {
    return (generation << generationShift) | (music ? musicBit : 0) | static_cast<uint32_t>(slot);
}

struct HandleParts {
    bool music;
    int32_t slot;
    uint32_t generation;
};

HandleParts splitHandle(AudioHandle handle) {
    return {(handle & musicBit) != 0, static_cast<int32_t>(handle & slotMask),
            handle >> generationShift};
}

bool identify(const std::string& path, FileIdentity& identity) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    identity.device = static_cast<uint64_t>(info.st_dev);
    identity.inode = static_cast<uint64_t>(info.st_ino);
    identity.size = static_cast<int64_t>(info.st_size);
    identity.modified =
        static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return true;
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = false;
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
        info.st_size <= maxSoundFileBytes) {
        try {
            bytes.resize(static_cast<size_t>(info.st_size));
            size_t done = 0;
            while (done < bytes.size()) {
                ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
                if (got < 0 && errno == EINTR) continue;
                if (got <= 0) break;
                done += static_cast<size_t>(got);
            }
            bytes.resize(done);
            ok = done > 0;
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    ::close(fd);
    return ok;
}

// Clips whose last voice went away, freed once the lock is released.
struct Doomed {
    std::unique_ptr<SoundClip> clips[maxVoices];
    int32_t count = 0;
};

void releaseVoice(Mixer& mixer, Voice& voice, Doomed& doomed) {
    if (voice.entry >= 0) {
        ClipEntry& entry = mixer.clips[voice.entry];
        if (--entry.users == 0) {
            // Every entry is freed at most once per operation, so the table
            // cannot overflow; the check only keeps a mistake from writing
            // past it.
            if (doomed.count < maxVoices) doomed.clips[doomed.count++] = std::move(entry.clip);
            entry = ClipEntry{};
        }
    }
    voice.state = ChannelState::Free;
    voice.entry = -1;
    voice.clip = nullptr;
    voice.position = 0;
}

void reclaimLocked(Mixer& mixer, Doomed& doomed) {
    for (Voice& voice : mixer.voices)
        if (voice.state == ChannelState::Ended) releaseVoice(mixer, voice, doomed);
}

// A free voice, an ended one, or else the oldest, left free; never fails.
int32_t takeVoice(Mixer& mixer, Doomed& doomed) {
    for (int32_t i = 0; i < maxVoices; ++i)
        if (mixer.voices[i].state == ChannelState::Free) return i;
    int32_t chosen = 0;
    for (int32_t i = 1; i < maxVoices; ++i) {
        const Voice& voice = mixer.voices[i];
        const Voice& best = mixer.voices[chosen];
        bool ended = voice.state == ChannelState::Ended;
        bool bestEnded = best.state == ChannelState::Ended;
        if ((ended && !bestEnded) || (ended == bestEnded && voice.sequence < best.sequence))
            chosen = i;
    }
    releaseVoice(mixer, mixer.voices[chosen], doomed);
    return chosen;
}

AudioHandle startVoice(Mixer& mixer, int32_t slot, int32_t entry) {
    Voice& voice = mixer.voices[slot];
    voice.state = ChannelState::Ready;
    voice.generation = nextGeneration(voice.generation);
    voice.sequence = mixer.nextSequence++;
    voice.entry = entry;
    voice.clip = mixer.clips[entry].clip.get();
    voice.position = 0;
    ++mixer.clips[entry].users;
    return makeHandle(false, slot, voice.generation);
}

int32_t findSharedClip(const Mixer& mixer, const FileIdentity& file) {
    for (int32_t i = 0; i < maxVoices; ++i)
        if (mixer.clips[i].clip && mixer.clips[i].shared && mixer.clips[i].file == file) return i;
    return -1;
}

// A voice for the file's clip when a playing copy has it decoded already.
AudioHandle startSharedVoice(Mixer& mixer, const FileIdentity& file, Doomed& doomed) {
    // Taking the voice first: stealing one may free the very clip looked for.
    int32_t slot = takeVoice(mixer, doomed);
    int32_t entry = findSharedClip(mixer, file);
    return entry >= 0 ? startVoice(mixer, slot, entry) : noAudio;
}

// Places a new clip and a voice for it. Once a voice is free there is a
// free entry too: every entry in use has a voice of its own.
AudioHandle addClip(Mixer& mixer, std::unique_ptr<SoundClip> clip, bool shared,
                    const FileIdentity& file, Doomed& doomed) {
    int32_t slot = takeVoice(mixer, doomed);
    int32_t entry = 0;
    while (mixer.clips[entry].clip)
        ++entry;
    mixer.clips[entry].clip = std::move(clip);
    mixer.clips[entry].file = file;
    mixer.clips[entry].shared = shared;
    mixer.clips[entry].users = 0;
    return startVoice(mixer, slot, entry);
}

// Adds one voice's samples to `out`; false once the voice has played its
// last frame.
bool mixVoice(Voice& voice, int32_t outputRate, float* out, int32_t frames) {
    const SoundClip& clip = *voice.clip;
    const float* samples = clip.samples.data();
    const int64_t total = clip.frames;

    if (clip.rate == outputRate) {
        int64_t at = static_cast<int64_t>(voice.position >> 32);
        int64_t count = std::min<int64_t>(frames, total - at);
        const float* in = samples + 2 * at;
        for (int64_t i = 0; i < 2 * count; ++i)
            out[i] += in[i];
        voice.position += static_cast<uint64_t>(count) << 32;
        return at + count < total;
    }

    // Cubic (Catmull-Rom) interpolation between the four frames around each
    // output instant; frames outside the clip count as silence, so the sound
    // fades in and out of its ends instead of clicking.
    const uint64_t step =
        (static_cast<uint64_t>(clip.rate) << 32) / static_cast<uint64_t>(outputRate);
    auto frame = [&](int64_t index, int side) {
        return index >= 0 && index < total ? samples[2 * index + side] : 0.0f;
    };
    for (int32_t i = 0; i < frames; ++i) {
        int64_t at = static_cast<int64_t>(voice.position >> 32);
        if (at >= total) return false;
        float t = static_cast<float>(voice.position & 0xFFFFFFFFu) * (1.0f / 4294967296.0f);
        for (int side = 0; side < 2; ++side) {
            float before = frame(at - 1, side), here = frame(at, side);
            float next = frame(at + 1, side), after = frame(at + 2, side);
            float c1 = 0.5f * (next - before);
            float c2 = before - 2.5f * here + 2.0f * next - 0.5f * after;
            float c3 = 0.5f * (after - before) + 1.5f * (here - next);
            out[2 * i + side] += ((c3 * t + c2) * t + c1) * t + here;
        }
        voice.position += step;
    }
    return static_cast<int64_t>(voice.position >> 32) < total;
}

void mixMusic(Mixer& mixer, MusicSlot& slot, float* out, int32_t frames) {
    for (int32_t done = 0; done < frames;) {
        int32_t want = std::min(mixChunkFrames, frames - done);
        int64_t got = renderMusic(slot.module, mixer.outputRate, mixer.musicChunk, want);
        for (int64_t i = 0; i < 2 * got; ++i)
            out[2 * done + i] += mixer.musicChunk[i];
        if (got < want) {
            // Looping modules never run dry; one that does has nothing to play.
            slot.state = ChannelState::Ended;
            return;
        }
        done += want;
    }
}

}  // namespace

AudioHandle mixerLoadMusic(Mixer& mixer, const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes)) return noAudio;
    MusicModule* module = openMusicModule(bytes.data(), bytes.size());
    if (!module) return noAudio;
    {
        std::lock_guard<std::mutex> hold(mixer.lock);
        for (int32_t slot = 0; slot < maxMusicSlots; ++slot) {
            MusicSlot& music = mixer.music[slot];
            if (music.state != ChannelState::Free) continue;
            music.state = ChannelState::Ready;
            music.generation = nextGeneration(music.generation);
            music.module = module;
            return makeHandle(true, slot, music.generation);
        }
    }
    closeMusicModule(module);
    return noAudio;
}

AudioHandle mixerCreateStream(Mixer& mixer, const std::string& path) {
    FileIdentity file;
    if (!identify(path, file)) return noAudio;
    Doomed doomed;
    {
        std::lock_guard<std::mutex> hold(mixer.lock);
        reclaimLocked(mixer, doomed);
        if (findSharedClip(mixer, file) >= 0) {
            AudioHandle handle = startSharedVoice(mixer, file, doomed);
            if (handle != noAudio) return handle;
        }
    }

    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes)) return noAudio;
    auto clip = std::unique_ptr<SoundClip>(new (std::nothrow) SoundClip);
    if (!clip || decodeOggVorbis(bytes.data(), bytes.size(), *clip) != 0) return noAudio;

    std::lock_guard<std::mutex> hold(mixer.lock);
    if (findSharedClip(mixer, file) >= 0) {
        AudioHandle handle = startSharedVoice(mixer, file, doomed);
        if (handle != noAudio) return handle;
    }
    return addClip(mixer, std::move(clip), true, file, doomed);
}

AudioHandle mixerAddStream(Mixer& mixer, std::unique_ptr<SoundClip> clip) {
    if (!clip || clip->frames <= 0 || clip->rate < minClipRate || clip->rate > maxClipRate ||
        clip->samples.size() < 2 * static_cast<size_t>(clip->frames))
        return noAudio;
    Doomed doomed;
    std::lock_guard<std::mutex> hold(mixer.lock);
    return addClip(mixer, std::move(clip), false, FileIdentity{}, doomed);
}

void mixerPlay(Mixer& mixer, AudioHandle handle) {
    if (handle == noAudio) return;
    HandleParts parts = splitHandle(handle);
    std::lock_guard<std::mutex> hold(mixer.lock);
    if (parts.music) {
        if (parts.slot >= maxMusicSlots) return;
        MusicSlot& music = mixer.music[parts.slot];
        if (music.generation == parts.generation && music.state == ChannelState::Ready)
            music.state = ChannelState::Playing;
    } else {
        if (parts.slot >= maxVoices) return;
        Voice& voice = mixer.voices[parts.slot];
        if (voice.generation == parts.generation && voice.state == ChannelState::Ready)
            voice.state = ChannelState::Playing;
    }
}

void mixerReclaim(Mixer& mixer) {
    Doomed doomed;
    std::lock_guard<std::mutex> hold(mixer.lock);
    reclaimLocked(mixer, doomed);
}

void mixerClear(Mixer& mixer) {
    Doomed doomed;
    MusicModule* modules[maxMusicSlots] = {};
    {
        std::lock_guard<std::mutex> hold(mixer.lock);
        for (Voice& voice : mixer.voices)
            if (voice.state != ChannelState::Free) releaseVoice(mixer, voice, doomed);
        for (int32_t slot = 0; slot < maxMusicSlots; ++slot) {
            MusicSlot& music = mixer.music[slot];
            modules[slot] = music.module;
            music.module = nullptr;
            music.state = ChannelState::Free;
        }
    }
    for (MusicModule* module : modules)
        closeMusicModule(module);
}

void mixerSetOutputRate(Mixer& mixer, int32_t rate) {
    if (rate <= 0) return;
    std::lock_guard<std::mutex> hold(mixer.lock);
    mixer.outputRate = rate;
}

void mixerRender(Mixer& mixer, float* out, int32_t frames) {
    if (frames <= 0) return;
    std::fill(out, out + 2 * static_cast<size_t>(frames), 0.0f);
    {
        std::lock_guard<std::mutex> hold(mixer.lock);
        for (MusicSlot& music : mixer.music)
            if (music.state == ChannelState::Playing) mixMusic(mixer, music, out, frames);
        for (Voice& voice : mixer.voices)
            if (voice.state == ChannelState::Playing &&
                !mixVoice(voice, mixer.outputRate, out, frames))
                voice.state = ChannelState::Ended;
    }
    // Everything was summed at full precision; only the result is limited.
    for (size_t i = 0; i < 2 * static_cast<size_t>(frames); ++i)
        out[i] = std::clamp(out[i], -1.0f, 1.0f);
}

MixerCounts mixerCounts(Mixer& mixer) {
    MixerCounts counts;
    std::lock_guard<std::mutex> hold(mixer.lock);
    for (const Voice& voice : mixer.voices) {
        counts.readyVoices += voice.state == ChannelState::Ready;
        counts.playingVoices += voice.state == ChannelState::Playing;
        counts.endedVoices += voice.state == ChannelState::Ended;
    }
    for (const ClipEntry& entry : mixer.clips)
        counts.clips += entry.clip != nullptr;
    for (const MusicSlot& music : mixer.music) {
        counts.music += music.state != ChannelState::Free;
        counts.playingMusic += music.state == ChannelState::Playing;
    }
    return counts;
}

}  // namespace drusk
