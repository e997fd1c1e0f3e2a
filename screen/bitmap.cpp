#include "screen/bitmap.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define DRUSK_X86 1
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace drusk {

namespace {

// Pixel rows are read through one buffer of this size, or of one padded row
// when that is longer, so a picture costs a handful of reads and stays in
// the cache between reading and converting.
constexpr size_t chunkBytes = 64 * 1024;

struct FileReader {
    int fd = -1;
    uint64_t size = 0;  // as the file system reports it when opened
    std::unique_ptr<uint8_t[]> buffer;
    size_t capacity = 0;
    uint64_t bufferStart = 0;  // file offset of buffer[0]
    size_t begin = 0;          // next unread byte
    size_t end = 0;            // one past the last byte read
};

uint64_t position(const FileReader& r) {
    return r.bufferStart + r.begin;
}

void seek(FileReader& r, uint64_t offset) {
    if (offset >= r.bufferStart && offset - r.bufferStart <= r.end) {
        r.begin = static_cast<size_t>(offset - r.bufferStart);
        return;
    }
    r.bufferStart = offset;
    r.begin = r.end = 0;
}

// Makes `need` bytes available from buffer + begin on; false when the file
// ends before them.
bool fill(FileReader& r, size_t need) {
    if (r.end - r.begin >= need) return true;
    if (need > r.capacity) return false;
    if (r.begin > 0) {
        std::memmove(r.buffer.get(), r.buffer.get() + r.begin, r.end - r.begin);
        r.bufferStart += r.begin;
        r.end -= r.begin;
        r.begin = 0;
    }
    while (r.end < need) {
        uint64_t at = r.bufferStart + r.end;
        if (at > static_cast<uint64_t>(INT64_MAX)) return false;
        ssize_t n =
            ::pread(r.fd, r.buffer.get() + r.end, r.capacity - r.end, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        r.end += static_cast<size_t>(n);
    }
    return true;
}

// The `count` bytes at `offset`, or null when the file ends before them.
const uint8_t* readAt(FileReader& r, uint64_t offset, size_t count) {
    seek(r, offset);
    if (!fill(r, count)) return nullptr;
    return r.buffer.get() + r.begin;
}

uint16_t u16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t u32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;  // little-endian host
}

// Where a channel lies in a pixel value and how it widens to 8 bits.
struct Channel {
    uint32_t shift = 0;
    uint32_t mask = 0;  // the mask shifted down to bit 0
    uint32_t left = 0;
    uint32_t drop = 0;
    uint32_t right = 31;
};

Channel channelFor(uint32_t mask) {
    Channel c;
    if (mask == 0) return c;
    uint32_t low = static_cast<uint32_t>(__builtin_ctz(mask));
    uint32_t high = 31 - static_cast<uint32_t>(__builtin_clz(mask));
    uint32_t width = high - low + 1;
    c.shift = low;
    c.mask = mask >> low;
    if (width > 8) {
        c.drop = width - 8;
    } else {
        c.left = 8 - width;
        // From 4 bits on, the top bits repeat into the low end, so a full
        // channel value becomes 0xFF.
        if (width >= 4) c.right = 2 * width - 8;
    }
    return c;
}

inline uint32_t channelValue(uint32_t pixel, const Channel& c) {
    uint32_t v = (pixel >> c.shift) & c.mask;
    return ((v << c.left) >> c.drop) | (v >> c.right);
}

enum class RowKind {
    Palette1,
    Palette4,
    Palette8,
    Bgr24,   // 24 bits in the usual byte order
    Bgra32,  // 32 bits in the screen's own layout
    Bgrx32,  // 32 bits, usual colour masks, no alpha mask
    Masked16,
    Masked24,
    Masked32,
};

struct PixelFormat {
    uint32_t bits = 0;
    uint32_t compression = 0;
    RowKind kind = RowKind::Palette8;
    Colour palette[256] = {};
    Channel red, green, blue, alpha;
};

struct Destination {
    uint8_t* pixels = nullptr;
    size_t pitch = 0;
    int64_t width = 0;   // columns written: min(picture, destination)
    int64_t height = 0;  // rows written
};

uint32_t* destinationRow(const Destination& d, int64_t y) {
    return reinterpret_cast<uint32_t*>(d.pixels + static_cast<size_t>(y) * d.pitch);
}

Colour maskedColour(uint32_t pixel, const PixelFormat& f, uint32_t alpha) {
    return alpha << 24 | channelValue(pixel, f.red) << 16 | channelValue(pixel, f.green) << 8 |
           channelValue(pixel, f.blue);
}

// 24-bit rows in the usual byte order, scalar: four pixels from three
// little-endian words at a time.
void convertBgr24(const uint8_t* src, uint32_t* dst, int64_t count) {
    int64_t x = 0;
    for (; x + 4 <= count; x += 4, src += 12) {
        uint32_t w0 = u32(src), w1 = u32(src + 4), w2 = u32(src + 8);
        dst[x] = 0xFF000000u | w0;
        dst[x + 1] = 0xFF000000u | w0 >> 24 | w1 << 8;
        dst[x + 2] = 0xFF000000u | w1 >> 16 | w2 << 16;
        dst[x + 3] = 0xFF000000u | w2 >> 8;
    }
    for (; x < count; ++x, src += 3)
        dst[x] = 0xFF000000u | src[0] | src[1] << 8 | src[2] << 16;
}

#ifdef DRUSK_X86
// The same with byte shuffles: sixteen pixels from exactly 48 bytes, so
// nothing past the row is read.
__attribute__((target("ssse3"))) void convertBgr24Shuffled(const uint8_t* src, uint32_t* dst,
                                                           int64_t count) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int64_t x = 0;
    for (; x + 16 <= count; x += 16, src += 48) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16));
        __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 32));
        __m128i p0 = _mm_shuffle_epi8(a, spread);
        __m128i p1 = _mm_shuffle_epi8(_mm_alignr_epi8(b, a, 12), spread);
        __m128i p2 = _mm_shuffle_epi8(_mm_alignr_epi8(c, b, 8), spread);
        __m128i p3 = _mm_shuffle_epi8(_mm_srli_si128(c, 4), spread);
        auto* out = reinterpret_cast<__m128i*>(dst + x);
        _mm_storeu_si128(out, _mm_or_si128(p0, opaque));
        _mm_storeu_si128(out + 1, _mm_or_si128(p1, opaque));
        _mm_storeu_si128(out + 2, _mm_or_si128(p2, opaque));
        _mm_storeu_si128(out + 3, _mm_or_si128(p3, opaque));
    }
    convertBgr24(src, dst + x, count - x);
}

