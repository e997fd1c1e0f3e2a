// One frame of play: the view, the minimap, the text panel and what the
// events of the player's cell say, drawn under one screen lock.
#pragma once

#include <cstdint>
#include <string>

#include "game/game_data.h"
#include "game/view_pictures.h"
#include "screen/image.h"

namespace drusk {

inline constexpr const char* welcomeLine =
    "Welcome to Vezoza Drusk. Use the cursor keys to walk around. Find the exit!";

enum class ScanResult { NothingShown, Shown, Fatal };
enum class FrameResult { Complete, Fatal };

// What a frame reads of the game's state.
struct FrameInputs {
    const GameData* data;
    const ViewImageTable* views;
    const Image* gameOver;
    PlayerState player;
};

// Finds the first event for the player and key, draws its message, starts
// its sound, and for a fatal event lays the game-over picture over the
// frame, unlocks the screen and waits for a key before reporting Fatal.
// Runs inside the frame's lock.
ScanResult scanEvents(const FrameInputs& inputs, const std::string& key);

// Composes a frame and clears redrawPending, or reports a fatal event; the
// screen lock is released either way.
FrameResult composeFrame(const FrameInputs& inputs, const std::string& key, uint8_t& redrawPending);

}  // namespace drusk
