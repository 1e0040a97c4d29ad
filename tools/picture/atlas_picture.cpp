// The source picture of the texture atlas, painted by seeded code from content/atlas/atlas.txt (portable; tools only).
#include "tools/picture/atlas_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>
#include <sstream>

#include "media/whole_file.h"
#include "tools/picture/mpeg1_encoder.h"

namespace {

constexpr int tile = 64;
constexpr double pi = 3.14159265358979323846;

// ---- colours -------------------------------------------------------------

struct rgb {
    double r = 0, g = 0, b = 0;
};
rgb operator+(rgb a, rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
rgb operator*(rgb a, double k) { return {a.r * k, a.g * k, a.b * k}; }
rgb mix(rgb a, rgb b, double t) { return a * (1 - t) + b * t; }
rgb grey(double v) { return {v, v, v}; }
rgb from_hex(uint32_t c) { return {((c >> 16) & 255) / 255.0, ((c >> 8) & 255) / 255.0, (c & 255) / 255.0}; }

double clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
double smoothstep(double a, double b, double v)
{
    double t = clamp01((v - a) / (b - a));
    return t * t * (3 - 2 * t);
}
// Coverage of a shape from its signed distance in pixels (negative inside).
double coverage(double distance, double softness = 0.7) { return clamp01(0.5 - distance / softness); }

// Blends `over` onto `base` with coverage `alpha`.
void paint(rgb& base, rgb over, double alpha) { base = mix(base, over, clamp01(alpha)); }

// ---- seeded noise that tiles with period 64 pixels ------------------------

uint32_t hash3(uint32_t x, uint32_t y, uint32_t seed)
{
    uint32_t h = seed * 0x9E3779B1u ^ x * 0x85EBCA77u ^ y * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}
double hash_unit(uint32_t x, uint32_t y, uint32_t seed) { return (hash3(x, y, seed) >> 8) / 16777216.0; }

uint32_t wrap(int v, int period) { return uint32_t(((v % period) + period) % period); }

// Gradient noise on a lattice of `cells` x `cells` over one tile, wrapping at
// the tile's edge; about -0.7 to 0.7.
double tile_noise(double x, double y, int cells, uint32_t seed)
{
    static const double gradients[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1},
                                           {0.70710678, 0.70710678}, {-0.70710678, 0.70710678},
                                           {0.70710678, -0.70710678}, {-0.70710678, -0.70710678}};
    double u = x * cells / tile, v = y * cells / tile;
    int iu = int(std::floor(u)), iv = int(std::floor(v));
    double fu = u - iu, fv = v - iv;
    auto corner = [&](int du, int dv) {
        const double* g = gradients[hash3(wrap(iu + du, cells), wrap(iv + dv, cells), seed) & 7];
        return g[0] * (fu - du) + g[1] * (fv - dv);
    };
    auto fade = [](double t) { return t * t * t * (t * (t * 6 - 15) + 10); };
    double su = fade(fu), sv = fade(fv);
    double top = corner(0, 0) + (corner(1, 0) - corner(0, 0)) * su;
    double bottom = corner(0, 1) + (corner(1, 1) - corner(0, 1)) * su;
    return top + (bottom - top) * sv;
}

// Fractal sum of octaves, each with twice the cells and `gain` times the weight.
double tile_fbm(double x, double y, int cells, int octaves, double gain, uint32_t seed)
{
    double sum = 0, weight = 1, total = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += weight * tile_noise(x, y, cells << o, seed + uint32_t(o) * 101u);
        total += weight;
        weight *= gain;
    }
    return sum / total;
}

// Distances to the nearest and second-nearest feature point of a wrapping
// grid of `cells` x `cells` cells, one point per cell, in pixels.
void tile_cells(double x, double y, int cells, uint32_t seed, double* nearest, double* second)
{
    double size = double(tile) / cells;
    int cx = int(std::floor(x / size)), cy = int(std::floor(y / size));
    double f1 = 1e9, f2 = 1e9;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            int gx = cx + dx, gy = cy + dy;
            uint32_t hx = wrap(gx, cells), hy = wrap(gy, cells);
            double px = (gx + 0.15 + 0.7 * hash_unit(hx, hy, seed)) * size;
            double py = (gy + 0.15 + 0.7 * hash_unit(hx, hy, seed + 7)) * size;
            double d = std::hypot(x - px, y - py);
            if (d < f1) {
                f2 = f1;
                f1 = d;
            } else if (d < f2) {
                f2 = d;
            }
        }
    *nearest = f1;
    *second = f2;
}

