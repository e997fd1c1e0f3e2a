// The whole sound layer on a real SDL output device: the disk driver writes
// what the device would play to a file, which the tests then measure.
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "audio/audio.h"
#include "audio/audio_output.h"
#include "tests/audio_support.h"
#include "tests/temp_dir.h"

namespace drusk {
namespace {

using namespace std::chrono_literals;
using testing::beepLength;
using testing::beepModuleBytes;
using testing::beepModulePeriod;
using testing::CapturedOutput;
using testing::rms;
using testing::TempDir;
using testing::Tone;
using testing::toneAmplitude;
using testing::toneOggBytes;

constexpr int32_t rate = 44100;
constexpr int64_t bytesPerSecond = rate * 2 * 4;  // float stereo, as the disk device takes it

// Waits for the condition, generously: the machine may be busy.
bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit = 30s) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

int64_t fileSize(const std::string& path) {
    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<int64_t>(size);
}

std::vector<float> readSamples(const std::string& path) {
    std::string bytes = testing::readFile(path);
    std::vector<float> samples(bytes.size() / sizeof(float) / 2 * 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

int64_t seconds(double s) {
    return static_cast<int64_t>(s * rate);
}

class AudioOutputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", devicePath.c_str(), 1);
        unsetenv("SDL_DISKAUDIODELAY");
    }
    void TearDown() override {
        freeAudio();
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
        unsetenv("AUDIODEV");
    }

    TempDir dir;
    std::string musicPath = dir.write("sfx/castletheme.mo3", beepModuleBytes());
    std::string soundPath = dir.write("sfx/chime.ogg", toneOggBytes(Tone{1000.0, 0.3}));
    std::string devicePath = dir.path() + "/device/output.raw";
};

TEST_F(AudioOutputTest, WithoutADeviceEveryCallDoesNothingQuietly) {
    struct Case {
        const char* driver;
        const char* device;
    } cases[] = {
        {"drusk-no-such-driver", nullptr},
        // The sound-card library of the system, asked for a card that is not
        // there, has plenty to complain about.
        {"alsa", "drusk_no_such_card"},
    };
    for (const Case& c : cases) {
        setenv("SDL_AUDIODRIVER", c.driver, 1);
        if (c.device) setenv("AUDIODEV", c.device, 1);
        CapturedOutput captured;
        initAudio();
        bool open = audioOutputState().open;
        AudioHandle music = loadMusic(musicPath);
        AudioHandle sound = createSoundStream(soundPath);
        playChannel(music);
        playChannel(sound);
        playChannel(12345);
        freeAudio();
        freeAudio();
        EXPECT_EQ(captured.finish(), "") << c.driver;
        EXPECT_FALSE(open) << c.driver;
        EXPECT_EQ(music, noAudio) << c.driver;
        EXPECT_EQ(sound, noAudio) << c.driver;
    }
}

TEST_F(AudioOutputTest, PlaysLoopingMusicWithSoundsOverItUntilFreed) {
    std::filesystem::create_directories(dir.path() + "/device");
    CapturedOutput captured;
    initAudio();
    AudioOutputState state = audioOutputState();
    ASSERT_TRUE(state.open && state.playing);
    EXPECT_EQ(state.format.rate, rate);
    EXPECT_EQ(state.format.channels, 2);
    EXPECT_EQ(state.format.type, SampleType::Float32);

    AudioHandle music = loadMusic(musicPath);
    ASSERT_NE(music, noAudio);
    playChannel(music);
    ASSERT_TRUE(waitFor([&] { return fileSize(devicePath) >= bytesPerSecond * 13 / 10; }));
    int64_t before = fileSize(devicePath);
    AudioHandle sound = createSoundStream(soundPath);
    ASSERT_NE(sound, noAudio);
    playChannel(sound);
    int64_t after = fileSize(devicePath);
    ASSERT_TRUE(waitFor([&] { return fileSize(devicePath) >= after + 2 * bytesPerSecond; }));

    freeAudio();
    EXPECT_FALSE(audioOutputState().open);
    int64_t closedAt = fileSize(devicePath);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(fileSize(devicePath), closedAt) << "nothing plays after freeAudio";
    EXPECT_EQ(captured.finish(), "");

    std::vector<float> out = readSamples(devicePath);
    int64_t frames = static_cast<int64_t>(out.size() / 2);
    // The music starts where the first sample is not silent, then beeps at
    // the start of every pass for as long as the device ran.
    int64_t start = 0;
    while (start < frames && out[2 * start] == 0.0f && out[2 * start + 1] == 0.0f)
        ++start;
    int passes = 0;
    for (int64_t pass = start; pass + seconds(beepLength) < frames;
         pass += seconds(beepModulePeriod)) {
        EXPECT_GT(rms(out, pass, pass + seconds(0.8 * beepLength)), 0.05) << "pass " << passes;
        ++passes;
    }
    EXPECT_GE(passes, 3);

    // The 1000 Hz sound appears once, where it was started, for 0.3 s.
    const int64_t window = 1024;
    int64_t first = -1, last = -1;
    for (int64_t at = start; at + window <= frames; at += window / 4) {
        if (toneAmplitude(out, rate, 1000.0, at, at + window) > 0.25) {
            if (first < 0) first = at;
            last = at + window;
        }
    }
    ASSERT_GE(first, 0) << "the sound was heard";
    int64_t startedFrom = before / 8 - 2 * window, startedBy = after / 8 + 2 * window;
    EXPECT_GE(first, startedFrom);
    EXPECT_LE(first, startedBy);
    EXPECT_NEAR(static_cast<double>(last - first) / rate, 0.3, 0.06);
    EXPECT_LT(toneAmplitude(out, rate, 2000.0, first, last), 0.05) << "played at its own pitch";
}

TEST_F(AudioOutputTest, HandlesDoNotOutliveFreeAudio) {
    std::filesystem::create_directories(dir.path() + "/device");
    initAudio();
    AudioHandle music = loadMusic(musicPath);
    ASSERT_NE(music, noAudio);
    freeAudio();
    initAudio();
    playChannel(music);
    int64_t from = fileSize(devicePath);
    ASSERT_TRUE(waitFor([&] { return fileSize(devicePath) >= from + bytesPerSecond; }));
    freeAudio();
    std::vector<float> out = readSamples(devicePath);
    EXPECT_EQ(rms(out, 0, static_cast<int64_t>(out.size() / 2)), 0.0);
}

// The disk device counts as removed when a write fails: a file size limit
// makes that happen, and a missing directory keeps a new device from opening
// until it is back.
TEST_F(AudioOutputTest, ReopensTheDeviceWhenItComesBackAndTheMusicGoesOn) {
    std::string deviceDir = dir.path() + "/device";
    std::filesystem::create_directories(deviceDir);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = static_cast<rlim_t>(bytesPerSecond / 2);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);

