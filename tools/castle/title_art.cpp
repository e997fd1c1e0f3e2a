#include "tools/castle/title_art.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace drusk::castle {

namespace {

constexpr int width = 640;
constexpr int height = 480;
constexpr uint32_t mask = 0xFFFF00FF;

uint32_t rgb(int r, int g, int b) {
    auto clamp = [](int v) { return static_cast<uint32_t>(std::clamp(v, 0, 255)); };
    return 0xFF000000u | clamp(r) << 16 | clamp(g) << 8 | clamp(b);
}

uint32_t hash(int a, int b) {
    uint32_t h = static_cast<uint32_t>(a) * 374761393u + static_cast<uint32_t>(b) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

int textWidth(const std::string& text, int scale) {
    return static_cast<int>(text.size()) * 8 * scale;
}

// Draws text with each font pixel as a scale by scale block, with a drop
// shadow and a vertical colour ramp so large letters read as carved.
void drawBigText(Picture& p, const uint8_t (*glyphs)[8], const std::string& text, int x0, int y0,
                 int scale, uint32_t top, uint32_t bottom, bool shadow) {
    auto channel = [](uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xFF); };
    for (int pass = shadow ? 0 : 1; pass < 2; ++pass) {
        int offset = pass == 0 ? std::max(2, scale / 2) : 0;
        for (size_t i = 0; i < text.size(); ++i) {
            const uint8_t* glyph = glyphs[static_cast<uint8_t>(text[i])];
            for (int gy = 0; gy < 8; ++gy) {
                for (int gx = 0; gx < 8; ++gx) {
                    if (!(glyph[gy] & (0x80 >> gx))) continue;
                    for (int sy = 0; sy < scale; ++sy) {
                        int y = y0 + gy * scale + sy + offset;
                        if (y < 0 || y >= p.height) continue;
                        float t = static_cast<float>(gy * scale + sy) / (8 * scale);
                        uint32_t colour =
                            rgb(static_cast<int>(channel(top, 16) +
                                                 (channel(bottom, 16) - channel(top, 16)) * t),
                                static_cast<int>(channel(top, 8) +
                                                 (channel(bottom, 8) - channel(top, 8)) * t),
                                static_cast<int>(channel(top, 0) +
                                                 (channel(bottom, 0) - channel(top, 0)) * t));
                        if (pass == 0) colour = 0xFF000000;
                        for (int sx = 0; sx < scale; ++sx) {
                            int x = x0 + static_cast<int>(i) * 8 * scale + gx * scale + sx + offset;
                            if (x >= 0 && x < p.width) p.pixels[y * p.width + x] = colour;
                        }
                    }
                }
            }
        }
    }
}

void drawCentred(Picture& p, const uint8_t (*glyphs)[8], const std::string& text, int y, int scale,
                 uint32_t top, uint32_t bottom, bool shadow = true) {
    drawBigText(p, glyphs, text, (p.width - textWidth(text, scale)) / 2, y, scale, top, bottom,
                shadow);
}

// A castle outline against the night sky: towers, battlements and lit windows.
void drawCastle(Picture& p) {
    struct Tower {
        int x, w, top;
    };
    const Tower towers[] = {
        {70, 60, 250}, {150, 90, 300}, {250, 140, 210}, {400, 90, 290}, {500, 60, 240}};
    const int wallTop = 340;
    for (int x = 0; x < width; ++x) {
        int top = x > 40 && x < 600 ? wallTop : height;
        for (const Tower& t : towers) {
            if (x >= t.x && x < t.x + t.w) {
                bool merlon = ((x - t.x) / 10) % 2 == 0;
                top = std::min(top, t.top - (merlon ? 12 : 0));
            }
        }
        if (x > 40 && x < 600 && ((x / 12) % 2 == 0)) top = std::min(top, wallTop - 10);
        for (int y = std::max(0, top); y < height; ++y) {
            uint32_t n = hash(x / 3, y / 3) & 15;
            p.pixels[y * width + x] =
                rgb(14 + static_cast<int>(n), 12 + static_cast<int>(n), 20 + static_cast<int>(n));
        }
    }
    // Lit windows, a few per tower.
    for (const Tower& t : towers) {
        for (int k = 0; k < 3; ++k) {
            uint32_t h = hash(t.x, k);
            int wx = t.x + 10 + static_cast<int>(h % std::max(1, t.w - 26));
            int wy = t.top + 20 + static_cast<int>((h >> 8) % 80);
            for (int y = wy; y < wy + 14; ++y) {
                for (int x = wx; x < wx + 6; ++x) {
                    if (y < height) p.pixels[y * width + x] = rgb(250, 190 - (y - wy) * 4, 80);
                }
            }
        }
    }
    // The gate.
    for (int y = 395; y < height; ++y) {
        for (int x = 290; x < 350; ++x) {
            float dx = (x - 320) / 30.0f, dy = (y - 410) / 15.0f;
            if (y > 410 || dx * dx + dy * dy < 1.0f) p.pixels[y * width + x] = rgb(4, 3, 6);
        }
    }
}

}  // namespace

Picture renderTitle(const uint8_t (*glyphs)[8]) {
    Picture p = blankPicture(width, height, 0xFF000000);
    // Night sky: a gradient with stars and a moon.
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            float t = static_cast<float>(y) / height;
            int r = static_cast<int>(10 + 30 * t), g = static_cast<int>(12 + 20 * t),
                b = static_cast<int>(40 + 50 * t);
            uint32_t h = hash(x, y);
            if ((h & 1023) == 0) r = g = b = 150 + static_cast<int>((h >> 12) & 100);
            float mx = x - 590.0f, my = y - 150.0f;
            float m = std::sqrt(mx * mx + my * my);
            if (m < 34)
                r = 230, g = 225, b = 200;
            else if (m < 80)
                r += static_cast<int>(40 * (1 - m / 80)), g += static_cast<int>(40 * (1 - m / 80)),
                    b += static_cast<int>(40 * (1 - m / 80));
            p.pixels[y * width + x] = rgb(r, g, b);
        }
    }
    drawCastle(p);
    drawCentred(p, glyphs, "VEZOZA", 40, 10, rgb(255, 226, 140), rgb(190, 90, 20));
    drawCentred(p, glyphs, "DRUSK", 130, 10, rgb(255, 226, 140), rgb(190, 90, 20));
    drawCentred(p, glyphs, "Press any key to enter", 448, 2, rgb(240, 240, 240),
                rgb(180, 180, 200));
    return p;
}

Picture renderGameOver(const uint8_t (*glyphs)[8]) {
    Picture p = blankPicture(width, height, mask);
    const int top = 150, bottom = 300;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < width; ++x) {
            bool edge = y < top + 4 || y >= bottom - 4;
            int shade = 60 + static_cast<int>(hash(x / 4, y / 4) & 15);
            p.pixels[y * width + x] = edge ? rgb(200, 160, 60) : rgb(shade + 30, 8, 10);
        }
    }
    drawCentred(p, glyphs, "GAME OVER", 175, 7, rgb(255, 240, 200), rgb(230, 120, 40));
    drawCentred(p, glyphs, "Press a key", 262, 2, rgb(255, 255, 255), rgb(210, 210, 210));
    return p;
}

}  // namespace drusk::castle
