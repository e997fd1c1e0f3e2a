// The sample castle's sound effects and its music, made from scratch.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/module_writer.h"

namespace drusk::castle {

struct SoundEffect {
    std::string name;  // the file is sfx/<name>.ogg
    int32_t rate;
    std::vector<float> samples;  // mono, -1 to 1
};

// die, victory, door, chime, page and drip.
std::vector<SoundEffect> castleSounds();

// A slow four-channel theme in a minor key that loops without a seam.
TrackerModule castleTheme();

}  // namespace drusk::castle
