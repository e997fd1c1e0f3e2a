// The module and Ogg Vorbis writers, checked byte by byte where the format
// fixes the bytes and by decoding where it does not.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "audio/music_module.h"
#include "audio/sound_clip.h"
#include "tests/audio_support.h"
#include "tests/temp_dir.h"
#include "tools/module_writer.h"
#include "tools/ogg_writer.h"

namespace drusk {
namespace {

using testing::TempDir;

uint8_t byteAt(const std::string& bytes, size_t offset) {
    return static_cast<uint8_t>(bytes.at(offset));
}

uint32_t bigEndian16(const std::string& bytes, size_t offset) {
    return byteAt(bytes, offset) << 8 | byteAt(bytes, offset + 1);
}

TrackerModule oneNoteModule() {
    TrackerModule module;
    module.title = "a title longer than twenty bytes";
    ModuleInstrument lead;
    lead.name = "lead";
    lead.data = synthesiseWave(Waveform::Square, 33);  // odd: padded to 34
    lead.volume = 40;
    lead.fineTune = -1;
    lead.loopStart = 2;
    lead.loopLength = 32;
    module.instruments.push_back(lead);
    module.patterns.resize(2);
    module.patterns[1].cells[0][0] = {12, 1, effectSetSpeed, 3};
    module.patterns[1].cells[63][3] = {35, 1, effectSetVolume, 64};
    module.order = {1, 1};
    return module;
}

TEST(ModuleWriterTest, LaysOutTheClassicFormat) {
    std::string bytes;
    ASSERT_EQ(encodeModule(oneNoteModule(), bytes), 0);
    // Header, two patterns (0 and 1, as the order reaches 1), then the data.
    ASSERT_EQ(bytes.size(), 1084u + 2 * 1024 + 34);
    EXPECT_EQ(bytes.substr(0, 20), "a title longer than ");
    EXPECT_EQ(bytes.substr(20, 5), std::string("lead\0", 5));
    EXPECT_EQ(bigEndian16(bytes, 42), 17u) << "length in words";
    EXPECT_EQ(byteAt(bytes, 44), 0x0F) << "fine tune -1 as a nibble";
    EXPECT_EQ(byteAt(bytes, 45), 40);
    EXPECT_EQ(bigEndian16(bytes, 46), 1u) << "loop start in words";
    EXPECT_EQ(bigEndian16(bytes, 48), 16u) << "loop length in words";
    EXPECT_EQ(bigEndian16(bytes, 50 + 22), 0u) << "unused instruments are empty";
    EXPECT_EQ(bigEndian16(bytes, 50 + 28), 1u) << "and do not loop";
    EXPECT_EQ(byteAt(bytes, 950), 2) << "song length";
    EXPECT_EQ(byteAt(bytes, 952), 1);
    EXPECT_EQ(byteAt(bytes, 953), 1);
    EXPECT_EQ(byteAt(bytes, 954), 0);
    EXPECT_EQ(bytes.substr(1080, 4), "M.K.");
    size_t pattern1 = 1084 + 1024;
    // Note 12 is period 428 (0x1AC), instrument 1, effect F with 3.
    EXPECT_EQ(byteAt(bytes, pattern1 + 0), 0x01);
    EXPECT_EQ(byteAt(bytes, pattern1 + 1), 0xAC);
    EXPECT_EQ(byteAt(bytes, pattern1 + 2), 0x1F);
    EXPECT_EQ(byteAt(bytes, pattern1 + 3), 0x03);
    size_t lastCell = pattern1 + (63 * 4 + 3) * 4;  // note 35 is period 113
    EXPECT_EQ(byteAt(bytes, lastCell + 1), 113);
    EXPECT_EQ(byteAt(bytes, lastCell + 2), 0x1C);
    EXPECT_EQ(byteAt(bytes, lastCell + 3), 64);
    EXPECT_EQ(byteAt(bytes, 1084 + 2 * 1024), 127) << "instrument data follows the patterns";
    EXPECT_EQ(byteAt(bytes, bytes.size() - 1), 0) << "padding byte";
}

TEST(ModuleWriterTest, InstrumentsAboveFifteenUseTheHighNibble) {
    TrackerModule module;
    module.instruments.resize(17);
    for (ModuleInstrument& instrument : module.instruments)
        instrument.data = synthesiseWave(Waveform::Sine, 16);
    module.patterns.resize(1);
    module.patterns[0].cells[0][0] = {0, 17, 0, 0};
    module.order = {0};
    std::string bytes;
    ASSERT_EQ(encodeModule(module, bytes), 0);
    EXPECT_EQ(byteAt(bytes, 1084), 0x13) << "high nibble of 17, high bits of period 856";
    EXPECT_EQ(byteAt(bytes, 1085), 0x58);
    EXPECT_EQ(byteAt(bytes, 1086), 0x10);
}

TEST(ModuleWriterTest, RefusesWhatTheFormatCannotHold) {
    struct Case {
        const char* name;
        void (*spoil)(TrackerModule&);
    } cases[] = {
        {"no order", [](TrackerModule& m) { m.order.clear(); }},
        {"order past the patterns", [](TrackerModule& m) { m.order.push_back(2); }},
        {"129 orders", [](TrackerModule& m) { m.order.assign(129, 0); }},
        {"no patterns", [](TrackerModule& m) { m.patterns.clear(); }},
        {"65 patterns", [](TrackerModule& m) { m.patterns.resize(65); }},
        {"32 instruments", [](TrackerModule& m) { m.instruments.resize(32); }},
        {"note 36", [](TrackerModule& m) { m.patterns[0].cells[5][1].note = 36; }},
        {"note -2", [](TrackerModule& m) { m.patterns[0].cells[5][1].note = -2; }},
        {"instrument 2 of 1", [](TrackerModule& m) { m.patterns[0].cells[5][1].instrument = 2; }},
        {"effect 16", [](TrackerModule& m) { m.patterns[0].cells[5][1].effect = 16; }},
        {"volume 65", [](TrackerModule& m) { m.instruments[0].volume = 65; }},
        {"fine tune 8", [](TrackerModule& m) { m.instruments[0].fineTune = 8; }},
        {"odd loop start", [](TrackerModule& m) { m.instruments[0].loopStart = 3; }},
        {"loop past the end", [](TrackerModule& m) { m.instruments[0].loopLength = 34; }},
        {"data too long",
         [](TrackerModule& m) { m.instruments[0].data.resize(maxInstrumentBytes + 1); }},
    };
    for (const Case& c : cases) {
        TrackerModule module = oneNoteModule();
        c.spoil(module);
        std::string bytes = "stale";
        EXPECT_EQ(encodeModule(module, bytes), 3) << c.name;
        EXPECT_EQ(bytes, "") << c.name;
    }
    TrackerModule longest = oneNoteModule();
    longest.instruments[0].data.resize(maxInstrumentBytes);
    std::string bytes;
    EXPECT_EQ(encodeModule(longest, bytes), 0);
}

TEST(ModuleWriterTest, WrittenModulePlaysItsNoteAtThePeriodsPitch) {
    TrackerModule module;
    ModuleInstrument tone;
    tone.data = synthesiseWave(Waveform::Sine, 32);
    tone.loopLength = 32;  // loops forever: a steady tone
    module.instruments.push_back(tone);
    module.patterns.resize(1);
    module.patterns[0].cells[0][0] = {12, 1, 0, 0};
    module.order = {0};
    TempDir dir;
    std::string path = dir.path() + "/tone.mod";
    ASSERT_EQ(writeModule(path, module), 0);
    std::string bytes = testing::readFile(path);
    MusicModule* music =
        openMusicModule(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ASSERT_NE(music, nullptr);
    // 64 rows at the default six ticks of 20 ms.
    EXPECT_NEAR(musicDurationSeconds(music), 7.68, 0.01);
    std::vector<float> out(2 * 44100);
    EXPECT_EQ(renderMusic(music, 44100, out.data(), 44100), 44100);
    closeMusicModule(music);
    // The format's clock over twice the period, over the 32-byte cycle.
    double expected = 7093789.2 / (2 * 428) / 32;
    EXPECT_NEAR(testing::zeroCrossingFrequency(out, 44100, 4410, 44100), expected, 1.0);
}

TEST(ModuleWriterTest, NotePeriods) {
    EXPECT_EQ(notePeriod(0), 856);
    EXPECT_EQ(notePeriod(12), 428);
    EXPECT_EQ(notePeriod(24), 214);
    EXPECT_EQ(notePeriod(35), 113);
    EXPECT_EQ(notePeriod(noNote), 0);
    EXPECT_EQ(notePeriod(36), 0);
}

TEST(ModuleWriterTest, SynthesisedWaves) {
    std::vector<int8_t> sine = synthesiseWave(Waveform::Sine, 64, 2);
    EXPECT_EQ(sine[0], 0);
    EXPECT_EQ(sine[8], 127);
    EXPECT_EQ(sine[24], -127);
    EXPECT_EQ(sine[40], 127) << "second cycle";
    std::vector<int8_t> square = synthesiseWave(Waveform::Square, 8, 1, 0.5f);
    EXPECT_EQ(square, (std::vector<int8_t>{64, 64, 64, 64, -64, -64, -64, -64}));
    std::vector<int8_t> triangle = synthesiseWave(Waveform::Triangle, 8);
    EXPECT_EQ(triangle, (std::vector<int8_t>{0, 64, 127, 64, 0, -64, -127, -64}));
    std::vector<int8_t> saw = synthesiseWave(Waveform::Sawtooth, 4);
    EXPECT_EQ(saw, (std::vector<int8_t>{0, 64, -127, -64}));
    EXPECT_EQ(synthesiseWave(Waveform::Noise, 100), synthesiseWave(Waveform::Noise, 100));
    EXPECT_TRUE(synthesiseWave(Waveform::Sine, 0).empty());

    std::vector<int8_t> decaying(33, 100);
    applyDecay(decaying, 16.0f);
    EXPECT_EQ(decaying[0], 100);
    EXPECT_EQ(decaying[16], 50);
    EXPECT_EQ(decaying[32], 25);
}

std::vector<float> sine(double frequency, int32_t rate, int64_t frames, int32_t channels,
                        float amplitude) {
    std::vector<float> samples(static_cast<size_t>(frames * channels));
    for (int64_t frame = 0; frame < frames; ++frame)
        for (int32_t channel = 0; channel < channels; ++channel)
            samples[static_cast<size_t>(frame * channels + channel)] =
                amplitude *
                static_cast<float>(std::sin(2 * std::numbers::pi * frequency * frame / rate));
    return samples;
}

TEST(OggWriterTest, RoundTripKeepsLengthRateAndTone) {
    for (int32_t channels : {1, 2}) {
        std::vector<float> samples = sine(440.0, 32000, 16000, channels, 0.6f);
        TempDir dir;
        std::string path = dir.path() + "/tone.ogg";
        ASSERT_EQ(writeOggVorbis(path, {samples.data(), 16000, channels, 32000}), 0);
        std::string bytes = testing::readFile(path);
        SoundClip clip;
        ASSERT_EQ(
            decodeOggVorbis(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), clip), 0);
        EXPECT_EQ(clip.frames, 16000) << channels;
        EXPECT_EQ(clip.rate, 32000);
        EXPECT_NEAR(testing::toneAmplitude(clip.samples, 32000, 440.0, 1000, 15000), 0.6, 0.03);
        EXPECT_NEAR(testing::zeroCrossingFrequency(clip.samples, 32000, 0, 16000), 440.0, 1.0);
    }
}

TEST(OggWriterTest, SameInputSameBytes) {
    std::vector<float> samples = sine(300.0, 22050, 5000, 1, 0.5f);
    std::string first, second;
    ASSERT_EQ(encodeOggVorbis({samples.data(), 5000, 1, 22050}, 0.3f, first), 0);
    ASSERT_EQ(encodeOggVorbis({samples.data(), 5000, 1, 22050}, 0.3f, second), 0);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.substr(0, 4), "OggS");
}

TEST(OggWriterTest, RefusesUnusableInput) {
    std::vector<float> samples(100);
    std::string bytes;
    EXPECT_EQ(encodeOggVorbis({samples.data(), 50, 0, 44100}, 0.4f, bytes), 3);
    EXPECT_EQ(encodeOggVorbis({samples.data(), 50, 2, 0}, 0.4f, bytes), 3);
    EXPECT_EQ(encodeOggVorbis({samples.data(), -1, 2, 44100}, 0.4f, bytes), 3);
    EXPECT_EQ(encodeOggVorbis({nullptr, 50, 2, 44100}, 0.4f, bytes), 3);
    EXPECT_EQ(encodeOggVorbis({samples.data(), 50, 2, 44100}, 1.5f, bytes), 3);
    EXPECT_EQ(bytes, "");
    EXPECT_EQ(writeOggVorbis("/nonexistent-dir/x.ogg", {samples.data(), 50, 2, 44100}), 2);
    EXPECT_EQ(writeModule("/nonexistent-dir/x.mod", oneNoteModule()), 2);
}

TEST(OggDecodeTest, ChannelsFoldToStereo) {
    struct Case {
        const char* name;
        int32_t channels;
        int32_t loudChannel;  // the only channel carrying the tone
        double left;
        double right;
    } cases[] = {
        {"mono plays on both sides", 1, 0, 0.5, 0.5},
        {"stereo left", 2, 0, 0.5, 0.0},
        {"stereo right", 2, 1, 0.0, 0.5},
        {"5.1 centre", 6, 1, 0.354, 0.354},
        {"5.1 rear right", 6, 4, 0.0, 0.5},
        {"5.1 low frequency left out", 6, 5, 0.0, 0.0},
        {"7.1 side left", 8, 3, 0.5, 0.0},
    };
    for (const Case& c : cases) {
        std::vector<float> samples(static_cast<size_t>(8000 * c.channels));
        std::vector<float> tone = sine(500.0, 16000, 8000, 1, 0.5f);
        for (int64_t frame = 0; frame < 8000; ++frame)
            samples[static_cast<size_t>(frame * c.channels + c.loudChannel)] =
                tone[static_cast<size_t>(frame)];
        std::string bytes;
        ASSERT_EQ(encodeOggVorbis({samples.data(), 8000, c.channels, 16000}, 0.8f, bytes), 0);
        SoundClip clip;
        ASSERT_EQ(
            decodeOggVorbis(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), clip), 0)
            << c.name;
        std::vector<float> right(clip.samples.size());
        for (size_t i = 0; i + 1 < clip.samples.size(); i += 2)
            right[i] = clip.samples[i + 1];  // the measuring helpers read the left side
        EXPECT_NEAR(testing::toneAmplitude(clip.samples, 16000, 500.0, 500, 7500), c.left, 0.04)
            << c.name;
        EXPECT_NEAR(testing::toneAmplitude(right, 16000, 500.0, 500, 7500), c.right, 0.04)
            << c.name;
    }
}

TEST(OggDecodeTest, RefusesRatesOutsideTheUsableRange) {
    std::vector<float> samples(500);
    std::string bytes;
    ASSERT_EQ(encodeOggVorbis({samples.data(), 500, 1, 500}, 0.4f, bytes), 0);
    SoundClip clip;
    EXPECT_EQ(decodeOggVorbis(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), clip),
              3);
    EXPECT_EQ(decodeOggVorbis(nullptr, 0, clip), 3);
}

}  // namespace
}  // namespace drusk