    CapturedOutput captured;
    initAudio();
    ASSERT_TRUE(audioOutputState().playing);
    playChannel(loadMusic(musicPath));
    // The open file goes on filling up to the limit; then the device fails,
    // and no new one can be opened in the missing directory.
    std::filesystem::remove_all(deviceDir);
    EXPECT_TRUE(waitFor([] { return !audioOutputState().playing; }));
    EXPECT_TRUE(waitFor([] { return audioOutputState().driverRestarts >= 1; }))
        << "the driver is restarted while the device stays away";
    EXPECT_FALSE(audioOutputState().playing);

    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::filesystem::create_directories(deviceDir);
    EXPECT_TRUE(waitFor([] { return audioOutputState().playing; }));
    EXPECT_GE(audioOutputState().deviceOpens, 2);
    EXPECT_TRUE(waitFor([&] { return fileSize(devicePath) >= 2 * bytesPerSecond; }));
    freeAudio();
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(captured.finish(), "");

    std::vector<float> out = readSamples(devicePath);
    int passes = 0;
    for (int64_t at = 0; at + seconds(beepModulePeriod) <= seconds(2.0);
         at += seconds(beepModulePeriod))
        passes += rms(out, at, at + seconds(beepModulePeriod)) > 0.02;
    EXPECT_EQ(passes, 2) << "the music plays on the new device";
}

}  // namespace
}  // namespace drusk
