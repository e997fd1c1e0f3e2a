#include "tools/castle/quantize.h"

#include <algorithm>
#include <array>

namespace drusk::castle {

namespace {

constexpr int cells = 32 * 32 * 32;

int cellOf(int r, int g, int b) {
    return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
}

struct Box {
    int lo[3], hi[3];  // inclusive 5-bit bounds per channel
    uint64_t count;
};

void shrink(Box& box, const std::vector<uint32_t>& histogram) {
    int lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
    uint64_t count = 0;
    for (int r = box.lo[0]; r <= box.hi[0]; ++r) {
        for (int g = box.lo[1]; g <= box.hi[1]; ++g) {
            for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                uint32_t n = histogram[r << 10 | g << 5 | b];
                if (!n) continue;
                count += n;
                int c[3] = {r, g, b};
                for (int k = 0; k < 3; ++k)
                    lo[k] = std::min(lo[k], c[k]), hi[k] = std::max(hi[k], c[k]);
            }
        }
    }
    box.count = count;
    if (count) {
        for (int k = 0; k < 3; ++k)
            box.lo[k] = lo[k], box.hi[k] = hi[k];
    }
}

}  // namespace

void quantize(const Picture& picture, std::vector<uint32_t>& indices,
              std::vector<uint32_t>& palette) {
    std::vector<uint32_t> histogram(cells, 0);
    std::vector<std::array<uint64_t, 3>> sums(cells, {0, 0, 0});
    for (uint32_t p : picture.pixels) {
        int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        int cell = cellOf(r, g, b);
        ++histogram[cell];
        sums[cell][0] += r, sums[cell][1] += g, sums[cell][2] += b;
    }

    std::vector<Box> boxes{{{0, 0, 0}, {31, 31, 31}, 0}};
    shrink(boxes[0], histogram);
    while (boxes.size() < 256) {
        // Split the box whose population times extent is largest, so both
        // common and far-apart colours get their entries.
        int best = -1;
        uint64_t bestScore = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            const Box& b = boxes[i];
            int extent = std::max({b.hi[0] - b.lo[0], b.hi[1] - b.lo[1], b.hi[2] - b.lo[2]});
            uint64_t score = b.count * static_cast<uint64_t>(extent);
            if (extent > 0 && score > bestScore) best = static_cast<int>(i), bestScore = score;
        }
        if (best < 0) break;
        Box box = boxes[best];
        int axis = 0;
        for (int k = 1; k < 3; ++k) {
            if (box.hi[k] - box.lo[k] > box.hi[axis] - box.lo[axis]) axis = k;
        }
        // The weighted median along the axis.
        std::vector<uint64_t> slice(32, 0);
        for (int r = box.lo[0]; r <= box.hi[0]; ++r) {
            for (int g = box.lo[1]; g <= box.hi[1]; ++g) {
                for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                    int c[3] = {r, g, b};
                    slice[c[axis]] += histogram[r << 10 | g << 5 | b];
                }
            }
        }
        uint64_t half = box.count / 2, running = 0;
        int cut = box.lo[axis];
        for (int v = box.lo[axis]; v < box.hi[axis]; ++v) {
            running += slice[v];
            cut = v;
            if (running >= half) break;
        }
        Box low = box, high = box;
        low.hi[axis] = cut;
        high.lo[axis] = cut + 1;
        shrink(low, histogram);
        shrink(high, histogram);
        boxes[best] = low;
        if (high.count) boxes.push_back(high);
        if (!low.count) boxes.erase(boxes.begin() + best);
    }

    palette.clear();
    std::vector<uint8_t> nearest(cells, 0);
    for (const Box& box : boxes) {
        uint64_t r = 0, g = 0, b = 0, n = 0;
        for (int cr = box.lo[0]; cr <= box.hi[0]; ++cr) {
            for (int cg = box.lo[1]; cg <= box.hi[1]; ++cg) {
                for (int cb = box.lo[2]; cb <= box.hi[2]; ++cb) {
                    int cell = cr << 10 | cg << 5 | cb;
                    r += sums[cell][0], g += sums[cell][1], b += sums[cell][2],
                        n += histogram[cell];
                }
            }
        }
        if (!n) continue;
        palette.push_back(0xFF000000u | static_cast<uint32_t>(r / n) << 16 |
                          static_cast<uint32_t>(g / n) << 8 | static_cast<uint32_t>(b / n));
    }
    for (int cell = 0; cell < cells; ++cell) {
        int r = ((cell >> 10) & 31) * 8 + 4, g = ((cell >> 5) & 31) * 8 + 4,
            b = (cell & 31) * 8 + 4;
        int best = 0, bestDistance = 1 << 30;
        for (size_t i = 0; i < palette.size(); ++i) {
            int dr = r - static_cast<int>((palette[i] >> 16) & 0xFF);
            int dg = g - static_cast<int>((palette[i] >> 8) & 0xFF);
            int db = b - static_cast<int>(palette[i] & 0xFF);
            int d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
            if (d < bestDistance) best = static_cast<int>(i), bestDistance = d;
        }
        nearest[cell] = static_cast<uint8_t>(best);
    }

    static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    indices.resize(picture.pixels.size());
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            uint32_t p = picture.pixels[static_cast<size_t>(y) * picture.width + x];
            int offset = bayer[y & 3][x & 3] / 2 - 4;  // within one 5-bit step
            auto channel = [&](int shift) {
                return std::clamp(static_cast<int>((p >> shift) & 0xFF) + offset, 0, 255);
            };
            indices[static_cast<size_t>(y) * picture.width + x] =
                nearest[cellOf(channel(16), channel(8), channel(0))];
        }
    }
}

}  // namespace drusk::castle
