// The prepared picture of every room seen in every facing.
#pragma once

#include <cstdint>
#include <string>

#include "game/game_data.h"
#include "screen/image.h"

namespace drusk {

// images[column][row][facing]; null where there is no room.
struct ViewImageTable {
    Image* images[mapColumns][mapRows][4] = {};
};

// "n", "w", "s", "e" for the facings 0..3.
char facingLetter(Facing facing);

// assetRoot + "/img/" + row + "_" + column + "_" + letter + ".bmp"
std::string viewPicturePath(int32_t column, int32_t row, Facing facing);

// The room-cell handler of the game file loader: loads the four pictures of
// the room, or reports the first missing one and ends the program.
// context is the ViewImageTable.
void loadViewPictures(int32_t column, int32_t row, void* context);

// The picture for a position and facing; null outside the grid, for facings
// outside 0..3 and for cells without a room.
Image* viewPicture(const ViewImageTable& table, int32_t column, int32_t row, Facing facing);

}  // namespace drusk
