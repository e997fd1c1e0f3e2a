// Sound fixtures made on the spot with the project's own writers, and the
// measurements the sound tests make on rendered samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace drusk::testing {

// A module that sounds a short square-wave beep at the start of each pass
// and is silent for the rest; one pass lasts beepModulePeriod seconds.
inline constexpr double beepModulePeriod = 0.96;
inline constexpr double beepLength = 0.24;      // the beep itself, about
inline constexpr double beepFrequency = 256.9;  // its fundamental, Hz
std::string beepModuleBytes();

struct Tone {
    double frequency = 1000.0;
    double seconds = 0.25;
    int32_t rate = 22050;
    int32_t channels = 1;
    float amplitude = 0.5f;
};
// The tone as an Ogg Vorbis file: a sine on every channel.
std::string toneOggBytes(const Tone& tone);

// Root mean square of both sides over frames [from, to) of interleaved stereo.
double rms(const std::vector<float>& stereo, int64_t from, int64_t to);
// Strength of one frequency in frames [from, to) of the left side, as the
// amplitude of a sine of that frequency (Hann-windowed Goertzel filter).
double toneAmplitude(const std::vector<float>& stereo, int32_t rate, double frequency, int64_t from,
                     int64_t to);
// Frequency of the left side from its rising zero crossings in [from, to).
double zeroCrossingFrequency(const std::vector<float>& stereo, int32_t rate, int64_t from,
                             int64_t to);

// Everything the code under test writes to standard output and standard
// error while an object of this class lives.
class CapturedOutput {
  public:
    CapturedOutput();
    ~CapturedOutput();
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;
    // Stops capturing and returns what was written.
    std::string finish();

  private:
    int savedOut_ = -1;
    int savedErr_ = -1;
    std::string path_;
};

}  // namespace drusk::testing
