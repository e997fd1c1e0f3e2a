// The sound layer: looping tracker music and OGG event sounds on the default
// output device. Every call is made from the game thread; sound plays in the
// background. Without an output device every call quietly does nothing, and
// nothing here ever prints.
#pragma once

#include <cstdint>
#include <string>

namespace drusk {

using AudioHandle = uint32_t;
inline constexpr AudioHandle noAudio = 0;

// Opens the default output device for 44100 Hz stereo, or whatever it offers
// instead.
void initAudio();

// The module at `path`, ready to loop endlessly once played; noAudio when the
// file is missing or holds no module.
AudioHandle loadMusic(const std::string& path);

// The Ogg Vorbis sound at `path`, ready to play once and free itself when it
// ends; noAudio when the file is missing or cannot be decoded.
AudioHandle createSoundStream(const std::string& path);

// Starts the music or sound and returns at once. A channel that is already
// playing goes on undisturbed; noAudio and ended sounds are ignored.
void playChannel(AudioHandle handle);

// Stops the music and every sound, closes the device and frees everything.
void freeAudio();

}  // namespace drusk
