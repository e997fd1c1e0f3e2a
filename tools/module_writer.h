// Writes small four-channel tracker modules in the classic 31-instrument
// format, with instruments synthesised as 8-bit waves: the music of the
// sample castle and the fixtures of the sound tests come from here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace drusk {

inline constexpr int32_t moduleChannels = 4;
inline constexpr int32_t moduleRows = 64;
inline constexpr int32_t maxModuleInstruments = 31;
inline constexpr int32_t maxModulePatterns = 64;
inline constexpr int32_t maxModuleOrders = 128;
inline constexpr int32_t maxInstrumentBytes = 131070;

// Notes count semitones from the format's lowest C (0) to its highest B
// (35); the C at 12 sounds an instrument at about 8287 samples a second.
inline constexpr int32_t moduleNotes = 36;
inline constexpr int32_t noNote = -1;

// Effects used most when composing; the parameter is the cell's last byte.
inline constexpr uint8_t effectSetVolume = 0xC;     // 0 to 64
inline constexpr uint8_t effectPatternBreak = 0xD;  // next pattern, row as two decimal digits
inline constexpr uint8_t effectSetSpeed = 0xF;      // below 32 ticks per row, else beats per minute

struct ModuleCell {
    int32_t note = noNote;
    uint8_t instrument = 0;  // 1 to 31; 0 keeps the channel's instrument
    uint8_t effect = 0;      // 0x0 to 0xF
    uint8_t parameter = 0;
};

struct ModulePattern {
    ModuleCell cells[moduleRows][moduleChannels];
};

struct ModuleInstrument {
    std::string name;          // the first 22 bytes are kept
    std::vector<int8_t> data;  // at most maxInstrumentBytes; an odd length gets a zero added
    uint8_t volume = 64;       // 0 to 64
    int8_t fineTune = 0;       // -8 to 7, eighths of a semitone
    uint32_t loopStart = 0;    // in bytes, even
    uint32_t loopLength = 0;   // in bytes, even; 0 plays the data once
};

struct TrackerModule {
    std::string title;                          // the first 20 bytes are kept
    std::vector<ModuleInstrument> instruments;  // instrument n is instruments[n - 1]
    std::vector<ModulePattern> patterns;
    std::vector<uint8_t> order;  // pattern numbers in playing order
};

// 0 and the file's bytes, or 3 when the module breaks a limit of the format
// (too many instruments, patterns or orders, a note, effect or loop out of
// range, an order naming a missing pattern, an empty order list).
int encodeModule(const TrackerModule& module, std::string& bytes);

// 0, 2 when the file cannot be written, or 3 as for encodeModule.
int writeModule(const std::string& path, const TrackerModule& module);

// The period the format stores for a note; 0 for noNote or a note out of range.
int32_t notePeriod(int32_t note);

enum class Waveform { Sine, Square, Triangle, Sawtooth, Noise };

// `cycles` whole periods of the wave in `length` bytes, peaking at
// `amplitude` (0 to 1) of full scale; it loops without a click.
std::vector<int8_t> synthesiseWave(Waveform wave, int32_t length, int32_t cycles = 1,
                                   float amplitude = 1.0f);

// Fades the data exponentially, halving every `halfLife` bytes, for
// instruments that play once (plucks, drums).
void applyDecay(std::vector<int8_t>& data, float halfLife);

}  // namespace drusk
