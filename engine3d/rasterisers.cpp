// The three primitives of the 3D engine: textured triangles, subtractive lines, additive sprites (portable).
#include "engine3d/rasterisers.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "base/maths.h"
#include "engine3d/rounding.h"
#include "imaging/pixel_ops.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// ---- textured triangles ----

// The walk of one triangle half: the left and right edge values in 16.16
// and their steps per row (all 32-bit, wrapping like the processor's).
struct edge_walk {
    int32_t xl, xr, ul, vl, ur, vr;
    int32_t dxl, dxr, dul, dvl, dur, dvr;

    void advance(int64_t rows)
    {
        const int32_t k = int32_t(uint32_t(uint64_t(rows)));
        xl = wrap_add(xl, wrap_mul(k, dxl));
        xr = wrap_add(xr, wrap_mul(k, dxr));
        ul = wrap_add(ul, wrap_mul(k, dul));
        vl = wrap_add(vl, wrap_mul(k, dvl));
        ur = wrap_add(ur, wrap_mul(k, dur));
        vr = wrap_add(vr, wrap_mul(k, dvr));
    }
};

// The split of a triangle: the upper half is walked from the top vertex down
// to the middle row, the lower half from the bottom vertex up to it.
struct triangle_setup {
    int32_t top_y, middle_y, bottom_y;
    edge_walk upper, lower;
};

inline uint32_t fetch_texel(const uint32_t* texture, int32_t u, int32_t v)
{
    return texture[(((v >> 16) & 255) << 8) | ((u >> 16) & 255)];
}

int32_t reciprocal_16(int64_t rows)
{
    return rows != 0 ? round_or_indefinite(65536.0 / double(rows)) : 65536;
}

// Both edges start at one corner; the upper half steps by h (L - T) per row,
// the lower half (sign -1) by h x -(L - Z) with its negative h.
edge_walk start_walk(const triangle_vertex& from, const triangle_vertex& left, const triangle_vertex& right,
                     int32_t h, int32_t sign)
{
    edge_walk w;
    w.xl = w.xr = wrap_mul(from.x, 65536);
    w.ul = w.ur = wrap_mul(from.u, 65536);
    w.vl = w.vr = wrap_mul(from.v, 65536);
    w.dxl = wrap_mul(h, wrap_mul(sign, wrap_sub(left.x, from.x)));
    w.dxr = wrap_mul(h, wrap_mul(sign, wrap_sub(right.x, from.x)));
    w.dul = wrap_mul(h, wrap_mul(sign, wrap_sub(left.u, from.u)));
    w.dvl = wrap_mul(h, wrap_mul(sign, wrap_sub(left.v, from.v)));
    w.dur = wrap_mul(h, wrap_mul(sign, wrap_sub(right.u, from.u)));
    w.dvr = wrap_mul(h, wrap_mul(sign, wrap_sub(right.v, from.v)));
    return w;
}

triangle_setup set_up_triangle(triangle_vertex a, triangle_vertex b, triangle_vertex c)
{
    if (a.y > b.y)
        std::swap(a, b);
    if (b.y > c.y)
        std::swap(b, c);
    if (a.y > b.y)
        std::swap(a, b);
    const triangle_vertex& t = a;  // top
    const triangle_vertex& m = b;  // middle
    const triangle_vertex& z = c;  // bottom
    // The split point on the long edge at the middle row, divisions towards zero.
    triangle_vertex d = z;
    if (t.y != z.y) {
        // Exact for any corners; the show's own stay far inside 32 bits.
        const int64_t rows = int64_t(m.y) - t.y, span = int64_t(z.y) - t.y;
        d.x = interpolate_exact(t.x, z.x, rows, span);
        d.y = m.y;
        d.u = interpolate_exact(t.u, z.u, rows, span);
        d.v = interpolate_exact(t.v, z.v, rows, span);
    }
    const triangle_vertex& left = m.x > d.x ? d : m;
    const triangle_vertex& right = m.x > d.x ? m : d;
    triangle_setup s;
    s.top_y = t.y;
    s.middle_y = m.y;
    s.bottom_y = z.y;
    s.upper = start_walk(t, left, right, reciprocal_16(int64_t(m.y) - t.y), 1);
    s.lower = start_walk(z, left, right, reciprocal_16(int64_t(m.y) - z.y), -1);
    return s;
}

