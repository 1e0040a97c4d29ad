// Warp-grid effects: texture coordinates on a coarse grid of 8 x 8 blocks, expanded to every pixel (portable; SSE2 block rows where available).
#pragma once

#include <cstdint>

// Textures are 256 x 256 texels, (u, v) at v x 256 + u; destinations are
// 320 x 240 frames.  All of these work on warp_grid (imaging/tables.h), which
// polar_tables() allocates.

// Fills the frame from the texture through grid U and V (grid rows 0..30,
// columns 0..40), stepping linearly inside each 8 x 8 block.  Every step is
// taken before use, so the last row and column of a block land on the next
// grid point.
void grid_expand(const uint32_t* texture, uint32_t* destination);

// A flowing liquid distortion: fills grid U and V from sums of sines of time t
// and position, then grid_expand.
void plasma_warp(float t, const uint32_t* texture, uint32_t* destination);
// The same with every sine and cosine taken afresh at every grid point and
// the plain expander: the reference for plasma_warp, which takes each of
// them once per distinct argument.
void plasma_warp_plain(float t, const uint32_t* texture, uint32_t* destination);

// The texture as a rotating, zooming plane at a slowly changing tilt, darker
// with depth; rotation in 256 units per turn.  Rows 0..3 and 236..239 end black.
void tilted_zoomer(float t, float rotation, const uint32_t* texture, uint32_t* destination);

// Fills grid U, V and shade (rows 0..29, columns 0..40) for the zoomer:
// angle offset a, zoom base b, tilts c and d, texture offsets e and f (0..255).
// A grid point whose plane depth is negative gets shade 0 and keeps the U and
// V the last grid-based frame left there.
void build_zoomer_grid(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f);

// Like grid_expand, but with the blocks four rows lower and each texel's
// colour scaled by the stepped grid shade; alpha 0.  Rows 0..3 and 236..239
// are cleared afterwards (the blocks cover rows 4..235).
void grid_expand_shaded(const uint32_t* texture, uint32_t* destination);

// The two expanders pixel by pixel with the rules of effect_pixels.h: the
// reference the faster block rows above must match byte for byte.
void grid_expand_plain(const uint32_t* texture, uint32_t* destination);
void grid_expand_shaded_plain(const uint32_t* texture, uint32_t* destination);
