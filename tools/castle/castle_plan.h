// The sample castle: which cells are rooms, what kind of place each is, and
// the events that happen there.
#pragma once

#include <string>
#include <vector>

namespace drusk::castle {

inline constexpr int columns = 6;
inline constexpr int rows = 8;

// The kind of place a room is; it picks the wall dressing and the light.
enum class Area : char {
    None = '.',
    Entrance = 'E',
    Corridor = 'C',
    Hall = 'H',
    Library = 'L',
    Crypt = 'K',
    Passage = 'T',  // the narrow way to the pit
    Gate = 'X',
};

struct EventLine {
    int row;
    int column;
    char facing;  // n, w, s, e
    std::string key;
    std::string sound;
    std::string text;
    std::string comment;  // the separator line written before the record
};

struct CastlePlan {
    Area cells[rows][columns];
    int startColumn;
    int startRow;
    int startFacing;
    std::vector<EventLine> events;
    int pitColumn, pitRow;  // the trap cell, drawn with a hole in its floor
    int gateColumn, gateRow;
};

const CastlePlan& vezozaDrusk();

bool isRoom(const CastlePlan& plan, int column, int row);

// The game description file for the plan, as a castle author would lay it out.
std::string gameText(const CastlePlan& plan);

}  // namespace drusk::castle