// The span's texel steps: the reciprocal of its width in 16.16, times the
// texel differences truncated to whole texels.
void span_steps(const edge_walk& w, int32_t& du, int32_t& dv)
{
    const int32_t width = wrap_sub(w.xr, w.xl);
    const int32_t s = width != 0 ? round_or_indefinite(65536.0 / (double(width) / 65536.0)) : 65536;
    du = wrap_mul(s, wrap_sub(w.ur, w.ul) >> 16);
    dv = wrap_mul(s, wrap_sub(w.vr, w.vl) >> 16);
}

void draw_span_plain(const edge_walk& w, int64_t y, const uint32_t* texture, uint32_t* destination)
{
    int32_t du, dv;
    span_steps(w, du, dv);
    int64_t x = w.xl >> 16;
    const int64_t x_end = w.xr >> 16;
    int32_t u = w.ul, v = w.vl;
    do {
        if (y >= 0 && y < screen_height && x >= 0 && x < screen_width)
            destination[y * screen_width + x] = fetch_texel(texture, u, v);
        u = wrap_add(u, du);
        v = wrap_add(v, dv);
        ++x;
    } while (x <= x_end);
}

// Only the pixels inside the frame, with the texel positions the full walk
// would have reached there.
void draw_span(const edge_walk& w, int32_t y, const uint32_t* texture, uint32_t* destination)
{
    const int32_t x = w.xl >> 16;
    const int32_t x_end = std::max(w.xr >> 16, x);  // a reversed span still draws its first pixel
    const int32_t first = std::max(x, 0);
    const int32_t last = std::min(x_end, screen_width - 1);
    if (first > last)
        return;
    int32_t du, dv;
    span_steps(w, du, dv);
    const int32_t skipped = first - x;
    int32_t u = wrap_add(w.ul, wrap_mul(skipped, du));
    int32_t v = wrap_add(w.vl, wrap_mul(skipped, dv));
    uint32_t* out = destination + y * screen_width;
    int32_t px = first;
#if defined(__SSE2__)
    // Four pixels at a time: their 16.16 positions in 32-bit lanes (wrapping
    // like the scalar sums), the texel indices formed there, the texels
    // fetched one by one.
    if (last - first >= 3) {
        const __m128i du4 = _mm_set1_epi32(wrap_mul(4, du)), dv4 = _mm_set1_epi32(wrap_mul(4, dv));
        __m128i us = _mm_setr_epi32(u, wrap_add(u, du), wrap_add(u, wrap_mul(2, du)), wrap_add(u, wrap_mul(3, du)));
        __m128i vs = _mm_setr_epi32(v, wrap_add(v, dv), wrap_add(v, wrap_mul(2, dv)), wrap_add(v, wrap_mul(3, dv)));
        const __m128i row_mask = _mm_set1_epi32(0xFF00), column_mask = _mm_set1_epi32(0xFF);
        for (; px + 4 <= last + 1; px += 4) {
            const __m128i indices = _mm_or_si128(_mm_and_si128(_mm_srli_epi32(vs, 8), row_mask),
                                                 _mm_and_si128(_mm_srli_epi32(us, 16), column_mask));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + px),
                             _mm_setr_epi32(int(texture[_mm_extract_epi16(indices, 0)]),
                                            int(texture[_mm_extract_epi16(indices, 2)]),
                                            int(texture[_mm_extract_epi16(indices, 4)]),
                                            int(texture[_mm_extract_epi16(indices, 6)])));
            us = _mm_add_epi32(us, du4);
            vs = _mm_add_epi32(vs, dv4);
        }
        u = _mm_cvtsi128_si32(us);
        v = _mm_cvtsi128_si32(vs);
    }
