// First-person views of the sample castle, cast ray by ray from the room.
#pragma once

#include "tools/castle/castle_plan.h"
#include "tools/castle/picture.h"

namespace drusk::castle {

inline constexpr int viewWidth = 640;
inline constexpr int viewHeight = 480;

// The view from the room at (column, row) facing 0 north, 1 west, 2 south
// or 3 east.
Picture renderView(const CastlePlan& plan, int column, int row, int facing);

}  // namespace drusk::castle
