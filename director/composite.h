// The director's composite effects: the rotozoom layer, the rotozoom tunnel and the lens with feedback (portable; SSE2 rows where available).
#pragma once

#include <cstdint>

#include "imaging/pixel_ops.h"

// Textures are 256 x 256 texels, (u, v) at v x 256 + u, coordinates wrapping.
// Destinations are frame-sized: screen_width x screen_height pixels.

// Adds `texture`, turned by `angle` (about degrees: radians = angle x
// 0.017458100558659217) and zoomed (`zoom` / 256 texels per pixel, rows
// stretched by 1.2), to every pixel of `destination`, each texel byte scaled
// by (byte x brightness) >> 8 first and summed with saturation at 255 (the
// alpha byte too).  Brightness is held to 0..255; 0 leaves the destination
// as it was.  The screen point (cx, cy - 1) shows texel (u_off, v_off).
// Coordinates are 8.8 fixed point stepped per pixel and row in 32 bits that
// wrap, so any centre or offset is safe.
void rotozoom_add(float angle, float zoom, int32_t u_off, int32_t v_off, int32_t cx, int32_t cy,
                  int32_t brightness, const uint32_t* texture, uint32_t* destination);

// An endless zoom through the texture slots of tunnel_texture_sequence:
// clears the destination, then adds four rotozoom layers, farthest first,
// that move one place nearer each time `phase` grows by 256, a new far layer
// with the next texture coming in.  Layers fade in from far away and out as
// they pass.
void rotozoom_tunnel(int32_t phase, uint32_t* destination);

// The lens with light streaks: one dome whose centre wanders with p0 and
// whose texture offsets drift with p0 + p1 magnifies texture A into
// `destination` and texture B into `scratch` (lens_blobs, depth from p2),
// then light streaks out of the dome's centre in `destination`
// (radial_zoom_feedback with step 248, p 0.1 and q 2).  Pixels outside the
// dome keep what they had before the streaks.  Both buffers are frame-sized.
void lens_feedback(float p0, float p1, float p2, const uint32_t* texture_a, const uint32_t* texture_b,
                   uint32_t* scratch, uint32_t* destination);

// ---- the parts, for tests and benchmarks ---------------------------------

// The 8.8 steps of the texture coordinates (u, v): per pixel along a row
// (du_x, dv_x) and per row (du_y, dv_y), each rounded to the nearest integer.
struct rotozoom_steps {
    int32_t du_x;
    int32_t dv_x;
    int32_t du_y;
    int32_t dv_y;
};
rotozoom_steps rotozoom_steps_for(float angle, float zoom);

// One layer of the tunnel: the arguments its rotozoom_add receives.
struct tunnel_layer {
    float angle;
    float zoom;          // the layer's depth d, 1 (nearest) .. 1024 (farthest)
    int32_t u_off;
    int32_t v_off;
    int32_t cx;
    int32_t cy;
    int32_t brightness;  // 0 at either end of its travel, 128 half way
    int32_t slot;        // texture slot, from the sequence
};
// Layer j (0 farthest .. 3 nearest) at `phase`, its slot taken from
// `sequence` (tunnel_texture_sequence_length entries).
tunnel_layer tunnel_layer_at(int32_t phase, int32_t j, const int32_t* sequence);

// The per-pixel rule of rotozoom_add: the texel scaled by brightness (0..255)
// per byte, (c x brightness) >> 8, then added to the destination pixel per
// byte with saturation.
inline uint32_t rotozoom_pixel(uint32_t texel, uint32_t destination, uint32_t brightness)
{
    return pixel_add_saturate(destination, pixel_scale(texel, brightness));
}

// The texel under the 8.8 coordinates (u, v): column = bits 8..15 of u,
// row = bits 8..15 of v.
inline uint32_t rotozoom_texel_index(uint32_t u, uint32_t v)
{
    return (v & 0xFF00u) | ((u >> 8) & 0xFFu);
}

// One row of rotozoom_add: `count` pixels from (u, v) stepping (du, dv).
// The plain version is the reference; rotozoom_row is the fastest one this
// build has (SSE2 on x86-64) and must match it byte for byte.
void rotozoom_row_plain(const uint32_t* texture, uint32_t* row, int32_t count, uint32_t u, uint32_t v,
                        uint32_t du, uint32_t dv, uint32_t brightness);
void rotozoom_row(const uint32_t* texture, uint32_t* row, int32_t count, uint32_t u, uint32_t v, uint32_t du,
                  uint32_t dv, uint32_t brightness);

// The tunnel by its plain rule: the destination cleared, then each lit layer
// added in turn by rotozoom_row_plain.  rotozoom_tunnel sums the layers in
// one pass (SSE2 on x86-64) and must match it byte for byte.
void rotozoom_tunnel_plain(int32_t phase, uint32_t* destination);
