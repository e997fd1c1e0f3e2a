#include "screen/console.h"

#include <algorithm>
#include <cstring>

#include "screen/font.h"
#include "screen/screen.h"

namespace drusk {

namespace {

int32_t columnsOf(const Screen& screen) {
    return std::min(consoleColumns, screen.width / glyphWidth);
}

int32_t rowsOf(const Screen& screen) {
    return std::min(consoleRows, screen.height / glyphHeight);
}

void drawCell(Screen& screen, int32_t column, int32_t row, uint8_t byte) {
    const uint8_t* glyph = screenFont[byte];
    for (int r = 0; r < glyphHeight; ++r) {
        uint32_t* pixels =
            screenRow(screen, screen.drawingPage, row * glyphHeight + r) + column * glyphWidth;
        for (int i = 0; i < glyphWidth; ++i) {
            pixels[i] =
                (glyph[r] & (0x80 >> i)) ? screen.defaultForeground : screen.defaultBackground;
        }
    }
}

// Moves every text row up by one and clears the last; the whole text area
// has changed.
void scrollUp(Screen& screen, int32_t rows) {
    int32_t pixelRows = rows * glyphHeight;
    for (int32_t y = 0; y + glyphHeight < pixelRows; ++y) {
        std::memcpy(screenRow(screen, screen.drawingPage, y),
                    screenRow(screen, screen.drawingPage, y + glyphHeight),
                    static_cast<size_t>(screen.width) * 4);
    }
    for (int32_t y = pixelRows - glyphHeight; y < pixelRows; ++y) {
        uint32_t* pixels = screenRow(screen, screen.drawingPage, y);
        std::fill(pixels, pixels + screen.width, screen.defaultBackground);
    }
}

}  // namespace

void drawConsoleLine(const std::string& message) {
    Screen* screen = currentScreen();
    if (!screen) return;
    int32_t columns = columnsOf(*screen);
    int32_t rows = rowsOf(*screen);
    if (columns < 1 || rows < 1) return;

    lockScreen();
    int32_t firstMarked = screen->height;
    int32_t lastMarked = -1;
    auto ensureRow = [&] {
        if (screen->textRow < rows) return;
        scrollUp(*screen, rows);
        screen->textRow = rows - 1;
        firstMarked = 0;
        lastMarked = rows * glyphHeight - 1;
    };
    for (char c : message) {
        if (screen->textColumn >= columns) {
            screen->textColumn = 0;
            ++screen->textRow;
        }
        ensureRow();
        drawCell(*screen, screen->textColumn, screen->textRow, static_cast<uint8_t>(c));
        firstMarked = std::min(firstMarked, screen->textRow * glyphHeight);
        lastMarked = std::max(lastMarked, screen->textRow * glyphHeight + glyphHeight - 1);
        ++screen->textColumn;
    }
    ensureRow();
    screen->textColumn = 0;
    ++screen->textRow;
    if (lastMarked >= 0) {
        unlockScreen(firstMarked, lastMarked);
    } else {
        unlockScreen(1, 0);
    }
}

}  // namespace drusk
