// The key queue, the game-side polls, waits and sleeps, and the extended-key
// rule.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "screen/keyboard.h"
#include "screen/screen.h"

namespace drusk {
namespace {

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

void drainQueue() {
    while (!pollKey().empty()) {
    }
    std::lock_guard<std::recursive_mutex> hold(displayLock());
    keyQueue().head = keyQueue().tail = 0;
    keyQueue().keyArrived = false;
}

// Keys arrive only while a screen is open, so the tests open one in memory.
class Keyboard : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("DRUSK_SCREEN", "null", 1);
        ASSERT_EQ(openScreen(640, 480, 32, 2, 0x41, 0), 0);
        drainQueue();
    }
    void TearDown() override {
        drainQueue();
        closeScreen();
        unsetenv("DRUSK_SCREEN");
    }
};

TEST_F(Keyboard, FullQueueKeepsTheFifteenNewestInOrder) {
    for (int i = 1; i <= 16; ++i)
        pushKey('a' + i - 1);
    for (int i = 2; i <= 16; ++i)
        EXPECT_EQ(pollKey(), std::string(1, 'a' + i - 1));
    EXPECT_EQ(pollKey(), "");

    for (int i = 0; i < 40; ++i)
        pushKey(extendedKey(static_cast<uint8_t>(i + 1)));
    for (int i = 25; i < 40; ++i)
        EXPECT_EQ(pollKey(), keyStringFromCode(extendedKey(i + 1)));
    EXPECT_EQ(pollKey(), "");
}

