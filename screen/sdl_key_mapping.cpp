#include "screen/sdl_key_mapping.h"

#include <cstring>

#include "screen/code_page_437.h"

namespace drusk {

namespace {

struct ScanCodeEntry {
    SDL_Scancode scancode;
    uint8_t code;
    bool extended;
};

constexpr ScanCodeEntry scanCodes[] = {
    {SDL_SCANCODE_ESCAPE, 0x01, false},
    {SDL_SCANCODE_1, 0x02, false},
    {SDL_SCANCODE_2, 0x03, false},
    {SDL_SCANCODE_3, 0x04, false},
    {SDL_SCANCODE_4, 0x05, false},
    {SDL_SCANCODE_5, 0x06, false},
    {SDL_SCANCODE_6, 0x07, false},
    {SDL_SCANCODE_7, 0x08, false},
    {SDL_SCANCODE_8, 0x09, false},
    {SDL_SCANCODE_9, 0x0A, false},
    {SDL_SCANCODE_0, 0x0B, false},
    {SDL_SCANCODE_MINUS, 0x0C, false},
    {SDL_SCANCODE_EQUALS, 0x0D, false},
    {SDL_SCANCODE_BACKSPACE, 0x0E, false},
    {SDL_SCANCODE_TAB, 0x0F, false},
    {SDL_SCANCODE_Q, 0x10, false},
    {SDL_SCANCODE_W, 0x11, false},
    {SDL_SCANCODE_E, 0x12, false},
    {SDL_SCANCODE_R, 0x13, false},
    {SDL_SCANCODE_T, 0x14, false},
    {SDL_SCANCODE_Y, 0x15, false},
    {SDL_SCANCODE_U, 0x16, false},
    {SDL_SCANCODE_I, 0x17, false},
    {SDL_SCANCODE_O, 0x18, false},
    {SDL_SCANCODE_P, 0x19, false},
    {SDL_SCANCODE_LEFTBRACKET, 0x1A, false},
    {SDL_SCANCODE_RIGHTBRACKET, 0x1B, false},
    {SDL_SCANCODE_RETURN, 0x1C, false},
    {SDL_SCANCODE_LCTRL, 0x1D, false},
    {SDL_SCANCODE_A, 0x1E, false},
    {SDL_SCANCODE_S, 0x1F, false},
    {SDL_SCANCODE_D, 0x20, false},
    {SDL_SCANCODE_F, 0x21, false},
    {SDL_SCANCODE_G, 0x22, false},
    {SDL_SCANCODE_H, 0x23, false},
    {SDL_SCANCODE_J, 0x24, false},
    {SDL_SCANCODE_K, 0x25, false},
    {SDL_SCANCODE_L, 0x26, false},
    {SDL_SCANCODE_SEMICOLON, 0x27, false},
    {SDL_SCANCODE_APOSTROPHE, 0x28, false},
    {SDL_SCANCODE_GRAVE, 0x29, false},
    {SDL_SCANCODE_LSHIFT, 0x2A, false},
    {SDL_SCANCODE_BACKSLASH, 0x2B, false},
    {SDL_SCANCODE_NONUSHASH, 0x2B, false},
    {SDL_SCANCODE_Z, 0x2C, false},
    {SDL_SCANCODE_X, 0x2D, false},
    {SDL_SCANCODE_C, 0x2E, false},
    {SDL_SCANCODE_V, 0x2F, false},
    {SDL_SCANCODE_B, 0x30, false},
    {SDL_SCANCODE_N, 0x31, false},
    {SDL_SCANCODE_M, 0x32, false},
    {SDL_SCANCODE_COMMA, 0x33, false},
    {SDL_SCANCODE_PERIOD, 0x34, false},
    {SDL_SCANCODE_SLASH, 0x35, false},
    {SDL_SCANCODE_RSHIFT, 0x36, false},
    {SDL_SCANCODE_KP_MULTIPLY, 0x37, false},
    {SDL_SCANCODE_LALT, 0x38, false},
    {SDL_SCANCODE_SPACE, 0x39, false},
    {SDL_SCANCODE_CAPSLOCK, 0x3A, false},
    {SDL_SCANCODE_F1, 0x3B, false},
    {SDL_SCANCODE_F2, 0x3C, false},
    {SDL_SCANCODE_F3, 0x3D, false},
    {SDL_SCANCODE_F4, 0x3E, false},
    {SDL_SCANCODE_F5, 0x3F, false},
    {SDL_SCANCODE_F6, 0x40, false},
    {SDL_SCANCODE_F7, 0x41, false},
    {SDL_SCANCODE_F8, 0x42, false},
    {SDL_SCANCODE_F9, 0x43, false},
    {SDL_SCANCODE_F10, 0x44, false},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x45, false},
    {SDL_SCANCODE_SCROLLLOCK, 0x46, false},
    {SDL_SCANCODE_KP_7, 0x47, false},
    {SDL_SCANCODE_KP_8, 0x48, false},
    {SDL_SCANCODE_KP_9, 0x49, false},
    {SDL_SCANCODE_KP_MINUS, 0x4A, false},
    {SDL_SCANCODE_KP_4, 0x4B, false},
    {SDL_SCANCODE_KP_5, 0x4C, false},
    {SDL_SCANCODE_KP_6, 0x4D, false},
    {SDL_SCANCODE_KP_PLUS, 0x4E, false},
    {SDL_SCANCODE_KP_1, 0x4F, false},
    {SDL_SCANCODE_KP_2, 0x50, false},
    {SDL_SCANCODE_KP_3, 0x51, false},
    {SDL_SCANCODE_KP_0, 0x52, false},
    {SDL_SCANCODE_KP_PERIOD, 0x53, false},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56, false},
    {SDL_SCANCODE_F11, 0x57, false},
    {SDL_SCANCODE_F12, 0x58, false},
    {SDL_SCANCODE_KP_EQUALS, 0x59, false},
    {SDL_SCANCODE_F13, 0x64, false},
    {SDL_SCANCODE_F14, 0x65, false},
    {SDL_SCANCODE_F15, 0x66, false},
    {SDL_SCANCODE_INTERNATIONAL2, 0x70, false},
    {SDL_SCANCODE_INTERNATIONAL1, 0x73, false},
    {SDL_SCANCODE_INTERNATIONAL4, 0x79, false},
    {SDL_SCANCODE_INTERNATIONAL5, 0x7B, false},
    {SDL_SCANCODE_INTERNATIONAL3, 0x7D, false},
    {SDL_SCANCODE_KP_ENTER, 0x1C, true},
    {SDL_SCANCODE_RCTRL, 0x1D, true},
    {SDL_SCANCODE_KP_DIVIDE, 0x35, true},
    {SDL_SCANCODE_PRINTSCREEN, 0x37, true},
    {SDL_SCANCODE_RALT, 0x38, true},
    {SDL_SCANCODE_PAUSE, 0x45, true},
    {SDL_SCANCODE_HOME, 0x47, true},
    {SDL_SCANCODE_UP, 0x48, true},
    {SDL_SCANCODE_PAGEUP, 0x49, true},
    {SDL_SCANCODE_LEFT, 0x4B, true},
    {SDL_SCANCODE_RIGHT, 0x4D, true},
    {SDL_SCANCODE_END, 0x4F, true},
    {SDL_SCANCODE_DOWN, 0x50, true},
    {SDL_SCANCODE_PAGEDOWN, 0x51, true},
    {SDL_SCANCODE_INSERT, 0x52, true},
    {SDL_SCANCODE_DELETE, 0x53, true},
    {SDL_SCANCODE_LGUI, 0x5B, true},
    {SDL_SCANCODE_RGUI, 0x5C, true},
    {SDL_SCANCODE_APPLICATION, 0x5D, true},
};

