#include "game/event_rules.h"

#include <gtest/gtest.h>

namespace drusk {
namespace {

GameEvent event(int32_t column, int32_t row, Facing facing, std::string key) {
    GameEvent e;
    e.column = column;
    e.row = row;
    e.facing = facing;
    e.key = std::move(key);
    return e;
}

TEST(FindEvent, MatchingRule) {
    EventTable table;
    table.slots[0] = event(2, 3, west, "_");
    table.slots[1] = event(4, 4, north, "b");
    table.slots[2] = event(4, 4, north, "K");
    table.slots[3] = event(1, 1, east, "\xFFh");
    table.slots[4] = event(4, 4, north, "b");
    table.slots[5] = event(5, 5, south, "_ ");
    // Slots 6..50 stay empty: column 0, row 0, facing north, empty key.

    struct Case {
        const char* name;
        PlayerState player;
        std::string key;
        int slot;
    };
    const Case cases[] = {
        {"any key on arrival", {2, 3, west}, "", 0},
        {"any key on a blocked step", {2, 3, west}, "\xFFH", 0},
        {"wrong facing", {2, 3, north}, "", noEvent},
        {"letter key", {4, 4, north}, "b", 1},
        {"letter key with shift", {4, 4, north}, "B", 1},
        {"other letter", {4, 4, north}, "c", noEvent},
        {"capital key never fires", {4, 4, north}, "K", noEvent},
        {"cursor key compares lower-cased", {1, 1, east}, "\xFFH", 3},
        {"key with a trailing blank is not any key", {5, 5, south}, "x", noEvent},
        {"empty slot matches the first frame at 0,0 north", {0, 0, north}, "", 6},
        {"empty slot needs no key pressed", {0, 0, north}, "a", noEvent},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(findEvent(table, c.player, c.key), c.slot) << c.name;
    }
}

TEST(MessageLines, SplitsAtEveryCaret) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(messageLines("abc^def"), (Lines{"abc", "def"}));
    EXPECT_EQ(messageLines("^abc"), (Lines{"", "abc"}));
    EXPECT_EQ(messageLines("abc^"), (Lines{"abc", ""}));
    EXPECT_EQ(messageLines("^^"), (Lines{"", "", ""}));
    EXPECT_EQ(messageLines(""), (Lines{""}));
    EXPECT_EQ(messageLines("one line"), (Lines{"one line"}));
}

TEST(EventSoundName, Choice) {
    struct Case {
        uint8_t fatal;
        const char* sound;
        const char* name;
    };
    const Case cases[] = {
        {1, "-", "die"}, {1, "boom", "boom"}, {1, "", ""},
        {0, "-", ""},    {0, "", ""},         {0, "chime", "chime"},
    };
    for (const Case& c : cases) {
        GameEvent e;
        e.fatal = c.fatal;
        e.sound = c.sound;
        EXPECT_EQ(eventSoundName(e), c.name) << "fatal " << int(c.fatal) << " sound " << c.sound;
    }
}

}  // namespace
}  // namespace drusk
