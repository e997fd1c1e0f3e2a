#include "game/view_pictures.h"

#include <unistd.h>

#include "screen/bitmap.h"
#include "textin/program.h"

namespace drusk {

char facingLetter(Facing facing) {
    return "nwse"[facing & 3];
}

std::string viewPicturePath(int32_t column, int32_t row, Facing facing) {
    return assetRoot() + "/img/" + std::to_string(row) + "_" + std::to_string(column) + "_" +
           facingLetter(facing) + ".bmp";
}

namespace {

// The screen shows the message for a moment at most before it closes, so a
// player who started the game from a terminal reads it there.
[[noreturn]] void missingPicture(const std::string& path) {
    std::string message = path + " not found!";
    printLine(message);
    std::string line = message + "\n";
    ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
    (void)ignored;
    endProgram(exitFatal);
}

}  // namespace

void loadViewPictures(int32_t column, int32_t row, void* context) {
    auto& table = *static_cast<ViewImageTable*>(context);
    if (column < 0 || column >= mapColumns || row < 0 || row >= mapRows) return;
    for (Facing facing = north; facing <= east; ++facing) {
        std::string path = viewPicturePath(column, row, facing);
        if (!fileExists(path)) missingPicture(path);
        Image* image = createImage(640, 480);
        table.images[column][row][facing] = image;
        loadBitmap(path, image);
    }
}

Image* viewPicture(const ViewImageTable& table, int32_t column, int32_t row, Facing facing) {
    if (column < 0 || column >= mapColumns || row < 0 || row >= mapRows) return nullptr;
    if (facing < north || facing > east) return nullptr;
    return table.images[column][row][facing];
}

}  // namespace drusk