// Offset from a to b along one axis, the short way round the tile.
double wrapped_offset(double a, double b)
{
    double d = b - a;
    return d - tile * std::round(d / tile);
}

// Signed distance to an ellipse (approximate, exact on the axes).
double ellipse_distance(double x, double y, double cx, double cy, double rx, double ry)
{
    double u = (x - cx) / rx, v = (y - cy) / ry;
    return (std::sqrt(u * u + v * v) - 1) * std::min(rx, ry);
}

// Distance from a point to the segment a-b.
double segment_distance(double x, double y, double ax, double ay, double bx, double by)
{
    double vx = bx - ax, vy = by - ay;
    double t = clamp01(((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy));
    return std::hypot(x - ax - t * vx, y - ay - t * vy);
}

// ---- the tiles -----------------------------------------------------------
// Each paints one point (x, y) of its 64 x 64 tile, 0 <= x, y < 64, in the
// colours the show should see.

struct painter {
    const atlas_parameters& p;

    // Slot 5: brown organic cells with darker seams, wrapping.
    rgb organic(double x, double y) const
    {
        double warp_x = 6 * tile_fbm(x, y, 2, 2, 0.5, p.seed + 10);
        double warp_y = 6 * tile_fbm(x, y, 2, 2, 0.5, p.seed + 11);
        double f1, f2;
        tile_cells(x + warp_x, y + warp_y, 5, p.seed + 12, &f1, &f2);
        double seam = smoothstep(0.0, 3.5, f2 - f1);            // 0 on the seams between cells
        double body = 1 - smoothstep(0, 9, f1) * 0.45;          // cells bulge in the middle
        double grain = tile_fbm(x, y, 4, 3, 0.55, p.seed + 13);  // mottled surface
        double v = clamp01(0.2 + 0.65 * body * seam + 0.5 * grain);
        rgb c = mix(from_hex(p.organic_dark), from_hex(p.organic_light), v);
        return c * (0.55 + 0.45 * seam);
    }

    // Slot 6: blue-grey clouds, wrapping.
    rgb clouds(double x, double y) const
    {
        double n = tile_fbm(x, y, 2, 5, 0.5, p.seed + 20);
        double density = smoothstep(-0.3, 0.45, n);
        double light = 0.5 + 0.5 * tile_fbm(x + 2, y + 2, 2, 4, 0.5, p.seed + 20) - 0.5 * (n - 0.0);
        rgb c = mix(from_hex(p.cloud_dark), from_hex(p.cloud_light), density);
        return c * (0.9 + 0.2 * clamp01(light));
    }

    // Slot 7: bubbles on a dark ground, wrapping; brighter where the bubble is higher.
    rgb bubbles(double x, double y) const
    {
        rgb ground = from_hex(p.bubble_ground) * (0.8 + 0.5 * tile_fbm(x, y, 2, 3, 0.5, p.seed + 30));
        rgb c = ground;
        rgb tint = from_hex(p.bubble_tint);
        const int count = 26;
        for (int i = 0; i < count; ++i) {
            double bx = 64 * hash_unit(uint32_t(i), 1, p.seed + 31);
            double by = 64 * hash_unit(uint32_t(i), 2, p.seed + 31);
            double radius = 3 + 7.5 * std::pow(hash_unit(uint32_t(i), 3, p.seed + 31), 1.6);
            double dx = wrapped_offset(bx, x), dy = wrapped_offset(by, y);
            double r = std::hypot(dx, dy) / radius;
            if (r > 1.2)
                continue;
            double inside = coverage((r - 1) * radius, 0.9);
            double dome = std::sqrt(std::max(0.0, 1 - r * r));
            double rim = smoothstep(0.6, 0.97, r) * (1 - smoothstep(0.97, 1.05, r));
            double highlight = std::exp(-(std::pow(dx / radius + 0.38, 2) + std::pow(dy / radius + 0.4, 2)) * 30);
            rgb bubble = mix(c, tint * (0.25 + 0.35 * dome), 0.55) + tint * (0.9 * rim) + grey(0.9 * highlight);
            paint(c, bubble, inside);
        }
        return c;
    }

    // Slot 8: a glossy sphere on black.
    rgb sphere(double x, double y) const
    {
        double u = (x - 32) / 27, v = (y - 32) / 27;
        double rr = u * u + v * v;
        rgb c = grey(0);
        // a soft shadow under the sphere
        c = c + grey(0.0);
        if (rr > 1.1)
            return c;
        double nz = std::sqrt(std::max(0.0, 1 - rr));
        const double lx = -0.45, ly = -0.6, lz = 0.66;
        double diffuse = std::max(0.0, u * lx + v * ly + nz * lz);
        // Blinn highlight with the viewer on +z
        double hx = lx, hy = ly, hz = lz + 1, hl = std::sqrt(hx * hx + hy * hy + hz * hz);
        double specular = std::pow(std::max(0.0, (u * hx + v * hy + nz * hz) / hl), 60);
        // a bright horizon reflected in the lower half, dark sky above
        double ry = v * 2 * nz;  // y of the reflected view ray
        double horizon = smoothstep(0.1, 0.5, ry) * (1 - smoothstep(0.5, 0.95, ry));
        double fresnel = 0.15 + 0.85 * std::pow(1 - nz, 3);
        rgb base = from_hex(p.sphere_colour);
        rgb s = base * (0.08 + 0.85 * diffuse) + grey(0.55) * (horizon * (0.3 + fresnel)) +
                grey(1.0) * (1.2 * specular) + base * (0.25 * fresnel);
        paint(c, s, coverage((std::sqrt(rr) - 1) * 27, 0.8));
        return c;
    }

    // Slot 9: thin cyan filaments on black, wrapping.
    rgb filaments(double x, double y) const
    {
        rgb colour = from_hex(p.filament_colour);
        double total = 0;
        for (int layer = 0; layer < 2; ++layer) {
            double n = tile_fbm(x, y, 2, 3, 0.5, p.seed + 40 + uint32_t(layer));
            double ridge = 1 - std::fabs(n) * 14;  // thin where the field crosses zero
            double strength = layer == 0 ? 1.0 : 0.6;
            total += strength * (std::pow(clamp01(ridge), 3) + 0.18 * std::pow(clamp01(1 - std::fabs(n) * 5), 2));
        }
        double core = smoothstep(0.9, 1.6, total);
        return colour * clamp01(total) + grey(0.7) * core;
    }

    // Slot 10: a bright disc with a soft glow.
    rgb disc(double x, double y) const
    {
        // The hue turns from warm white to the glow's colour smoothly, so the
        // sharp rim lives in the luminance alone and the coarse chroma of the
        // coding has nothing sharp to ring on.
        double r = std::hypot(x - 32, y - 32);
        rgb hue = mix(rgb{0.97, 0.93, 0.83}, from_hex(p.disc_glow), smoothstep(3, 24, r));
        double window = 1 - smoothstep(22, 31.5, r);
        double glow = 0.8 * std::exp(-std::max(0.0, r - 11) / 5.5) * window;
        double disc = coverage(r - 11.5, 1.4);
        return hue * (glow + (1 - glow) * disc);
    }

    // Slot 11: a painted face, lit from the upper left.
    rgb face(double x, double y) const
    {
        // brush texture: noise stretched along slanted strokes
        double stroke = tile_fbm(x * 0.35 + y * 0.9, y * 0.35 - x * 0.9, 6, 2, 0.5, p.seed + 50);
        rgb ground = mix(from_hex(p.face_ground), from_hex(p.face_ground) * 1.9, smoothstep(60, 0, y + x * 0.3));
        rgb c = ground * (1 + 0.35 * stroke);
        rgb skin = from_hex(p.skin), hair = from_hex(p.hair);

        // shoulders and neck
        double neck = std::max(std::fabs(x - 32) - 5.2, 48 - y);
        paint(c, skin * (0.6 - 0.18 * smoothstep(27, 37, x) - 0.1 * smoothstep(52, 60, y)), coverage(neck, 1.0));
        rgb cloth = rgb{0.16, 0.2, 0.42} * (1 + 0.4 * stroke);
        paint(c, cloth * (1.1 - 0.4 * smoothstep(20, 50, x)), coverage(ellipse_distance(x, y, 32, 71, 32, 16)));
        // hair behind the head, falling past the ears
        double hair_back = std::max(ellipse_distance(x, y, 32, 31, 22, 25), y - 50 - 0.2 * std::fabs(x - 32));
        paint(c, hair * (1 + 0.6 * stroke), coverage(hair_back, 1.2));

        // head: shaded oval, lighter towards the upper left
        double head = ellipse_distance(x, y, 32, 34, 15.5, 19.5);
        double shade = clamp01(0.95 - 0.02 * (x - 22) - 0.008 * (y - 28));
        double jaw = smoothstep(44, 54, y) * 0.2;
        rgb face_colour = skin * (0.62 + 0.45 * shade - jaw);
        // cheeks
        double blush = std::exp(-(std::pow(x - 23.5, 2) + std::pow(y - 41, 2)) / 12) +
                       std::exp(-(std::pow(x - 40.5, 2) + std::pow(y - 41, 2)) / 12);
        face_colour = face_colour + rgb{0.1, -0.02, -0.02} * blush;
        paint(c, face_colour * (1 + 0.05 * stroke), coverage(head, 1.0));

        // hair over the forehead, parted on one side and swept across
        double hairline = y - (19.5 + 0.028 * std::pow(x - 37, 2));
        double fringe = std::max(ellipse_distance(x, y, 32, 30, 18.5, 22), hairline);
        double strands = 0.5 + 0.5 * std::sin((x - 0.6 * y) * 1.3 + 3 * stroke);
        paint(c, hair * (1.05 + 0.35 * strands + 0.3 * smoothstep(28, 14, y)), coverage(fringe, 1.1));

        // eye sockets, brows, eyes
        for (int side = -1; side <= 1; side += 2) {
            double ex = 32 + side * 7.0, ey = 33.5;
            paint(c, face_colour * 0.74, 0.6 * coverage(ellipse_distance(x, y, ex, ey - 0.8, 5.5, 3.6), 2.5));
            double brow = std::min(segment_distance(x, y, 32 + side * 2.8, ey - 4.2, ex + side * 1.0, ey - 5.1),
                                   segment_distance(x, y, ex + side * 1.0, ey - 5.1, ex + side * 5.0, ey - 3.9));
            paint(c, hair * 0.85, coverage(brow - 0.8, 0.9));
            double eye = ellipse_distance(x, y, ex, ey, 3.8, 1.9);
            paint(c, rgb{0.93, 0.91, 0.88}, coverage(eye, 0.8));
            double iris = std::hypot(x - ex, y - ey);
            double in_eye = coverage(eye, 0.6);
            paint(c, from_hex(p.iris), in_eye * coverage(iris - 1.7, 0.7));
            paint(c, grey(0.03), in_eye * coverage(iris - 0.8, 0.6));
            paint(c, grey(1), in_eye * coverage(std::hypot(x - ex + 0.5, y - ey + 0.6) - 0.45, 0.5));
            // upper lid line
            double lid = std::fabs(ellipse_distance(x, y, ex, ey + 0.3, 4.1, 2.4)) - 0.45;
            paint(c, grey(0.12), coverage(lid, 0.7) * (y < ey + 0.3 ? 1 : 0));
        }

        // nose: a shadow along the right of the bridge, a lit tip and nostrils
        paint(c, face_colour * 0.74, 0.7 * coverage(segment_distance(x, y, 33.5, 35, 34.4, 41.5) - 0.9, 1.4));
        paint(c, face_colour * 1.12, 0.6 * coverage(std::hypot(x - 31.6, y - 41.8) - 1.4, 1.2));
        paint(c, face_colour * 0.5, coverage(std::hypot(x - 29.8, y - 43.3) - 0.75, 0.9));
        paint(c, face_colour * 0.5, coverage(std::hypot(x - 33.8, y - 43.3) - 0.75, 0.9));

        // mouth: a slight smile
        rgb lips = from_hex(p.lips);
        paint(c, lips * 0.9, coverage(ellipse_distance(x, y, 32, 47.9, 4.9, 1.4), 0.8));
        paint(c, lips * 1.08, coverage(ellipse_distance(x, y, 32, 49.1, 4.0, 1.5), 0.8));
        double smile = std::fabs(y - (48.5 - 0.05 * std::pow(x - 32, 2))) - 0.35;
        paint(c, lips * 0.3, coverage(smile, 0.7) * coverage(std::fabs(x - 32) - 5.4, 0.8));
        return c;
    }

    // Slot 12: a cyan ring on a dark ground, symmetric so that it wraps.
    rgb ring(double x, double y) const
    {
        double r = std::hypot(x - 32, y - 32);
        double d = std::fabs(r - 19.5);
        rgb colour = from_hex(p.ring_colour);
        double glow = std::exp(-d / 3.2) * (1 - smoothstep(27, 32, r) * 0.85);
        double core = coverage(d - 2.2, 1.2);
        return rgb{0.02, 0.03, 0.07} + colour * (0.75 * glow) + grey(0.45) * core;
    }

    // Slot 15: an orange swirl: marbled bands twisted round the centre; the
    // twist fades before the edges, so the tile still wraps.
    rgb swirl(double x, double y) const
    {
        double dx = x - 32, dy = y - 32;
        double r = std::hypot(dx, dy);
        double twist = 4.2 * std::pow(clamp01(1 - r / 30), 2);
        double cs = std::cos(twist), sn = std::sin(twist);
        double sx = 32 + dx * cs - dy * sn, sy = 32 + dx * sn + dy * cs;
        double warp = tile_fbm(sx, sy, 2, 3, 0.5, p.seed + 60);
        double bands = 0.5 + 0.5 * std::sin(2 * pi * (sx + sy) / 32 + 7 * warp);
        double v = std::pow(bands, 1.6);
        rgb c = mix(from_hex(p.swirl_dark), from_hex(p.swirl_light), v);
        return c + rgb{0.5, 0.4, 0.2} * std::pow(v, 8);
    }

    // Slot 16: a soft white glow that reaches black at the edges.
    rgb white_glow(double x, double y) const
    {
        double r = std::hypot(x - 32, y - 32);
        double window = std::pow(clamp01(1 - r / 32), 2);
        return grey(std::exp(-r * r / (2 * 13.0 * 13.0)) * window * 1.1);
    }
};

using tile_function = rgb (painter::*)(double, double) const;

// Stored value of one channel for a colour the show should see: the top
// 128 rows are compressed so that the levels stretch them back, with the
// darkest values pushed a little below the black point so that coding
// noise in black areas stays black.
double stored_channel(double v, bool levelled)
{
    double c = clamp01(v) * 255;
    if (levelled)
        c = 22 + c * 233 / 255 - 6 * std::max(0.0, 1 - c / 12);
    return c;
}

bool parse_colour(const std::string& text, uint32_t* colour)
{
    if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    *colour = uint32_t(std::stoul(text, nullptr, 16));
    return true;
}

}  // namespace