bool isKeypadDigit(SDL_Keycode sym) {
    return (sym >= SDLK_KP_1 && sym <= SDLK_KP_0) || sym == SDLK_KP_PERIOD;
}

char keypadDigit(SDL_Keycode sym) {
    if (sym == SDLK_KP_PERIOD) return '.';
    if (sym == SDLK_KP_0) return '0';
    return static_cast<char>('1' + (sym - SDLK_KP_1));
}

// Keypad keys that type the same character whatever Num Lock says.
char keypadOperator(SDL_Keycode sym) {
    switch (sym) {
        case SDLK_KP_DIVIDE:
            return '/';
        case SDLK_KP_MULTIPLY:
            return '*';
        case SDLK_KP_MINUS:
            return '-';
        case SDLK_KP_PLUS:
            return '+';
        default:
            return 0;
    }
}

bool isPrintable(SDL_Keycode sym) {
    return sym >= 0x20 && sym <= 0x7E;
}

bool isLetter(SDL_Keycode sym) {
    return sym >= 'a' && sym <= 'z';
}

void append(SdlKeyInput& input, KeyCode code) {
    if (input.count < static_cast<int>(sizeof input.codes / sizeof input.codes[0])) {
        input.codes[input.count++] = code;
    }
}

struct Modifiers {
    bool shift;
    bool ctrl;
    bool alt;
};

// AltGr is Ctrl and Alt together, as on the keyboards it comes from.
Modifiers modifiersOf(uint16_t mod) {
    bool altGr = (mod & KMOD_MODE) != 0;
    return {(mod & KMOD_SHIFT) != 0, (mod & KMOD_CTRL) != 0 || altGr,
            (mod & KMOD_ALT) != 0 || altGr};
}

