// Typed text arrives as UTF-8; the game reads code page 437 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace drusk {

// The code page 437 byte for a character: its own byte where the code page
// has it, a look-alike where a sensible one exists (accents dropped, curly
// quotes straightened), else '?'. ASCII maps to itself; nothing else turns
// into a control code, so a typed symbol cannot pose as Escape or Enter.
uint8_t codePage437FromUnicode(char32_t character);

// Reads one character from UTF-8 text at text[*offset], advancing *offset;
// a malformed sequence reads as U+FFFD and skips one byte.
char32_t nextUtf8Character(const char* text, size_t size, size_t* offset);

}  // namespace drusk
