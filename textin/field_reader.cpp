#include "textin/field_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace drusk {

namespace {

constexpr int endOfText = -1;
constexpr int lineFeed = 10;
constexpr int carriageReturn = 13;
constexpr int ctrlZ = 26;

bool isBlank(int b) {
    return b == ' ' || b == '\t';
}

// Makes sure at least one unread byte is in the buffer; false at the
// physical end or on a read error, which both count as the end of the text.
bool fillBuffer(FieldReader& r) {
    if (r.bufferStart < r.bufferEnd) return true;
    if (r.fd < 0) return false;
    ssize_t n;
    do {
        n = ::read(r.fd, r.buffer, sizeof r.buffer);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return false;
    r.bufferStart = 0;
    r.bufferEnd = static_cast<int>(n);
    return true;
}

int rawPeek(FieldReader& r) {
    return fillBuffer(r) ? r.buffer[r.bufferStart] : endOfText;
}

int rawGet(FieldReader& r) {
    if (!fillBuffer(r)) return endOfText;
    ++r.position;
    return r.buffer[r.bufferStart++];
}

// One byte of text: CR LF arrives as LF, and Ctrl-Z ends the text for good.
int textByte(FieldReader& r) {
    if (r.textEnded) return endOfText;
    int b = rawGet(r);
    if (b == endOfText || b == ctrlZ) {
        r.textEnded = true;
        return endOfText;
    }
    if (b == carriageReturn && rawPeek(r) == lineFeed) return rawGet(r);
    return b;
}

// Every read starts with the byte left waiting by the previous one, if any.
int take(FieldReader& r) {
    if (r.waiting >= 0) {
        int b = r.waiting;
        r.waiting = -1;
        return b;
    }
    return textByte(r);
}

// After a CR that ended something: a following LF belongs to it, anything
// else is left for the next read.
void finishCarriageReturn(FieldReader& r) {
    int next = take(r);
    if (next != lineFeed && next != endOfText) r.waiting = next;
}

// What follows a field that did not end on its own delimiter: blanks, then
// one comma or line end; any other byte waits for the next read.
void consumeDelimiter(FieldReader& r, int b) {
    while (isBlank(b))
        b = take(r);
    if (b == ',' || b == lineFeed || b == endOfText) return;
    if (b == carriageReturn) {
        finishCarriageReturn(r);
        return;
    }
    r.waiting = b;
}

std::string readField(FieldReader& r, bool integerField) {
    const size_t limit = integerField ? integerFieldLimit : stringFieldLimit;
    std::string stored;
    int b = take(r);
    while (isBlank(b))
        b = take(r);

    bool inQuotes = false;
    bool ampersandSeen = false;
    for (;; b = take(r)) {
        if (b == endOfText) break;
        if (stored.size() >= limit) {
            consumeDelimiter(r, b);
            break;
        }
        if (b == lineFeed) break;
        if (b == carriageReturn) {
            finishCarriageReturn(r);
            break;
        }
        if (b == ',' && !inQuotes) break;
        if (b == '"') {
            if (inQuotes) {
                inQuotes = false;
                if (!integerField) {
                    consumeDelimiter(r, take(r));
                    break;
                }
                continue;
            }
            if (stored.empty()) {
                inQuotes = true;
                continue;
            }
        } else if (isBlank(b) && !inQuotes && integerField) {
            consumeDelimiter(r, b);
            break;
        }
        if (integerField && !ampersandSeen) {
            // The BASIC-style double exponent letter reads as e.
            if (b == 'd') b = 'e';
            if (b == 'D') b = 'E';
        }
        if (b == '&') ampersandSeen = true;
        stored.push_back(static_cast<char>(b));
    }
    return stored;
}

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int32_t floatingValue(const std::string& text) {
    // Only the prefix that fits the decimal grammar is handed to strtod, so
    // that its hexadecimal, infinity and NaN forms never come into play.
    size_t i = 0;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    std::string number;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number.push_back(text[i++]);
    bool digits = false, point = false;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
        number.push_back(c);
    }
    if (!digits) return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent.push_back(text[j++]);
        size_t firstDigit = j;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9')
            exponent.push_back(text[j++]);
        if (j > firstDigit) number += exponent;
    }
    double value = std::strtod(number.c_str(), nullptr);
    if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
    // Halfway goes to the even neighbour, independent of the rounding mode.
    double below = std::floor(value);
    int64_t rounded = static_cast<int64_t>(below);
    double fraction = value - below;
    if (fraction > 0.5 || (fraction == 0.5 && (rounded & 1) != 0)) ++rounded;
    if (rounded < INT32_MIN || rounded > INT32_MAX) return INT32_MIN;
    return static_cast<int32_t>(rounded);
}

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

int32_t integerValue(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i == text.size()) return 0;
    if (text.size() - i >= 2 && text[i] == '&') {
        char selector = text[i + 1];
        unsigned base = 8;
        size_t start = i + 1;
        if (selector == 'H' || selector == 'h') {
            base = 16, start = i + 2;
        } else if (selector == 'O' || selector == 'o') {
            start = i + 2;
        } else if (selector == 'B' || selector == 'b') {
            base = 2, start = i + 2;
        }
        uint32_t value = 0;
        for (size_t j = start; j < text.size(); ++j) {
            int d = digitValue(text[j]);
            if (d >= static_cast<int>(base)) break;
            value = value * base + static_cast<uint32_t>(d);
        }
        return static_cast<int32_t>(value);
    }
    while (i < text.size() && isSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
        if (magnitude > UINT32_MAX) {
            // Past the largest magnitude the value is saturated, sign or not.
            return -1;
        }
    }
    uint32_t bits = static_cast<uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    return static_cast<int32_t>(bits);
}

}  // namespace

int32_t integerFieldValue(const std::string& field) {
    // A NUL byte ends the number, wherever it stands.
    std::string text = field.substr(0, field.find('\0'));
    for (char c : text) {
        if (c == '&') break;
        if (c == '.' || c == 'e' || c == 'E' || c == 'd' || c == 'D') return floatingValue(text);
    }
    return integerValue(text);
}

int open(FieldReader& reader, const std::string& path) {
    if (reader.fd >= 0) return 1;
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return 2;
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return 1;
    }
    if (S_ISDIR(info.st_mode)) {
        ::close(fd);
        return 2;
    }
    reader.fd = fd;
    reader.size = info.st_size;
    reader.position = 0;
    reader.textEnded = false;
    reader.waiting = -1;
    reader.bufferStart = reader.bufferEnd = 0;
    return 0;
}

int32_t readIntegerField(FieldReader& reader) {
    return integerFieldValue(readField(reader, true));
}

std::string readStringField(FieldReader& reader) {
    std::string field = readField(reader, false);
    size_t nul = field.find('\0');
    if (nul != std::string::npos) field.resize(nul);
    return field;
}

std::string readRestOfLine(FieldReader& reader) {
    std::string line;
    for (int b = take(reader); b != endOfText; b = take(reader)) {
        if (b == lineFeed) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        line.push_back(static_cast<char>(b));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

bool atEndOfFile(const FieldReader& reader) {
    if (reader.waiting >= 0) return false;
    return reader.position >= reader.size || reader.textEnded;
}

void close(FieldReader& reader) {
    if (reader.fd >= 0) ::close(reader.fd);
    reader.fd = -1;
    reader.size = reader.position = 0;
    reader.textEnded = false;
    reader.waiting = -1;
    reader.bufferStart = reader.bufferEnd = 0;
}

}  // namespace drusk
