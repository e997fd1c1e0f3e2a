#include "tools/castle/quantize.h"

#include <algorithm>
#include <array>

namespace drusk::castle {

namespace {

constexpr int cells = 32 * 32 * 32;

int cellOf(int r, int g, int b) {
    return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
}

int channelOf(int cell, int axis) {
    return (cell >> (10 - 5 * axis)) & 31;
}

// A box of the colour cube, held as the occupied cells inside it.
struct Box {
    std::vector<int> members;
    uint64_t count = 0;
    int extent = 0;
    int axis = 0;
};

void measure(Box& box, const std::vector<uint32_t>& histogram) {
    int lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
    box.count = 0;
    for (int cell : box.members) {
        box.count += histogram[cell];
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], channelOf(cell, k));
            hi[k] = std::max(hi[k], channelOf(cell, k));
        }
    }
    box.extent = 0;
    for (int k = 0; k < 3; ++k) {
        if (hi[k] - lo[k] > box.extent) box.extent = hi[k] - lo[k], box.axis = k;
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

    std::vector<Box> boxes(1);
    for (int cell = 0; cell < cells; ++cell) {
        if (histogram[cell]) boxes[0].members.push_back(cell);
    }
    measure(boxes[0], histogram);
    while (boxes.size() < 256) {
        // Split the box whose population times extent is largest, so both
        // common and far-apart colours get their entries.
        int best = -1;
        uint64_t bestScore = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            uint64_t score = boxes[i].count * static_cast<uint64_t>(boxes[i].extent);
            if (boxes[i].extent > 0 && score > bestScore)
                best = static_cast<int>(i), bestScore = score;
        }
        if (best < 0) break;
        Box& box = boxes[best];
        int axis = box.axis;
        std::sort(box.members.begin(), box.members.end(), [axis](int a, int b) {
            return channelOf(a, axis) != channelOf(b, axis)
                       ? channelOf(a, axis) < channelOf(b, axis)
                       : a < b;
        });
        // Cut at the weighted median, between two different channel values.
        uint64_t running = 0;
        size_t cut = 1;
        for (size_t i = 0; i + 1 < box.members.size(); ++i) {
            running += histogram[box.members[i]];
            cut = i + 1;
            bool boundary = channelOf(box.members[i], axis) != channelOf(box.members[i + 1], axis);
            if (boundary && running * 2 >= box.count) break;
        }
        while (cut < box.members.size() &&
               channelOf(box.members[cut - 1], axis) == channelOf(box.members[cut], axis)) {
            ++cut;
        }
        if (cut >= box.members.size()) {
            cut = 1;
            while (channelOf(box.members[cut - 1], axis) == channelOf(box.members[cut], axis))
                ++cut;
        }
        Box high;
        high.members.assign(box.members.begin() + static_cast<long>(cut), box.members.end());
        box.members.resize(cut);
        measure(box, histogram);
        measure(high, histogram);
        boxes.push_back(std::move(high));
    }

    palette.clear();
    std::vector<int> nearest(cells, -1);
    for (const Box& box : boxes) {
        uint64_t r = 0, g = 0, b = 0, n = 0;
        for (int cell : box.members) {
            r += sums[cell][0], g += sums[cell][1], b += sums[cell][2], n += histogram[cell];
        }
        if (!n) continue;
        palette.push_back(0xFF000000u | static_cast<uint32_t>(r / n) << 16 |
                          static_cast<uint32_t>(g / n) << 8 | static_cast<uint32_t>(b / n));
    }

    // Only the cells the dithered picture touches need their nearest entry.
    auto nearestEntry = [&](int cell) {
        if (nearest[cell] >= 0) return nearest[cell];
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
        return nearest[cell] = best;
    };

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
                static_cast<uint32_t>(nearestEntry(cellOf(channel(16), channel(8), channel(0))));
        }
    }
}

}  // namespace drusk::castle
