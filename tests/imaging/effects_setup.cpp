// What the effect tests share: the tables built once, guarded frames and test pictures.
#include "imaging/effects.h"
#include "tests/imaging/effects_setup.h"

#include <random>
#include <string>

#include "base/memory.h"
#include "director/precalc.h"
#include "imaging/procedural.h"
#include "tests/support/helpers.h"

void prepare_effect_tables()
{
    static bool ready = false;
    if (ready)
        return;
    for (int slot = 0; slot < 5; ++slot)
        if (!texture_slots[slot])
            texture_slots[slot] = static_cast<uint32_t*>(mem_alloc(texture_size * texture_size * 4));
    make_procedural_textures(texture_slots);
    polar_tables();
    blob_table_setup();
    ready = true;
}

guarded_frame::guarded_frame(uint32_t fill) : words_(frame_pixels + 2 * guard, guard_word)
{
    for (int i = 0; i < frame_pixels; ++i)
        pixels()[i] = fill;
}

bool guarded_frame::guards_intact() const
{
    for (int i = 0; i < guard; ++i)
        if (words_[i] != guard_word || words_[guard + frame_pixels + i] != guard_word)
            return false;
    return true;
}

std::vector<uint32_t> coordinate_texture()
{
    std::vector<uint32_t> texels(256 * 256);
    for (uint32_t i = 0; i < texels.size(); ++i)
        texels[i] = i;
    return texels;
}

std::vector<uint32_t> random_pixels(size_t count, uint32_t seed)
{
    std::mt19937 generator(seed);  // its sequence is fixed by the language
    std::vector<uint32_t> pixels(count);
    for (auto& p : pixels)
        p = uint32_t(generator());
    return pixels;
}

std::string frame_hash(const uint32_t* pixels, size_t count)
{
    return hash_bytes(pixels, count * 4);
}
