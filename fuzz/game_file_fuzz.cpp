// Feeds arbitrary bytes through the field reader and the game file loader.
// The first byte picks a mix of reads, so every read kind meets every state
// the others can leave behind; the rest is loaded as a whole game file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "game/game_data.h"
#include "textin/field_reader.h"

namespace {

std::string memoryFile(const uint8_t* data, size_t size) {
    static int fd = memfd_create("game.txt", 0);
    ftruncate(fd, 0);
    lseek(fd, 0, SEEK_SET);
    size_t written = 0;
    while (written < size) {
        ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

void countCell(int32_t column, int32_t row, void* context) {
    if (column < 0 || column > 5 || row < 0 || row > 7) __builtin_trap();
    ++*static_cast<int*>(context);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string path = memoryFile(data + 1, size - 1);

    drusk::FieldReader reader;
    if (drusk::open(reader, path) != 0) return 0;
    unsigned pattern = data[0];
    for (int i = 0; i < 64 && !drusk::atEndOfFile(reader); ++i) {
        switch ((pattern >> ((i % 4) * 2)) & 3) {
            case 0:
                drusk::readIntegerField(reader);
                break;
            case 1: {
                std::string s = drusk::readStringField(reader);
                if (s.size() > drusk::stringFieldLimit) __builtin_trap();
                break;
            }
            case 2:
                drusk::readRestOfLine(reader);
                break;
            default:
                drusk::atEndOfFile(reader);
                break;
        }
    }
    drusk::close(reader);

    static drusk::GameData game;
    game = drusk::GameData{};
    if (drusk::open(reader, path) != 0) return 0;
    int cells = 0;
    drusk::loadGameData(reader, game, countCell, &cells);
    if (cells > 48 || reader.fd != -1) __builtin_trap();
    return 0;
}
