// The image record and its operations: create, copy, blur, brightness, contrast, glow, resize, turn, colour (portable; SSE2 loops where available).
#pragma once

#include <cstdint>

#include "base/image.h"

// Three kinds of operation: in place (takes the record by value and changes
// its pixels), replacing (takes `image&`, swaps in a new buffer and releases
// the old one) and producing (returns a new record; those that consume their
// source take it as `image&` and leave it empty, {0, 0, nullptr}, so no
// second owner of a released buffer remains).

// A new image with every pixel 0.  A negative size counts as 0.
image image_create(int16_t width, int16_t height);

// A new image with the same size and pixels as `source`.
image image_copy(image source);

// Gives the pixels back and leaves the record empty ({0, 0, nullptr}).
void image_release(image& target);

// Box blur along rows (horizontal) or columns (vertical): output x averages the
// 2 x radius samples x-radius+1 .. x+radius, samples beyond an edge repeating
// the edge pixel, as floor(k x sum / 65536) with k = 65536 / (2 x radius), so
// a flat area darkens slightly unless 65536 is divisible by 2 x radius.
// A radius below 1 copies source to destination.  Does nothing when the two
// sizes differ.  Source and destination must be distinct buffers.
void blur_horizontal(int16_t radius, image source, image destination);
void blur_vertical(int16_t radius, image source, image destination);

// blur_horizontal(horizontal_radius) then blur_vertical(vertical_radius), in place.
void blur(int16_t horizontal_radius, int16_t vertical_radius, image target);

// Level < 0 fades towards black (colour (c x (255 + level)) >> 8, alpha 0);
// level > 0 towards white (colour ((c x (255 - level)) >> 8) + level, alpha
// (a x 255) >> 8); levels beyond -255 and 255 act as those ends; 0 changes nothing.
void adjust_brightness(int16_t level, image target);

// Stretches colour about 127 by (amount + 256)^2 / 65536 (0 keeps the colour,
// 256 is four times the contrast), clamped; every alpha byte becomes 0.
void adjust_contrast(uint16_t amount, image target);

// A glow of `source`: blur(radius, radius), adjust_brightness, adjust_contrast
// on a copy.  Consumes the source.  The result's alpha bytes are 0.
image make_glow(int16_t radius, int16_t brightness, uint16_t contrast, image& source);

// Each pixel becomes a 2 x 2 block, two rows, or two columns.  Consume the source.
image double_size(image& source);
image double_height(image& source);
image double_width(image& source);

// A quarter turn counter-clockwise on screen: the old right-hand column becomes
// the new top row; width and height swap.
void rotate_quarter(image& target);

// Left-right mirror and top-bottom flip.
void mirror_horizontal(image& target);
void flip_vertical(image& target);

// Every byte b becomes 255 - b, alpha included.
void invert_image(image target);

// Every byte c becomes (c x k) >> 8 with k the matching byte of `colour`
// (its top byte scales alpha).
void multiply_colour(uint32_t colour, image target);

// The blue byte of each source pixel becomes the alpha byte of the matching
// destination pixel; the destination's colour stays.  Covers the first
// source.width x source.height pixels, never more than the destination holds.
void alpha_from_blue(image source, image destination);

// The pixel-by-pixel versions of the operations that have faster loops: the
// reference those must match byte for byte.
void blur_horizontal_plain(int16_t radius, image source, image destination);
void blur_vertical_plain(int16_t radius, image source, image destination);
void adjust_brightness_plain(int16_t level, image target);
void adjust_contrast_plain(uint16_t amount, image target);
void multiply_colour_plain(uint32_t colour, image target);
