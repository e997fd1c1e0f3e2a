#include "tests/audio_support.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "tests/temp_dir.h"
#include "tools/module_writer.h"
#include "tools/ogg_writer.h"

namespace drusk::testing {

std::string beepModuleBytes() {
    TrackerModule module;
    module.title = "beep";
    ModuleInstrument beep;
    beep.name = "square";
    // 62 cycles in 2000 bytes, played once: about 0.24 s at the middle C.
    beep.data = synthesiseWave(Waveform::Square, 2000, 62);
    beep.volume = 32;
    module.instruments.push_back(beep);
    module.patterns.resize(1);
    ModulePattern& pattern = module.patterns[0];
    // Three ticks of 20 ms a row and a break after row 15: 16 rows, 0.96 s.
    pattern.cells[0][0] = {12, 1, effectSetSpeed, 3};
    pattern.cells[15][0] = {noNote, 0, effectPatternBreak, 0};
    module.order = {0};
    std::string bytes;
    encodeModule(module, bytes);
    return bytes;
}

std::string toneOggBytes(const Tone& tone) {
    auto frames = static_cast<int64_t>(std::lround(tone.seconds * tone.rate));
    std::vector<float> samples(static_cast<size_t>(frames * tone.channels));
    for (int64_t frame = 0; frame < frames; ++frame) {
        double phase = 2.0 * std::numbers::pi * tone.frequency * frame / tone.rate;
        for (int32_t channel = 0; channel < tone.channels; ++channel)
            samples[static_cast<size_t>(frame * tone.channels + channel)] =
                tone.amplitude * static_cast<float>(std::sin(phase));
    }
    std::string bytes;
    encodeOggVorbis({samples.data(), frames, tone.channels, tone.rate}, 0.6f, bytes);
    return bytes;
}

double rms(const std::vector<float>& stereo, int64_t from, int64_t to) {
    double sum = 0;
    int64_t count = 0;
    for (int64_t i = 2 * from; i < 2 * to && i < static_cast<int64_t>(stereo.size()); ++i, ++count)
        sum += static_cast<double>(stereo[static_cast<size_t>(i)]) * stereo[static_cast<size_t>(i)];
    return count ? std::sqrt(sum / static_cast<double>(count)) : 0.0;
}

double toneAmplitude(const std::vector<float>& stereo, int32_t rate, double frequency, int64_t from,
                     int64_t to) {
    to = std::min<int64_t>(to, static_cast<int64_t>(stereo.size() / 2));
    int64_t count = to - from;
    if (count <= 1) return 0.0;
    double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * frequency / rate);
    double previous = 0, beforePrevious = 0, windowSum = 0;
    for (int64_t i = 0; i < count; ++i) {
        double window = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / (count - 1));
        windowSum += window;
        double value = window * stereo[static_cast<size_t>(2 * (from + i))] +
                       coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = value;
    }
    double power = previous * previous + beforePrevious * beforePrevious -
                   coefficient * previous * beforePrevious;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / windowSum;
}

double zeroCrossingFrequency(const std::vector<float>& stereo, int32_t rate, int64_t from,
                             int64_t to) {
    int64_t first = -1, last = -1, crossings = 0;
    for (int64_t i = from + 1; i < to && 2 * i < static_cast<int64_t>(stereo.size()); ++i) {
        if (stereo[static_cast<size_t>(2 * (i - 1))] < 0 &&
            stereo[static_cast<size_t>(2 * i)] >= 0) {
            if (first < 0)
                first = i;
            else
                ++crossings;
            last = i;
        }
    }
    if (crossings == 0) return 0.0;
    return static_cast<double>(crossings) * rate / static_cast<double>(last - first);
}

CapturedOutput::CapturedOutput() {
    char pattern[] = "/tmp/drusk-output-XXXXXX";
    int fd = mkstemp(pattern);
    path_ = pattern;
    fflush(stdout);
    fflush(stderr);
    savedOut_ = dup(1);
    savedErr_ = dup(2);
    dup2(fd, 1);
    dup2(fd, 2);
    close(fd);
}

CapturedOutput::~CapturedOutput() {
    finish();
}

std::string CapturedOutput::finish() {
    if (savedOut_ < 0) return {};
    fflush(stdout);
    fflush(stderr);
    dup2(savedOut_, 1);
    dup2(savedErr_, 2);
    close(savedOut_);
    close(savedErr_);
    savedOut_ = savedErr_ = -1;
    std::string written = readFile(path_);
    unlink(path_.c_str());
    return written;
}

}  // namespace drusk::testing