#endif
    for (; px <= last; ++px) {
        out[px] = fetch_texel(texture, u, v);
        u = wrap_add(u, du);
        v = wrap_add(v, dv);
    }
}

// ---- lines ----

// Rounds up to whole pixels at 1/65536 resolution, with a logical shift.
int32_t line_pixel(float coordinate)
{
    return int32_t(uint32_t(round_or_indefinite(double(coordinate) * 65536.0) + 65535u) >> 16);
}

inline uint32_t subtract_weighted(uint32_t pixel, uint32_t colour, uint32_t weight)
{
    uint32_t result = pixel & 0xFF000000u;  // alpha is left alone
    for (int shift = 0; shift < 24; shift += 8) {
        const int32_t byte = int32_t((pixel >> shift) & 255) - int32_t((weight * ((colour >> shift) & 255)) >> 8);
        result |= uint32_t(byte > 0 ? byte : 0) << shift;
    }
    return result;
}

inline void subtract_at(uint32_t* destination, int32_t x, int32_t y, uint32_t colour, uint32_t weight)
{
    if (x >= 0 && x < screen_width && y >= 0 && y < screen_height)
        destination[y * screen_width + x] = subtract_weighted(destination[y * screen_width + x], colour, weight);
}

}  // namespace

void draw_textured_triangle_plain(triangle_vertex a, triangle_vertex b, triangle_vertex c, const uint32_t* texture,
                                  uint32_t* destination)
{
    triangle_setup s = set_up_triangle(a, b, c);
    int64_t y = s.top_y;
    do {
        draw_span_plain(s.upper, y, texture, destination);
        s.upper.advance(1);
        ++y;
    } while (y <= s.middle_y);
    y = s.bottom_y;
    do {
        draw_span_plain(s.lower, y, texture, destination);
        s.lower.advance(1);
        --y;
    } while (y >= s.middle_y);
}

// Rows outside the frame are stepped over at once: the walk is linear in
// wrapping 32-bit arithmetic, so k rows ahead is k times the steps.
void draw_textured_triangle(triangle_vertex a, triangle_vertex b, triangle_vertex c, const uint32_t* texture,
                            uint32_t* destination)
{
    triangle_setup s = set_up_triangle(a, b, c);
    const int32_t upper_first = std::max(s.top_y, 0), upper_last = std::min(s.middle_y, screen_height - 1);
    if (upper_first <= upper_last) {
        s.upper.advance(int64_t(upper_first) - s.top_y);
        for (int32_t y = upper_first; y <= upper_last; ++y) {
            draw_span(s.upper, y, texture, destination);
            s.upper.advance(1);
        }
    }
    const int32_t lower_first = std::min(s.bottom_y, screen_height - 1), lower_last = std::max(s.middle_y, 0);
    if (lower_first >= lower_last) {
        s.lower.advance(int64_t(s.bottom_y) - lower_first);
        for (int32_t y = lower_first; y >= lower_last; --y) {
            draw_span(s.lower, y, texture, destination);
            s.lower.advance(1);
        }
    }
}

