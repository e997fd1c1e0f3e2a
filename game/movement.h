// Where the player stands and how the cursor keys move them over the map.
#pragma once

#include <cstdint>
#include <string>

#include "game/game_data.h"

namespace drusk {

// Inside the grid and not 0 on the map; everything outside the grid is no room.
bool isRoom(const RoomMap& map, int32_t column, int32_t row);

// Each reports whether the player moved; only the cell entered is tested.
bool stepForward(const RoomMap& map, PlayerState& player);
bool stepBackward(const RoomMap& map, PlayerState& player);
void turnLeft(PlayerState& player);
void turnRight(PlayerState& player);

// Applies one polled key string; true when the frame must be drawn again.
bool applyMoveKey(const RoomMap& map, PlayerState& player, const std::string& key);

}  // namespace drusk
