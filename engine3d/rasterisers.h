// The three primitives of the 3D engine: textured triangles, subtractive lines, additive sprites (portable).
#pragma once

#include <cstdint>

#include "base/frame.h"

// Destinations are screen_width x screen_height frames; textures and sprites
// are 256 x 256 slots.  No primitive writes outside the frame, whatever it is given.

struct triangle_vertex {
    int32_t x, y;  // screen pixel
    int32_t u, v;  // texel; wraps modulo 256
};

// Affine texture mapping, split at the middle vertex: the upper half is walked
// down, the lower half up, both ending on the middle row (drawn twice, with
// the same pixels).  Every row draws at least one pixel; both span ends are
// included.  Texels are copied with all 32 bits.
void draw_textured_triangle(triangle_vertex a, triangle_vertex b, triangle_vertex c, const uint32_t* texture,
                            uint32_t* destination);
// The same pixels by the literal walk over every row and column, skipping
// those outside the frame one by one; the tests compare the two.
void draw_textured_triangle_plain(triangle_vertex a, triangle_vertex b, triangle_vertex c, const uint32_t* texture,
                                  uint32_t* destination);

// Clips the segment to the window 1 <= x < 318, 1 <= y < 238, then draws it
// with draw_line_subtractive.  colour is 0x00RRGGBB.
void draw_line_clipped(float x0, float y0, float x1, float y1, uint32_t colour, uint32_t* destination);

// A two-pixel antialiased line that subtracts colour (saturating at 0) from
// what it crosses, shared between the pixel on the line and its neighbour
// (right for steep lines, below for flat ones).  The far end is not drawn;
// lines shorter than two pixels draw nothing.  Alpha is left alone.
void draw_line_subtractive(uint32_t* destination, uint32_t colour, float x0, float y0, float x1, float y1);
// The same pixels by the literal walk, each pixel checked against the
// frame; the tests compare the two.
void draw_line_subtractive_plain(uint32_t* destination, uint32_t colour, float x0, float y0, float x1, float y1);

// A whole 256 x 256 slot scaled to size x size pixels
// around the centre and added with per-byte saturation.  Sizes below 2 draw
// nothing; the frame's last row is never touched.
void draw_sprite_additive(int32_t centre_x, int32_t centre_y, const uint32_t* sprite, int32_t size,
                          uint32_t* destination);
// The same pixels by the literal walk; the tests compare the two.
void draw_sprite_additive_plain(int32_t centre_x, int32_t centre_y, const uint32_t* sprite, int32_t size,
                                uint32_t* destination);

// Per-byte saturating sum of two pixels, all four bytes at once: the low
// seven bits of each byte are added without crossing into the next, the top
// bit and its carry come from a majority of the three top bits.
inline uint32_t add_saturate(uint32_t a, uint32_t b)
{
    const uint32_t low = (a & 0x7F7F7F7Fu) + (b & 0x7F7F7F7Fu);
    const uint32_t sum = low ^ ((a ^ b) & 0x80808080u);
    const uint32_t carry = ((a & b) | ((a | b) & low)) & 0x80808080u;
    return sum | ((carry >> 7) * 255u);
}
// The same, byte by byte; the tests compare the two.
inline uint32_t add_saturate_plain(uint32_t a, uint32_t b)
{
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t byte_sum = ((a >> shift) & 255) + ((b >> shift) & 255);
        result |= (byte_sum > 255 ? 255 : byte_sum) << shift;
    }
    return result;
}