bool read_atlas_parameters(const std::string& path, atlas_parameters* parameters, std::string* error)
{
    std::string text;
    if (!read_text_file(path, &text, error))
        return false;
    std::istringstream in(text);
    atlas_parameters& p = *parameters;
    std::map<std::string, uint32_t*> colours = {
        {"organic_dark", &p.organic_dark}, {"organic_light", &p.organic_light},
        {"cloud_dark", &p.cloud_dark},     {"cloud_light", &p.cloud_light},
        {"bubble_ground", &p.bubble_ground}, {"bubble_tint", &p.bubble_tint},
        {"sphere_colour", &p.sphere_colour}, {"filament_colour", &p.filament_colour},
        {"disc_glow", &p.disc_glow},       {"skin", &p.skin},
        {"hair", &p.hair},                 {"iris", &p.iris},
        {"lips", &p.lips},                 {"face_ground", &p.face_ground},
        {"ring_colour", &p.ring_colour},   {"swirl_dark", &p.swirl_dark},
        {"swirl_light", &p.swirl_light},
    };
    std::map<std::string, bool> seen;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string key, value, extra;
        if (!(words >> key))
            continue;
        auto where = path + ":" + std::to_string(number) + ": ";
        if (!(words >> value) || (words >> extra)) {
            *error = where + "expected 'key value'";
            return false;
        }
        if (seen[key]) {
            *error = where + "'" + key + "' given twice";
            return false;
        }
        seen[key] = true;
        if (key == "seed") {
            char* end = nullptr;
            unsigned long v = std::strtoul(value.c_str(), &end, 10);
            if (*end || value[0] == '-' || v > 0xFFFFFFFFul) {
                *error = where + "seed must be a number from 0 to 4294967295";
                return false;
            }
            p.seed = uint32_t(v);
        } else if (key == "qscale") {
            char* end = nullptr;
            long v = std::strtol(value.c_str(), &end, 10);
            if (*end || v < 1 || v > 31) {
                *error = where + "qscale must be 1 to 31";
                return false;
            }
            p.qscale = int(v);
        } else if (colours.count(key)) {
            if (!parse_colour(value, colours[key])) {
                *error = where + "'" + key + "' needs a colour as six hex digits RRGGBB";
                return false;
            }
        } else {
            *error = where + "unknown key '" + key + "'";
            return false;
        }
    }
    for (const char* key : {"seed", "qscale"})
        if (!seen[key]) {
            *error = path + ": '" + key + "' is missing";
            return false;
        }
    for (const auto& [key, target] : colours)
        if (!seen[key]) {
            *error = path + ": '" + key + "' is missing";
            return false;
        }
    return true;
}

