// Which event answers a position, facing and key, and what it shows and plays.
#pragma once

#include <string>
#include <vector>

#include "game/game_data.h"

namespace drusk {

inline constexpr int noEvent = -1;

// The first slot whose cell and facing are the player's and whose key is
// "_" or the polled key string lower-cased; noEvent when none matches.
int findEvent(const EventTable& events, const PlayerState& player, const std::string& key);

// The display lines of a message: one more than it has "^" characters.
std::vector<std::string> messageLines(const std::string& text);

// The sound an event plays, "" for none: "die" for a fatal event unless its
// sound field names another; "-" names none.
std::string eventSoundName(const GameEvent& event);

}  // namespace drusk
