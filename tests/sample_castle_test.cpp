// The sample castle that the build lays out beside the program, read by the
// game's own loaders: the game file by loadGameData, the pictures by
// loadBitmap, the sounds and music by the mixer. And the generator behind
// it writes the same bytes on every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

#include "audio/mixer.h"
#include "game/event_rules.h"
#include "game/game_data.h"
#include "game/view_pictures.h"
#include "screen/bitmap.h"
#include "screen/image.h"
#include "screen/screen.h"
#include "tests/run_program.h"
#include "tests/temp_dir.h"
#include "tools/castle/castle_plan.h"

namespace drusk {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TempDir;

const std::string castleDir = DRUSK_CASTLE_DIR;

struct LoadedCastle {
    GameData data;
    std::vector<std::pair<int32_t, int32_t>> roomCells;  // as the loader reported them
};

void recordRoom(int32_t column, int32_t row, void* context) {
    static_cast<LoadedCastle*>(context)->roomCells.emplace_back(column, row);
}

std::unique_ptr<LoadedCastle> loadCastle() {
    auto castle = std::make_unique<LoadedCastle>();
    FieldReader reader;
    EXPECT_EQ(open(reader, castleDir + "/game.txt"), 0) << castleDir;
    loadGameData(reader, castle->data, recordRoom, castle.get());
    return castle;
}

int filledSlots() {
    return static_cast<int>(castle::vezozaDrusk().events.size());
}

// The rooms a player can walk to from the start.
std::set<std::pair<int, int>> reachableRooms(const GameData& data) {
    std::set<std::pair<int, int>> seen{{data.start.column, data.start.row}};
    std::vector<std::pair<int, int>> todo(seen.begin(), seen.end());
    while (!todo.empty()) {
        auto [column, row] = todo.back();
        todo.pop_back();
        const int steps[4][2] = {{0, -1}, {0, 1}, {-1, 0}, {1, 0}};
        for (const auto& step : steps) {
            int c = column + step[0], r = row + step[1];
            if (c < 0 || c >= mapColumns || r < 0 || r >= mapRows || data.map.cells[r][c] == 0)
                continue;
            if (seen.insert({c, r}).second) todo.push_back({c, r});
        }
    }
    return seen;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t begin = 0;
    for (size_t end; (end = text.find("\r\n", begin)) != std::string::npos; begin = end + 2)
        lines.push_back(text.substr(begin, end - begin));
    if (begin < text.size()) lines.push_back(text.substr(begin));
    return lines;
}

TEST(SampleCastle, GameFileIsLaidOutInReadingOrder) {
    std::vector<std::string> lines = splitLines(readFile(castleDir + "/game.txt"));
    ASSERT_EQ(lines.size(), 9u + 2u * filledSlots()) << "no blank line may follow the last event";
    for (int row = 0; row < 8; ++row)
        EXPECT_EQ(std::count(lines[row].begin(), lines[row].end(), ','), 5) << lines[row];
    EXPECT_EQ(std::count(lines[8].begin(), lines[8].end(), ','), 2) << "start: " << lines[8];
    for (size_t i = 9; i < lines.size(); i += 2) {
        EXPECT_EQ(lines[i].substr(0, 2), "' ") << "a comment line before each event";
        EXPECT_GE(std::count(lines[i + 1].begin(), lines[i + 1].end(), ','), 5) << lines[i + 1];
    }
}

TEST(SampleCastle, GameFileLoadsAsPlanned) {
    const castle::CastlePlan& plan = castle::vezozaDrusk();
    auto castle = loadCastle();
    const GameData& data = castle->data;

    std::vector<std::pair<int32_t, int32_t>> rooms;
    for (int row = 0; row < mapRows; ++row) {
        for (int column = 0; column < mapColumns; ++column) {
            EXPECT_EQ(data.map.cells[row][column] != 0, castle::isRoom(plan, column, row))
                << "column " << column << " row " << row;
            if (castle::isRoom(plan, column, row)) rooms.emplace_back(column, row);
        }
    }
    EXPECT_EQ(castle->roomCells, rooms) << "pictures are loaded for exactly the rooms";
    EXPECT_GE(rooms.size(), 15u);
    EXPECT_LE(rooms.size(), 25u);
    EXPECT_EQ(reachableRooms(data).size(), rooms.size()) << "every room can be walked to";

    EXPECT_EQ(data.start.column, plan.startColumn);
    EXPECT_EQ(data.start.row, plan.startRow);
    EXPECT_EQ(data.start.facing, plan.startFacing);
    EXPECT_NE(data.map.cells[data.start.row][data.start.column], 0);

    ASSERT_LE(filledSlots(), eventSlots);
    for (int i = 0; i < filledSlots(); ++i) {
        SCOPED_TRACE("event " + std::to_string(i));
        const castle::EventLine& line = plan.events[i];
        const GameEvent& event = data.events.slots[i];
        bool fatal = !line.key.empty() && line.key.back() == '%';
        EXPECT_EQ(event.column, line.column);
        EXPECT_EQ(event.row, line.row);
        EXPECT_EQ(facingLetter(event.facing), line.facing);
        EXPECT_EQ(event.key, fatal ? line.key.substr(0, line.key.size() - 1) : line.key);
        EXPECT_EQ(event.fatal, fatal ? 1 : 0);
        EXPECT_EQ(event.sound, line.sound);
        EXPECT_EQ(event.text, line.text);
    }
    if (filledSlots() < eventSlots) {
        const GameEvent& next = data.events.slots[filledSlots()];
        EXPECT_TRUE(next.key.empty() && next.text.empty() && next.sound.empty())
            << "the slot after the last event stays empty";
    }
}

// Each event can be seen: it stands in a room the player can reach, no
// earlier slot hides it, its lines fit the panel, and its sound exists.
TEST(SampleCastle, EveryEventFiresWhereTheGameFileSays) {
    auto castle = loadCastle();
    const GameData& data = castle->data;
    std::set<std::pair<int, int>> reachable = reachableRooms(data);
    auto mixer = std::make_unique<Mixer>();
    for (int i = 0; i < filledSlots(); ++i) {
        const GameEvent& event = data.events.slots[i];
        SCOPED_TRACE("event " + std::to_string(i) + ": " + event.text);
        EXPECT_TRUE(reachable.count({event.column, event.row})) << "not a reachable room";
        PlayerState there{event.column, event.row, event.facing};
        if (event.key == "_") {
            // Arriving by a step or a turn, or pressing any other key there.
            for (const char* key : {"\xFFH", "\xFFK", "\xFFM", "\xFFP", "q"})
                EXPECT_EQ(findEvent(data.events, there, key), i);
        } else {
            ASSERT_EQ(event.key.size(), 1u);
            std::string upper(1, static_cast<char>(std::toupper(event.key[0])));
            EXPECT_EQ(findEvent(data.events, there, event.key), i);
            EXPECT_EQ(findEvent(data.events, there, upper), i) << "with Shift";
        }

        std::vector<std::string> lines = messageLines(event.text);
        EXPECT_LE(lines.size(), 9u) << "lines below the ninth are cut off";
        for (const std::string& line : lines)
            EXPECT_LE(line.size(), 79u) << "wider than the panel: " << line;

        std::string sound = eventSoundName(event);
        if (!sound.empty()) {
            EXPECT_NE(mixerCreateStream(*mixer, castleDir + "/sfx/" + sound + ".ogg"), noAudio)
                << sound;
        }
    }
    mixerClear(*mixer);
}

TEST(SampleCastle, TheBookTheTrapAndTheExit) {
    auto castle = loadCastle();
    const EventTable& events = castle->data.events;

    // The book in the library is read with R; any other key there shows the
    // shelves, and so does arriving.
    PlayerState lectern{5, 2, east};
    int book = findEvent(events, lectern, "r");
    int shelves = findEvent(events, lectern, "x");
    ASSERT_NE(book, noEvent);
    ASSERT_NE(shelves, noEvent);
    EXPECT_EQ(events.slots[book].key, "r");
    EXPECT_EQ(events.slots[shelves].key, "_");
    EXPECT_LT(book, shelves) << "the any-key event would hide the book";
    EXPECT_EQ(findEvent(events, lectern, "\xFFH"), shelves);

    // The only fatal events: the pit, walked into forwards or backwards, with
    // the default death sound, and the way out with its own.
    std::map<std::tuple<int, int, int>, std::string> fatal;
    for (int i = 0; i < filledSlots(); ++i) {
        const GameEvent& event = events.slots[i];
        if (event.fatal) fatal[{event.column, event.row, event.facing}] = eventSoundName(event);
    }
    std::map<std::tuple<int, int, int>, std::string> expected{
        {{5, 5, north}, "die"},
        {{5, 5, south}, "die"},
        {{2, 0, north}, "victory"},
    };
    EXPECT_EQ(fatal, expected);
}

bool isMagenta(Colour colour) {
    return (colour & 0x00FFFFFF) == (maskColour & 0x00FFFFFF);
}

class SampleCastlePictures : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("DRUSK_SCREEN", "null", 1);
        ASSERT_EQ(openScreen(640, 480, 32, 2, fullScreen | alphaPrimitives, 0), 0);
        image = createImage(640, 480);
        ASSERT_NE(image, nullptr);
    }
    void TearDown() override {
        destroyImage(image);
        closeScreen();
    }

    // Loads the picture into a fresh image; the number of magenta pixels.
    int loadCountingMagenta(const std::string& path) {
        for (uint32_t y = 0; y < 480; ++y)
            std::fill_n(imageRow(image, y), 640, maskColour);
        EXPECT_EQ(loadBitmap(path, image), Ok) << path;
        int magenta = 0;
        for (uint32_t y = 0; y < 480; ++y)
            magenta += static_cast<int>(
                std::count_if(imageRow(image, y), imageRow(image, y) + 640, isMagenta));
        return magenta;
    }

    Image* image = nullptr;
};

