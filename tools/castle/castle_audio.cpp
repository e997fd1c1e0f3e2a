#include "tools/castle/castle_audio.h"

#include <algorithm>
#include <cmath>

namespace drusk::castle {

namespace {

constexpr float pi = 3.14159265358979f;

// A small deterministic generator, so the files are the same on every build.
struct Noise {
    uint32_t state;
    float next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<float>(state & 0xFFFFFF) / 8388608.0f - 1.0f;
    }
};

std::vector<float> silence(int32_t rate, float seconds) {
    return std::vector<float>(static_cast<size_t>(rate * seconds), 0.0f);
}

void normalise(std::vector<float>& s, float peak) {
    float most = 0;
    for (float v : s)
        most = std::max(most, std::fabs(v));
    if (most > 0) {
        for (float& v : s)
            v *= peak / most;
    }
    // Short fades at both ends keep the sound from clicking.
    size_t fade = std::min<size_t>(s.size() / 2, 64);
    for (size_t i = 0; i < fade; ++i) {
        s[i] *= static_cast<float>(i) / fade;
        s[s.size() - 1 - i] *= static_cast<float>(i) / fade;
    }
}

// A low groan sliding down, a rumble and a final thud.
std::vector<float> dieSound(int32_t rate) {
    auto s = silence(rate, 2.0f);
    Noise noise{12345};
    float phase = 0, rumble = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        float t = static_cast<float>(i) / rate;
        float frequency = 220.0f * std::pow(0.25f, t / 1.6f);
        phase += 2 * pi * frequency / rate;
        float groan = (std::sin(phase) + 0.4f * std::sin(2 * phase) + 0.2f * std::sin(3 * phase)) *
                      std::exp(-t * 1.2f);
        rumble += (noise.next() - rumble) * 0.02f;
        float thud = t > 1.5f ? std::sin(2 * pi * 55 * (t - 1.5f)) * std::exp(-(t - 1.5f) * 9) : 0;
        s[i] = 0.6f * groan + 2.5f * rumble * std::exp(-t) + 0.9f * thud;
    }
    normalise(s, 0.85f);
    return s;
}

// A rising fanfare: a major arpeggio on a bright, slightly detuned square.
std::vector<float> victorySound(int32_t rate) {
    auto s = silence(rate, 2.6f);
    const float notes[] = {261.63f, 329.63f, 392.0f, 523.25f, 659.26f, 783.99f, 1046.5f};
    const float starts[] = {0.0f, 0.15f, 0.3f, 0.45f, 0.6f, 0.75f, 0.9f};
    for (int n = 0; n < 7; ++n) {
        float length = n == 6 ? 1.7f : 0.5f;
        size_t first = static_cast<size_t>(starts[n] * rate);
        for (size_t i = 0; i < static_cast<size_t>(length * rate) && first + i < s.size(); ++i) {
            float t = static_cast<float>(i) / rate;
            float env = std::min(1.0f, t * 80) * std::exp(-t * (n == 6 ? 1.5f : 5.0f));
            float tone = 0;
            for (float detune : {1.0f, 1.004f}) {
                float x = std::sin(2 * pi * notes[n] * detune * t);
                tone += (x > 0 ? 1.0f : -1.0f) * 0.25f + 0.5f * x;
            }
            s[first + i] += tone * env * 0.4f;
        }
    }
    normalise(s, 0.8f);
    return s;
}

// A creaking hinge followed by a heavy closing thump.
std::vector<float> doorSound(int32_t rate) {
    auto s = silence(rate, 1.4f);
    Noise noise{777};
    float phase = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        float t = static_cast<float>(i) / rate;
        if (t < 0.9f) {
            float frequency = 90 + 60 * std::sin(t * 7.0f) + 30 * t;
            phase += 2 * pi * frequency / rate;
            float pulse = std::pow(std::max(0.0f, std::sin(phase)), 12.0f);
            s[i] += pulse * (0.6f + 0.4f * noise.next()) * std::min(1.0f, t * 10) * (1 - t / 0.9f);
        }
        if (t > 1.0f) {
            float u = t - 1.0f;
            s[i] += (std::sin(2 * pi * 70 * u) + 0.5f * noise.next()) * std::exp(-u * 14);
        }
    }
    normalise(s, 0.8f);
    return s;
}

// A bell: inharmonic partials, each dying away at its own rate.
std::vector<float> chimeSound(int32_t rate) {
    auto s = silence(rate, 2.5f);
    const float partials[][3] = {{1.0f, 1.0f, 1.4f},
                                 {2.76f, 0.5f, 2.2f},
                                 {5.4f, 0.3f, 3.5f},
                                 {8.93f, 0.15f, 5.0f},
                                 {0.5f, 0.25f, 1.0f}};
    for (size_t i = 0; i < s.size(); ++i) {
        float t = static_cast<float>(i) / rate;
        float v = 0;
        for (const auto& p : partials)
            v += p[1] * std::sin(2 * pi * 587.33f * p[0] * t) * std::exp(-t * p[2]);
        s[i] = v * std::min(1.0f, t * 400);
    }
    normalise(s, 0.7f);
    return s;
}

