// The five procedural textures of slots 0 to 4: a soft spot, three ring patterns and sine bumps (portable).
#pragma once

#include <cstdint>

constexpr int procedural_texture_count = 5;
// Fills the five textures (already allocated, texture_size x texture_size
// each; the show's slots 0..4): 0 a soft spot, 1 concentric rings, 2 rings
// flat in the middle, 3 fewer rings with a wide flat middle, 4 a 2 x 2
// pattern of sine bumps.  Grey texels, alpha 0.
void make_procedural_textures(uint32_t* const textures[procedural_texture_count]);

// The texel (row i, column j) of procedural texture `slot` (0..4): the per-texel
// rule the textures are filled from (make_procedural_textures shares the
// fixed parts between texels and slots, with the same results).
uint32_t procedural_texel(int slot, int32_t i, int32_t j);
