// Blending one image onto another: premultiplied alpha, add, subtract, multiply, with clipping (portable; SSE2 rows where available).
#pragma once

#include <cstdint>

#include "imaging/image.h"

// Each positioned blit puts `source` with its top-left corner at (x, y) of
// `destination`, clipped to the destination, and combines every byte
// (blue, green, red, alpha) by its rule, s the source byte, d the destination's:

// d' = min(255, s + ((d x (255 - sa)) >> 8)), sa the source pixel's alpha:
// premultiplied colour over the destination; alpha 255 replaces it exactly.
void blit_alpha(image source, image destination, int16_t x, int16_t y);

// d' = min(255, d + s).
void blit_add(image source, image destination, int16_t x, int16_t y);

// d' = max(0, d - s).
void blit_subtract(image source, image destination, int16_t x, int16_t y);

// d' = (d x s) >> 8, so an all-255 source turns 255 into 254.
void blit_multiply(image source, image destination, int16_t x, int16_t y);

// d' = min(255, d + s) pixel by pixel over the first source.width x
// source.height pixels, no offset; never more than the destination holds.
void add_image(image source, image destination);

// The same blits pixel by pixel with the scalar rules of pixel_ops.h: the
// reference the faster rows above must match byte for byte.
void blit_alpha_plain(image source, image destination, int16_t x, int16_t y);
void blit_add_plain(image source, image destination, int16_t x, int16_t y);
void blit_subtract_plain(image source, image destination, int16_t x, int16_t y);
void blit_multiply_plain(image source, image destination, int16_t x, int16_t y);
void add_image_plain(image source, image destination);
