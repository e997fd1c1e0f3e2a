// Keys as the game sees them: the queue the window thread fills, the
// game-side polls and waits, and the rule that turns a key press into an
// extended code.
#pragma once

#include <cstdint>
#include <string>

namespace drusk {

// 0 no key; -128..255 a code page 437 character (bytes 0x80..0xFF held as
// negative values); (b << 8) | 0xFF an extended key with second byte b.
using KeyCode = int32_t;

// Empty, one character byte, or 0xFF followed by the second byte.
using KeyString = std::string;

inline constexpr KeyCode noKey = 0;
inline constexpr KeyCode closeRequestKey = 0x6BFF;

inline constexpr KeyCode extendedKey(uint8_t secondByte) {
    return static_cast<KeyCode>((static_cast<uint32_t>(secondByte) << 8) | 0xFF);
}

// A ring of 16 slots: empty when head equals tail, so at most 15 keys wait.
// Guarded by the display lock, like the flag beside it.
inline constexpr int keyQueueSlots = 16;
struct KeyQueue {
    KeyCode slots[keyQueueSlots] = {};
    int32_t head = 0;  // oldest waiting key
    int32_t tail = 0;  // next free slot
    bool keyArrived = false;
};

// The one queue of the run. Touch it only while holding displayLock().
KeyQueue& keyQueue();

// Appends a key; a full queue drops its oldest key. Takes the display lock
// (the window thread already holds it for its cycle).
void pushKey(KeyCode code);

// The string form of a taken code.
KeyString keyStringFromCode(KeyCode code);

// Takes the oldest waiting key, or "" when none waits. Never waits.
KeyString pollKey();

// Blocks until a key can be taken and returns its code, checking every
// 20 milliseconds. With no screen open and nothing waiting no key can ever
// come, so it returns 0 instead of waiting for ever.
KeyCode waitKey();

// 1..99: a plain pause. 100 and more: pauses in 50 ms slices and ends early
// when a key arrives. -1: waits in 50 ms slices for a key (returns at once
// when no screen is open). Any other value returns at once.
void sleepMs(int32_t ms);

// What sleepMs needs from the world, so its slicing can be checked without
// waiting on a clock.
struct SleepHooks {
    void (*pause)(int32_t ms, void* context);
    // Tests and clears the key-arrived flag.
    bool (*takeKeyArrived)(void* context);
    // False when no key can ever arrive.
    bool (*keysCanArrive)(void* context);
    void* context;
};
void sleepMsWith(int32_t ms, const SleepHooks& hooks);

// Which modifier column of the extended-key table a key press uses: Alt
// when either Alt is down, else Ctrl, else Shift, else Normal.
enum class ModifierColumn : uint8_t { Normal, Shift, Ctrl, Alt };

// Second bytes of extended codes by set-1 scan code and modifier column;
// 0 is an empty cell.
struct ExtendedKeyTable {
    // Keys flagged as extended (cursor and editing block, keypad Enter and /).
    uint8_t extendedPart[0x59][4];
    // Every other key with a scan code up to 0x58.
    uint8_t mainPart[0x59][4];
};
const ExtendedKeyTable& extendedKeyTable();

// Turns a key press into an extended code, or 0 for none.
// typed: the character the layout produces for this press, 0 for none.
// unshifted: the key's own unshifted character (capitals for letters), 0
// for keys without one.
KeyCode translateKeyDown(int32_t scanCode, bool extended, ModifierColumn column, int32_t typed,
                         int32_t unshifted);

}  // namespace drusk
