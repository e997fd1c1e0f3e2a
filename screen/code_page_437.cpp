#include "screen/code_page_437.h"

namespace drusk {

namespace {

// The characters of bytes 0x80..0xFF.
constexpr char16_t upperHalf[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8
};

// Look-alikes for U+00C0..U+00FF; '_' where the code page has the
// character itself.
constexpr char latin1Letters[] =
    "AAAA____E_EEIIIID_OOOO_xOUUU_Y?_"
    "___a____________d____o__o____y?_";
static_assert(sizeof latin1Letters == 64 + 1);

// Base letters of U+0100..U+017F.
constexpr char latinExtendedA[] =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi??JjKkkLlLlLlLlLl"
    "NnNnNnnNnOoOoOoOoRrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";
static_assert(sizeof latinExtendedA == 128 + 1);

struct LookAlike {
    char32_t character;
    char byte;
};

constexpr LookAlike punctuation[] = {
    {0x00A6, '|'},  {0x00A8, '"'},  {0x00A9, 'c'},  {0x00AD, '-'},  {0x00AE, 'R'}, {0x00AF, '-'},
    {0x00B3, '3'},  {0x00B4, '\''}, {0x00B8, ','},  {0x00B9, '1'},  {0x02C6, '^'}, {0x02DC, '~'},
    {0x2010, '-'},  {0x2011, '-'},  {0x2012, '-'},  {0x2013, '-'},  {0x2014, '-'}, {0x2015, '-'},
    {0x2018, '\''}, {0x2019, '\''}, {0x201A, ','},  {0x201B, '\''}, {0x201C, '"'}, {0x201D, '"'},
    {0x201E, '"'},  {0x2026, '.'},  {0x2032, '\''}, {0x2033, '"'},  {0x2039, '<'}, {0x203A, '>'},
    {0x2122, 'T'},  {0x2212, '-'},  {0x2215, '/'},  {0x2216, '\\'}, {0x2217, '*'}, {0x2223, '|'},
    {0x2236, ':'},  {0x223C, '~'},  {0x2260, '='},  {0x3000, ' '},
};

}  // namespace

uint8_t codePage437FromUnicode(char32_t c) {
    if (c < 0x80) return static_cast<uint8_t>(c);
    for (int i = 0; i < 128; ++i) {
        if (upperHalf[i] == c) return static_cast<uint8_t>(0x80 + i);
    }
    if (c >= 0x00C0 && c <= 0x00FF && latin1Letters[c - 0x00C0] != '_') {
        return static_cast<uint8_t>(latin1Letters[c - 0x00C0]);
    }
    if (c >= 0x0100 && c <= 0x017F) return static_cast<uint8_t>(latinExtendedA[c - 0x0100]);
    // Full-width forms of ASCII.
    if (c >= 0xFF01 && c <= 0xFF5E) return static_cast<uint8_t>(c - 0xFF01 + 0x21);
    for (const LookAlike& entry : punctuation) {
        if (entry.character == c) return static_cast<uint8_t>(entry.byte);
    }
    return '?';
}

char32_t nextUtf8Character(const char* text, size_t size, size_t* offset) {
    auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    size_t at = *offset;
    uint8_t lead = byte(at);
    int length;
    char32_t value;
    if (lead < 0x80) {
        *offset = at + 1;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        *offset = at + 1;
        return 0xFFFD;
    }
    if (at + length > size) {
        *offset = at + 1;
        return 0xFFFD;
    }
    for (int i = 1; i < length; ++i) {
        uint8_t next = byte(at + i);
        if ((next & 0xC0) != 0x80) {
            *offset = at + 1;
            return 0xFFFD;
        }
        value = (value << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF.
    static constexpr char32_t smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) {
        *offset = at + 1;
        return 0xFFFD;
    }
    *offset = at + length;
    return value;
}

}  // namespace drusk