void draw_line_clipped(float x0, float y0, float x1, float y1, uint32_t colour, uint32_t* destination)
{
    if ((x0 >= 318 && x1 >= 318) || (x0 < 1 && x1 < 1) || (y0 >= 238 && y1 >= 238) || (y0 < 1 && y1 < 1))
        return;
    // Each cut uses what the previous ones left; results are held as floats.
    auto cut = [](float along0, float across0, float along1, float across1, double bound) {
        return float(double(across0) - (double(along0) - bound) * (double(across0) - across1) / (double(along0) - along1));
    };
    if (x0 >= 318) y0 = cut(x0, y0, x1, y1, 317), x0 = 317;
    if (x1 >= 318) y1 = cut(x1, y1, x0, y0, 317), x1 = 317;
    if (x0 < 1) y0 = cut(x0, y0, x1, y1, 1), x0 = 1;
    if (x1 < 1) y1 = cut(x1, y1, x0, y0, 1), x1 = 1;
    if (y0 >= 238) x0 = cut(y0, x0, y1, x1, 237), y0 = 237;
    if (y1 >= 238) x1 = cut(y1, x1, y0, x0, 237), y1 = 237;
    if (y0 < 1) x0 = cut(y0, x0, y1, x1, 1), y0 = 1;
    if (y1 < 1) x1 = cut(y1, x1, y0, x0, 1), y1 = 1;
    // A segment that crossed a corner region may still be outside (NaNs fail here too).
    auto inside = [](float v, float high) { return v >= 1 && v < high; };
    if (inside(x0, 318) && inside(x1, 318) && inside(y0, 238) && inside(y1, 238))
        draw_line_subtractive(destination, colour, x0, y0, x1, y1);
}

void draw_line_subtractive_plain(uint32_t* destination, uint32_t colour, float x0, float y0, float x1, float y1)
{
    const int32_t px0 = line_pixel(x0), py0 = line_pixel(y0), px1 = line_pixel(x1), py1 = line_pixel(y1);
    const int32_t dx = std::abs(px1 - px0), dy = std::abs(py1 - py0), n = std::max(dx, dy);
    if (n < 2)
        return;
    const int32_t step_x = int32_t(int64_t(px1 - px0) * 65536 / n);
    const int32_t step_y = int32_t(int64_t(py1 - py0) * 65536 / n);
    const int32_t row_move = py1 > py0 ? 1 : -1, column_move = px1 > px0 ? 1 : -1;
    // Steep lines and exact diagonals run along y with x as the minor
    // coordinate and share with the pixel to the right; flat lines run along
    // x and share with the pixel below.
    const bool steep = dy == n;
    int64_t minor = int64_t(steep ? px0 : py0) * 65536;
    const int32_t step = steep ? step_x : step_y;
    int32_t x = px0, y = py0;
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t f = uint32_t(minor >> 8) & 255;
        subtract_at(destination, x, y, colour, 255 - f);
        subtract_at(destination, x + (steep ? 1 : 0), y + (steep ? 0 : 1), colour, f);
        const int64_t before = minor >> 16;
        minor += step;
        const bool minor_moved = (minor >> 16) != before;
        if (steep) {
            x += minor_moved ? column_move : 0;
            y += row_move;
        } else {
            y += minor_moved ? row_move : 0;
            x += column_move;
        }
    }
}

namespace {

// The weighted colours of the last colour drawn: entry f holds the colour
// scaled by 255 - f in its low word and by f in its high word, which is
// what a step subtracts from its two pixels.  The scenes draw many lines in
// one colour, so the table is made once per change of colour.
struct line_colour_table {
    uint32_t rgb = 0;
    bool filled = false;
    uint64_t pairs[256];
};
line_colour_table line_colours;

const uint64_t* weighted_colour_pairs(uint32_t rgb)
{
    if (!line_colours.filled || line_colours.rgb != rgb) {
        for (uint32_t f = 0; f < 256; ++f)
            line_colours.pairs[f] = uint64_t(pixel_scale(rgb, f)) << 32 | pixel_scale(rgb, 255 - f);
        line_colours.rgb = rgb;
        line_colours.filled = true;
    }
    return line_colours.pairs;
}

}  // namespace