picture paint_atlas_picture(const atlas_parameters& parameters)
{
    struct placed {
        int column, row;
        tile_function paint;  // null: black
    };
    const placed tiles[12] = {
        {0, 0, &painter::organic},   {64, 0, &painter::clouds},    {128, 0, &painter::bubbles},
        {192, 0, &painter::sphere},  {0, 64, &painter::filaments}, {64, 64, &painter::disc},
        {128, 64, &painter::face},   {192, 64, &painter::ring},    {0, 128, nullptr},
        {64, 128, nullptr},          {128, 128, &painter::swirl},  {192, 128, &painter::white_glow},
    };
    const painter artist{parameters};
    // Stored-space channel values (before the show's levels), unrounded.
    std::vector<double> plane[3];
    for (auto& channel : plane)
        channel.assign(size_t(256) * 192, 0.0);
    auto at = [](int x, int y) { return size_t(y) * 256 + size_t(x); };
    constexpr int samples = 3;  // per axis, for smooth edges
    for (const placed& t : tiles) {
        if (!t.paint)
            continue;
        for (int y = 0; y < tile; ++y)
            for (int x = 0; x < tile; ++x) {
                rgb sum;
                for (int sy = 0; sy < samples; ++sy)
                    for (int sx = 0; sx < samples; ++sx)
                        sum = sum + (artist.*t.paint)(x + (sx + 0.5) / samples, y + (sy + 0.5) / samples);
                sum = sum * (1.0 / (samples * samples));
                bool levelled = t.row < 128;
                plane[0][at(t.column + x, t.row + y)] = stored_channel(sum.r, levelled);
                plane[1][at(t.column + x, t.row + y)] = stored_channel(sum.g, levelled);
                plane[2][at(t.column + x, t.row + y)] = stored_channel(sum.b, levelled);
            }
    }
    // The decoder's edge smoothing also blends pixels across the borders
    // between tiles in the top 128 rows, which would draw a seam into tiles
    // that wrap.  Undo it in advance where the values allow: first the
    // vertical pass (the pixel right of a border keeps 3/4 of itself and
    // takes 1/4 of its left neighbour), then the horizontal pass at row 64
    // (both rows move a quarter of the way towards each other).
    for (auto& v : plane) {
        for (int y = 0; y < 128; ++y)
            for (int x = 64; x < 256; x += 64)
                v[at(x, y)] = (4 * v[at(x, y)] - v[at(x - 1, y)]) / 3;
        for (int x = 0; x < 256; ++x) {
            double a = v[at(x, 63)], b = v[at(x, 64)];
            v[at(x, 63)] = (3 * a - b) / 2;
            v[at(x, 64)] = (3 * b - a) / 2;
        }
    }
    picture pic;
    pic.width = 256;
    pic.height = 192;
    pic.pixels.resize(size_t(pic.width) * pic.height);
    for (size_t i = 0; i < pic.pixels.size(); ++i) {
        uint32_t pixel = 0xFF000000u;
        for (int ch = 0; ch < 3; ++ch)
            pixel |= uint32_t(std::clamp(std::lround(plane[ch][i]), 0l, 255l)) << (16 - 8 * ch);
        pic.pixels[i] = pixel;
    }
    return pic;
}

bool build_atlas_stream(const std::string& content_dir, picture* source, std::vector<uint8_t>* stream,
                        std::string* error)
{
    atlas_parameters parameters;
    if (!read_atlas_parameters(content_dir + "/atlas/atlas.txt", &parameters, error))
        return false;
    *source = paint_atlas_picture(parameters);
    return encode_intra_picture(*source, parameters.qscale, stream, error);
}
