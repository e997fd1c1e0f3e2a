// From SDL's key and text events to queued key codes, and typed text to code
// page 437.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "screen/code_page_437.h"
#include "screen/sdl_key_mapping.h"

namespace drusk {
namespace {

SDL_Event keyDown(SDL_Scancode scancode, SDL_Keycode sym, uint16_t mod = KMOD_NONE,
                  bool repeat = false) {
    SDL_Event event = {};
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    event.key.repeat = repeat ? 1 : 0;
    event.key.keysym.scancode = scancode;
    event.key.keysym.sym = sym;
    event.key.keysym.mod = mod;
    return event;
}

SDL_Event keyUp(SDL_Scancode scancode, SDL_Keycode sym) {
    SDL_Event event = keyDown(scancode, sym);
    event.type = SDL_KEYUP;
    event.key.state = SDL_RELEASED;
    return event;
}

SDL_Event textInput(const char* utf8) {
    SDL_Event event = {};
    event.type = SDL_TEXTINPUT;
    std::strncpy(event.text.text, utf8, sizeof event.text.text - 1);
    return event;
}

std::vector<KeyCode> codesOf(const SdlKeyInput& input) {
    return std::vector<KeyCode>(input.codes, input.codes + input.count);
}

// A key press and the text the platform sends for it, through one tracker.
std::vector<KeyCode> press(const SDL_Event& down, const char* text = nullptr) {
    SdlKeyTracker tracker;
    std::vector<KeyCode> codes = codesOf(mapSdlEvent(down, tracker));
    if (text) {
        std::vector<KeyCode> more = codesOf(mapSdlEvent(textInput(text), tracker));
        codes.insert(codes.end(), more.begin(), more.end());
    }
    return codes;
}

constexpr uint16_t shift = KMOD_LSHIFT;
constexpr uint16_t ctrl = KMOD_LCTRL;
constexpr uint16_t alt = KMOD_LALT;
constexpr uint16_t altGr = KMOD_MODE;
constexpr uint16_t numLock = KMOD_NUM;

TEST(SdlKeyMapping, KeyPressesAndTheirText) {
    struct Case {
        const char* name;
        SDL_Event down;
        const char* text;
        std::vector<KeyCode> codes;
    };
    const Case cases[] = {
        {"escape", keyDown(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE), nullptr, {27}},
        {"enter", keyDown(SDL_SCANCODE_RETURN, SDLK_RETURN), nullptr, {13}},
        {"keypad enter", keyDown(SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER), nullptr, {13}},
        {"backspace", keyDown(SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE), nullptr, {8}},
        {"tab", keyDown(SDL_SCANCODE_TAB, SDLK_TAB), nullptr, {9}},
        {"shift+tab", keyDown(SDL_SCANCODE_TAB, SDLK_TAB, shift), nullptr, {0x0FFF, 9}},
        {"up", keyDown(SDL_SCANCODE_UP, SDLK_UP), nullptr, {0x48FF}},
        {"down", keyDown(SDL_SCANCODE_DOWN, SDLK_DOWN), nullptr, {0x50FF}},
        {"left", keyDown(SDL_SCANCODE_LEFT, SDLK_LEFT), nullptr, {0x4BFF}},
        {"right", keyDown(SDL_SCANCODE_RIGHT, SDLK_RIGHT), nullptr, {0x4DFF}},
        {"shift+up", keyDown(SDL_SCANCODE_UP, SDLK_UP, shift), nullptr, {0x48FF}},
        {"ctrl+up", keyDown(SDL_SCANCODE_UP, SDLK_UP, ctrl), nullptr, {0x8DFF}},
        {"ctrl+alt+delete",
         keyDown(SDL_SCANCODE_DELETE, SDLK_DELETE, ctrl | alt),
         nullptr,
         {0xA3FF}},
        {"alt+up", keyDown(SDL_SCANCODE_UP, SDLK_UP, alt), nullptr, {}},
        {"f1", keyDown(SDL_SCANCODE_F1, SDLK_F1), nullptr, {0x3BFF}},
        {"shift+f1", keyDown(SDL_SCANCODE_F1, SDLK_F1, shift), nullptr, {0x54FF}},
        {"ctrl+f1", keyDown(SDL_SCANCODE_F1, SDLK_F1, ctrl), nullptr, {0x5EFF}},
        {"ctrl+alt+f1", keyDown(SDL_SCANCODE_F1, SDLK_F1, ctrl | alt), nullptr, {0x68FF}},
        {"right ctrl+right alt+f1",
         keyDown(SDL_SCANCODE_F1, SDLK_F1, KMOD_RCTRL | KMOD_RALT),
         nullptr,
         {0x68FF}},
        {"altgr+f1", keyDown(SDL_SCANCODE_F1, SDLK_F1, altGr), nullptr, {0x68FF}},
        {"alt+f1", keyDown(SDL_SCANCODE_F1, SDLK_F1, alt), nullptr, {}},
        {"alt+f4", keyDown(SDL_SCANCODE_F4, SDLK_F4, alt), nullptr, {}},
        {"f10", keyDown(SDL_SCANCODE_F10, SDLK_F10), nullptr, {}},
        {"shift+f10", keyDown(SDL_SCANCODE_F10, SDLK_F10, shift), nullptr, {}},
        {"f12", keyDown(SDL_SCANCODE_F12, SDLK_F12), nullptr, {0x86FF}},
        {"a", keyDown(SDL_SCANCODE_A, SDLK_a), "a", {'a'}},
        {"shift+a", keyDown(SDL_SCANCODE_A, SDLK_a, shift), "A", {'A'}},
        {"ctrl+a", keyDown(SDL_SCANCODE_A, SDLK_a, ctrl), nullptr, {1}},
        {"ctrl+shift+z", keyDown(SDL_SCANCODE_Z, SDLK_z, ctrl | shift), nullptr, {26}},
        {"ctrl+1 with stray text", keyDown(SDL_SCANCODE_1, SDLK_1, ctrl), "1", {}},
        {"alt+a types nothing", keyDown(SDL_SCANCODE_A, SDLK_a, alt), "a", {}},
        {"altgr+q types @", keyDown(SDL_SCANCODE_Q, SDLK_q, altGr), "@", {'@'}},
        {"ctrl+alt+e types euro as ?",
         keyDown(SDL_SCANCODE_E, SDLK_e, ctrl | alt),
         "\u20AC",
         {'?'}},
        {"keypad 7 without num lock", keyDown(SDL_SCANCODE_KP_7, SDLK_KP_7), nullptr, {0x47FF}},
        {"keypad 5 without num lock", keyDown(SDL_SCANCODE_KP_5, SDLK_KP_5), nullptr, {0x4CFF}},
        {"ctrl+keypad 7 without num lock",
         keyDown(SDL_SCANCODE_KP_7, SDLK_KP_7, ctrl),
         nullptr,
         {0x77FF}},
        {"keypad 7 with num lock", keyDown(SDL_SCANCODE_KP_7, SDLK_KP_7, numLock), "7", {'7'}},
        {"keypad /", keyDown(SDL_SCANCODE_KP_DIVIDE, SDLK_KP_DIVIDE), "/", {'/'}},
        {"ctrl+keypad /", keyDown(SDL_SCANCODE_KP_DIVIDE, SDLK_KP_DIVIDE, ctrl), nullptr, {0x95FF}},
        {"ctrl+alt+keypad enter",
         keyDown(SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, ctrl | alt),
         nullptr,
         {0xA6FF}},
        {"e acute", keyDown(SDL_SCANCODE_2, SDLK_2), "\u00E9", {static_cast<int8_t>(0x82)}},
        {"two characters at once",
         keyDown(SDL_SCANCODE_A, SDLK_a),
         "\u00FCb",
         {static_cast<int8_t>(0x81), 'b'}},
        {"shift key alone", keyDown(SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, shift), nullptr, {}},
        {"left windows key", keyDown(SDL_SCANCODE_LGUI, SDLK_LGUI), nullptr, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(press(c.down, c.text), c.codes) << c.name;
}

TEST(SdlKeyMapping, AutoRepeatIsOneMoreKeyEach) {
    SdlKeyTracker tracker;
    std::vector<KeyCode> codes;
    for (int i = 0; i < 3; ++i) {
        auto more = codesOf(mapSdlEvent(keyDown(SDL_SCANCODE_UP, SDLK_UP, 0, i > 0), tracker));
        codes.insert(codes.end(), more.begin(), more.end());
    }
    EXPECT_EQ(codes, (std::vector<KeyCode>{0x48FF, 0x48FF, 0x48FF}));
}

TEST(SdlKeyMapping, AltEnterSwitchesOnlyOnItsFirstPress) {
    struct Case {
        const char* name;
        SDL_Event down;
        bool switches;
    };
    const Case cases[] = {
        {"left alt+enter", keyDown(SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_LALT), true},
        {"right alt+enter", keyDown(SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_RALT), true},
        {"alt+keypad enter", keyDown(SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, alt), true},
        {"auto-repeat", keyDown(SDL_SCANCODE_RETURN, SDLK_RETURN, alt, true), false},
        {"enter", keyDown(SDL_SCANCODE_RETURN, SDLK_RETURN), false},
        {"ctrl+alt+enter", keyDown(SDL_SCANCODE_RETURN, SDLK_RETURN, ctrl | alt), false},
    };
    for (const Case& c : cases) {
        SdlKeyTracker tracker;
        SdlKeyInput input = mapSdlEvent(c.down, tracker);
        EXPECT_EQ(input.switchForm, c.switches) << c.name;
        if (c.switches) {
            EXPECT_EQ(input.count, 0) << c.name;
        }
    }
}

TEST(SdlKeyMapping, TextFollowsTheModifiersOfItsKeyPress) {
    SdlKeyTracker tracker;
    EXPECT_EQ(codesOf(mapSdlEvent(keyDown(SDL_SCANCODE_X, SDLK_x, alt), tracker)).size(), 0u);
    EXPECT_EQ(mapSdlEvent(textInput("x"), tracker).count, 0);
    EXPECT_EQ(mapSdlEvent(keyUp(SDL_SCANCODE_X, SDLK_x), tracker).count, 0);
    EXPECT_EQ(mapSdlEvent(keyDown(SDL_SCANCODE_Y, SDLK_y), tracker).count, 0);
    EXPECT_EQ(codesOf(mapSdlEvent(textInput("y"), tracker)), std::vector<KeyCode>{'y'});
}

TEST(SdlKeyMapping, CloseRequestsAndOtherEvents) {
    SdlKeyTracker tracker;
    SDL_Event close = {};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    EXPECT_EQ(codesOf(mapSdlEvent(close, tracker)), std::vector<KeyCode>{closeRequestKey});
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    EXPECT_EQ(codesOf(mapSdlEvent(quit, tracker)), std::vector<KeyCode>{closeRequestKey});
    SDL_Event focus = close;
    focus.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    EXPECT_EQ(mapSdlEvent(focus, tracker).count, 0);
    EXPECT_EQ(mapSdlEvent(keyUp(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE), tracker).count, 0);
    SDL_Event motion = {};
    motion.type = SDL_MOUSEMOTION;
    EXPECT_EQ(mapSdlEvent(motion, tracker).count, 0);
}

TEST(SdlKeyMapping, PcScanCodes) {
    struct Case {
        SDL_Scancode scancode;
        uint8_t code;
        bool extended;
    };
    const Case cases[] = {
        {SDL_SCANCODE_ESCAPE, 0x01, false},   {SDL_SCANCODE_A, 0x1E, false},
        {SDL_SCANCODE_Z, 0x2C, false},        {SDL_SCANCODE_TAB, 0x0F, false},
        {SDL_SCANCODE_RETURN, 0x1C, false},   {SDL_SCANCODE_KP_ENTER, 0x1C, true},
        {SDL_SCANCODE_F1, 0x3B, false},       {SDL_SCANCODE_F10, 0x44, false},
        {SDL_SCANCODE_F11, 0x57, false},      {SDL_SCANCODE_F12, 0x58, false},
        {SDL_SCANCODE_UP, 0x48, true},        {SDL_SCANCODE_KP_8, 0x48, false},
        {SDL_SCANCODE_DELETE, 0x53, true},    {SDL_SCANCODE_KP_PERIOD, 0x53, false},
        {SDL_SCANCODE_KP_DIVIDE, 0x35, true}, {SDL_SCANCODE_SLASH, 0x35, false},
        {SDL_SCANCODE_RALT, 0x38, true},      {SDL_SCANCODE_LALT, 0x38, false},
        {SDL_SCANCODE_UNKNOWN, 0, false},     {SDL_SCANCODE_MUTE, 0, false},
    };
    for (const Case& c : cases) {
        PcScanCode pc = pcScanCode(c.scancode);
        EXPECT_EQ(pc.code, c.code) << SDL_GetScancodeName(c.scancode);
        EXPECT_EQ(pc.extended, c.extended) << SDL_GetScancodeName(c.scancode);
    }
}

TEST(CodePage437, OwnBytesLookAlikesAndQuestionMarks) {
    struct Case {
        char32_t character;
        uint8_t byte;
    };
    const Case cases[] = {
        {U'A', 'A'},          {U'~', '~'},       {U'\u00C7', 0x80}, {U'\u00FC', 0x81},
        {U'\u00E9', 0x82},    {U'\u00C4', 0x8E}, {U'\u00DF', 0xE1}, {U'\u00A0', 0xFF},
        {U'\u2591', 0xB0},    {U'\u03C0', 0xE3}, {U'\u25A0', 0xFE}, {U'\u00B0', 0xF8},
        {U'\u00C0', 'A'},     {U'\u00E3', 'a'},  {U'\u00D8', 'O'},  {U'\u0107', 'c'},
        {U'\u0141', 'L'},     {U'\u017E', 'z'},  {U'\u2019', '\''}, {U'\u201C', '"'},
        {U'\u2014', '-'},     {U'\uFF21', 'A'},  {U'\u20AC', '?'},  {U'\u4E2D', '?'},
        {U'\U0001F600', '?'}, {U'\u2190', '?'},  {U'\u00A7', '?'},  {U'\u266A', '?'},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(codePage437FromUnicode(c.character), c.byte)
            << "U+" << std::hex << static_cast<uint32_t>(c.character);
    }
    // Every byte above 0x7F is reached by its own character and no other.
    int reached[256] = {};
    for (char32_t c = 0x80; c < 0x10000; ++c)
        ++reached[codePage437FromUnicode(c)];
    for (int byte = 0x80; byte < 0x100; ++byte)
        EXPECT_EQ(reached[byte], 1) << byte;
    for (int byte = 0; byte < 0x20; ++byte)
        EXPECT_EQ(reached[byte], 0) << byte;
}

TEST(CodePage437, Utf8Decoding) {
    struct Case {
        std::string bytes;
        std::vector<char32_t> characters;
    };
    const Case cases[] = {
        {"ab", {U'a', U'b'}},
        {"\xC3\xA9", {0xE9}},
        {"\xE2\x82\xAC", {0x20AC}},
        {"\xF0\x9F\x98\x80", {0x1F600}},
        {"\xC3", {0xFFFD}},                          // cut short
        {"\xC0\xAF", {0xFFFD, 0xFFFD}},              // overlong
        {"\xED\xA0\x80", {0xFFFD, 0xFFFD, 0xFFFD}},  // surrogate
        {"\xFF"
         "a",
         {0xFFFD, U'a'}},
        {"\xE2\x28\xA1", {0xFFFD, U'(', 0xFFFD}},
    };
    for (const Case& c : cases) {
        std::vector<char32_t> decoded;
        size_t offset = 0;
        while (offset < c.bytes.size()) {
            decoded.push_back(nextUtf8Character(c.bytes.data(), c.bytes.size(), &offset));
        }
        EXPECT_EQ(decoded, c.characters) << c.bytes;
    }
}

}  // namespace
}  // namespace drusk
