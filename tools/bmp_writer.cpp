#include "tools/bmp_writer.h"

#include <cstdio>
#include <unordered_map>

namespace drusk {

namespace {

void put16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void set32(std::string& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t valueAt(const BmpPicture& picture, int64_t x, int64_t y) {
    size_t i = static_cast<size_t>(y * picture.width + x);
    return i < picture.values.size() ? picture.values[i] : 0;
}

// One uncompressed row, padded to four bytes.
void putRow(std::string& out, const BmpPicture& picture, int32_t y, uint16_t bits) {
    size_t start = out.size();
    if (bits <= 8) {
        // Pixels packed from the most significant bit down; any bit count up
        // to 8, so that files with odd counts can be made too.
        uint32_t accumulator = 0;
        int filled = 0;
        for (int32_t x = 0; x < picture.width; ++x) {
            uint32_t v = valueAt(picture, x, y);
            for (int bit = bits - 1; bit >= 0; --bit) {
                accumulator = accumulator << 1 | ((v >> bit) & 1);
                if (++filled == 8) {
                    out.push_back(static_cast<char>(accumulator));
                    accumulator = 0;
                    filled = 0;
                }
            }
        }
        if (filled > 0) out.push_back(static_cast<char>(accumulator << (8 - filled)));
    } else {
        for (int32_t x = 0; x < picture.width; ++x) {
            uint32_t v = valueAt(picture, x, y);
            // Bit counts past 32 exist only in broken files: zeros beyond.
            for (int i = 0; i < bits / 8; ++i)
                out.push_back(i < 4 ? static_cast<char>((v >> (8 * i)) & 0xFF) : '\0');
        }
    }
    while ((out.size() - start) % 4 != 0)
        out.push_back(0);
}

// Literal stretch of `count` indices, padded to two bytes.
void putLiteral(std::string& out, const std::vector<uint32_t>& row, size_t from, size_t count,
                bool fourBit) {
    out.push_back(0);
    out.push_back(static_cast<char>(count));
    size_t start = out.size();
    if (fourBit) {
        for (size_t i = 0; i < count; i += 2) {
            uint32_t high = row[from + i] & 15;
            uint32_t low = i + 1 < count ? row[from + i + 1] & 15 : 0;
            out.push_back(static_cast<char>(high << 4 | low));
        }
    } else {
        for (size_t i = 0; i < count; ++i)
            out.push_back(static_cast<char>(row[from + i]));
    }
    if ((out.size() - start) % 2 != 0) out.push_back(0);
}

// Rows bottom first; a row is runs of equal values (two or more) and literal
// stretches of three or more values, then end of line.
std::string encodeRunLength(const BmpPicture& picture, bool fourBit) {
    std::string out;
    std::vector<uint32_t> row(static_cast<size_t>(picture.width));
    for (int32_t y = picture.height - 1; y >= 0; --y) {
        for (int32_t x = 0; x < picture.width; ++x)
            row[static_cast<size_t>(x)] = valueAt(picture, x, y) & (fourBit ? 15 : 255);
        size_t x = 0;
        size_t n = row.size();
        while (x < n) {
            size_t run = 1;
            while (x + run < n && run < 255 && row[x + run] == row[x])
                ++run;
            if (run >= 2 || x + 1 == n) {
                out.push_back(static_cast<char>(run));
                uint32_t v = row[x];
                out.push_back(static_cast<char>(fourBit ? (v << 4 | v) : v));
                x += run;
                continue;
            }
            // Gather values up to the next run of two.
            size_t end = x + 1;
            while (end < n && end - x < 255 && !(end + 1 < n && row[end] == row[end + 1]))
                ++end;
            size_t count = end - x;
            if (count >= 3) {
                putLiteral(out, row, x, count, fourBit);
            } else {
                for (size_t i = 0; i < count; ++i) {
                    out.push_back(1);
                    uint32_t v = row[x + i];
                    out.push_back(static_cast<char>(fourBit ? (v << 4 | v) : v));
                }
            }
            x = end;
        }
        out.push_back(0);
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(1);
    return out;
}

int lowBit(uint32_t mask) {
    return mask ? __builtin_ctz(mask) : 0;
}

int maskWidth(uint32_t mask) {
    return mask ? 32 - __builtin_clz(mask) - __builtin_ctz(mask) : 0;
}

uint32_t packChannel(uint32_t value8, uint32_t mask) {
    int width = maskWidth(mask);
    if (width == 0) return 0;
    uint32_t v = width <= 8 ? value8 >> (8 - width) : value8 << (width - 8);
    return (v << lowBit(mask)) & mask;
}

}  // namespace

void defaultMasks(uint16_t bitCount, uint32_t masks[4]) {
    if (bitCount == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
        masks[3] = 0;
    } else {
        masks[0] = 0x00FF0000;
        masks[1] = 0x0000FF00;
        masks[2] = 0x000000FF;
        masks[3] = bitCount == 32 ? 0xFF000000 : 0;
    }
}

std::vector<uint32_t> packPixels(const std::vector<uint32_t>& colours, const BmpFormat& format) {
    uint32_t masks[4];
    bool none = true;
    for (int i = 0; i < 4; ++i) {
        masks[i] = format.masks[i];
        none = none && masks[i] == 0;
    }
    if (none) defaultMasks(format.bitCount, masks);
    std::vector<uint32_t> values;
    values.reserve(colours.size());
    for (uint32_t c : colours) {
        values.push_back(packChannel((c >> 16) & 0xFF, masks[0]) |
                         packChannel((c >> 8) & 0xFF, masks[1]) | packChannel(c & 0xFF, masks[2]) |
                         packChannel(c >> 24, masks[3]));
    }
    return values;
}

bool indexColours(const std::vector<uint32_t>& colours, size_t maxEntries,
                  std::vector<uint32_t>& indices, std::vector<uint32_t>& palette) {
    std::unordered_map<uint32_t, uint32_t> known;
    indices.clear();
    palette.clear();
    indices.reserve(colours.size());
    for (uint32_t c : colours) {
        auto [it, added] = known.emplace(c, static_cast<uint32_t>(palette.size()));
        if (added) {
            if (palette.size() == maxEntries) return false;
            palette.push_back(c);
        }
        indices.push_back(it->second);
    }
    return true;
}

bool pictureFromColours(int32_t width, int32_t height, const std::vector<uint32_t>& colours,
                        const BmpFormat& format, BmpPicture& picture) {
    picture.width = width;
    picture.height = height;
    if (format.bitCount > 8) {
        picture.values = packPixels(colours, format);
        picture.palette.clear();
        return true;
    }
    return indexColours(colours, size_t{1} << format.bitCount, picture.values, picture.palette);
}

std::string encodeBmp(const BmpPicture& picture, const BmpFormat& format) {
    const uint32_t s = format.infoHeaderSize;
    const bool core = s == 12;
    std::string out;
    out.push_back(format.signature[0]);
    out.push_back(format.signature[1]);
    put32(out, 0);  // file size, filled in at the end
    put32(out, 0);
    put32(out, 0);  // pixel-data offset, filled in below

    int32_t width = format.widthField.value_or(picture.width);
    int32_t height = format.heightField.value_or(picture.height);
    if (format.topDown) height = -height;

    uint32_t tableEntries = format.bitCount <= 8 ? 1u << format.bitCount : 0;
    if (format.colourTableEntries) tableEntries = *format.colourTableEntries;

    std::string info;
    put32(info, s);
    if (core) {
        put16(info, static_cast<uint32_t>(width));
        put16(info, static_cast<uint32_t>(height));
        put16(info, format.planes);
        put16(info, format.bitCount);
    } else {
        put32(info, static_cast<uint32_t>(width));
        put32(info, static_cast<uint32_t>(height));
        put16(info, format.planes);
        put16(info, format.bitCount);
        put32(info, format.compression);
        put32(info, 0);  // image size
        put32(info, 2835);
        put32(info, 2835);
        put32(info, format.bitCount <= 8 ? tableEntries : 0);
        put32(info, 0);
        for (uint32_t m : format.masks)
            put32(info, m);
    }
    info.resize(s, '\0');  // cut, or pad the later fields with zeros
    out += info;

    for (uint32_t i = 0; i < tableEntries; ++i) {
        uint32_t c = i < picture.palette.size() ? picture.palette[i] : 0;
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>((c >> 8) & 0xFF));
        out.push_back(static_cast<char>((c >> 16) & 0xFF));
        if (!core) out.push_back(0);
    }
    if (format.compression == BmpBitFields && s < 56) {
        for (int i = 0; i < 3; ++i)
            put32(out, format.masks[i]);
    }
    out.append(format.gapBeforePixels, '\0');

    uint32_t offset = static_cast<uint32_t>(out.size());
    if (format.zeroDataOffset) offset = 0;
    if (format.dataOffset) offset = *format.dataOffset;
    set32(out, 10, offset);

    if (format.pixelData) {
        out += *format.pixelData;
    } else if (format.compression == BmpRunLength8 || format.compression == BmpRunLength4) {
        out += encodeRunLength(picture, format.compression == BmpRunLength4);
    } else {
        for (int32_t i = 0; i < picture.height; ++i)
            putRow(out, picture, format.topDown ? i : picture.height - 1 - i, format.bitCount);
    }
    set32(out, 2, static_cast<uint32_t>(out.size()));
    return out;
}

bool writeBmpFile(const std::string& path, const BmpPicture& picture, const BmpFormat& format) {
    std::string bytes = encodeBmp(picture, format);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace drusk
