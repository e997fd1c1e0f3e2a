#include "game/game_data.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tests/temp_dir.h"

namespace drusk {
namespace {

using testing::TempDir;

struct Loaded {
    GameData data;
    std::vector<std::pair<int32_t, int32_t>> cells;
    std::vector<int> fieldsReadBeforeCall;  // file position at each handler call
};

struct HandlerContext {
    Loaded* loaded;
    FieldReader* reader;
};

void recordCell(int32_t column, int32_t row, void* context) {
    auto* c = static_cast<HandlerContext*>(context);
    c->loaded->cells.emplace_back(column, row);
    c->loaded->fieldsReadBeforeCall.push_back(static_cast<int>(c->reader->position));
}

std::unique_ptr<Loaded> load(const std::string& bytes) {
    TempDir dir;
    auto loaded = std::make_unique<Loaded>();
    FieldReader reader;
    EXPECT_EQ(open(reader, dir.write("game.txt", bytes)), 0);
    HandlerContext context{loaded.get(), &reader};
    loadGameData(reader, loaded->data, recordCell, &context);
    EXPECT_EQ(reader.fd, -1) << "the loader closes the file";
    return loaded;
}

std::string emptyMap() {
    std::string map;
    for (int row = 0; row < 8; ++row)
        map += "0,0,0,0,0,0\n";
    return map;
}

std::string mapWith(std::vector<std::pair<int, int>> rooms, const char* value = "1") {
    std::string map;
    for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 6; ++column) {
            bool room = false;
            for (auto [c, r] : rooms)
                room |= (c == column && r == row);
            map += room ? value : "0";
            map += column < 5 ? "," : "\n";
        }
    }
    return map;
}

void expectEmpty(const GameEvent& e) {
    EXPECT_EQ(e.column, 0);
    EXPECT_EQ(e.row, 0);
    EXPECT_EQ(e.facing, 0);
    EXPECT_EQ(e.key, "");
    EXPECT_EQ(e.text, "");
    EXPECT_EQ(e.fatal, 0);
    EXPECT_EQ(e.sound, "");
}

TEST(LoadGameData, MapAndStartOnlyLeaveEveryEventSlotEmpty) {
    auto loaded = load(mapWith({{2, 3}}, "-1") + "2,3,1\n");
    EXPECT_EQ(loaded->data.map.cells[3][2], -1);
    EXPECT_EQ(loaded->data.start.column, 2);
    EXPECT_EQ(loaded->data.start.row, 3);
    EXPECT_EQ(loaded->data.start.facing, 1);
    for (const GameEvent& e : loaded->data.events.slots)
        expectEmpty(e);
}

TEST(LoadGameData, HandlerRunsForEachRoomInReadingOrder) {
    auto loaded = load(mapWith({{1, 2}, {4, 0}}, "2") + "0,0,0\n");
    std::vector<std::pair<int32_t, int32_t>> expected = {{4, 0}, {1, 2}};
    EXPECT_EQ(loaded->cells, expected);
}

TEST(LoadGameData, HandlerRunsBeforeTheNextValueIsRead) {
    auto loaded = load(mapWith({{0, 0}}) + "0,0,0\n");
    ASSERT_EQ(loaded->cells.size(), 1u);
    EXPECT_EQ(loaded->fieldsReadBeforeCall[0], 2) << "only '1,' has been consumed";
}