const bool haveShuffles = __builtin_cpu_supports("ssse3");
#endif

void convertRow(const uint8_t* src, uint32_t* dst, int64_t count, const PixelFormat& f) {
    switch (f.kind) {
        case RowKind::Palette1:
            for (int64_t x = 0; x < count; ++x)
                dst[x] = f.palette[(src[x >> 3] >> (7 - (x & 7))) & 1];
            break;
        case RowKind::Palette4:
            for (int64_t x = 0; x < count; ++x)
                dst[x] = f.palette[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
            break;
        case RowKind::Palette8:
            for (int64_t x = 0; x < count; ++x)
                dst[x] = f.palette[src[x]];
            break;
        case RowKind::Bgr24:
#ifdef DRUSK_X86
            if (haveShuffles) {
                convertBgr24Shuffled(src, dst, count);
                break;
            }
#endif
            convertBgr24(src, dst, count);
            break;
        case RowKind::Bgra32:
            std::memcpy(dst, src, static_cast<size_t>(count) * 4);
            break;
        case RowKind::Bgrx32:
            for (int64_t x = 0; x < count; ++x)
                dst[x] = u32(src + 4 * x) & 0x00FFFFFFu;
            break;
        case RowKind::Masked16:
            for (int64_t x = 0; x < count; ++x)
                dst[x] = maskedColour(u16(src + 2 * x), f, 0xFF);
            break;
        case RowKind::Masked24:
            for (int64_t x = 0; x < count; ++x) {
                const uint8_t* p = src + 3 * x;
                dst[x] = maskedColour(p[0] | p[1] << 8 | p[2] << 16, f, 0xFF);
            }
            break;
        case RowKind::Masked32:
            for (int64_t x = 0; x < count; ++x) {
                uint32_t pixel = u32(src + 4 * x);
                dst[x] = maskedColour(pixel, f, channelValue(pixel, f.alpha));
            }
            break;
    }
}

// True when the file holds `rows` more padded rows from `from` on, the last
// of them needing only `lastRowNeed` bytes.
bool fileHolds(const FileReader& r, uint64_t from, uint64_t rows, uint64_t rowBytes,
               uint64_t lastRowNeed) {
    if (rows == 0) return true;
    uint64_t available = r.size > from ? r.size - from : 0;
    if (rows - 1 > available / rowBytes) return false;
    return (rows - 1) * rowBytes + lastRowNeed <= available;
}

LoadResult readUncompressed(FileReader& r, const PixelFormat& f, const Destination& d,
                            uint64_t dataOffset, int64_t width, int64_t height, bool topDown) {
    uint64_t pixelBytes = (static_cast<uint64_t>(width) * f.bits + 7) / 8;
    uint64_t rowBytes = (static_cast<uint64_t>(width) * f.bits + 31) / 32 * 4;
    // 1- and 4-bit rows need only their pixel bytes; the others the whole
    // padded row.
    uint64_t need = f.bits <= 4 ? pixelBytes : rowBytes;

    uint64_t rowStart = dataOffset;
    if (!topDown && height > d.height) {
        // The file's first rows lie below the destination: step over them,
        // provided the file really holds them.
        uint64_t dropped = static_cast<uint64_t>(height - d.height);
        if (!fileHolds(r, rowStart, dropped + 1, rowBytes, need)) return BadFile;
        rowStart += dropped * rowBytes;
    }
    for (int64_t i = 0; i < d.height; ++i) {
        seek(r, rowStart);
        if (!fill(r, static_cast<size_t>(need))) return BadFile;
        int64_t y = topDown ? i : d.height - 1 - i;
        convertRow(r.buffer.get() + r.begin, destinationRow(d, y), d.width, f);
        rowStart += rowBytes;
    }
    if (topDown && height > d.height) {
        // Rows below the destination are dropped, but a file that does not
        // hold them is still cut off.
        if (!fileHolds(r, rowStart, static_cast<uint64_t>(height - d.height), rowBytes, need)) {
            return BadFile;
        }
    }
    return Ok;
}

// Run-length data: runs of one value, end of line, end of picture, a jump
// right and up, and literal stretches padded to two bytes. Rows are stored
// bottom row first. Pixels the data skips keep what they had.
template <bool fourBit>
LoadResult readRunLength(FileReader& r, const PixelFormat& f, const Destination& d,
                         uint64_t dataOffset, int64_t width, int64_t height) {
    int64_t row = 0;  // counted in file order, from the bottom
    int64_t x = 0;
    // The destination row of `row`, or null when it lies outside.
    auto rowPixels = [&]() -> uint32_t* {
        int64_t y = height - 1 - row;
        return y >= 0 && y < d.height ? destinationRow(d, y) : nullptr;
    };
    uint32_t* pixels = rowPixels();
    seek(r, dataOffset);
    for (;;) {
        if (r.end - r.begin < 2 && !fill(r, 2)) return BadFile;
        const uint8_t* code = r.buffer.get() + r.begin;
        uint32_t count = code[0];
        uint32_t value = code[1];
        r.begin += 2;
        if (count > 0) {
            if (row >= height || x + count > width) return BadFile;
            if (pixels) {
                int64_t stop = std::min<int64_t>(x + count, d.width);
                if constexpr (fourBit) {
                    Colour pair[2] = {f.palette[value >> 4], f.palette[value & 15]};
                    for (int64_t i = x; i < stop; ++i)
                        pixels[i] = pair[(i - x) & 1];
                } else {
                    std::fill(pixels + std::min(x, stop), pixels + stop, f.palette[value]);
                }
            }
            x += count;
        } else if (value == 0) {
            if (row >= height) return BadFile;
            ++row;
            x = 0;
            pixels = rowPixels();
        } else if (value == 1) {
            return Ok;
        } else if (value == 2) {
            if (r.end - r.begin < 2 && !fill(r, 2)) return BadFile;
            x += r.buffer[r.begin];
            row += r.buffer[r.begin + 1];
            r.begin += 2;
            if (x > width || row > height) return BadFile;
            pixels = rowPixels();
        } else {
            size_t bytes = fourBit ? (value + 1) / 2 : value;
            if (row >= height || x + value > width) return BadFile;
            if (r.end - r.begin < bytes && !fill(r, bytes)) return BadFile;
            const uint8_t* literal = r.buffer.get() + r.begin;
            if (pixels) {
                int64_t stop = std::min<int64_t>(x + value, d.width);
                for (int64_t i = x; i < stop; ++i) {
                    int64_t k = i - x;
                    if constexpr (fourBit) {
                        pixels[i] = f.palette[(literal[k >> 1] >> ((k & 1) ? 0 : 4)) & 15];
                    } else {
                        pixels[i] = f.palette[literal[k]];
                    }
                }
            }
            x += value;
            // Literal stretches end on a two-byte boundary.
            size_t padded = (bytes + 1) & ~size_t{1};
            if (r.end - r.begin >= padded) {
                r.begin += padded;
            } else {
                seek(r, position(r) + padded);
            }
        }
    }
}

struct FileCloser {
    int fd;
    ~FileCloser() { ::close(fd); }
};

bool isStandardColourMasks(const uint32_t masks[4]) {
    return masks[0] == 0x00FF0000 && masks[1] == 0x0000FF00 && masks[2] == 0x000000FF;
}

}  // namespace