TEST_F(SampleCastlePictures, EveryRoomPictureLoadsWhole) {
    auto castle = loadCastle();
    std::set<std::pair<int, int>> storages;  // bit count, compression
    for (auto [column, row] : castle->roomCells) {
        for (Facing facing = north; facing <= east; ++facing) {
            std::string name = "/img/" + std::to_string(row) + "_" + std::to_string(column) + "_" +
                               facingLetter(facing) + ".bmp";
            EXPECT_EQ(loadCountingMagenta(castleDir + name), 0) << name;
            std::string head = readFile(castleDir + name).substr(0, 34);
            ASSERT_EQ(head.size(), 34u);
            storages.insert({static_cast<uint8_t>(head[28]), static_cast<uint8_t>(head[30])});
        }
    }
    std::set<std::pair<int, int>> expected{{24, 0}, {8, 0}, {8, 1}};
    EXPECT_EQ(storages, expected) << "true colour, palette and run-length pictures";
}

TEST_F(SampleCastlePictures, TitleAndGameOverOverlay) {
    EXPECT_EQ(loadCountingMagenta(castleDir + "/img/titlecard.bmp"), 0);
    // The overlay's background lets the frame show through; only its banner
    // covers it.
    int magenta = loadCountingMagenta(castleDir + "/img/gameover.bmp");
    EXPECT_GT(magenta, 640 * 480 / 2);
    EXPECT_LT(magenta, 640 * 480);
    for (uint32_t y : {0u, 479u})
        for (uint32_t x : {0u, 639u})
            EXPECT_TRUE(isMagenta(imageRow(image, y)[x])) << "corner " << x << "," << y;
}