// The same walk with the per-pixel work cut down: the weighted colour is
// (c x w) >> 8 per byte with alpha 0 (pixel_scale, from a table per colour
// in SSE2) and the subtraction saturates per byte, which is what the
// per-byte loop computes, for both pixels of a step at once in SSE2
// (four-lane words elsewhere); a line whose box lies inside the frame skips
// the checks.
void draw_line_subtractive(uint32_t* destination, uint32_t colour, float x0, float y0, float x1, float y1)
{
    const int32_t px0 = line_pixel(x0), py0 = line_pixel(y0), px1 = line_pixel(x1), py1 = line_pixel(y1);
    const int32_t dx = std::abs(px1 - px0), dy = std::abs(py1 - py0), n = std::max(dx, dy);
    if (n < 2)
        return;
    // The walk stays inside the endpoints' box; the shared pixel lies one
    // further right or down.
    const bool inside = std::min(px0, px1) >= 0 && std::max(px0, px1) + 1 < screen_width && std::min(py0, py1) >= 0 &&
                        std::max(py0, py1) + 1 < screen_height;
    if (!inside) {
        draw_line_subtractive_plain(destination, colour, x0, y0, x1, y1);
        return;
    }
    const uint32_t rgb = colour & 0x00FFFFFFu;
    const int32_t step_x = int32_t(int64_t(px1 - px0) * 65536 / n);
    const int32_t step_y = int32_t(int64_t(py1 - py0) * 65536 / n);
    const bool steep = dy == n;
    const int32_t step = steep ? step_x : step_y;
    // Along the major axis one pixel per step; across it the minor
    // coordinate's whole part, which moves at most one pixel per step.
    const ptrdiff_t major_move = steep ? (py1 > py0 ? screen_width : -screen_width) : (px1 > px0 ? 1 : -1);
    const ptrdiff_t minor_move = steep ? (px1 > px0 ? 1 : -1) : (py1 > py0 ? screen_width : -screen_width);
    const ptrdiff_t neighbour = steep ? 1 : screen_width;
    int64_t minor = int64_t(steep ? px0 : py0) * 65536;
    uint32_t* at = destination + ptrdiff_t(py0) * screen_width + px0;
#if defined(__SSE2__)
    // Both pixels of a step in one register, and both weighted colours
    // taken from the table of this colour.
    const uint64_t* pairs = weighted_colour_pairs(rgb);
    // Inside the frame the minor coordinate stays below 2^25 in 16.16, so
    // 32 bits hold it; it moves a pixel when its whole part changes.
    int32_t minor32 = int32_t(minor);
    auto advance = [&] {
        const int32_t next = minor32 + step;
        at += major_move + (((minor32 ^ next) >> 16) != 0 ? minor_move : 0);
        minor32 = next;
    };
    int32_t i = 0;
    for (; i + 2 <= n; i += 2) {
        // Two steps: their four pixels are distinct (the second step is a
        // row or column further along the major axis).
        uint32_t* first = at;
        const uint32_t f0 = uint32_t(minor32 >> 8) & 255;
        advance();
        uint32_t* second = at;
        const uint32_t f1 = uint32_t(minor32 >> 8) & 255;
        advance();
        __m128i pixels = _mm_unpacklo_epi64(
            _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(first[0])), _mm_cvtsi32_si128(int(first[neighbour]))),
            _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(second[0])), _mm_cvtsi32_si128(int(second[neighbour]))));
        __m128i weighted = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(pairs + f0)),
                                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pairs + f1)));
        __m128i result = _mm_subs_epu8(pixels, weighted);
        first[0] = uint32_t(_mm_cvtsi128_si32(result));
        first[neighbour] = uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(result, 4)));
        second[0] = uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(result, 8)));
        second[neighbour] = uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(result, 12)));
    }
    if (i < n) {
        const uint32_t f = uint32_t(minor32 >> 8) & 255;
        __m128i pixels = _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(at[0])), _mm_cvtsi32_si128(int(at[neighbour])));
        __m128i result = _mm_subs_epu8(pixels, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pairs + f)));
        at[0] = uint32_t(_mm_cvtsi128_si32(result));
        at[neighbour] = uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(result, 4)));
    }
#else
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t f = uint32_t(minor >> 8) & 255;
        at[0] = pixel_subtract_saturate(at[0], pixel_scale(rgb, 255 - f));
        at[neighbour] = pixel_subtract_saturate(at[neighbour], pixel_scale(rgb, f));
        const int64_t before = minor >> 16;
        minor += step;
        at += major_move + ((minor >> 16) != before ? minor_move : 0);
    }