LoadResult loadBitmap(const std::string& name, Image* destination) {
    Screen* screen = currentScreen();
    if (!destination && !screen) return NoScreen;
    if (destination &&
        (destination->header.type != imageHeaderType || destination->header.bytesPerPixel != 4)) {
        return NoScreen;
    }
    // A name with a NUL byte in it cannot name a file; cutting it there would
    // open another one.
    if (name.find('\0') != std::string::npos) return CannotOpen;
    int fd;
    do {
        fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return CannotOpen;
    FileCloser closer{fd};
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return CannotOpen;

    FileReader r;
    r.fd = fd;
    r.size = static_cast<uint64_t>(info.st_size);
    r.capacity = chunkBytes;
    r.buffer = std::make_unique_for_overwrite<uint8_t[]>(r.capacity);

    const uint8_t* p = readAt(r, 0, 1);
    if (!p || p[0] != 'B') return BadFile;
    if (!screen) return NoScreen;

    p = readAt(r, 0, 18);
    if (!p) return BadFile;
    bool signatureOk = p[0] == 'B' && p[1] == 'M';
    uint64_t dataOffset = u32(p + 10);
    uint32_t infoSize = u32(p + 14);

    int64_t width = 0;
    int64_t height = 0;
    uint32_t planes = 0;
    uint32_t bits = 0;
    uint32_t compression = 0;
    uint32_t masks[4] = {};
    bool headerMasks = false;
    if (infoSize == 12) {
        if (!(p = readAt(r, 0, 26))) return BadFile;
        width = u16(p + 18);
        height = u16(p + 20);
        planes = u16(p + 22);
        bits = u16(p + 24);
    } else if (infoSize >= 16) {
        size_t headerEnd = infoSize >= 108 ? 70 : infoSize >= 24 ? 38 : infoSize >= 20 ? 34 : 30;
        if (!(p = readAt(r, 0, headerEnd))) return BadFile;
        width = static_cast<int32_t>(u32(p + 18));
        height = static_cast<int32_t>(u32(p + 22));
        planes = u16(p + 26);
        bits = u16(p + 28);
        if (infoSize >= 20) compression = u32(p + 30);
        if (infoSize >= 108) {
            for (int i = 0; i < 4; ++i)
                masks[i] = u32(p + 54 + 4 * i);
            headerMasks = true;
        }
    } else {
        return BadFile;
    }

    if (!signatureOk || planes > 1 || width < 1 || height == 0 || compression > 3) return BadFile;
    bool topDown = height < 0;
    if (topDown && (compression == 1 || compression == 2)) return BadFile;
    if (topDown) height = -height;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return BadFile;
    }
    // Run-length data exists for 8 bits (compression 1) and 4 bits (2) only.
    if ((compression == 1 && bits != 8) || (compression == 2 && bits != 4)) return BadFile;

    PixelFormat format;
    format.bits = bits;
    format.compression = compression;
    uint64_t tablePosition = 14 + uint64_t{infoSize};
    uint64_t afterTables = tablePosition;
    if (bits <= 8) {
        uint32_t entries = 1u << bits;
        uint32_t entrySize = infoSize == 12 ? 3 : 4;
        // Files often keep only the entries they use, and the pixel-data
        // offset still finds the rows; entries the file does not hold at all
        // are black.
        seek(r, tablePosition);
        fill(r, entries * entrySize);
        p = r.buffer.get() + r.begin;
        uint32_t held =
            static_cast<uint32_t>(std::min<size_t>(entries, (r.end - r.begin) / entrySize));
        for (uint32_t i = held; i < entries; ++i)
            format.palette[i] = 0xFF000000u;
        for (uint32_t i = 0; i < held; ++i) {
            const uint8_t* e = p + i * entrySize;
            format.palette[i] = 0xFF000000u | uint32_t{e[2]} << 16 | uint32_t{e[1]} << 8 | e[0];
        }
        afterTables += entries * entrySize;
    }

    if (compression == 3) {
        if (!headerMasks) {
            if (!(p = readAt(r, afterTables, 12))) return BadFile;
            masks[0] = u32(p);
            masks[1] = u32(p + 4);
            masks[2] = u32(p + 8);
            masks[3] = 0;
            afterTables += 12;
        }
    } else if (bits > 16) {
        masks[0] = 0x00FF0000;
        masks[1] = 0x0000FF00;
        masks[2] = 0x000000FF;
        masks[3] = 0xFF000000;
    } else {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
        masks[3] = 0;
    }
    // Offset 0 means the pixels follow everything read before them,
    // including bit-field masks stored after the header.
    if (dataOffset == 0) dataOffset = afterTables;

    format.red = channelFor(masks[0]);
    format.green = channelFor(masks[1]);
    format.blue = channelFor(masks[2]);
    format.alpha = channelFor(masks[3]);
    switch (bits) {
        case 1:
            format.kind = RowKind::Palette1;
            break;
        case 4:
            format.kind = RowKind::Palette4;
            break;
        case 8:
            format.kind = RowKind::Palette8;
            break;
        case 16:
            format.kind = RowKind::Masked16;
            break;
        case 24:
            format.kind = isStandardColourMasks(masks) ? RowKind::Bgr24 : RowKind::Masked24;
            break;
        default:
            if (isStandardColourMasks(masks) && masks[3] == 0xFF000000) {
                format.kind = RowKind::Bgra32;
            } else if (isStandardColourMasks(masks) && masks[3] == 0) {
                format.kind = RowKind::Bgrx32;
            } else {
                format.kind = RowKind::Masked32;
            }
            break;
    }

    Destination target;
    if (destination) {
        target.pixels = reinterpret_cast<uint8_t*>(imageRow(destination, 0));
        target.pitch = destination->header.pitch;
        target.width = std::min<int64_t>(width, destination->header.width);
        target.height = std::min<int64_t>(height, destination->header.height);
    } else {
        target.pixels = screen->pages[screen->drawingPage];
        target.pitch = static_cast<size_t>(screen->pitch);
        target.width = std::min<int64_t>(width, screen->width);
        target.height = std::min<int64_t>(height, screen->height);
    }

    bool runLength = compression == 1 || compression == 2;
    if (!runLength) {
        // The one row buffer must hold a padded row; a row longer than the
        // whole file is refused before anything that large is allocated.
        uint64_t pixelBytes = (static_cast<uint64_t>(width) * bits + 7) / 8;
        uint64_t rowBytes = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
        if (pixelBytes > r.size) return BadFile;
        if (rowBytes > r.capacity) {
            r.capacity = static_cast<size_t>(rowBytes);
            r.buffer = std::make_unique_for_overwrite<uint8_t[]>(r.capacity);
            r.begin = r.end = 0;
            r.bufferStart = 0;
        }
    }

    lockScreen();
    LoadResult result =
        compression == 1 ? readRunLength<false>(r, format, target, dataOffset, width, height)
        : compression == 2
            ? readRunLength<true>(r, format, target, dataOffset, width, height)
            : readUncompressed(r, format, target, dataOffset, width, height, topDown);
    if (destination) {
        unlockScreen(1, 0);
    } else {
        unlockScreen(-1, -1);
    }
    return result;
}

}  // namespace drusk