TEST(SampleCastle, MusicPlays) {
    auto mixer = std::make_unique<Mixer>();
    AudioHandle music = mixerLoadMusic(*mixer, castleDir + "/sfx/castletheme.mo3");
    ASSERT_NE(music, noAudio);
    mixerPlay(*mixer, music);
    std::vector<float> chunk(2 * mixChunkFrames);
    float loudest = 0;
    for (int i = 0; i < defaultOutputRate * 2 / mixChunkFrames; ++i) {
        mixerRender(*mixer, chunk.data(), mixChunkFrames);
        for (float v : chunk)
            loudest = std::max(loudest, std::fabs(v));
    }
    EXPECT_GT(loudest, 0.05f) << "two seconds of the theme are not silent";
    mixerClear(*mixer);
}

// The files of a castle by their names relative to its directory; the
// build's stamp file is not part of it.
std::map<std::string, std::string> castleFiles(const std::string& dir) {
    std::map<std::string, std::string> files{{"game.txt", readFile(dir + "/game.txt")}};
    for (const char* sub : {"img", "sfx"}) {
        for (const fs::directory_entry& entry : fs::directory_iterator(dir + "/" + sub)) {
            std::string name = entry.path().filename().string();
            if (name[0] == '.') continue;
            files[std::string(sub) + "/" + name] = readFile(entry.path().string());
        }
    }
    return files;
}

TEST(SampleCastle, GeneratorWritesTheSameSmallCastleEveryRun) {
    TempDir dir;
    auto run = testing::runProgram(DRUSK_MAKE_CASTLE, dir.path(), {}, 240, {dir.path()});
    ASSERT_EQ(run.exitStatus, 0) << run.err;

    std::map<std::string, std::string> fresh = castleFiles(dir.path());
    std::map<std::string, std::string> built = castleFiles(castleDir);
    ASSERT_EQ(fresh.size(), built.size());
    size_t bytes = 0;
    for (const auto& [name, content] : fresh) {
        EXPECT_TRUE(built.count(name) && built[name] == content) << name << " differs";
        bytes += content.size();
    }
    EXPECT_LT(bytes, 40u * 1000 * 1000) << "the castle must stay under 40 MB";
    auto roomPictures = std::count_if(fresh.begin(), fresh.end(), [](const auto& file) {
        return file.first.starts_with("img/") && file.first.find('_') != std::string::npos;
    });
    EXPECT_EQ(roomPictures, 4 * static_cast<long>(loadCastle()->roomCells.size()));
}

}  // namespace
}  // namespace drusk
