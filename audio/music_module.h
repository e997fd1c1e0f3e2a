// Tracker music: a module file read into memory and rendered on demand.
#pragma once

#include <cstddef>
#include <cstdint>

namespace drusk {

struct MusicModule;

// The module in the bytes, set to loop endlessly, or null when the bytes are
// no module the decoder knows. The bytes may be dropped afterwards.
MusicModule* openMusicModule(const uint8_t* data, size_t size);
void closeMusicModule(MusicModule* module);

// Renders up to `frames` frames of interleaved stereo at `rate` into `out`
// and returns how many it rendered: all of them while the module plays,
// fewer only when it has nothing left to play.
int64_t renderMusic(MusicModule* module, int32_t rate, float* out, int64_t frames);

// Length of one pass through the module, in seconds.
double musicDurationSeconds(MusicModule* module);

}  // namespace drusk
