// The procedural textures of slots 0 to 4, grey patterns made from a cone and sines (portable).
#include "imaging/procedural.h"

#include <algorithm>
#include <cmath>

#include "base/maths.h"
#include "base/image.h"

namespace {

uint32_t grey(int32_t v)
{
    return uint32_t(v) * 0x010101u;
}

// A cone: 255 at (127, 127), reaching 0 at radius 127.5 and 0 beyond.
int32_t cone(int32_t i, int32_t j)
{
    int32_t e = round_to_int(255 - 2 * std::sqrt(double((i - 127) * (i - 127) + (j - 127) * (j - 127))));
    return e < 0 ? 0 : e;
}

int32_t rings(int32_t e)
{
    return round_to_int(127 - 127 * real_cos(0.05 * e));
}

}  // namespace

uint32_t procedural_texel(int slot, int32_t i, int32_t j)
{
    int32_t e = cone(i, j);
    switch (slot) {
    case 0:
        return grey(e * e * e / 65536);  // 253 at the centre
    case 1:
        return grey(rings(e));
    case 2:
        return grey(rings(std::min(e, 127)));
    case 3:
        return grey(rings(std::min(e, 63)));
    default: {
        // Negative lobes are cut to 0, leaving four positive bumps.
        int32_t v = round_to_int(127 * real_sin(4 * j * 0.02453385672227674) * real_sin(4 * i * 0.02453385672227674));
        return grey(std::max(0, v));
    }
    }
}

void make_procedural_textures(uint32_t* const textures[procedural_texture_count])
{
    // What procedural_texel computes, with each fixed part made once: the
    // cone is shared by slots 0 to 3, the rings take only 256 values of the
    // cone, and the bumps are products of one row sine and one column sine.
    int32_t ring_of[256];
    for (int32_t e = 0; e < 256; ++e)
        ring_of[e] = rings(e);
    double scaled_sine[256], sine[256];
    for (int32_t k = 0; k < 256; ++k) {
        sine[k] = real_sin(4 * k * 0.02453385672227674);
        scaled_sine[k] = 127 * sine[k];
    }
    for (int32_t i = 0; i < texture_size; ++i)
        for (int32_t j = 0; j < texture_size; ++j) {
            const int32_t at = i * texture_size + j;
            const int32_t e = cone(i, j);  // 0..255
            textures[0][at] = grey(e * e * e / 65536);
            textures[1][at] = grey(ring_of[e]);
            textures[2][at] = grey(ring_of[std::min(e, 127)]);
            textures[3][at] = grey(ring_of[std::min(e, 63)]);
            textures[4][at] = grey(std::max(0, round_to_int(scaled_sine[j] * sine[i])));
        }
}
