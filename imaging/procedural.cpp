// The procedural textures of slots 0 to 4, grey patterns made from a cone and sines (portable).
#include "imaging/procedural.h"

#include <algorithm>
#include <cmath>

#include "director/precalc.h"
#include "shell/maths.h"

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

void make_procedural_textures()
{
    for (int slot = 0; slot < 5; ++slot) {
        uint32_t* texels = texture_slots[slot];
        for (int32_t i = 0; i < texture_size; ++i)
            for (int32_t j = 0; j < texture_size; ++j)
                texels[i * texture_size + j] = procedural_texel(slot, i, j);
    }
}
