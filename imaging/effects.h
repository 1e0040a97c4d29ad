// Full-screen 2D effects: radial zoom feedback, lens blobs, bump refraction with its smear blur, row wave (portable).
#pragma once

#include <cstdint>

#include "imaging/image.h"

// Frame-sized buffers are 320 x 240 pixels; textures are 256 x 256 texels,
// (u, v) at v x 256 + u, coordinates wrapping.

// The tables A and B below, 128 bytes each back to back in `tables`, for
// zoom factors p and q.
void build_zoom_tables(float p, float q, uint8_t tables[256]);

// Light streaking out of (cx, cy), in place on a 320 x 240 buffer: every byte
// is halved, then four passes walk outward from the centre and give each
// pixel's blue, green and red min(127, A[old] + B[sample]), the sample taken
// bilinearly at 8.8 position centre + (pixel - centre) x step / 256 from the
// buffer as it stands (nearer pixels already updated), then every byte is
// doubled.  A[i] = clamp(round((i + 8) x q / 32 + i x p)) and
// B[i] = clamp(round(i x (1.1 - p))) to 0..127 are built on every call.  Column 0 is only halved and doubled.  The centre is held to
// 2..319 x 1..239, where every pass has a row and a column.
void radial_zoom_feedback(uint32_t* buffer, int32_t cx, int32_t cy, int32_t step, float p, float q);
// The same with the plain per-pixel rule only: the reference the faster
// version must match byte for byte.
void radial_zoom_feedback_plain(uint32_t* buffer, int32_t cx, int32_t cy, int32_t step, float p, float q);

// Magnifies texture t1 into d1 and t2 into d2 through one dome centred on the
// screen pixel (x, y) at depth z: clears lens_depth, draw_blob, then lens_map
// twice.  Pixels outside the dome are left as they were.
void lens_blobs(int32_t x, int32_t y, float z, int32_t u0, int32_t v0, const uint32_t* t1, const uint32_t* t2,
                uint32_t* d1, uint32_t* d2);
// The same with lens_map_plain twice: the reference for the one-pass version.
void lens_blobs_plain(int32_t x, int32_t y, float z, int32_t u0, int32_t v0, const uint32_t* t1, const uint32_t* t2,
                      uint32_t* d1, uint32_t* d2);

// Draws a dome of blob_table into the frame-sized depth buffer, merging by
// maximum: radius round(7000 / (z + 400)) (at least 2) and heights offset by
// round(10000 / (z + 400) + 50).  (x, y) are screen pixels when
// screen_coordinates is set, else world coordinates projected with
// 120 / (z + 400) around the screen centre.  Nothing is drawn when
// z + 400 <= 5 or the dome lies off the frame.
void draw_blob(int32_t* depth, float x, float y, float z, bool screen_coordinates);
// The same pixel by pixel: the reference for the faster version (columns'
// table entries found once, four pixels merged at a time).
void draw_blob_plain(int32_t* depth, float x, float y, float z, bool screen_coordinates);

// Every pixel with a depth t other than 0 takes the texel at
// ((pixel - centre) x (65536 / t)) / 512 + (u0, v0); the others are left.
void lens_map(uint32_t* destination, const int32_t* depth, const uint32_t* texture, int32_t u0, int32_t v0,
              int32_t cx, int32_t cy);
// The same pixel by pixel with lens_texel: the reference the faster version
// (empty stretches skipped, divisions looked up) must match byte for byte.
void lens_map_plain(uint32_t* destination, const int32_t* depth, const uint32_t* texture, int32_t u0, int32_t v0,
                    int32_t cx, int32_t cy);

// Turns the blue byte of a frame into a soft height field in `destination`
// (a distinct buffer): each row is box-blurred over 2n pixels, and every row
// after the first is averaged with the row above it as already stored.  The
// result sits in the blue byte, the other bytes 0.  A radius below 1 takes
// each blue byte as it is; a radius beyond the row's width acts as the width.
void smear_blur(int32_t n, const uint32_t* source, uint32_t* destination);
// The same with one running sum per row: the reference the faster version
// (window sums from running sums, eight pixels at a time) must match.
void smear_blur_plain(int32_t n, const uint32_t* source, uint32_t* destination);

// A surface texture refracted by the gradient of the height image's blue
// byte and lit by a light texture: destination pixel = light texel at
// (x/2 - a + gx + 50, y/2 - b + gy + 80) plus surface texel at
// (x + gx/2 + c, y + gy/2 + d), saturating.  The one-pixel border of the
// destination is not written.
void bump_refraction(int32_t a, int32_t b, int32_t c, int32_t d, const uint32_t* surface, const uint32_t* light,
                     const uint32_t* height, uint32_t* destination);
// The same pixel by pixel with bump_pixel: the reference the faster rows
// must match byte for byte.
void bump_refraction_plain(int32_t a, int32_t b, int32_t c, int32_t d, const uint32_t* surface, const uint32_t* light,
                           const uint32_t* height, uint32_t* destination);

// Copies each row of `source` into `destination` shifted sideways by
// round(w(y, t) x amplitude) pixels, w a sum of three sines of the row and
// time; the uncovered part of a destination row keeps what it had.  Rows and
// columns beyond either image are neither read nor written.
void row_wave(float t, float amplitude, image source, image destination);

// The sideways shift row_wave gives row y, bounded to +-(2^30): anything that
// large leaves the row untouched anyway.
int32_t row_wave_shift(float t, float amplitude, int32_t y);