// The control characters a key press delivers itself; typed text brings
// every other character.
KeyCode pressedCharacter(SDL_Keycode sym, Modifiers mods) {
    if (mods.ctrl && mods.alt) return 0;
    if (mods.ctrl) return isLetter(sym) ? static_cast<KeyCode>(sym - 'a' + 1) : 0;
    switch (sym) {
        case SDLK_ESCAPE:
            return 27;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return 13;
        case SDLK_BACKSPACE:
            return 8;
        case SDLK_TAB:
            return 9;
        default:
            return 0;
    }
}

// The character this press types, as the extended-key rule compares it.
int32_t typedCharacter(SDL_Keycode sym, uint16_t mod, Modifiers mods) {
    KeyCode pressed = pressedCharacter(sym, mods);
    if (pressed != 0) return pressed;
    if (mods.ctrl) return 0;
    if (char op = keypadOperator(sym)) return op;
    if (isKeypadDigit(sym)) {
        return ((mod & KMOD_NUM) != 0 && !mods.shift) ? keypadDigit(sym) : 0;
    }
    if (isLetter(sym) && (mods.shift != ((mod & KMOD_CAPS) != 0))) return sym - 'a' + 'A';
    return isPrintable(sym) ? static_cast<int32_t>(sym) : 0;
}

// The key's own character without Shift, capital for letters.
int32_t unshiftedCharacter(SDL_Keycode sym, uint16_t mod) {
    if (isLetter(sym)) return sym - 'a' + 'A';
    if (isPrintable(sym)) return sym;
    if (char op = keypadOperator(sym)) return op;
    if (isKeypadDigit(sym)) return (mod & KMOD_NUM) != 0 ? keypadDigit(sym) : 0;
    switch (sym) {
        case SDLK_TAB:
            return 9;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return 13;
        case SDLK_ESCAPE:
            return 27;
        case SDLK_BACKSPACE:
            return 8;
        default:
            return 0;
    }
}

void mapKeyDown(const SDL_KeyboardEvent& key, SdlKeyTracker& tracker, SdlKeyInput& input) {
    Modifiers mods = modifiersOf(key.keysym.mod);
    SDL_Keycode sym = key.keysym.sym;
    // A press with Alt but not Ctrl is the system's: it types nothing, and
    // only Alt+Enter means something (switching the form).
    if (mods.alt && !mods.ctrl) {
        tracker.textAllowed = false;
        if ((sym == SDLK_RETURN || sym == SDLK_KP_ENTER) && key.repeat == 0) {
            input.switchForm = true;
        }
        return;
    }
    // With Ctrl alone the press brings its own control character; whatever
    // text the platform adds would be a second copy. Ctrl with Alt (AltGr)
    // types the layout's third-level characters as text.
    tracker.textAllowed = !mods.ctrl || mods.alt;
    PcScanCode pc = pcScanCode(key.keysym.scancode);
    // F10 belongs to the system in every combination.
    if (pc.code == 0x44 && !pc.extended) return;
    ModifierColumn column = mods.alt ? ModifierColumn::Alt
                            : mods.ctrl
                                ? ModifierColumn::Ctrl
                                : (mods.shift ? ModifierColumn::Shift : ModifierColumn::Normal);
    KeyCode extended =
        translateKeyDown(pc.code, pc.extended, column, typedCharacter(sym, key.keysym.mod, mods),
                         unshiftedCharacter(sym, key.keysym.mod));
    if (extended != noKey) append(input, extended);
    if (KeyCode pressed = pressedCharacter(sym, mods)) append(input, pressed);
}

void mapText(const SDL_TextInputEvent& text, const SdlKeyTracker& tracker, SdlKeyInput& input) {
    if (!tracker.textAllowed) return;
    size_t size = strnlen(text.text, sizeof text.text);
    size_t offset = 0;
    while (offset < size) {
        char32_t c = nextUtf8Character(text.text, size, &offset);
        if (c < 0x20 || c == 0x7F) continue;
        append(input, static_cast<int8_t>(codePage437FromUnicode(c)));
    }
}

}  // namespace

PcScanCode pcScanCode(SDL_Scancode scancode) {
    for (const ScanCodeEntry& entry : scanCodes) {
        if (entry.scancode == scancode) return {entry.code, entry.extended};
    }
    return {0, false};
}

SdlKeyInput mapSdlEvent(const SDL_Event& event, SdlKeyTracker& tracker) {
    SdlKeyInput input;
    switch (event.type) {
        case SDL_KEYDOWN:
            mapKeyDown(event.key, tracker, input);
            break;
        case SDL_TEXTINPUT:
            mapText(event.text, tracker, input);
            break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_CLOSE) append(input, closeRequestKey);
            break;
        case SDL_QUIT:
            append(input, closeRequestKey);
            break;
        default:
            break;
    }
    return input;
}

}  // namespace drusk