TEST(KeyString, FormsByCodeRange) {
    struct Case {
        KeyCode code;
        std::string bytes;
    };
    const Case cases[] = {
        {0, ""},
        {27, "\x1B"},
        {13, "\x0D"},
        {1, "\x01"},
        {-128, "\x80"},
        {-1, "\xFF"},
        {0x82 - 256, "\x82"},
        {255, "\xFF"},
        {256, std::string("\xFF\x01", 2)},
        {0x48FF, "\xFF\x48"},
        {0x6BFF, "\xFF\x6B"},
        {0x68FF, "\xFF\x68"},
        {0xFFFF, "\xFF\xFF"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(keyStringFromCode(c.code), c.bytes) << c.code;
}

TEST_F(Keyboard, PollTakesOldestFirstAndNeverWaits) {
    EXPECT_EQ(pollKey(), "");
    pushKey(27);
    pushKey(0x48FF);
    pushKey(0);  // a NUL character reads as no key and is gone
    pushKey('x');
    EXPECT_EQ(pollKey(), "\x1B");
    EXPECT_EQ(pollKey(), "\xFF\x48");
    EXPECT_EQ(pollKey(), "");
    EXPECT_EQ(pollKey(), "x");
    EXPECT_EQ(pollKey(), "");
}

TEST_F(Keyboard, WaitKeyConsumesWhateverEndsIt) {
    pushKey(0);
    pushKey(closeRequestKey);
    pushKey(27);
    EXPECT_EQ(waitKey(), closeRequestKey);
    EXPECT_EQ(waitKey(), 27);
    EXPECT_EQ(pollKey(), "");
}

TEST_F(Keyboard, WaitKeyReturnsAKeyPushedLater) {
    std::thread window([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pushKey(0x50FF);
    });
    Clock::time_point start = Clock::now();
    EXPECT_EQ(waitKey(), 0x50FF);
    EXPECT_GE(msSince(start), 100);
    window.join();
    EXPECT_EQ(pollKey(), "");
}

TEST(KeyboardWithoutScreen, WaitKeyAndEndlessSleepReturnWhenNoKeyCanCome) {
    ASSERT_EQ(currentScreen(), nullptr);
    drainQueue();
    EXPECT_EQ(waitKey(), 0);
    sleepMs(-1);
    pushKey('q');
    EXPECT_EQ(waitKey(), 'q');
}

// A fake clock for sleepMs: records pauses and raises the key flag at a
// chosen check.
struct FakeSleep {
    std::vector<int32_t> pauses;
    int checks = 0;
    int keyAtCheck = -1;  // 0-based check that finds the flag set
    bool screenOpen = true;
    SleepHooks hooks() {
        return {[](int32_t ms, void* c) { static_cast<FakeSleep*>(c)->pauses.push_back(ms); },
                [](void* c) {
                    auto* self = static_cast<FakeSleep*>(c);
                    return self->checks++ == self->keyAtCheck;
                },
                [](void* c) { return static_cast<FakeSleep*>(c)->screenOpen; }, this};
    }
};

TEST(SleepMs, SlicesByRange) {
    struct Case {
        int32_t ms;
        int keyAtCheck;
        std::vector<int32_t> pauses;
        int checks;
    };
    const Case cases[] = {
        {10, 0, {10}, 0},  // a plain pause, keys do not shorten it
        {1, -1, {1}, 0},
        {99, 0, {99}, 0},
        {100, -1, {50, 50}, 1},  // the last 50 without looking
        {100, 0, {}, 1},
        {120, -1, {50, 50, 20}, 2},
        {120, 1, {50}, 2},
        {500, -1, {50, 50, 50, 50, 50, 50, 50, 50, 50, 50}, 9},
        {500, 3, {50, 50, 50}, 4},
        {151, -1, {50, 50, 50, 1}, 3},
        {0, 0, {}, 0},
        {-2, 0, {}, 0},
        {-100, 0, {}, 0},
        {-1, 4, {50, 50, 50, 50}, 5},  // until a key, however long
        {-1, 0, {}, 1},
    };
    for (const Case& c : cases) {
        FakeSleep fake;
        fake.keyAtCheck = c.keyAtCheck;
        sleepMsWith(c.ms, fake.hooks());
        EXPECT_EQ(fake.pauses, c.pauses) << "sleepMs(" << c.ms << ")";
        EXPECT_EQ(fake.checks, c.checks) << "sleepMs(" << c.ms << ")";
    }
}

TEST(SleepMs, EndlessSleepEndsWhenNoScreenIsOpen) {
    FakeSleep fake;
    fake.screenOpen = false;
    sleepMsWith(-1, fake.hooks());
    EXPECT_TRUE(fake.pauses.empty());
}

TEST_F(Keyboard, ShortSleepIsNotShortenedAndKeepsKeys) {
    std::thread window([] { pushKey('k'); });
    Clock::time_point start = Clock::now();
    sleepMs(60);
    EXPECT_GE(msSince(start), 60);
    window.join();
    EXPECT_EQ(pollKey(), "k");
}

TEST_F(Keyboard, LongSleepEndsForANewKeyButDoesNotTakeIt) {
    std::thread window([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        pushKey(0x4BFF);
    });
    Clock::time_point start = Clock::now();
    sleepMs(5000);
    long elapsed = msSince(start);
    window.join();
    EXPECT_GE(elapsed, 50);
    EXPECT_LT(elapsed, 4000);
    EXPECT_EQ(pollKey(), "\xFF\x4B");
}

TEST_F(Keyboard, LongSleepIgnoresKeysAlreadySeen) {
    pushKey('a');
    pushKey('b');
    EXPECT_EQ(pollKey(), "a");  // taking a key clears the arrival flag
    Clock::time_point start = Clock::now();
    sleepMs(300);
    EXPECT_GE(msSince(start), 300);
    EXPECT_EQ(pollKey(), "b");
}

TEST_F(Keyboard, EndlessSleepEndsWhenAKeyArrives) {
    std::thread window([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        pushKey(27);
    });
    Clock::time_point start = Clock::now();
    sleepMs(-1);
    EXPECT_GE(msSince(start), 50);
    window.join();
    EXPECT_EQ(pollKey(), "\x1B");
}

TEST_F(Keyboard, KeysFromAnotherThreadComeOutInTypingOrder) {
    std::atomic<bool> done{false};
    std::thread window([&] {
        for (int i = 1; i <= 120; ++i) {
            pushKey(i);
            if (i % 5 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        done = true;
    });
    // Whatever a full queue drops, what comes out keeps typing order.
    int last = 0, taken = 0;
    for (;;) {
        bool finished = done.load();
        KeyString key = pollKey();
        if (key.empty()) {
            if (finished) break;
            std::this_thread::yield();
            continue;
        }
        int value = static_cast<unsigned char>(key[0]);
        EXPECT_GT(value, last);
        last = value;
        ++taken;
    }
    window.join();
    EXPECT_EQ(last, 120);
    EXPECT_GE(taken, 15);
}

// translateKeyDown over the four modifier columns. typed is the character the
// press produces; unshifted the key's own character.
TEST(TranslateKeyDown, ExtendedCodesByModifierColumn) {
    struct Case {
        const char* key;
        int32_t scan;
        bool extended;
        int32_t typed;
        int32_t unshifted;
        uint8_t normal, shift, ctrl, alt;  // second bytes, 0 for none
    };
    const Case cases[] = {
        {"up", 0x48, true, 0, 0, 0x48, 0x48, 0x8D, 0x98},
        {"down", 0x50, true, 0, 0, 0x50, 0x50, 0x91, 0xA0},
        {"left", 0x4B, true, 0, 0, 0x4B, 0x4B, 0x73, 0x9B},
        {"right", 0x4D, true, 0, 0, 0x4D, 0x4D, 0x74, 0x9D},
        {"home", 0x47, true, 0, 0, 0x47, 0x47, 0x77, 0x97},
        {"page up", 0x49, true, 0, 0, 0x49, 0x49, 0x84, 0x99},
        {"end", 0x4F, true, 0, 0, 0x4F, 0x4F, 0x75, 0x9F},
        {"page down", 0x51, true, 0, 0, 0x51, 0x51, 0x76, 0xA1},
        {"insert", 0x52, true, 0, 0, 0x52, 0x52, 0x92, 0xA2},
        {"delete", 0x53, true, 0, 0, 0x53, 0x53, 0x93, 0xA3},
        {"keypad enter", 0x1C, true, 0, 13, 0, 0, 0, 0xA6},
        {"keypad /", 0x35, true, 0, '/', 0, 0, 0x95, 0xA4},
        {"F1", 0x3B, false, 0, 0, 0x3B, 0x54, 0x5E, 0x68},
        {"F4", 0x3E, false, 0, 0, 0x3E, 0x57, 0x61, 0x6B},
        {"F9", 0x43, false, 0, 0, 0x43, 0x5C, 0x66, 0x70},
        {"F11", 0x57, false, 0, 0, 0x85, 0x87, 0x89, 0x8B},
        {"F12", 0x58, false, 0, 0, 0x86, 0x88, 0x8A, 0x8C},
        {"keypad 7, no Num Lock", 0x47, false, 0, 0, 0x47, 0, 0x77, 0},
        {"keypad 5, no Num Lock", 0x4C, false, 0, 0, 0x4C, 0, 0x8F, 0x4C},
        {"keypad 0, no Num Lock", 0x52, false, 0, 0, 0x52, 0, 0x92, 0},
        {"tab typing tab", 0x0F, false, 9, 9, 0, 0x0F, 0x94, 0x0F},
        {"tab typing nothing", 0x0F, false, 0, 9, 0, 0, 0, 0},
        {"letter a", 0x1E, false, 'a', 'A', 0, 0, 0, 0},
        {"escape", 0x01, false, 27, 27, 0, 0, 0, 0},
        {"keypad 7 typing 7", 0x47, false, '7', '7', 0, 0, 0x77, 0},
        {"left windows key", 0x5B, true, 0, 0, 0, 0, 0, 0},
        {"past the table", 0x59, false, 0, 0, 0, 0, 0, 0},
        {"negative", -1, false, 0, 0, 0, 0, 0, 0},
    };
    const ModifierColumn columns[] = {ModifierColumn::Normal, ModifierColumn::Shift,
                                      ModifierColumn::Ctrl, ModifierColumn::Alt};
    for (const Case& c : cases) {
        const uint8_t expected[] = {c.normal, c.shift, c.ctrl, c.alt};
        for (int i = 0; i < 4; ++i) {
            KeyCode want = expected[i] ? extendedKey(expected[i]) : noKey;
            EXPECT_EQ(translateKeyDown(c.scan, c.extended, columns[i], c.typed, c.unshifted), want)
                << c.key << " column " << i;
        }
    }
}

TEST(TranslateKeyDown, TypedCharacterMustBeTheKeysOwnInEitherCase) {
    // A cell applies only when the press types the key's own character.
    EXPECT_EQ(translateKeyDown(0x0F, false, ModifierColumn::Shift, 9, 9), extendedKey(0x0F));
    EXPECT_EQ(translateKeyDown(0x0F, false, ModifierColumn::Shift, 'x', 9), noKey);
    EXPECT_EQ(translateKeyDown(0x4C, false, ModifierColumn::Alt, 'q', 'Q'), extendedKey(0x4C));
    EXPECT_EQ(translateKeyDown(0x4C, false, ModifierColumn::Alt, 'Q', 'q'), extendedKey(0x4C));
    EXPECT_EQ(translateKeyDown(0x4C, false, ModifierColumn::Alt, 'r', 'Q'), noKey);
    // An extended key that types something uses the main part.
    EXPECT_EQ(translateKeyDown(0x48, true, ModifierColumn::Ctrl, '8', '8'), extendedKey(0x8D));
    EXPECT_EQ(translateKeyDown(0x48, true, ModifierColumn::Normal, '8', '8'), noKey);
}

TEST(ExtendedKeyTable, MainPartHoldsOnlyTheListedRows) {
    const ExtendedKeyTable& table = extendedKeyTable();
    int filledMain = 0, filledExtended = 0;
    for (int s = 0; s <= 0x58; ++s) {
        for (int c = 0; c < 4; ++c) {
            filledMain += table.mainPart[s][c] != 0;
            filledExtended += table.extendedPart[s][c] != 0;
        }
    }
    // Tab 3, F1..F12 48, keypad 11 rows: 10 with Normal and Ctrl, keypad 5 with Alt too.
    EXPECT_EQ(filledMain, 3 + 48 + 11 * 2 + 1);
    EXPECT_EQ(filledExtended, 1 + 2 + 10 * 4);
}

}  // namespace
}  // namespace drusk