TEST(LoadGameData, EventRecordLayout) {
    auto loaded = load(emptyMap() + "0,0,0\n" +
                       "--- separator ---\n"
                       "2, 4, w, _, -, Hello^there\n"
                       "\n"
                       "7,5, S ,k%,boom,text, with, commas\n"
                       "\n"
                       "1,1,E,%,,\n"
                       "\n"
                       "1,1,x,%%,-,a\n"
                       "\n"
                       "1,1,north,K,-,b\n"
                       "\n"
                       "1,1,e\t,_ ,-,c\n");
    const auto& s = loaded->data.events.slots;
    EXPECT_EQ(s[0].row, 2);
    EXPECT_EQ(s[0].column, 4);
    EXPECT_EQ(s[0].facing, 1);
    EXPECT_EQ(s[0].key, "_");
    EXPECT_EQ(s[0].sound, "-");
    EXPECT_EQ(s[0].fatal, 0);
    EXPECT_EQ(s[0].text, " Hello^there");

    EXPECT_EQ(s[1].row, 7);
    EXPECT_EQ(s[1].column, 5);
    EXPECT_EQ(s[1].facing, 2);
    EXPECT_EQ(s[1].key, "k");
    EXPECT_EQ(s[1].fatal, 1);
    EXPECT_EQ(s[1].sound, "boom");
    EXPECT_EQ(s[1].text, "text, with, commas");

    EXPECT_EQ(s[2].facing, 3);
    EXPECT_EQ(s[2].key, "");
    EXPECT_EQ(s[2].fatal, 1);
    EXPECT_EQ(s[2].sound, "");
    EXPECT_EQ(s[2].text, "");

    EXPECT_EQ(s[3].facing, 0);
    EXPECT_EQ(s[3].key, "%");
    EXPECT_EQ(s[3].fatal, 1);

    EXPECT_EQ(s[4].facing, 0);
    EXPECT_EQ(s[4].key, "K");
    EXPECT_EQ(s[4].fatal, 0);

    EXPECT_EQ(s[5].facing, 0) << "a tab is not trimmed";
    EXPECT_EQ(s[5].key, "_ ") << "the key keeps its blanks";
    expectEmpty(s[6]);
}

TEST(LoadGameData, FacingLetters) {
    struct Case {
        const char* field;
        Facing facing;
    };
    for (Case c : {Case{"n", 0},
                   {"N", 0},
                   {" S ", 2},
                   {"s", 2},
                   {"w", 1},
                   {"W", 1},
                   {"E", 3},
                   {"e", 3},
                   {"x", 0},
                   {"north", 0},
                   {"", 0},
                   {"e\t", 0},
                   {"  w", 1}}) {
        EXPECT_EQ(facingFromField(c.field), c.facing) << "field '" << c.field << "'";
    }
}

TEST(LoadGameData, OnlyTheFirst51RecordsAreStored) {
    std::string file = emptyMap() + "0,0,0\n";
    for (int i = 0; i < 60; ++i)
        file += "sep\n" + std::to_string(i) + ",1,n,_,-,event " + std::to_string(i) + "\n";
    auto loaded = load(file);
    EXPECT_EQ(loaded->data.events.slots[0].row, 0);
    EXPECT_EQ(loaded->data.events.slots[50].row, 50);
    EXPECT_EQ(loaded->data.events.slots[50].text, "event 50");
}

TEST(LoadGameData, FileEndingInsideTheMapLeavesTheRestZero) {
    auto loaded = load("1,1,1\n0,3");
    EXPECT_EQ(loaded->data.map.cells[0][0], 1);
    EXPECT_EQ(loaded->data.map.cells[0][2], 1);
    EXPECT_EQ(loaded->data.map.cells[0][4], 3);
    EXPECT_EQ(loaded->data.map.cells[0][5], 0);
    EXPECT_EQ(loaded->data.start.column, 0);
    for (const GameEvent& e : loaded->data.events.slots)
        expectEmpty(e);
    std::vector<std::pair<int32_t, int32_t>> expected = {{0, 0}, {1, 0}, {2, 0}, {4, 0}};
    EXPECT_EQ(loaded->cells, expected);
}

TEST(LoadGameData, TrailingBlankLineReadsOneEmptyRecord) {
    auto loaded = load(emptyMap() + "0,0,0\nsep\n3,2,s,a,-,hi\n\n");
    EXPECT_EQ(loaded->data.events.slots[0].text, "hi");
    expectEmpty(loaded->data.events.slots[1]);
    expectEmpty(loaded->data.events.slots[2]);
}

TEST(LoadGameData, CrLfFileLoadsLikeLfFile) {
    std::string lf = mapWith({{1, 1}}) + "1,1,0\nsep\n1,1,n,_,-,Hi^there\n";
    std::string crlf;
    for (char c : lf)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    auto a = load(lf);
    auto b = load(crlf);
    EXPECT_EQ(a->data.events.slots[0].text, b->data.events.slots[0].text);
    EXPECT_EQ(b->data.events.slots[0].text, "Hi^there");
    EXPECT_EQ(a->cells, b->cells);
}

}  // namespace
}  // namespace drusk
