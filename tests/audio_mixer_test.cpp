// The mixing core without a device: music, event sounds, overlapping copies,
// resampling, clamping and bad files.
#include "audio/mixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "tests/audio_support.h"
#include "tests/temp_dir.h"

namespace drusk {
namespace {

using testing::beepLength;
using testing::beepModuleBytes;
using testing::beepModulePeriod;
using testing::CapturedOutput;
using testing::rms;
using testing::TempDir;
using testing::Tone;
using testing::toneAmplitude;
using testing::toneOggBytes;
using testing::zeroCrossingFrequency;

constexpr int32_t bufferFrames = 1024;  // what the device asks for at a time

// Renders `seconds` of the mixer in device-sized buffers and appends them.
void render(Mixer& mixer, double seconds, std::vector<float>& out, int32_t buffer = bufferFrames) {
    auto frames = static_cast<int64_t>(std::lround(seconds * mixer.outputRate));
    std::vector<float> chunk(2 * static_cast<size_t>(buffer));
    for (int64_t done = 0; done < frames; done += buffer) {
        int32_t count = static_cast<int32_t>(std::min<int64_t>(buffer, frames - done));
        mixerRender(mixer, chunk.data(), count);
        out.insert(out.end(), chunk.begin(), chunk.begin() + 2 * count);
    }
}

int64_t at(double seconds, int32_t rate = defaultOutputRate) {
    return static_cast<int64_t>(std::lround(seconds * rate));
}

// A Mixer is large and holds a lock, so tests keep it on the heap and clear
// it on the way out.
struct MixerHolder {
    std::unique_ptr<Mixer> mixer = std::make_unique<Mixer>();
    ~MixerHolder() { mixerClear(*mixer); }
    Mixer& operator*() { return *mixer; }
};

class MixerTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::string musicPath = dir.write("sfx/castletheme.mo3", beepModuleBytes());
    std::string soundPath = dir.write("sfx/chime.ogg", toneOggBytes(Tone{}));
};

TEST_F(MixerTest, MusicKeepsLoopingLongAfterItsEnd) {
    MixerHolder mixer;
    AudioHandle music = mixerLoadMusic(*mixer, musicPath);
    ASSERT_NE(music, noAudio);
    std::vector<float> out;
    render(*mixer, 0.5, out);
    EXPECT_EQ(rms(out, 0, static_cast<int64_t>(out.size() / 2)), 0.0) << "silent until played";

    out.clear();
    mixerPlay(*mixer, music);
    render(*mixer, 4 * beepModulePeriod + 0.1, out);
    // Each pass beeps at its start and is silent after the beep: a module
    // that stopped at its end would leave the later passes silent.
    for (int pass = 0; pass < 4; ++pass) {
        double start = pass * beepModulePeriod;
        EXPECT_GT(rms(out, at(start), at(start + 0.8 * beepLength)), 0.05) << "pass " << pass;
        EXPECT_LT(rms(out, at(start + beepLength + 0.1), at(start + beepModulePeriod - 0.05)), 1e-3)
            << "pass " << pass;
    }
    EXPECT_EQ(mixerCounts(*mixer).playingMusic, 1);
}

TEST_F(MixerTest, PlayingMusicAgainDoesNotRestartIt) {
    MixerHolder once, twice;
    AudioHandle a = mixerLoadMusic(*once, musicPath);
    AudioHandle b = mixerLoadMusic(*twice, musicPath);
    mixerPlay(*once, a);
    mixerPlay(*twice, b);
    std::vector<float> first, second;
    render(*once, 0.5, first);
    render(*twice, 0.5, second);
    mixerPlay(*twice, b);
    render(*once, 0.7, first);
    render(*twice, 0.7, second);
    EXPECT_EQ(first, second);
}

TEST_F(MixerTest, SoundOverMusicStartsWithinOneBufferAndIsGoneAfterItEnds) {
    // Two mixers play the same music; one also plays the sound. Their
    // difference is the sound alone.
    MixerHolder plain, withSound;
    mixerPlay(*plain, mixerLoadMusic(*plain, musicPath));
    mixerPlay(*withSound, mixerLoadMusic(*withSound, musicPath));
    std::vector<float> a, b;
    render(*plain, 0.1, a);
    render(*withSound, 0.1, b);

    AudioHandle sound = mixerCreateStream(*withSound, soundPath);
    ASSERT_NE(sound, noAudio);
    mixerPlay(*withSound, sound);
    EXPECT_EQ(mixerCounts(*withSound).playingVoices, 1);
    size_t start = a.size();
    render(*plain, 1.0, a);
    render(*withSound, 1.0, b);
    std::vector<float> difference(a.size());
    for (size_t i = 0; i < a.size(); ++i)
        difference[i] = b[i] - a[i];
    int64_t first = static_cast<int64_t>(start / 2);
    EXPECT_GT(rms(difference, first, first + bufferFrames), 0.2) << "heard in the first buffer";
    EXPECT_NEAR(toneAmplitude(difference, defaultOutputRate, 1000.0, first, first + at(0.2)), 0.5,
                0.05);

    // 0.25 s of sound, then nothing but the music again, bit for bit.
    EXPECT_LT(rms(difference, first + at(0.26), first + at(1.0)), 1e-9);
    MixerCounts counts = mixerCounts(*withSound);
    EXPECT_EQ(counts.playingVoices, 0);
    EXPECT_EQ(counts.playingMusic, 1);
    mixerReclaim(*withSound);
    counts = mixerCounts(*withSound);
    EXPECT_EQ(counts.endedVoices, 0);
    EXPECT_EQ(counts.clips, 0) << "the decoded sound is freed";
    mixerPlay(*withSound, sound);
    EXPECT_EQ(mixerCounts(*withSound).playingVoices, 0) << "an ended sound's handle is dead";
}

struct RateCase {
    int32_t soundRate;
    int32_t outputRate;
    int32_t channels;
};

class ResamplingTest : public MixerTest, public ::testing::WithParamInterface<RateCase> {};

TEST_P(ResamplingTest, SoundKeepsItsPitchLengthAndLoudness) {
    RateCase c = GetParam();
    Tone tone{1000.0, 0.3, c.soundRate, c.channels, 0.5f};
    std::string path = dir.write("tone.ogg", toneOggBytes(tone));
    MixerHolder mixer;
    mixerSetOutputRate(*mixer, c.outputRate);
    mixerPlay(*mixer, mixerCreateStream(*mixer, path));
    // Small buffers time the end of the sound closely.
    std::vector<float> out;
    int64_t played = 0;
    while (mixerCounts(*mixer).playingVoices > 0 && played < 2 * c.outputRate) {
        render(*mixer, 64.0 / c.outputRate, out, 64);
        played += 64;
    }
    EXPECT_NEAR(static_cast<double>(played) / c.outputRate, 0.3, 0.005);
    int64_t end = at(0.29, c.outputRate);
    EXPECT_NEAR(zeroCrossingFrequency(out, c.outputRate, at(0.01, c.outputRate), end), 1000.0, 5.0);
    EXPECT_NEAR(toneAmplitude(out, c.outputRate, 1000.0, at(0.02, c.outputRate), end), 0.5, 0.05);
    EXPECT_NEAR(rms(out, at(0.02, c.outputRate), end), 0.5 / std::sqrt(2.0), 0.04)
        << "both sides carry the tone";
}

INSTANTIATE_TEST_SUITE_P(Rates, ResamplingTest,
                         ::testing::Values(RateCase{44100, 44100, 1}, RateCase{22050, 44100, 1},
                                           RateCase{11025, 44100, 2}, RateCase{48000, 44100, 2},
                                           RateCase{96000, 44100, 1}, RateCase{44100, 48000, 2},
                                           RateCase{8000, 48000, 1}));

TEST_F(MixerTest, OutputRateChangeMidSoundKeepsThePitch) {
    std::string path = dir.write("long.ogg", toneOggBytes(Tone{1000.0, 1.0, 44100, 1, 0.5f}));
    MixerHolder mixer;
    mixerPlay(*mixer, mixerCreateStream(*mixer, path));
    std::vector<float> before, after;
    render(*mixer, 0.3, before);
    mixerSetOutputRate(*mixer, 48000);  // a device reopened at another rate
    render(*mixer, 0.3, after);
    EXPECT_NEAR(zeroCrossingFrequency(after, 48000, 0, at(0.3, 48000)), 1000.0, 5.0);
}

TEST_F(MixerTest, TwoHundredOverlappingCopiesShareOneClipAndAllGoAway) {
    std::string path = dir.write("long.ogg", toneOggBytes(Tone{440.0, 0.5, 22050, 1, 0.5f}));
    MixerHolder mixer;
    mixerPlay(*mixer, mixerLoadMusic(*mixer, musicPath));
    std::vector<float> out;
    for (int copy = 0; copy < 200; ++copy) {
        AudioHandle handle = mixerCreateStream(*mixer, path);
        ASSERT_NE(handle, noAudio) << copy;
        mixerPlay(*mixer, handle);
        render(*mixer, 64.0 / defaultOutputRate, out, 64);
    }
    MixerCounts counts = mixerCounts(*mixer);
    EXPECT_EQ(counts.playingVoices, 200) << "12800 frames of starts, 22050 frames of sound";
    EXPECT_EQ(counts.clips, 1) << "decoded once for every copy";
    for (float value : out)
        ASSERT_TRUE(value >= -1.0f && value <= 1.0f);

    render(*mixer, 0.6, out);
    mixerReclaim(*mixer);
    counts = mixerCounts(*mixer);
    EXPECT_EQ(counts.playingVoices + counts.endedVoices + counts.readyVoices, 0);
    EXPECT_EQ(counts.clips, 0);
    EXPECT_EQ(counts.playingMusic, 1);
}

TEST_F(MixerTest, StartsBeyondTheVoiceTableStealTheOldest) {
    MixerHolder mixer;
    std::vector<AudioHandle> handles;
    for (int copy = 0; copy < maxVoices + 44; ++copy)
        handles.push_back(mixerCreateStream(*mixer, soundPath));
    EXPECT_EQ(mixerCounts(*mixer).readyVoices, maxVoices);
    for (AudioHandle handle : handles)
        mixerPlay(*mixer, handle);
    EXPECT_EQ(mixerCounts(*mixer).playingVoices, maxVoices) << "the 44 oldest handles are dead";
    std::vector<float> out;
    render(*mixer, 0.4, out);
    mixerReclaim(*mixer);
    EXPECT_EQ(mixerCounts(*mixer).clips, 0);
}

TEST_F(MixerTest, HandlesThatNameNothingAreIgnored) {
    MixerHolder mixer;
    AudioHandle sound = mixerCreateStream(*mixer, soundPath);
    AudioHandle music = mixerLoadMusic(*mixer, musicPath);
    for (AudioHandle bogus : {noAudio, AudioHandle{0xFFFFFFFF}, sound + (1u << 10), music ^ 0x1FFu,
                              music + (1u << 10), sound | 0x1FFu})
        mixerPlay(*mixer, bogus);
    MixerCounts counts = mixerCounts(*mixer);
    EXPECT_EQ(counts.playingVoices, 0);
    EXPECT_EQ(counts.playingMusic, 0);
    mixerClear(*mixer);
    mixerPlay(*mixer, sound);
    mixerPlay(*mixer, music);
    counts = mixerCounts(*mixer);
    EXPECT_EQ(counts.playingVoices + counts.readyVoices + counts.music, 0);
}

std::unique_ptr<SoundClip> constantClip(float value, int64_t frames) {
    auto clip = std::make_unique<SoundClip>();
    clip->rate = defaultOutputRate;
    clip->frames = frames;
    clip->samples.assign(2 * static_cast<size_t>(frames), value);
    return clip;
}

TEST(MixerClampTest, VoicesAreSummedInFullAndClampedOnceAtTheEnd) {
    struct Case {
        std::vector<float> voices;
        float expected;
    } cases[] = {
        {{0.25f, 0.5f}, 0.75f},
        {{0.8f, 0.8f}, 1.0f},
        {{-0.8f, -0.8f}, -1.0f},
        // Clamping after each voice would give 0.2 here.
        {{0.8f, 0.8f, -0.8f}, 0.8f},
        {{0.9f, 0.9f, 0.9f, -0.9f, -0.9f}, 0.9f},
    };
    for (const Case& c : cases) {
        MixerHolder mixer;
        for (float value : c.voices)
            mixerPlay(*mixer, mixerAddStream(*mixer, constantClip(value, 4096)));
        std::vector<float> out;
        render(*mixer, 1024.0 / defaultOutputRate, out);
        EXPECT_FLOAT_EQ(out[0], c.expected);
        EXPECT_FLOAT_EQ(out[2047], c.expected);
    }
}

TEST(MixerClampTest, UnusableClipsAreRefused) {
    MixerHolder mixer;
    auto empty = std::make_unique<SoundClip>();
    auto tooFew = constantClip(0.5f, 100);
    tooFew->samples.resize(150);
    auto slow = constantClip(0.5f, 100);
    slow->rate = 10;
    EXPECT_EQ(mixerAddStream(*mixer, nullptr), noAudio);
    EXPECT_EQ(mixerAddStream(*mixer, std::move(empty)), noAudio);
    EXPECT_EQ(mixerAddStream(*mixer, std::move(tooFew)), noAudio);
    EXPECT_EQ(mixerAddStream(*mixer, std::move(slow)), noAudio);
}

std::string noiseBytes(size_t size) {
    std::string bytes(size, '\0');
    uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    return bytes;
}

TEST_F(MixerTest, MissingAndDamagedFilesGiveSilenceAndSayNothing) {
    std::string ogg = toneOggBytes(Tone{});
    std::string module = beepModuleBytes();
    struct Case {
        const char* name;
        std::string path;
        bool music;
    };
    std::vector<Case> cases = {
        {"missing sound", dir.path() + "/sfx/nothing.ogg", false},
        {"missing music", dir.path() + "/sfx/nothing.mo3", true},
        {"directory as sound", dir.path() + "/sfx", false},
        {"directory as music", dir.path() + "/sfx", true},
        {"empty sound", dir.write("empty.ogg", ""), false},
        {"empty music", dir.write("empty.mo3", ""), true},
        {"noise as sound", dir.write("noise.ogg", noiseBytes(5000)), false},
        {"noise as music", dir.write("noise.mo3", noiseBytes(5000)), true},
        {"text as sound", dir.write("text.ogg", "not a sound at all\n"), false},
        {"text as music", dir.write("text.mo3", "not a module at all\n"), true},
        {"sound cut in its headers", dir.write("cut.ogg", ogg.substr(0, 100)), false},
        {"sound with its headers spoilt", dir.write("spoilt.ogg", "xxxx" + ogg.substr(4)), false},
        {"module as sound", dir.write("module.ogg", module), false},
        {"sound as music", dir.write("sound.mo3", ogg), true},
        {"module cut in its header", dir.write("cut.mo3", module.substr(0, 600)), true},
    };
    for (const Case& c : cases) {
        MixerHolder mixer;
        CapturedOutput captured;
        AudioHandle handle =
            c.music ? mixerLoadMusic(*mixer, c.path) : mixerCreateStream(*mixer, c.path);
        mixerPlay(*mixer, handle);
        std::vector<float> out;
        render(*mixer, 0.2, out);
        std::string printed = captured.finish();
        EXPECT_EQ(handle, noAudio) << c.name;
        EXPECT_EQ(rms(out, 0, static_cast<int64_t>(out.size() / 2)), 0.0) << c.name;
        EXPECT_EQ(printed, "") << c.name;
        EXPECT_EQ(mixerCounts(*mixer).clips, 0) << c.name;
    }
}

TEST_F(MixerTest, ModuleWithItsSamplesCutOffPlaysSilence) {
    // The pattern survives, the instrument's data does not: the decoder
    // takes it, and what plays is silence, quietly.
    std::string module = beepModuleBytes();
    std::string path = dir.write("short.mo3", module.substr(0, 1084 + 1024));
    MixerHolder mixer;
    CapturedOutput captured;
    mixerPlay(*mixer, mixerLoadMusic(*mixer, path));
    std::vector<float> out;
    render(*mixer, 2.0, out);
    EXPECT_EQ(captured.finish(), "");
    EXPECT_EQ(rms(out, 0, static_cast<int64_t>(out.size() / 2)), 0.0);
}

}  // namespace
}  // namespace drusk
