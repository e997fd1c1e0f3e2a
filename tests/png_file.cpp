#include "tests/png_file.h"

#include <zlib.h>

#include <cstdlib>

#include "tools/write_file.h"

namespace drusk::testing {

namespace {

void appendBigEndian(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>(value >> shift & 0xFF);
}

void appendChunk(std::string& out, const char type[4], const std::string& data) {
    appendBigEndian(out, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    appendBigEndian(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                                     static_cast<uInt>(body.size()))));
}

int paeth(int left, int up, int upLeft) {
    int estimate = left + up - upLeft;
    int toLeft = std::abs(estimate - left);
    int toUp = std::abs(estimate - up);
    int toUpLeft = std::abs(estimate - upLeft);
    if (toLeft <= toUp && toLeft <= toUpLeft) return left;
    return toUp <= toUpLeft ? up : upLeft;
}

// Each row goes out with the filter that leaves the smallest differences,
// the usual rule of thumb: rendered pictures shrink to a fraction that way.
std::string filteredRows(int width, int height, const std::vector<uint32_t>& pixels) {
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> previous(rowBytes, 0), current(rowBytes);
    std::string out;
    out.reserve((rowBytes + 1) * height);
    std::string candidate(rowBytes, '\0');
    std::string best;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t p = pixels[static_cast<size_t>(y) * width + x];
            current[x * 3] = p >> 16 & 0xFF;
            current[x * 3 + 1] = p >> 8 & 0xFF;
            current[x * 3 + 2] = p & 0xFF;
        }
        long bestCost = -1;
        uint8_t bestFilter = 0;
        for (uint8_t filter = 0; filter < 5; ++filter) {
            long cost = 0;
            for (size_t i = 0; i < rowBytes; ++i) {
                int left = i >= 3 ? current[i - 3] : 0;
                int up = previous[i];
                int upLeft = i >= 3 ? previous[i - 3] : 0;
                int predicted = 0;
                switch (filter) {
                    case 1:
                        predicted = left;
                        break;
                    case 2:
                        predicted = up;
                        break;
                    case 3:
                        predicted = (left + up) / 2;
                        break;
                    case 4:
                        predicted = paeth(left, up, upLeft);
                        break;
                    default:
                        break;
                }
                auto value = static_cast<uint8_t>(current[i] - predicted);
                candidate[i] = static_cast<char>(value);
                cost += value < 128 ? value : 256 - value;
            }
            if (bestCost < 0 || cost < bestCost) {
                bestCost = cost;
                bestFilter = filter;
                best = candidate;
            }
        }
        out += static_cast<char>(bestFilter);
        out += best;
        previous.swap(current);
    }
    return out;
}

}  // namespace

std::string encodePng(int width, int height, const std::vector<uint32_t>& pixels) {
    if (width <= 0 || height <= 0 || pixels.size() != static_cast<size_t>(width) * height)
        return {};
    std::string raw = filteredRows(width, height, pixels);
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                  Z_BEST_COMPRESSION) != Z_OK)
        return {};
    packed.resize(packedSize);

    std::string header;
    appendBigEndian(header, static_cast<uint32_t>(width));
    appendBigEndian(header, static_cast<uint32_t>(height));
    header += '\x08';                // bits per sample
    header += '\x02';                // RGB
    header += std::string(3, '\0');  // deflate, adaptive filters, not interlaced

    std::string png = "\x89PNG\r\n\x1A\n";
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", packed);
    appendChunk(png, "IEND", "");
    return png;
}

int writePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels) {
    std::string png = encodePng(width, height, pixels);
    if (png.empty()) return 3;
    return writeWholeFile(path, png);
}

}  // namespace drusk::testing
