#include "audio/audio.h"

#include <cstdlib>

#include "audio/audio_output.h"
#include "audio/mixer.h"

namespace drusk {

namespace {

// Never destroyed, for the same reason as the output state: nothing may
// pull the mixer away from under a device still rendering at exit.
Mixer& theMixer() {
    static Mixer* mixer = new Mixer;
    return *mixer;
}

bool active = false;
bool exitHookRegistered = false;

// A program that ends without freeAudio (a fatal message after start-up)
// still closes the device before the libraries the renderer uses go away.
void freeAudioAtExit() {
    freeAudio();
}

}  // namespace

void initAudio() {
    if (active) return;
    if (!exitHookRegistered) exitHookRegistered = std::atexit(freeAudioAtExit) == 0;
    active = openAudioOutput(theMixer());
}

AudioHandle loadMusic(const std::string& path) {
    return active ? mixerLoadMusic(theMixer(), path) : noAudio;
}

AudioHandle createSoundStream(const std::string& path) {
    return active ? mixerCreateStream(theMixer(), path) : noAudio;
}

void playChannel(AudioHandle handle) {
    if (active) mixerPlay(theMixer(), handle);
}

void freeAudio() {
    if (!active) return;
    closeAudioOutput();
    mixerClear(theMixer());
    active = false;
}

}  // namespace drusk