// Paper: bursts of filtered noise as a page is turned.
std::vector<float> pageSound(int32_t rate) {
    auto s = silence(rate, 0.8f);
    Noise noise{4242};
    float low = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        float t = static_cast<float>(i) / rate;
        float n = noise.next();
        low += (n - low) * 0.3f;
        float shape = std::exp(-std::pow((t - 0.25f) / 0.12f, 2.0f)) +
                      0.6f * std::exp(-std::pow((t - 0.5f) / 0.07f, 2.0f));
        s[i] = (n - low) * shape * (0.7f + 0.3f * std::sin(t * 180));
    }
    normalise(s, 0.6f);
    return s;
}

// Water dripping in a cave: a falling blip and its echoes.
std::vector<float> dripSound(int32_t rate) {
    auto s = silence(rate, 1.6f);
    for (int echo = 0; echo < 4; ++echo) {
        float start = 0.05f + echo * 0.28f, gain = std::pow(0.45f, static_cast<float>(echo));
        float phase = 0;
        for (size_t i = 0; i < static_cast<size_t>(0.12f * rate); ++i) {
            size_t at = static_cast<size_t>(start * rate) + i;
            if (at >= s.size()) break;
            float t = static_cast<float>(i) / rate;
            phase += 2 * pi * (1400 - 5000 * t) / rate;
            s[at] += gain * std::sin(phase) * std::exp(-t * 40);
        }
    }
    normalise(s, 0.6f);
    return s;
}

// Notes by name within the module's three octaves: C-1 is 0.
int note(const char* name) {
    static const char* names[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    std::string n(name);
    int octave = n.back() - '1';
    n.pop_back();
    for (int i = 0; i < 12; ++i) {
        if (n == names[i]) return octave * 12 + i;
    }
    return noNote;
}

void put(ModulePattern& p, int row, int channel, int noteNumber, int instrument, uint8_t effect = 0,
         uint8_t parameter = 0) {
    p.cells[row][channel] =
        ModuleCell{noteNumber, static_cast<uint8_t>(instrument), effect, parameter};
}

}  // namespace

std::vector<SoundEffect> castleSounds() {
    // Two rates on purpose: the player's sound layer resamples what differs
    // from its device.
    return {
        {"die", 44100, dieSound(44100)},   {"victory", 44100, victorySound(44100)},
        {"door", 22050, doorSound(22050)}, {"chime", 44100, chimeSound(44100)},
        {"page", 22050, pageSound(22050)}, {"drip", 32000, dripSound(32000)},
    };
}

TrackerModule castleTheme() {
    TrackerModule m;
    m.title = "castle theme";
    // 1 bass, 2 lead, 3 pad, 4 drum.
    ModuleInstrument bass{"bass", synthesiseWave(Waveform::Triangle, 64, 1, 0.9f), 48, 0, 0, 64};
    ModuleInstrument lead{"lead", synthesiseWave(Waveform::Square, 32, 1, 0.35f), 34, 0, 0, 32};
    std::vector<int8_t> padWave = synthesiseWave(Waveform::Sine, 128, 1, 0.8f);
    std::vector<int8_t> second = synthesiseWave(Waveform::Sine, 128, 2, 0.25f);
    for (size_t i = 0; i < padWave.size(); ++i) {
        padWave[i] = static_cast<int8_t>(std::clamp(padWave[i] + second[i], -127, 127));
    }
    ModuleInstrument pad{"pad", padWave, 30, 0, 0, 128};
    std::vector<int8_t> drum = synthesiseWave(Waveform::Noise, 3000, 1, 0.9f);
    applyDecay(drum, 300.0f);
    ModuleInstrument hit{"drum", drum, 40, 0, 0, 0};
    m.instruments = {bass, lead, pad, hit};

    // A slow progression in A minor: Am, F, G, Em, each held for 16 rows.
    const char* roots[4][2] = {{"A1", "A2"}, {"F1", "F2"}, {"G1", "G2"}, {"E1", "E2"}};
    const char* chords[4][3] = {
        {"A2", "C3", "E3"}, {"F2", "A2", "C3"}, {"G2", "B2", "D3"}, {"E2", "G2", "B2"}};
    const char* melodyA[16] = {"E3", "", "D3", "C3", "B2", "", "C3", "",
                               "A2", "", "",   "B2", "C3", "", "B2", ""};
    const char* melodyB[16] = {"A2", "", "C3", "E3", "D3", "", "C3", "",
                               "B2", "", "G2", "",   "B2", "", "",   ""};
    for (int variant = 0; variant < 3; ++variant) {
        ModulePattern p{};
        for (int bar = 0; bar < 4; ++bar) {
            int base = bar * 16;
            for (int beat = 0; beat < 16; beat += 4) {
                put(p, base + beat, 0, note(beat % 8 == 0 ? roots[bar][0] : roots[bar][1]), 1);
            }
            put(p, base, 2, note(chords[bar][variant % 3]), 3);
            put(p, base + 8, 2, note(chords[bar][(variant + 1) % 3]), 3);
            if (variant > 0) {
                const char** melody = (variant == 1) ? melodyA : melodyB;
                for (int step = 0; step < 16; ++step) {
                    if (*melody[(bar * 4 + step) % 16] && step % 2 == 0) {
                        put(p, base + step, 1, note(melody[(bar * 4 + step) % 16]), 2);
                    }
                }
            }
            put(p, base, 3, note("C2"), 4);
            put(p, base + 12, 3, note("C2"), 4, effectSetVolume, 24);
        }
        if (variant == 0) p.cells[0][3].effect = effectSetSpeed, p.cells[0][3].parameter = 9;
        m.patterns.push_back(p);
    }
    m.order = {0, 1, 2, 1};
    return m;
}

}  // namespace drusk::castle
