// The per-pixel rules of the 2D and warp-grid effects: the plain versions any faster version must match byte for byte (portable).
#pragma once

#include <cstdint>

#include "imaging/pixel_ops.h"
#include "imaging/tables.h"

// Texel of a 256 x 256 texture at 8.8 fixed-point coordinates (u, v), wrapping.
inline uint32_t warp_texel(const uint32_t* texture, int32_t u, int32_t v)
{
    return texture[((v >> 8) & 255) * 256 + ((u >> 8) & 255)];
}

// The zoomer's darkening: m = (s >> 7) & 255 from the stepped shade
// accumulator s (8.8, so m is twice the shade); each colour byte becomes
// (byte x m) >> 8 and alpha 0.
inline uint32_t shade_texel(uint32_t texel, int32_t s)
{
    uint32_t m = uint32_t(s >> 7) & 255;
    uint32_t blue = ((texel & 255) * m) >> 8;
    uint32_t green = (((texel >> 8) & 255) * m) >> 8;
    uint32_t red = (((texel >> 16) & 255) * m) >> 8;
    return blue | green << 8 | red << 16;
}

// One byte of the zoom feedback's bilinear sample: a, b the upper pair and
// c, d the lower pair (each 0..127), fx and fy the 8-bit fractions.  The
// arithmetic is that of signed 16-bit lanes (nothing overflows them for
// bytes of 0..127); the result lies in -1..127.
inline int32_t zoom_sample_byte(int32_t a, int32_t b, int32_t c, int32_t d, int32_t fx, int32_t fy)
{
    int32_t top = 256 * a + (b - a) * fx;
    int32_t bottom = 256 * c + (d - c) * fx;
    return (top + ((bottom - top) >> 8) * fy) >> 8;
}

inline int32_t clamp_index(int32_t value, int32_t last)
{
    return value < 0 ? 0 : value > last ? last : value;
}

// The zoom feedback's new value of a pixel whose halved value is `old`, from
// the sample at 8.8 position (sx, sy) of the 320 x 240 buffer as it stands.
// tables: A in bytes 0..127 applied to the old byte, B in bytes
// 128..255 applied to the sample.  A sample of -1 (the shifts floor) counts
// as 0, so it reads B[0] and never the byte before B.  Alpha is kept.
//
// The four pixels read are kept inside the buffer: a neighbour beyond the
// last column or row is read from that column or row.  Inside the sampling
// range of the show's steps (0..256) such a neighbour only ever carries
// weight 0, so the result is the same as reading past the edge.
inline uint32_t zoom_feedback_pixel(const uint32_t* buffer, int32_t sx, int32_t sy, uint32_t old,
                                    const uint8_t* tables)
{
    int32_t ix = sx >> 8, fx = sx & 255, iy = sy >> 8, fy = sy & 255;
    int32_t x0 = clamp_index(ix, screen_width - 1), x1 = clamp_index(ix + 1, screen_width - 1);
    int32_t y0 = clamp_index(iy, screen_height - 1), y1 = clamp_index(iy + 1, screen_height - 1);
    uint32_t pa = buffer[y0 * screen_width + x0], pb = buffer[y0 * screen_width + x1];
    uint32_t pc = buffer[y1 * screen_width + x0], pd = buffer[y1 * screen_width + x1];
    uint32_t result = old & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        int32_t s = zoom_sample_byte(int32_t(pa >> shift & 255), int32_t(pb >> shift & 255),
                                     int32_t(pc >> shift & 255), int32_t(pd >> shift & 255), fx, fy);
        int32_t value = tables[old >> shift & 127] + tables[128 + (s < 0 ? 0 : s)];
        result |= uint32_t(value < 127 ? value : 127) << shift;
    }
    return result;
}

// The lens texel of a pixel at (dx, dy) from the lens centre with depth t
// (not 0): the texture magnified by 512 / (65536 / t), offset by (u0, v0).
// The products are taken in 64 bits; the texel index uses only their bits
// 9..16, which are those of the 32-bit products.
inline uint32_t lens_texel(const uint32_t* texture, int64_t dx, int64_t dy, int32_t t, int32_t u0, int32_t v0)
{
    int64_t k = 65536 / t;
    int64_t u = ((dx * k) >> 9) + u0;
    int64_t v = ((dy * k) >> 9) + v0;
    return texture[(v & 255) * 256 + (u & 255)];
}

// The bump refraction of pixel (x, y) with height gradient (gx, gy): a light
// texel shifted by the gradient plus a surface texel shifted by half of it,
// saturating.  The index sums wrap modulo 256, so any offsets are safe.
inline uint32_t bump_pixel(const uint32_t* surface, const uint32_t* light, int32_t x, int32_t y, int32_t gx,
                           int32_t gy, int32_t a, int32_t b, int32_t c, int32_t d)
{
    uint32_t u1 = (uint32_t(x >> 1) - uint32_t(a) + uint32_t(gx) + 50) & 255;
    uint32_t v1 = (uint32_t(y >> 1) - uint32_t(b) + uint32_t(gy) + 80) & 255;
    uint32_t u2 = (uint32_t(x) + uint32_t(gx >> 1) + uint32_t(c)) & 255;
    uint32_t v2 = (uint32_t(y) + uint32_t(gy >> 1) + uint32_t(d)) & 255;
    return pixel_add_saturate(light[v1 * 256 + u1], surface[v2 * 256 + u2]);
}
