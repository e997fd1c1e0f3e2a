#include "game/movement.h"

#include <gtest/gtest.h>

#include <vector>

namespace drusk {
namespace {

const std::string up = "\xFFH", down = "\xFFP", left = "\xFFK", right = "\xFFM";

// A 6 by 8 map drawn as rows of '#' (room) and '.' (no room).
RoomMap mapFrom(const std::vector<std::string>& rows) {
    RoomMap map;
    for (int r = 0; r < mapRows; ++r) {
        for (int c = 0; c < mapColumns; ++c)
            map.cells[r][c] = rows[r][c] == '#' ? 1 : 0;
    }
    return map;
}

const RoomMap castle = mapFrom({
    "######",
    "#.#..#",
    "#.####",
    "#....#",
    "######",
    "#....#",
    "#.##.#",
    "######",
});

struct MoveCase {
    const char* name;
    PlayerState start;
    std::string key;
    PlayerState expected;
    bool redraw;
};

TEST(ApplyMoveKey, Moves) {
    const std::vector<MoveCase> cases = {
        {"north edge blocks up", {0, 0, north}, up, {0, 0, north}, true},
        {"north edge: down steps south", {0, 0, north}, down, {0, 1, north}, true},
        {"south edge blocks up", {3, 7, south}, up, {3, 7, south}, true},
        {"west edge blocks up", {0, 3, west}, up, {0, 3, west}, true},
        {"east edge blocks up", {5, 3, east}, up, {5, 3, east}, true},
        {"east edge: down steps west", {5, 0, east}, down, {4, 0, east}, true},
        {"forward north", {0, 2, north}, up, {0, 1, north}, true},
        {"forward south", {0, 1, south}, up, {0, 2, south}, true},
        {"forward east", {0, 0, east}, up, {1, 0, east}, true},
        {"forward west", {1, 0, west}, up, {0, 0, west}, true},
        {"backward facing south", {0, 2, south}, down, {0, 1, south}, true},
        {"backward facing west", {0, 0, west}, down, {1, 0, west}, true},
        {"wall ahead blocks", {0, 1, east}, up, {0, 1, east}, true},
        {"turn left from north", {0, 0, north}, left, {0, 0, west}, true},
        {"turn left from east", {0, 0, east}, left, {0, 0, north}, true},
        {"turn right from north", {0, 0, north}, right, {0, 0, east}, true},
        {"turn right from west", {0, 0, west}, right, {0, 0, north}, true},
        {"letter only redraws", {0, 0, north}, "a", {0, 0, north}, true},
        {"escape only redraws", {0, 0, north}, "\x1B", {0, 0, north}, true},
        {"close request only redraws", {0, 0, north}, "\xFFk", {0, 0, north}, true},
        {"no key, no redraw", {0, 0, north}, "", {0, 0, north}, false},
        {"cursor code without prefix", {0, 1, north}, "H", {0, 1, north}, true},
        {"facing 7: up never moves", {0, 1, 7}, up, {0, 1, 7}, true},
        {"facing -1: left never turns", {0, 1, -1}, left, {0, 1, -1}, true},
        {"facing 4: right never turns", {0, 1, 4}, right, {0, 1, 4}, true},
        {"start not a room: step out", {1, 1, north}, up, {1, 0, north}, true},
        {"outside the grid: neighbour inside", {-1, 0, east}, up, {0, 0, east}, true},
        {"outside the grid: neighbour outside", {-1, 0, west}, up, {-1, 0, west}, true},
        {"far outside", {10, 20, north}, down, {10, 20, north}, true},
    };
    for (const MoveCase& c : cases) {
        PlayerState player = c.start;
        bool redraw = applyMoveKey(castle, player, c.key);
        EXPECT_EQ(redraw, c.redraw) << c.name;
        EXPECT_EQ(player.column, c.expected.column) << c.name;
        EXPECT_EQ(player.row, c.expected.row) << c.name;
        EXPECT_EQ(player.facing, c.expected.facing) << c.name;
    }
}

TEST(ApplyMoveKey, FourTurnsComeBack) {
    for (Facing start = 0; start < 4; ++start) {
        PlayerState player{0, 0, start};
        for (int i = 0; i < 4; ++i)
            applyMoveKey(castle, player, left);
        EXPECT_EQ(player.facing, start);
        for (int i = 0; i < 4; ++i)
            applyMoveKey(castle, player, right);
        EXPECT_EQ(player.facing, start);
        applyMoveKey(castle, player, left);
        applyMoveKey(castle, player, right);
        EXPECT_EQ(player.facing, start);
    }
}

TEST(ApplyMoveKey, CannotStepBackIntoAStartThatIsNoRoom) {
    PlayerState player{1, 1, north};
    ASSERT_TRUE(stepForward(castle, player));
    EXPECT_FALSE(stepBackward(castle, player));
    EXPECT_EQ(player.row, 0);
}

TEST(IsRoom, GridEdges) {
    EXPECT_TRUE(isRoom(castle, 0, 0));
    EXPECT_TRUE(isRoom(castle, 5, 7));
    EXPECT_FALSE(isRoom(castle, 1, 1));
    EXPECT_FALSE(isRoom(castle, -1, 0));
    EXPECT_FALSE(isRoom(castle, 6, 0));
    EXPECT_FALSE(isRoom(castle, 0, 8));
    EXPECT_FALSE(isRoom(castle, 0, -1));
    RoomMap negative;
    negative.cells[2][3] = -5;
    EXPECT_TRUE(isRoom(negative, 3, 2));
}

}  // namespace
}  // namespace drusk
