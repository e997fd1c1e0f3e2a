// Console text on the open screen: printLine draws here while a screen is
// open.
#pragma once

#include <string>

namespace drusk {

inline constexpr int consoleColumns = 80;
inline constexpr int consoleRows = 60;

// Draws the message into 8 by 8 cells from the screen's text position,
// glyphs in the default foreground on the default background, then moves
// the position to the start of the next row. A message longer than a row
// goes on in the next row; below the last row the text scrolls up.
void drawConsoleLine(const std::string& message);

}  // namespace drusk
