// The conversion of the 0x00RRGGBB frame buffer into the display's pixel
// format at depths 15, 16, 24 and 32, optionally doubled (portable; SSE2
// rows where available).
#pragma once

#include <cstdint>

// One pixel at depth 15: 0RRRRRGG GGGBBBBB, truncating each channel.
inline uint16_t pixel_to_rgb555(uint32_t p)
{
    return uint16_t(((p >> 9) & 0x7C00) | ((p >> 6) & 0x03E0) | ((p >> 3) & 0x001F));
}

// One pixel at depth 16: RRRRRGGG GGGBBBBB (green keeps six bits).
inline uint16_t pixel_to_rgb565(uint32_t p)
{
    return uint16_t(((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x001F));
}

// Writes `frame` (width x height, rows back to back) into `surface`, whose
// row r starts r x `pitch` bytes in.  Doubled, each source pixel becomes a
// 2 x 2 block.  At depth 32 the whole word is copied, top byte included; the
// other depths ignore it.  Other depths write nothing.
void present_convert(const uint32_t* frame, int32_t width, int32_t height, int32_t depth, bool doubled,
                     uint8_t* surface, int32_t pitch);

// The same, pixel by pixel through the rules above: the reference the faster
// rows of present_convert must match byte for byte.
void present_convert_plain(const uint32_t* frame, int32_t width, int32_t height, int32_t depth, bool doubled,
                           uint8_t* surface, int32_t pitch);
