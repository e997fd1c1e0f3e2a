// What mixing costs the audio thread: CPU time per second of audio rendered
// (the "cpu_per_audio_second" counter; 10ms there means 1 % of real time on
// one core). The music-only figure is the reference the voices add to.
// Also what starting a sound costs the game thread, decoding it or sharing
// the clip of a copy still playing.
#include <stdlib.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "audio/mixer.h"
#include "tools/module_writer.h"
#include "tools/ogg_writer.h"

namespace drusk {
namespace {

constexpr int32_t rate = defaultOutputRate;
constexpr int32_t bufferFrames = 1024;

// Scratch files for the run, removed at exit.
struct Fixtures {
    std::string dir;
    std::string music;
    std::string sound;

    Fixtures() {
        char pattern[] = "/tmp/drusk-bench-XXXXXX";
        dir = mkdtemp(pattern) ? pattern : "/tmp";
        music = dir + "/busy.mod";
        sound = dir + "/chime.ogg";
        writeModule(music, busyModule());
        std::vector<float> tone(static_cast<size_t>(rate));
        for (size_t i = 0; i < tone.size(); ++i)
            tone[i] = 0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * 880.0 * i / rate));
        writeOggVorbis(sound, {tone.data(), rate, 1, rate});
    }
    ~Fixtures() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    // All four channels busy on every row with looped instruments: the
    // heaviest load a module of this format puts on the decoder.
    static TrackerModule busyModule() {
        TrackerModule module;
        const Waveform waves[] = {Waveform::Square, Waveform::Sawtooth, Waveform::Triangle,
                                  Waveform::Sine};
        for (Waveform wave : waves) {
            ModuleInstrument instrument;
            instrument.data = synthesiseWave(wave, 64, 2, 0.8f);
            instrument.loopLength = 64;
            instrument.volume = 40;
            module.instruments.push_back(instrument);
        }
        module.patterns.resize(4);
        for (int32_t p = 0; p < 4; ++p)
            for (int32_t row = 0; row < moduleRows; ++row)
                for (int32_t channel = 0; channel < moduleChannels; ++channel)
                    module.patterns[p].cells[row][channel] = {
                        (row * 5 + channel * 7 + p * 3) % moduleNotes,
                        static_cast<uint8_t>(channel + 1), 0, 0};
        module.order = {0, 1, 2, 3};
        return module;
    }
};

Fixtures& fixtures() {
    static Fixtures files;
    return files;
}

// Eight voices of a long tone, at `voiceRate`; restarted when they end.
void startVoices(Mixer& mixer, int32_t voiceRate) {
    for (int32_t voice = 0; voice < 8; ++voice) {
        auto clip = std::make_unique<SoundClip>();
        clip->rate = voiceRate;
        clip->frames = 30LL * voiceRate;
        clip->samples.resize(2 * static_cast<size_t>(clip->frames));
        for (int64_t i = 0; i < clip->frames; ++i)
            clip->samples[2 * i] = clip->samples[2 * i + 1] =
                0.1f * static_cast<float>(std::sin(0.05 * i * (voice + 1)));
        mixerPlay(mixer, mixerAddStream(mixer, std::move(clip)));
    }
}

// Renders one second of audio per iteration in device-sized buffers.
void mixOneSecond(benchmark::State& state, bool music, int32_t voiceRate) {
    auto mixer = std::make_unique<Mixer>();
    if (music) mixerPlay(*mixer, mixerLoadMusic(*mixer, fixtures().music));
    if (voiceRate > 0) startVoices(*mixer, voiceRate);
    std::vector<float> buffer(2 * bufferFrames);
    // A figure for silence would flatter the mixer: make sure there is sound.
    mixerRender(*mixer, buffer.data(), bufferFrames);
    double energy = 0;
    for (float value : buffer)
        energy += value * value;
    if (energy == 0) state.SkipWithError("nothing to mix: the fixtures did not load");
    for (auto _ : state) {
        for (int32_t done = 0; done < rate; done += bufferFrames)
            mixerRender(*mixer, buffer.data(), std::min(bufferFrames, rate - done));
        benchmark::DoNotOptimize(buffer.data());
        if (voiceRate > 0 && mixerCounts(*mixer).playingVoices < 8) {
            state.PauseTiming();
            mixerReclaim(*mixer);
            startVoices(*mixer, voiceRate);
            state.ResumeTiming();
        }
    }
    // Seconds of CPU per second of audio.
    state.counters["cpu_per_audio_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    mixerClear(*mixer);
}

void BM_MusicOnly(benchmark::State& state) {
    mixOneSecond(state, true, 0);
}
void BM_MusicAndEightVoicesAtOutputRate(benchmark::State& state) {
    mixOneSecond(state, true, rate);
}
void BM_MusicAndEightResampledVoices(benchmark::State& state) {
    mixOneSecond(state, true, 22050);
}
void BM_EightResampledVoicesOnly(benchmark::State& state) {
    mixOneSecond(state, false, 22050);
}

// Game thread: a sound started while no copy of it plays is read and
// decoded (here a one-second sound)...
void BM_StartSoundDecoding(benchmark::State& state) {
    auto mixer = std::make_unique<Mixer>();
    for (auto _ : state) {
        mixerPlay(*mixer, mixerCreateStream(*mixer, fixtures().sound));
        state.PauseTiming();
        mixerClear(*mixer);
        state.ResumeTiming();
    }
}

// ...while a copy started over a playing one shares its clip.
void BM_StartSoundSharingAPlayingCopy(benchmark::State& state) {
    auto mixer = std::make_unique<Mixer>();
    mixerPlay(*mixer, mixerCreateStream(*mixer, fixtures().sound));
    for (auto _ : state)
        mixerPlay(*mixer, mixerCreateStream(*mixer, fixtures().sound));
    mixerClear(*mixer);
}

BENCHMARK(BM_MusicOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MusicAndEightVoicesAtOutputRate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MusicAndEightResampledVoices)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EightResampledVoicesOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartSoundDecoding)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StartSoundSharingAPlayingCopy)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace drusk

BENCHMARK_MAIN();
