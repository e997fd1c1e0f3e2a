#include "tools/castle/view_renderer.h"

#include <algorithm>
#include <cmath>

namespace drusk::castle {

namespace {

// Everything is computed in linear light and turned into bytes at the end.
struct Rgb {
    float r = 0, g = 0, b = 0;
};

Rgb operator+(Rgb a, Rgb b) {
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
Rgb operator*(Rgb a, float s) {
    return {a.r * s, a.g * s, a.b * s};
}
Rgb operator*(Rgb a, Rgb b) {
    return {a.r * b.r, a.g * b.g, a.b * b.b};
}
Rgb mix(Rgb a, Rgb b, float t) {
    return a * (1 - t) + b * t;
}

uint32_t hash(int a, int b, int c = 0, int d = 0) {
    uint32_t h = 2166136261u;
    for (int v : {a, b, c, d}) {
        h ^= static_cast<uint32_t>(v);
        h *= 16777619u;
        h ^= h >> 15;
        h *= 0x2C1B3C6Du;
        h ^= h >> 12;
    }
    return h;
}

float unit(uint32_t h) {
    return static_cast<float>(h & 0xFFFFFF) / 16777216.0f;
}

float smooth(float t) {
    return t * t * (3 - 2 * t);
}

// Value noise: smooth random variation for grain and stains.
float noise(float x, float y, int seed) {
    int xi = static_cast<int>(std::floor(x)), yi = static_cast<int>(std::floor(y));
    float fx = smooth(x - xi), fy = smooth(y - yi);
    float a = unit(hash(xi, yi, seed)), b = unit(hash(xi + 1, yi, seed));
    float c = unit(hash(xi, yi + 1, seed)), d = unit(hash(xi + 1, yi + 1, seed));
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

float grain(float x, float y, int seed) {
    return 0.5f * noise(x, y, seed) + 0.3f * noise(x * 2.7f, y * 2.7f, seed + 1) +
           0.2f * noise(x * 7.1f, y * 7.1f, seed + 2);
}

enum class Feature {
    Plain,
    Torch,
    Banner,
    Shelves,
    Lectern,
    Door,
    Gate,
    Portcullis,
    Niche,
    Cracks
};

// Direction steps for the facings 0 north, 1 west, 2 south, 3 east.
const int stepColumn[4] = {0, -1, 0, 1};
const int stepRow[4] = {-1, 0, 1, 0};

struct AreaLook {
    Rgb stone;
    Rgb floor;
    Rgb ceiling;
    Rgb ambient;
};

AreaLook areaLook(Area area) {
    switch (area) {
        case Area::Entrance:
            return {{0.42f, 0.38f, 0.33f},
                    {0.36f, 0.32f, 0.27f},
                    {0.22f, 0.16f, 0.11f},
                    {0.16f, 0.14f, 0.12f}};
        case Area::Hall:
            return {{0.45f, 0.40f, 0.36f},
                    {0.33f, 0.22f, 0.20f},
                    {0.20f, 0.13f, 0.10f},
                    {0.14f, 0.12f, 0.11f}};
        case Area::Library:
            return {{0.40f, 0.35f, 0.28f},
                    {0.30f, 0.21f, 0.13f},
                    {0.24f, 0.16f, 0.09f},
                    {0.13f, 0.11f, 0.08f}};
        case Area::Crypt:
            return {{0.30f, 0.36f, 0.34f},
                    {0.22f, 0.27f, 0.26f},
                    {0.12f, 0.15f, 0.15f},
                    {0.06f, 0.10f, 0.10f}};
        case Area::Passage:
            return {{0.33f, 0.31f, 0.30f},
                    {0.26f, 0.24f, 0.23f},
                    {0.13f, 0.12f, 0.12f},
                    {0.05f, 0.05f, 0.06f}};
        case Area::Gate:
            return {{0.50f, 0.47f, 0.42f},
                    {0.40f, 0.38f, 0.33f},
                    {0.25f, 0.21f, 0.16f},
                    {0.22f, 0.21f, 0.18f}};
        default:
            return {{0.38f, 0.37f, 0.36f},
                    {0.30f, 0.29f, 0.28f},
                    {0.18f, 0.15f, 0.12f},
                    {0.10f, 0.10f, 0.10f}};
    }
}

struct Light {
    float x, y, h;
    Rgb colour;
};

class Renderer {
  public:
    Renderer(const CastlePlan& plan, int column, int row, int facing)
        : plan_(plan), column_(column), row_(row), facing_(facing & 3) {
        dirX_ = static_cast<float>(stepColumn[facing_]);
        dirY_ = static_cast<float>(stepRow[facing_]);
        rightX_ = -dirY_;
        rightY_ = dirX_;
        camX_ = column + 0.5f - dirX_ * 0.3f;
        camY_ = row + 0.5f - dirY_ * 0.3f;
        collectLights();
    }

    Picture render() {
        Picture picture = blankPicture(viewWidth, viewHeight, 0xFF000000);
        for (int x = 0; x < viewWidth; ++x)
            renderColumn(picture, x);
        return picture;
    }

  private:
    static constexpr float focal = viewWidth / 2.0f;  // a 90 degree field of view
    static constexpr float horizon = viewHeight / 2.0f;
    static constexpr float eye = 0.5f;
    static constexpr float farthest = 5.5f;

    bool room(int c, int r) const { return isRoom(plan_, c, r); }
    Area area(int c, int r) const { return room(c, r) ? plan_.cells[r][c] : Area::None; }

    Feature feature(int c, int r, int dir) const {
        Area a = area(c, r);
        uint32_t h = hash(c, r, dir, 7);
        bool outerNorth = dir == 0 && c == plan_.gateColumn && r == plan_.gateRow;
        if (outerNorth) return Feature::Gate;
        if (a == Area::Entrance && dir == 2 && r == plan_.startRow) return Feature::Portcullis;
        switch (a) {
            case Area::Library:
                if (c == 5 && r == 2 && dir == 3) return Feature::Lectern;
                return Feature::Shelves;
            case Area::Hall:
                return h % 3 == 0 ? Feature::Torch : Feature::Banner;
            case Area::Crypt:
                return h % 2 ? Feature::Niche : Feature::Plain;
            case Area::Passage:
                return Feature::Cracks;
            case Area::Corridor:
                if (h % 7 == 0) return Feature::Door;
                return h % 5 < 2 ? Feature::Torch : Feature::Plain;
            case Area::Entrance:
                return h % 2 ? Feature::Torch : Feature::Plain;
            case Area::Gate:
                return Feature::Torch;
            default:
                return Feature::Plain;
        }
    }

    void collectLights() {
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
                if (!room(c, r)) continue;
                for (int dir = 0; dir < 4; ++dir) {
                    if (room(c + stepColumn[dir], r + stepRow[dir])) continue;
                    Feature f = feature(c, r, dir);
                    Light light{c + 0.5f + stepColumn[dir] * 0.38f,
                                r + 0.5f + stepRow[dir] * 0.38f,
                                0.75f,
                                {0, 0, 0}};
                    if (f == Feature::Torch) light.colour = {1.5f, 0.85f, 0.35f};
                    if (f == Feature::Gate) light.colour = {1.2f, 1.1f, 0.8f}, light.h = 0.1f;
                    if (f == Feature::Lectern) light.colour = {0.9f, 0.7f, 0.4f};
                    if (light.colour.r == 0) continue;
                    float dx = light.x - camX_, dy = light.y - camY_;
                    if (dx * dx + dy * dy < 64) lights_[lightCount_++ % maxLights] = light;
                }
            }
        }
        lightCount_ = std::min(lightCount_, maxLights);
    }

    // How much light reaches a point, from the lights and the player's own lamp.
    Rgb lightAt(float x, float y, float h, float distance, Area a) const {
        Rgb light = areaLook(a).ambient;
        light = light + Rgb{1.0f, 0.88f, 0.7f} * (0.75f / (1.0f + 0.9f * distance * distance));
        for (int i = 0; i < lightCount_; ++i) {
            const Light& l = lights_[i];
            float dx = l.x - x, dy = l.y - y, dh = (l.h - h) * 0.8f;
            float d2 = dx * dx + dy * dy + dh * dh;
            light = light + l.colour * (0.35f / (0.08f + 2.2f * d2));
        }
        return light;
    }

    static Rgb stoneWall(float u, float h, int seed, Rgb base) {
        float rowsF = h * 6.0f;
        int courses = static_cast<int>(std::floor(rowsF));
        float across = u * 3.0f + ((courses & 1) ? 0.5f : 0.0f);
        int block = static_cast<int>(std::floor(across));
        float fu = across - block, fv = rowsF - courses;
        float edge = std::min({fu, 1 - fu, fv * 2.0f, (1 - fv) * 2.0f});
        float g = grain(u * 24.0f, h * 24.0f, seed);
        if (edge < 0.03f) return base * (0.25f + 0.15f * g);
        uint32_t stone = hash(block, courses, seed);
        float tone = 0.55f + 0.55f * unit(stone);
        Rgb tint =
            base * Rgb{0.9f + 0.2f * unit(stone >> 3), 0.95f, 0.9f + 0.2f * unit(stone >> 7)};
        float bevel = std::min(1.0f, edge / 0.1f);
        float stain = grain(u * 5.0f + block, h * 5.0f, seed + 3);
        return tint * (tone * (0.7f + 0.3f * bevel) * (0.65f + 0.5f * g) * (0.7f + 0.4f * stain));
    }

    // Paints what hangs on or is built into a wall face; emissive parts are
    // returned through glow and are not darkened by distance.
    static Rgb dressWall(Feature f, float u, float h, Rgb wall, Rgb& glow, int seed) {
        float cu = u - 0.5f;
        switch (f) {
            case Feature::Torch: {
                if (std::fabs(cu) < 0.025f && h > 0.5f && h < 0.7f) return {0.08f, 0.07f, 0.06f};
                if (std::fabs(cu) < 0.06f && h > 0.5f && h < 0.53f) return {0.12f, 0.1f, 0.08f};
                float fx = cu / 0.05f, fy = (h - 0.76f) / 0.08f;
                float flame = fx * fx + fy * fy * (fy > 0 ? 1.0f : 2.5f);
                if (flame < 1.0f) {
                    glow = mix(Rgb{1.6f, 1.5f, 0.8f}, Rgb{1.3f, 0.45f, 0.08f}, flame);
                    return {0, 0, 0};
                }
                return wall;
            }
            case Feature::Banner: {
                float bottom = 0.22f + 0.12f * std::fabs(cu) / 0.18f;
                if (std::fabs(cu) < 0.2f && h > 0.86f && h < 0.89f) return {0.25f, 0.18f, 0.08f};
                if (std::fabs(cu) < 0.18f && h < 0.86f && h > bottom) {
                    Rgb cloth = (seed & 1) ? Rgb{0.55f, 0.06f, 0.06f} : Rgb{0.1f, 0.12f, 0.45f};
                    float fold = 0.8f + 0.2f * std::cos(cu * 60.0f);
                    bool tower = (std::fabs(cu) < 0.05f && h > 0.45f && h < 0.72f) ||
                                 (std::fabs(cu) < 0.08f && h > 0.68f && h < 0.74f &&
                                  std::fmod(cu + 1.0f, 0.04f) < 0.025f) ||
                                 (std::fabs(cu) < 0.1f && h > 0.4f && h < 0.46f);
                    if (tower) return Rgb{0.75f, 0.6f, 0.2f} * fold;
                    if (std::fabs(std::fabs(cu) - 0.16f) < 0.01f) return Rgb{0.7f, 0.55f, 0.2f};
                    return cloth * fold;
                }
                return wall;
            }
            case Feature::Shelves:
            case Feature::Lectern: {
                if (std::fabs(cu) > 0.44f || h > 0.92f) return wall;
                if (f == Feature::Lectern && std::fabs(cu) < 0.22f && h > 0.32f && h < 0.62f) {
                    // An open book in a lit alcove.
                    if (h < 0.38f) return {0.25f, 0.15f, 0.07f};
                    float page = std::fabs(cu) / 0.2f;
                    if (page > 1.0f) return {0.05f, 0.03f, 0.02f};
                    bool text = std::fmod(h * 40.0f, 1.0f) < 0.35f && page > 0.1f && page < 0.9f &&
                                h < 0.58f && h > 0.42f;
                    Rgb paper = Rgb{0.95f, 0.88f, 0.7f} * (0.85f + 0.15f * page);
                    return text ? Rgb{0.2f, 0.15f, 0.1f} : paper;
                }
                Rgb wood{0.32f, 0.18f, 0.08f};
                float level = h * 5.0f;
                int shelf = static_cast<int>(level);
                float inShelf = level - shelf;
                if (std::fabs(cu) > 0.41f || inShelf < 0.08f)
                    return wood * (0.8f + 0.2f * grain(u * 30, h * 5, seed));
                float pos = (u + 0.5f) * 40.0f;
                int book = static_cast<int>(pos);
                uint32_t bh = hash(book, shelf, seed);
                float top = 0.55f + 0.4f * unit(bh);
                if (inShelf > top || std::fmod(pos, 1.0f) < 0.08f) return Rgb{0.05f, 0.03f, 0.02f};
                static const Rgb spines[] = {{0.45f, 0.08f, 0.06f}, {0.1f, 0.3f, 0.12f},
                                             {0.12f, 0.14f, 0.4f},  {0.4f, 0.28f, 0.1f},
                                             {0.3f, 0.05f, 0.25f},  {0.5f, 0.42f, 0.3f}};
                Rgb spine = spines[(bh >> 8) % 6] * (0.55f + 0.3f * unit(bh >> 4));
                if (std::fabs(inShelf - top * 0.7f) < 0.03f) spine = Rgb{0.7f, 0.6f, 0.25f};
                return spine;
            }
            case Feature::Door:
            case Feature::Gate: {
                float halfWidth = f == Feature::Gate ? 0.3f : 0.22f;
                float top = f == Feature::Gate ? 0.7f : 0.62f;
                float ax = cu / halfWidth, ay = (h - top) / 0.18f;
                bool inside = std::fabs(cu) < halfWidth && (h < top || ax * ax + ay * ay < 1.0f);
                bool frame = std::fabs(cu) < halfWidth + 0.04f &&
                             (h < top + 0.04f || ax * ax * 0.8f + ay * ay * 0.8f < 1.0f);
                if (!inside) return frame ? wall * 0.55f : wall;
                if (f == Feature::Gate && h < 0.025f) {
                    glow = {1.8f, 1.6f, 1.1f};
                    return {0, 0, 0};
                }
                float plank = std::fmod((cu + halfWidth) * 14.0f, 1.0f);
                Rgb wood = Rgb{0.36f, 0.21f, 0.1f} * (0.75f + 0.25f * grain(u * 8, h * 40, seed));
                if (plank < 0.08f) wood = wood * 0.5f;
                if (std::fabs(h - 0.18f) < 0.025f || std::fabs(h - 0.5f) < 0.025f)
                    wood = {0.12f, 0.12f, 0.13f};
                float rx = cu - halfWidth * 0.6f, ry = h - 0.36f;
                float ring = std::sqrt(rx * rx + ry * ry);
                if (std::fabs(ring - 0.03f) < 0.007f) wood = {0.5f, 0.45f, 0.3f};
                return wood;
            }
            case Feature::Portcullis: {
                if (std::fabs(cu) > 0.32f || h > 0.78f) return wall;
                bool bar = std::fmod((cu + 0.32f) * 12.5f, 1.0f) < 0.22f ||
                           std::fmod(h * 12.0f, 1.0f) < 0.18f;
                return bar ? Rgb{0.16f, 0.15f, 0.15f} : Rgb{0.01f, 0.01f, 0.012f};
            }
            case Feature::Niche: {
                if (std::fabs(cu) > 0.3f || h < 0.3f || h > 0.62f) return wall;
                float sx = cu / 0.06f, sy = (h - 0.4f) / 0.07f;
                if (sx * sx + sy * sy < 1.0f) {
                    bool eyeHole = (std::fabs(std::fabs(cu) - 0.022f) < 0.012f &&
                                    std::fabs(h - 0.41f) < 0.012f);
                    return eyeHole ? Rgb{0.02f, 0.02f, 0.02f} : Rgb{0.72f, 0.7f, 0.6f};
                }
                if (h < 0.34f && std::fabs(cu) < 0.25f &&
                    std::fmod(cu * 30.0f + 10.0f, 1.0f) < 0.5f) {
                    return {0.6f, 0.58f, 0.5f};
                }
                return {0.03f, 0.04f, 0.04f};
            }
            case Feature::Cracks: {
                float n = noise(u * 6.0f, h * 6.0f, seed);
                if (std::fabs(n - 0.5f) < 0.008f && noise(u * 3.0f, h * 3.0f, seed + 9) > 0.55f) {
                    return wall * 0.3f;
                }
                // Damp patches where water runs down.
                return wall * (0.75f + 0.25f * noise(u * 9.0f, h * 2.0f, seed + 4));
                return wall;
            }
            default:
                return wall;
        }
    }

    Rgb floorColour(float x, float y, Area a) const {
        int c = static_cast<int>(std::floor(x)), r = static_cast<int>(std::floor(y));
        if (c == plan_.pitColumn && r == plan_.pitRow) {
            float dx = x - (c + 0.5f), dy = y - (r + 0.55f);
            float radius = 0.3f + 0.06f * noise(std::atan2(dy, dx) * 3.0f, 0.5f, 77);
            float d = std::sqrt(dx * dx + dy * dy);
            if (d < radius) return {0, 0, 0};
            if (d < radius + 0.04f) return {0.08f, 0.07f, 0.06f};
        }
        float fx = x * 2.0f, fy = y * 2.0f;
        int tx = static_cast<int>(std::floor(fx)), ty = static_cast<int>(std::floor(fy));
        float ex = fx - tx, ey = fy - ty;
        float edge = std::min({ex, 1 - ex, ey, 1 - ey});
        Rgb base = areaLook(a).floor;
        float g = grain(x * 14.0f, y * 14.0f, 5);
        if (edge < 0.035f) return base * (0.3f + 0.15f * g);
        return base * ((0.75f + 0.35f * unit(hash(tx, ty, 11))) * (0.8f + 0.3f * g));
    }

    Rgb ceilingColour(float x, float y, Area a) const {
        // Beams run across the way the player looks, every half cell.
        float along = facing_ % 2 == 0 ? y : x;
        float across = facing_ % 2 == 0 ? x : y;
        float beam = std::fmod(along * 2.0f + 100.0f, 1.0f);
        Rgb base = areaLook(a).ceiling;
        if (beam < 0.22f) {
            return Rgb{0.22f, 0.13f, 0.06f} * (0.7f + 0.3f * grain(across * 3, along * 30, 9));
        }
        return base * (0.7f + 0.4f * grain(x * 10, y * 10, 13));
    }

    static uint8_t toByte(float v) {
        v = std::max(0.0f, v) * 0.62f;  // exposure: a castle lit by a lamp, not by day
        v = v / (1.0f + v * 0.25f);     // soft shoulder for bright torches
        float s = std::pow(std::min(v, 1.0f), 1.0f / 2.2f);
        return static_cast<uint8_t>(std::lround(s * 255.0f));
    }

    static uint32_t pack(Rgb c) {
        return 0xFF000000u | uint32_t{toByte(c.r)} << 16 | uint32_t{toByte(c.g)} << 8 | toByte(c.b);
    }

    Rgb fog(Rgb c, float distance) const {
        float keep = std::exp(-0.12f * distance * distance);
        return c * keep;
    }

    void renderColumn(Picture& picture, int x) {
        float cameraX = (x + 0.5f - viewWidth / 2.0f) / focal;
        float rayX = dirX_ + rightX_ * cameraX, rayY = dirY_ + rightY_ * cameraX;

        int mapC = static_cast<int>(std::floor(camX_)), mapR = static_cast<int>(std::floor(camY_));
        float deltaX = rayX == 0 ? 1e30f : std::fabs(1 / rayX);
        float deltaY = rayY == 0 ? 1e30f : std::fabs(1 / rayY);
        int stepX = rayX < 0 ? -1 : 1, stepY = rayY < 0 ? -1 : 1;
        float sideX = rayX < 0 ? (camX_ - mapC) * deltaX : (mapC + 1 - camX_) * deltaX;
        float sideY = rayY < 0 ? (camY_ - mapR) * deltaY : (mapR + 1 - camY_) * deltaY;
        int prevC = mapC, prevR = mapR;
        bool vertical = false, hit = false;
        float distance = 0;
        while (distance < farthest) {
            prevC = mapC, prevR = mapR;
            if (sideX < sideY) {
                distance = sideX;
                sideX += deltaX;
                mapC += stepX;
                vertical = true;
            } else {
                distance = sideY;
                sideY += deltaY;
                mapR += stepY;
                vertical = false;
            }
            if (!room(mapC, mapR)) {
                hit = true;
                break;
            }
        }

        float top = horizon, bottom = horizon;
        if (hit) {
            top = horizon - (1 - eye) * focal / distance;
            bottom = horizon + eye * focal / distance;
            float hitX = camX_ + rayX * distance, hitY = camY_ + rayY * distance;
            int dir;
            float u;
            if (vertical) {
                dir = stepX > 0 ? 3 : 1;
                float f = hitY - std::floor(hitY);
                u = dir == 3 ? f : 1 - f;
            } else {
                dir = stepY > 0 ? 2 : 0;
                float f = hitX - std::floor(hitX);
                u = dir == 0 ? f : 1 - f;
            }
            Area a = area(prevC, prevR);
            Feature f = feature(prevC, prevR, dir);
            int seed = static_cast<int>(hash(prevC, prevR, dir) & 0xFFFF);
            int y0 = std::max(0, static_cast<int>(std::ceil(top - 0.5f)));
            int y1 = std::min(viewHeight, static_cast<int>(std::ceil(bottom - 0.5f)));
            for (int y = y0; y < y1; ++y) {
                float h = 1.0f - (y + 0.5f - top) / (bottom - top);
                Rgb glow;
                Rgb wall = stoneWall(u, h, seed, areaLook(a).stone);
                Rgb surface = dressWall(f, u, h, wall, glow, seed);
                // Shade the two wall orientations apart so corners read.
                float orient = vertical ? 0.85f : 1.0f;
                Rgb lit = surface * lightAt(hitX, hitY, h, distance, a) * orient;
                picture.pixels[y * viewWidth + x] =
                    pack(fog(lit, distance) + glow * std::exp(-0.05f * distance * distance));
            }
        }

        for (int y = 0; y < viewHeight; ++y) {
            bool above = y + 0.5f < top, below = y + 0.5f > bottom;
            if (!above && !below) {
                if (!hit) picture.pixels[y * viewWidth + x] = 0xFF000000;
                continue;
            }
            float rowDistance = above ? (1 - eye) * focal / (horizon - y - 0.5f)
                                      : eye * focal / (y + 0.5f - horizon);
            if (rowDistance > farthest + 1) {
                picture.pixels[y * viewWidth + x] = 0xFF000000;
                continue;
            }
            float wx = camX_ + rayX * rowDistance, wy = camY_ + rayY * rowDistance;
            int c = static_cast<int>(std::floor(wx)), r = static_cast<int>(std::floor(wy));
            Area a = area(c, r);
            if (a == Area::None) a = area(column_, row_);
            Rgb surface = above ? ceilingColour(wx, wy, a) : floorColour(wx, wy, a);
            Rgb lit = surface * lightAt(wx, wy, above ? 1.0f : 0.0f, rowDistance, a);
            picture.pixels[y * viewWidth + x] = pack(fog(lit, rowDistance));
        }
    }

    static constexpr int maxLights = 24;
    const CastlePlan& plan_;
    int column_, row_, facing_;
    float dirX_, dirY_, rightX_, rightY_, camX_, camY_;
    Light lights_[maxLights];
    int lightCount_ = 0;
};

}  // namespace

Picture renderView(const CastlePlan& plan, int column, int row, int facing) {
    return Renderer(plan, column, row, facing).render();
}

}  // namespace drusk::castle
