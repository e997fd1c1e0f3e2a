// Reads the game description file field by field, front to back.
#pragma once

#include <cstdint>
#include <string>

namespace drusk {

// Bytes an integer field and a string field may hold before they are cut.
inline constexpr int integerFieldLimit = 67;
inline constexpr int stringFieldLimit = 4096;
inline constexpr int fieldReaderBufferSize = 8192;

struct FieldReader {
    int fd = -1;
    int64_t size = 0;      // stored bytes, measured once at open
    int64_t position = 0;  // stored bytes consumed so far
    bool textEnded = false;
    int waiting = -1;  // the look-ahead byte, -1 when none waits
    int bufferStart = 0;
    int bufferEnd = 0;
    unsigned char buffer[fieldReaderBufferSize];
};

// 0 opened; 1 already open or size unknown; 2 cannot be opened for reading.
int open(FieldReader& reader, const std::string& path);
int32_t readIntegerField(FieldReader& reader);
std::string readStringField(FieldReader& reader);
std::string readRestOfLine(FieldReader& reader);
bool atEndOfFile(const FieldReader& reader);
void close(FieldReader& reader);

// The number an integer field's bytes stand for; exposed for testing.
int32_t integerFieldValue(const std::string& field);

}  // namespace drusk
