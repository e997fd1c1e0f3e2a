// The SDL output device that plays a Mixer, and the housekeeping thread that
// frees ended sounds and brings the device back when it goes away.
#pragma once

#include <cstdint>

#include "audio/sample_format.h"

namespace drusk {

struct Mixer;

// Opens the default output device and starts rendering `mixer` to it; false,
// with nothing left open, when there is no device.
bool openAudioOutput(Mixer& mixer);
// Stops rendering and closes the device; `mixer` is no longer touched.
void closeAudioOutput();

struct AudioOutputState {
    bool open = false;           // between openAudioOutput and closeAudioOutput
    bool playing = false;        // a device is open right now
    int32_t deviceOpens = 0;     // devices opened since openAudioOutput, reopens included
    int32_t driverRestarts = 0;  // times the audio driver was restarted to find a device
    OutputFormat format;         // of the device open now, or last open
};
AudioOutputState audioOutputState();

}  // namespace drusk