#endif
}

namespace {

// Where a sprite lands: its box clipped to the frame (rows and columns from
// the first up to the last, exclusive), the 16.16 step through its texels
// and where the walk starts.
struct sprite_box {
    int64_t left, right, top, bottom;
    int32_t step;
    int64_t u_start, v_start;
};

// False when the sprite is too small or wholly off the frame.
bool place_sprite(int32_t centre_x, int32_t centre_y, int32_t size, sprite_box* box)
{
    if (size < 2)
        return false;
    const int32_t half = size / 2;
    box->step = 16777216 / size;  // the slot's 256 texels across the sprite
    box->left = int64_t(centre_x) - half, box->right = int64_t(centre_x) + half;
    box->top = int64_t(centre_y) - half, box->bottom = int64_t(centre_y) + half;
    if (box->left >= screen_width || box->top >= screen_height || box->right < 0 || box->bottom < 0)
        return false;
    box->right = std::min<int64_t>(box->right, screen_width);
    box->bottom = std::min<int64_t>(box->bottom, screen_height - 1);  // the last row is never touched
    box->u_start = 0, box->v_start = 0;
    if (box->left < 0)
        box->u_start = box->step * -box->left, box->left = 0;
    if (box->top < 0)
        box->v_start = box->step * -box->top, box->top = 0;
    return true;
}

}  // namespace

void draw_sprite_additive_plain(int32_t centre_x, int32_t centre_y, const uint32_t* sprite, int32_t size,
                                uint32_t* destination)
{
    sprite_box box;
    if (!place_sprite(centre_x, centre_y, size, &box))
        return;
    const int64_t left = box.left, right = box.right, top = box.top, bottom = box.bottom;
    const int32_t step = box.step;
    const int64_t u_start = box.u_start;
    int64_t v = box.v_start;
    for (int64_t y = top; y < bottom; ++y, v += step) {
        const uint32_t* row = sprite + ((uint32_t(v >> 16) & 255) << 8);
        uint32_t* out = destination + y * screen_width;
        int64_t u = u_start;
        for (int64_t x = left; x < right; ++x, u += step)
            out[x] = add_saturate(out[x], row[uint32_t(u >> 16) & 255]);
    }
}

// The same pixels with the columns' texels found once for all rows, and
// four pixels added at a time in SSE2.
void draw_sprite_additive(int32_t centre_x, int32_t centre_y, const uint32_t* sprite, int32_t size,
                          uint32_t* destination)
{
    sprite_box box;
    if (!place_sprite(centre_x, centre_y, size, &box))
        return;
    const int64_t left = box.left, right = box.right, top = box.top, bottom = box.bottom;
    const int32_t step = box.step;
    const int64_t u_start = box.u_start;
    int64_t v = box.v_start;
    const int32_t columns = int32_t(right - left);
    uint8_t texel_column[screen_width];
    int64_t u = u_start;
    for (int32_t i = 0; i < columns; ++i, u += step)
        texel_column[i] = uint8_t(uint32_t(u >> 16) & 255);
    for (int64_t y = top; y < bottom; ++y, v += step) {
        const uint32_t* row = sprite + ((uint32_t(v >> 16) & 255) << 8);
        uint32_t* out = destination + y * screen_width + left;
        int32_t i = 0;
#if defined(__SSE2__)
        for (; i + 4 <= columns; i += 4) {
            const __m128i texels = _mm_setr_epi32(int(row[texel_column[i]]), int(row[texel_column[i + 1]]),
                                                  int(row[texel_column[i + 2]]), int(row[texel_column[i + 3]]));
            auto* at = reinterpret_cast<__m128i*>(out + i);
            _mm_storeu_si128(at, _mm_adds_epu8(_mm_loadu_si128(at), texels));
        }
#endif
        for (; i < columns; ++i)
            out[i] = add_saturate(out[i], row[texel_column[i]]);
    }
}
