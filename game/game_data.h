// The castle's description as read from game.txt: room map, start and events.
#pragma once

#include <cstdint>
#include <string>

#include "textin/field_reader.h"

namespace drusk {

inline constexpr int mapColumns = 6;
inline constexpr int mapRows = 8;
inline constexpr int eventSlots = 51;

using Facing = int32_t;  // 0 north, 1 west, 2 south, 3 east
inline constexpr Facing north = 0;
inline constexpr Facing west = 1;
inline constexpr Facing south = 2;
inline constexpr Facing east = 3;

struct PlayerState {
    int32_t column = 0;
    int32_t row = 0;
    Facing facing = north;
};

// cells[row][column]; 0 means no room, any other value is a room.
struct RoomMap {
    int32_t cells[mapRows][mapColumns] = {};
};

struct GameEvent {
    int32_t column = 0;
    int32_t row = 0;
    Facing facing = north;
    std::string key;   // "_" matches any key
    std::string text;  // "^" separates display lines
    uint8_t fatal = 0;
    std::string sound;  // "-" means none given
};

struct EventTable {
    GameEvent slots[eventSlots];
};

struct GameData {
    RoomMap map;
    PlayerState start;
    EventTable events;
};

// Called for each room cell right after its map value is read.
using RoomCellHandler = void (*)(int32_t column, int32_t row, void* context);

// Opens assetRoot + "/game.txt", or reports "Can't locate game file!" and
// ends the program.
void openGameFile(FieldReader& reader);

// Reads the whole description from the open reader, then closes it.
void loadGameData(FieldReader& reader, GameData& data, RoomCellHandler handler, void* context);

// The facing a letter field names: n, s, w, e in any case with spaces
// around; anything else faces north.
Facing facingFromField(const std::string& field);

}  // namespace drusk
