#include "screen/keyboard.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "screen/screen.h"

namespace drusk {

namespace {

constexpr int columnIndex(ModifierColumn column) {
    return static_cast<int>(column);
}

constexpr ExtendedKeyTable buildExtendedKeyTable() {
    ExtendedKeyTable table{};
    auto ext = [&](int scan, uint8_t normal, uint8_t shift, uint8_t ctrl, uint8_t alt) {
        table.extendedPart[scan][0] = normal;
        table.extendedPart[scan][1] = shift;
        table.extendedPart[scan][2] = ctrl;
        table.extendedPart[scan][3] = alt;
    };
    auto main = [&](int scan, uint8_t normal, uint8_t shift, uint8_t ctrl, uint8_t alt) {
        table.mainPart[scan][0] = normal;
        table.mainPart[scan][1] = shift;
        table.mainPart[scan][2] = ctrl;
        table.mainPart[scan][3] = alt;
    };

    ext(0x1C, 0, 0, 0, 0xA6);           // keypad Enter
    ext(0x35, 0, 0, 0x95, 0xA4);        // keypad /
    ext(0x47, 0x47, 0x47, 0x77, 0x97);  // Home
    ext(0x48, 0x48, 0x48, 0x8D, 0x98);  // up
    ext(0x49, 0x49, 0x49, 0x84, 0x99);  // Page Up
    ext(0x4B, 0x4B, 0x4B, 0x73, 0x9B);  // left
    ext(0x4D, 0x4D, 0x4D, 0x74, 0x9D);  // right
    ext(0x4F, 0x4F, 0x4F, 0x75, 0x9F);  // End
    ext(0x50, 0x50, 0x50, 0x91, 0xA0);  // down
    ext(0x51, 0x51, 0x51, 0x76, 0xA1);  // Page Down
    ext(0x52, 0x52, 0x52, 0x92, 0xA2);  // Insert
    ext(0x53, 0x53, 0x53, 0x93, 0xA3);  // Delete

    main(0x0F, 0, 0x0F, 0x94, 0x0F);  // Tab
    for (int k = 0; k < 10; ++k) {    // F1..F10
        main(0x3B + k, static_cast<uint8_t>(0x3B + k), static_cast<uint8_t>(0x54 + k),
             static_cast<uint8_t>(0x5E + k), static_cast<uint8_t>(0x68 + k));
    }
    main(0x57, 0x85, 0x87, 0x89, 0x8B);  // F11
    main(0x58, 0x86, 0x88, 0x8A, 0x8C);  // F12
    // The keypad with Num Lock off behaves like the cursor block.
    main(0x47, 0x47, 0, 0x77, 0);
    main(0x48, 0x48, 0, 0x8D, 0);
    main(0x49, 0x49, 0, 0x84, 0);
    main(0x4B, 0x4B, 0, 0x73, 0);
    main(0x4C, 0x4C, 0, 0x8F, 0x4C);
    main(0x4D, 0x4D, 0, 0x74, 0);
    main(0x4F, 0x4F, 0, 0x75, 0);
    main(0x50, 0x50, 0, 0x91, 0);
    main(0x51, 0x51, 0, 0x76, 0);
    main(0x52, 0x52, 0, 0x92, 0);
    main(0x53, 0x53, 0, 0x93, 0);
    return table;
}

constexpr ExtendedKeyTable theExtendedKeyTable = buildExtendedKeyTable();

KeyCode takeKey() {
    std::lock_guard<std::recursive_mutex> hold(displayLock());
    KeyQueue& queue = keyQueue();
    KeyCode code = noKey;
    if (queue.head != queue.tail) {
        code = queue.slots[queue.head];
        queue.head = (queue.head + 1) % keyQueueSlots;
    }
    queue.keyArrived = false;
    return code;
}

void pauseFor(int32_t ms, void*) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool takeKeyArrivedFlag(void*) {
    std::lock_guard<std::recursive_mutex> hold(displayLock());
    bool arrived = keyQueue().keyArrived;
    keyQueue().keyArrived = false;
    return arrived;
}

// Only an open screen's window thread appends keys; the queue can still be
// filled by hand without one (tests do), so waiting keys count too.
bool screenIsOpen(void*) {
    std::lock_guard<std::recursive_mutex> hold(displayLock());
    return currentScreen() != nullptr;
}

const SleepHooks realSleepHooks = {pauseFor, takeKeyArrivedFlag, screenIsOpen, nullptr};

}  // namespace

KeyQueue& keyQueue() {
    static KeyQueue queue;
    return queue;
}

void pushKey(KeyCode code) {
    std::lock_guard<std::recursive_mutex> hold(displayLock());
    KeyQueue& queue = keyQueue();
    queue.slots[queue.tail] = code;
    int32_t next = (queue.tail + 1) % keyQueueSlots;
    if (next == queue.head) queue.head = (next + 1) % keyQueueSlots;
    queue.tail = next;
    queue.keyArrived = true;
}

KeyString keyStringFromCode(KeyCode code) {
    if (code == noKey) return {};
    if (code >= -128 && code <= 255) return KeyString(1, static_cast<char>(code & 0xFF));
    return KeyString{static_cast<char>(0xFF), static_cast<char>((code >> 8) & 0xFF)};
}

KeyString pollKey() {
    return keyStringFromCode(takeKey());
}

KeyCode waitKey() {
    for (;;) {
        KeyCode code = takeKey();
        sleepMs(20);
        if (code != noKey) return code;
        if (!screenIsOpen(nullptr)) {
            std::lock_guard<std::recursive_mutex> hold(displayLock());
            if (keyQueue().head == keyQueue().tail) return noKey;
        }
    }
}

void sleepMs(int32_t ms) {
    sleepMsWith(ms, realSleepHooks);
}

void sleepMsWith(int32_t ms, const SleepHooks& hooks) {
    if (ms >= 1 && ms <= 99) {
        hooks.pause(ms, hooks.context);
        return;
    }
    if (ms >= 100) {
        do {
            if (hooks.takeKeyArrived(hooks.context)) return;
            hooks.pause(50, hooks.context);
            ms -= 50;
        } while (ms > 50);
        hooks.pause(ms, hooks.context);
        return;
    }
    if (ms == -1) {
        for (;;) {
            if (hooks.takeKeyArrived(hooks.context)) return;
            if (!hooks.keysCanArrive(hooks.context)) return;
            hooks.pause(50, hooks.context);
        }
    }
}

const ExtendedKeyTable& extendedKeyTable() {
    return theExtendedKeyTable;
}

KeyCode translateKeyDown(int32_t scanCode, bool extended, ModifierColumn column, int32_t typed,
                         int32_t unshifted) {
    const ExtendedKeyTable& table = theExtendedKeyTable;
    int col = columnIndex(column);
    if (extended && typed == 0) {
        if (scanCode < 0 || scanCode > 0x58) return noKey;
        uint8_t cell = table.extendedPart[scanCode][col];
        return cell ? extendedKey(cell) : noKey;
    }
    if (scanCode < 0 || scanCode > 0x58) return noKey;
    if (column == ModifierColumn::Normal && typed != 0) return noKey;
    uint8_t cell = table.mainPart[scanCode][col];
    if (cell == 0) return noKey;
    int32_t swapped = unshifted;
    if (unshifted >= 'A' && unshifted <= 'Z') swapped = unshifted + ('a' - 'A');
    if (unshifted >= 'a' && unshifted <= 'z') swapped = unshifted - ('a' - 'A');
    return (typed == unshifted || typed == swapped) ? extendedKey(cell) : noKey;
}

}  // namespace drusk
