#include "game/event_rules.h"

namespace drusk {

int findEvent(const EventTable& events, const PlayerState& player, const std::string& key) {
    std::string lowered = key;
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    for (int slot = 0; slot < eventSlots; ++slot) {
        const GameEvent& e = events.slots[slot];
        if (e.column != player.column || e.row != player.row || e.facing != player.facing) {
            continue;
        }
        if (e.key == lowered || e.key == "_") return slot;
    }
    return noEvent;
}

std::vector<std::string> messageLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t caret = text.find('^'); caret != std::string::npos; caret = text.find('^', start)) {
        lines.push_back(text.substr(start, caret - start));
        start = caret + 1;
    }
    lines.push_back(text.substr(start));
    return lines;
}

std::string eventSoundName(const GameEvent& event) {
    std::string name;
    if (event.fatal) name = "die";
    if (event.sound != "-") name = event.sound;
    return name;
}

}  // namespace drusk
