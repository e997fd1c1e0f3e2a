// The mixing core of the sound layer: music slots, event sound voices and the
// decoded sounds they play, mixed in float stereo at the output rate and
// clamped once. It knows no device: the device callback renders from it, and
// so can anything else that wants to listen in.
//
// Threads: the game side (loading, starting, reclaiming) and the renderer
// share `lock`. The game side holds it only to change table entries, never
// while reading files or decoding, so rendering never waits long; the
// renderer never reads files, allocates or frees.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "audio/audio.h"
#include "audio/sound_clip.h"

namespace drusk {

struct MusicModule;

// Voices beyond this many steal the oldest; the game starts one sound per
// key press, so even a held key rarely has more than a few dozen overlapping.
inline constexpr int32_t maxVoices = 256;
inline constexpr int32_t maxMusicSlots = 4;
inline constexpr int32_t mixChunkFrames = 512;
inline constexpr int32_t defaultOutputRate = 44100;

// Files larger than this are not read.
inline constexpr int64_t maxSoundFileBytes = int64_t{64} << 20;

enum class ChannelState : uint8_t {
    Free,     // slot unused
    Ready,    // loaded, not yet started
    Playing,  // mixed by the renderer
    Ended,    // finished; freed by the next reclaim
};

// Identifies the file a clip was decoded from, so copies of a sound that
// overlap share one decoded clip instead of decoding the file again.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modified = 0;  // nanoseconds
    bool operator==(const FileIdentity&) const = default;
};

struct ClipEntry {
    std::unique_ptr<SoundClip> clip;  // null when the entry is free
    FileIdentity file;
    bool shared = false;  // false for clips handed over by mixerAddStream
    int32_t users = 0;    // voices that play it
};

struct Voice {
    ChannelState state = ChannelState::Free;
    uint32_t generation = 0;
    uint64_t sequence = 0;  // creation order; the oldest is stolen first
    int32_t entry = -1;     // in Mixer::clips
    const SoundClip* clip = nullptr;
    uint64_t position = 0;  // in clip frames, 32.32 fixed point
};

struct MusicSlot {
    ChannelState state = ChannelState::Free;
    uint32_t generation = 0;
    MusicModule* module = nullptr;
};

struct Mixer {
    std::mutex lock;
    int32_t outputRate = defaultOutputRate;
    uint64_t nextSequence = 1;
    Voice voices[maxVoices];
    MusicSlot music[maxMusicSlots];
    ClipEntry clips[maxVoices];
    float musicChunk[2 * mixChunkFrames];  // renderer only
};

// Game side.
AudioHandle mixerLoadMusic(Mixer& mixer, const std::string& path);
AudioHandle mixerCreateStream(Mixer& mixer, const std::string& path);
// A stream of a clip decoded elsewhere; noAudio for a null or empty clip.
AudioHandle mixerAddStream(Mixer& mixer, std::unique_ptr<SoundClip> clip);
void mixerPlay(Mixer& mixer, AudioHandle handle);
// Frees the voices that have ended and the clips no voice plays any more.
void mixerReclaim(Mixer& mixer);
// Stops and frees everything; earlier handles stay invalid.
void mixerClear(Mixer& mixer);
void mixerSetOutputRate(Mixer& mixer, int32_t rate);

// Renderer: `frames` frames of interleaved stereo, each value within -1 to 1.
void mixerRender(Mixer& mixer, float* out, int32_t frames);

struct MixerCounts {
    int32_t readyVoices = 0;
    int32_t playingVoices = 0;
    int32_t endedVoices = 0;
    int32_t clips = 0;
    int32_t music = 0;
    int32_t playingMusic = 0;
};
MixerCounts mixerCounts(Mixer& mixer);

}  // namespace drusk
