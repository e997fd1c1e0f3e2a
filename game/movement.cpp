#include "game/movement.h"

namespace drusk {

namespace {

const std::string keyUp = "\xFFH";
const std::string keyDown = "\xFFP";
const std::string keyLeft = "\xFFK";
const std::string keyRight = "\xFFM";

// The neighbour in a facing; false for facings outside 0..3.
bool neighbour(const PlayerState& player, Facing facing, int32_t& column, int32_t& row) {
    column = player.column;
    row = player.row;
    switch (facing) {
        case north:
            --row;
            return true;
        case south:
            ++row;
            return true;
        case east:
            ++column;
            return true;
        case west:
            --column;
            return true;
        default:
            return false;
    }
}

bool stepTowards(const RoomMap& map, PlayerState& player, Facing facing) {
    int32_t column, row;
    if (!neighbour(player, facing, column, row) || !isRoom(map, column, row)) return false;
    player.column = column;
    player.row = row;
    return true;
}

Facing opposite(Facing facing) {
    switch (facing) {
        case north:
            return south;
        case south:
            return north;
        case east:
            return west;
        case west:
            return east;
        default:
            return facing;
    }
}

}  // namespace

bool isRoom(const RoomMap& map, int32_t column, int32_t row) {
    if (column < 0 || column >= mapColumns || row < 0 || row >= mapRows) return false;
    return map.cells[row][column] != 0;
}

bool stepForward(const RoomMap& map, PlayerState& player) {
    return stepTowards(map, player, player.facing);
}

bool stepBackward(const RoomMap& map, PlayerState& player) {
    return stepTowards(map, player, opposite(player.facing));
}

void turnLeft(PlayerState& player) {
    if (player.facing >= north && player.facing <= east) player.facing = (player.facing + 1) % 4;
}

void turnRight(PlayerState& player) {
    if (player.facing >= north && player.facing <= east) player.facing = (player.facing + 3) % 4;
}

bool applyMoveKey(const RoomMap& map, PlayerState& player, const std::string& key) {
    if (key == keyUp) {
        stepForward(map, player);
    } else if (key == keyLeft) {
        turnLeft(player);
    } else if (key == keyRight) {
        turnRight(player);
    } else if (key == keyDown) {
        stepBackward(map, player);
    }
    // Every key press redraws, even a blocked step; no key never does.
    return !key.empty();
}

}  // namespace drusk
