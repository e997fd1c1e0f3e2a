#include "game/game_data.h"
#include "textin/field_reader.h"
#include "textin/program.h"

namespace {

void ignoreRoomCell(int32_t, int32_t, void*) {}

}  // namespace

int main() {
    using namespace drusk;
    static FieldReader reader;
    static GameData data;
    openGameFile(reader);
    loadGameData(reader, data, ignoreRoomCell, nullptr);
    endProgram(exitNormal);
}
