#include "tools/module_writer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "tools/write_file.h"

namespace drusk {

namespace {

// Periods of the three octaves at fine tune 0, as every player of the format
// expects them.
constexpr int16_t periods[moduleNotes] = {
    856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,  //
    428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,  //
    214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113,
};

constexpr size_t titleBytes = 20;
constexpr size_t nameBytes = 22;

void putFixedText(std::string& bytes, const std::string& text, size_t width) {
    std::string field = text.substr(0, width);
    field.resize(width, '\0');
    bytes += field;
}

void putBigEndian16(std::string& bytes, uint32_t value) {
    bytes += static_cast<char>((value >> 8) & 0xFF);
    bytes += static_cast<char>(value & 0xFF);
}

uint32_t paddedLength(const ModuleInstrument& instrument) {
    return static_cast<uint32_t>((instrument.data.size() + 1) & ~size_t{1});
}

bool validInstrument(const ModuleInstrument& instrument) {
    uint32_t length = paddedLength(instrument);
    if (instrument.data.size() > static_cast<size_t>(maxInstrumentBytes)) return false;
    if (instrument.volume > 64 || instrument.fineTune < -8 || instrument.fineTune > 7) return false;
    if (instrument.loopLength == 0) return true;
    return instrument.loopStart % 2 == 0 && instrument.loopLength % 2 == 0 &&
           instrument.loopLength >= 2 && instrument.loopStart < length &&
           instrument.loopLength <= length - instrument.loopStart;
}

bool validCell(const ModuleCell& cell, size_t instrumentCount) {
    if (cell.note != noNote && (cell.note < 0 || cell.note >= moduleNotes)) return false;
    return cell.instrument <= instrumentCount && cell.effect <= 0xF;
}

bool valid(const TrackerModule& module) {
    size_t instruments = module.instruments.size();
    if (instruments > static_cast<size_t>(maxModuleInstruments)) return false;
    if (module.patterns.empty() || module.patterns.size() > static_cast<size_t>(maxModulePatterns))
        return false;
    if (module.order.empty() || module.order.size() > static_cast<size_t>(maxModuleOrders))
        return false;
    for (uint8_t pattern : module.order)
        if (pattern >= module.patterns.size()) return false;
    for (const ModuleInstrument& instrument : module.instruments)
        if (!validInstrument(instrument)) return false;
    for (const ModulePattern& pattern : module.patterns)
        for (const auto& row : pattern.cells)
            for (const ModuleCell& cell : row)
                if (!validCell(cell, instruments)) return false;
    return true;
}

void putCell(std::string& bytes, const ModuleCell& cell) {
    uint32_t period = static_cast<uint32_t>(notePeriod(cell.note));
    bytes += static_cast<char>((cell.instrument & 0xF0) | ((period >> 8) & 0x0F));
    bytes += static_cast<char>(period & 0xFF);
    bytes += static_cast<char>(((cell.instrument & 0x0F) << 4) | (cell.effect & 0x0F));
    bytes += static_cast<char>(cell.parameter);
}

}  // namespace

int32_t notePeriod(int32_t note) {
    if (note < 0 || note >= moduleNotes) return 0;
    return periods[note];
}

int encodeModule(const TrackerModule& module, std::string& bytes) {
    bytes.clear();
    if (!valid(module)) return 3;

    putFixedText(bytes, module.title, titleBytes);
    for (int32_t slot = 0; slot < maxModuleInstruments; ++slot) {
        ModuleInstrument none;
        const ModuleInstrument& instrument = slot < static_cast<int32_t>(module.instruments.size())
                                                 ? module.instruments[slot]
                                                 : none;
        putFixedText(bytes, instrument.name, nameBytes);
        putBigEndian16(bytes, paddedLength(instrument) / 2);
        bytes += static_cast<char>(instrument.fineTune & 0x0F);
        bytes += static_cast<char>(instrument.volume);
        if (instrument.loopLength == 0) {
            putBigEndian16(bytes, 0);
            putBigEndian16(bytes, 1);  // a one-word loop means none
        } else {
            putBigEndian16(bytes, instrument.loopStart / 2);
            putBigEndian16(bytes, instrument.loopLength / 2);
        }
    }
    bytes += static_cast<char>(module.order.size());
    bytes += static_cast<char>(127);  // traditionally 127; players ignore it
    std::string order(maxModuleOrders, '\0');
    std::copy(module.order.begin(), module.order.end(), order.begin());
    bytes += order;
    bytes += "M.K.";

    // The file holds every pattern up to the highest one the order names.
    uint8_t lastPattern = *std::max_element(module.order.begin(), module.order.end());
    for (uint32_t pattern = 0; pattern <= lastPattern; ++pattern)
        for (const auto& row : module.patterns[pattern].cells)
            for (const ModuleCell& cell : row)
                putCell(bytes, cell);

    for (const ModuleInstrument& instrument : module.instruments) {
        bytes.append(reinterpret_cast<const char*>(instrument.data.data()), instrument.data.size());
        if (instrument.data.size() % 2 != 0) bytes += '\0';
    }
    return 0;
}

int writeModule(const std::string& path, const TrackerModule& module) {
    std::string bytes;
    int status = encodeModule(module, bytes);
    if (status != 0) return status;
    return writeWholeFile(path, bytes);
}

std::vector<int8_t> synthesiseWave(Waveform wave, int32_t length, int32_t cycles, float amplitude) {
    std::vector<int8_t> data(static_cast<size_t>(std::max(length, 0)));
    if (data.empty()) return data;
    float peak = 127.0f * std::clamp(amplitude, 0.0f, 1.0f);
    uint32_t noise = 0x2545F491u;  // fixed seed: the same bytes every time
    for (int32_t i = 0; i < length; ++i) {
        double phase = std::fmod(static_cast<double>(i) * cycles / length, 1.0);
        double value = 0.0;
        switch (wave) {
            case Waveform::Sine:
                value = std::sin(2.0 * std::numbers::pi * phase);
                break;
            case Waveform::Square:
                value = phase < 0.5 ? 1.0 : -1.0;
                break;
            case Waveform::Triangle:
                value = phase < 0.25   ? 4.0 * phase
                        : phase < 0.75 ? 2.0 - 4.0 * phase
                                       : 4.0 * phase - 4.0;
                break;
            case Waveform::Sawtooth:
                value = phase < 0.5 ? 2.0 * phase : 2.0 * phase - 2.0;
                break;
            case Waveform::Noise:
                noise = noise * 1664525u + 1013904223u;
                value = static_cast<double>(noise >> 8) / static_cast<double>(1u << 23) - 1.0;
                break;
        }
        data[static_cast<size_t>(i)] = static_cast<int8_t>(std::lround(value * peak));
    }
    return data;
}

void applyDecay(std::vector<int8_t>& data, float halfLife) {
    if (!(halfLife > 0.0f)) return;
    for (size_t i = 0; i < data.size(); ++i) {
        double gain = std::exp2(-static_cast<double>(i) / halfLife);
        data[i] = static_cast<int8_t>(std::lround(data[i] * gain));
    }
}

}  // namespace drusk
