// Deterministic stand-ins for the textures the render modes read, for previews, tests and benchmarks (portable).
#include "tools/preview/stand_in_textures.h"

#include <cmath>

#include "base/memory.h"
#include "director/pictures.h"
#include "engine3d/mesh.h"

namespace {

bool is_black(const uint32_t* slot)
{
    for (int i = 0; i < 65536; ++i)
        if (slot[i] & 0x00FFFFFF)
            return false;
    return true;
}

uint32_t rgb(double r, double g, double b)
{
    auto byte = [](double v) { return uint32_t(v <= 0 ? 0 : v >= 255 ? 255 : std::lrint(v)); };
    return 0xFF000000u | byte(r) << 16 | byte(g) << 8 | byte(b);
}

// A soft round glow filling the slot, as a sprite shows it.
void glow(uint32_t* slot, double r, double g, double b)
{
    for (int v = 0; v < 256; ++v)
        for (int u = 0; u < 256; ++u) {
            const double d = std::hypot(u - 127.5, v - 127.5) / 128;
            const double k = d < 1 ? (1 - d) * (1 - d) : 0;
            slot[v * 256 + u] = rgb(r * k, g * k, b * k);
        }
}

}  // namespace

uint32_t fill_stand_in_textures(bool only_empty)
{
    for (auto& slot : texture_slots)
        if (!slot)
            slot = static_cast<uint32_t*>(mem_alloc(256 * 256 * 4));
    uint32_t filled = 0;
    auto wanted = [&](int n) {
        if (only_empty && !is_black(texture_slots[n]))
            return false;
        filled |= 1u << n;
        return true;
    };
    const double glows[4][3] = {
        {255, 255, 255},  // slot 0: the vertex dots
        {255, 150, 60},   // slots 1 to 3: the sphere's sprites
        {90, 160, 255},
        {150, 255, 120},
    };
    for (int n = 0; n < 4; ++n)
        if (wanted(n))
            glow(texture_slots[n], glows[n][0], glows[n][1], glows[n][2]);
    const double tau = 6.283185307179586 / 256;
    if (wanted(6))  // colour: bands of warm and cool
        for (int v = 0; v < 256; ++v)
            for (int u = 0; u < 256; ++u)
                texture_slots[slot_clouds][v * 256 + u] = rgb(110 + 90 * std::sin(u * tau * 2), 70 + 60 * std::sin((u + v) * tau * 3),
                                                    120 + 100 * std::cos(v * tau * 2));
    if (wanted(7))  // heights: overlapping lumps
        for (int v = 0; v < 256; ++v)
            for (int u = 0; u < 256; ++u) {
                const double h = 128 + 60 * std::sin(u * tau * 4) * std::sin(v * tau * 3) + 50 * std::cos((u - 2 * v) * tau * 5);
                texture_slots[slot_bubbles][v * 256 + u] = rgb(h, h, h);
            }
    if (wanted(15))  // light: a spot in the middle
        for (int v = 0; v < 256; ++v)
            for (int u = 0; u < 256; ++u) {
                const double d = std::hypot(u - 127.5, v - 127.5) / 128;
                const double k = d < 1 ? (1 - d) * (1 - d) * 200 : 0;
                texture_slots[slot_swirl][v * 256 + u] = rgb(k, k, k * 0.9);
            }
    average_four_neighbours(texture_slots[slot_bubbles], texture_slots[slot_environment]);
    copy_height_to_alpha(texture_slots[slot_environment], texture_slots[slot_clouds]);
    return filled;
}
