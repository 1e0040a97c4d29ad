// The per-pixel rules of the image operations and blits, four 8-bit lanes in one word (portable).
#pragma once

// Each rule works on a pixel 0xAARRGGBB as four independent unsigned bytes.
// Products of two bytes are (a x b) >> 8, so 255 x 255 gives 254; sums and
// differences saturate at 255 and 0.  These scalar bodies are the reference a
// vector version must match byte for byte.

#include <cstdint>

// Per lane (a x b) >> 8.
inline uint32_t pixel_mul(uint32_t a, uint32_t b)
{
    uint32_t blue = ((a & 0xFF) * (b & 0xFF)) >> 8;
    uint32_t green = ((a >> 8 & 0xFF) * (b >> 8 & 0xFF)) >> 8;
    uint32_t red = ((a >> 16 & 0xFF) * (b >> 16 & 0xFF)) >> 8;
    uint32_t alpha = ((a >> 24) * (b >> 24)) >> 8;
    return blue | green << 8 | red << 16 | alpha << 24;
}

// Per lane (c x factor) >> 8 with one factor (0..255) for all four lanes: two
// lanes per multiply, since 255 x 255 never carries into the next lane.
inline uint32_t pixel_scale(uint32_t pixel, uint32_t factor)
{
    uint32_t blue_red = (((pixel & 0x00FF00FFu) * factor) >> 8) & 0x00FF00FFu;
    uint32_t green_alpha = ((pixel >> 8) & 0x00FF00FFu) * factor & 0xFF00FF00u;
    return blue_red | green_alpha;
}

// Per lane min(255, a + b).
inline uint32_t pixel_add_saturate(uint32_t a, uint32_t b)
{
    uint32_t low = (a & 0x7F7F7F7Fu) + (b & 0x7F7F7F7Fu);  // no carry leaves a lane
    uint32_t sum = low ^ ((a ^ b) & 0x80808080u);           // wrapped byte sums
    uint32_t carry = ((a & b) | ((a | b) & ~sum)) & 0x80808080u;
    return sum | ((carry >> 7) * 0xFF);
}

// Per lane max(0, a - b).
inline uint32_t pixel_subtract_saturate(uint32_t a, uint32_t b)
{
    uint32_t high = (a | 0x80808080u) - (b & 0x7F7F7F7Fu);  // no borrow leaves a lane
    uint32_t difference = high ^ ((a ^ ~b) & 0x80808080u);  // wrapped byte differences
    uint32_t borrow = ((~a & b) | (~(a ^ b) & difference)) & 0x80808080u;
    return difference & ~((borrow >> 7) * 0xFF);
}

// Premultiplied alpha: per lane min(255, s + ((d x (255 - sa)) >> 8)),
// sa the source's alpha byte.
inline uint32_t pixel_blend_alpha(uint32_t source, uint32_t destination)
{
    return pixel_add_saturate(source, pixel_scale(destination, 255 - (source >> 24)));
}

// Brightness towards black or white: per lane min(255, ((c x factor) >> 8) + offset),
// factor and offset per lane (see adjust_brightness).
inline uint32_t pixel_scale_offset(uint32_t pixel, uint32_t factors, uint32_t offsets)
{
    return pixel_add_saturate(pixel_mul(pixel, factors), offsets);
}

// Contrast about 127 with factor f = (amount + 256)^2 in 16.16: each colour
// byte becomes clamp(((c - 127) x f) >> 16) + 127); the alpha byte becomes 0.
inline uint32_t pixel_contrast(uint32_t pixel, int64_t factor)
{
    uint32_t result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        int64_t c = static_cast<int64_t>((pixel >> shift) & 0xFF);
        int64_t stretched = (((c - 127) * factor) >> 16) + 127;
        if (stretched < 0)
            stretched = 0;
        if (stretched > 255)
            stretched = 255;
        result |= static_cast<uint32_t>(stretched) << shift;
    }
    return result;
}

// A box-blur output pixel from the four channel sums of its window (blue,
// green, red, alpha) and k = 65536 / window length: floor(k x sum / 65536)
// per channel.  k x sum never exceeds 255 x 65536, so no lane overflows.
inline uint32_t pixel_box_average(const uint32_t sums[4], uint32_t k)
{
    return ((k * sums[0]) >> 16) | (((k * sums[1]) >> 8) & 0x0000FF00u) | ((k * sums[2]) & 0x00FF0000u) |
           (((k * sums[3]) << 8) & 0xFF000000u);
}
