// Warp-grid effects: the plasma warp and the tilted zoomer, and the two block expanders they share (portable; SSE2 block rows where available).
#include "imaging/warp.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/maths.h"
#include "imaging/effect_pixels.h"
#include "imaging/pixel_ops_sse2.h"
#include "imaging/tables.h"

namespace {

constexpr int32_t block_columns = screen_width / 8;  // 40
constexpr int32_t block_rows = screen_height / 8;    // 30

int16_t grid_at(const int16_t* grid, int32_t gx, int32_t gy)
{
    return grid[gy * warp_grid_stride + gx];
}

// Rounds to nearest (ties to even) into 64 bits, so that keeping the low
// 16 or 8 bits of a large value is defined.  Values beyond 64 bits and NaN
// (never produced by the show) become 0.
int64_t round_to_int64(double value)
{
    double rounded = std::nearbyint(value);
    return std::fabs(rounded) < 9.0e18 ? int64_t(rounded) : 0;
}

// The rounded value's low 16 bits, as a store into a signed 16-bit grid entry keeps them.
int16_t round_to_int16(double value)
{
    return int16_t(round_to_int64(value));
}

// One corner set of a block: values at its four grid points, in 8.8 with the
// per-row edge steps (one eighth of each edge's difference).
struct block_edges {
    int32_t left, right, left_step, right_step;
};

block_edges edges_of(const int16_t* grid, int32_t bx, int32_t by, int32_t clamp_to)
{
    int32_t c00 = std::min<int32_t>(grid_at(grid, bx, by), clamp_to);
    int32_t c01 = std::min<int32_t>(grid_at(grid, bx + 1, by), clamp_to);
    int32_t c10 = std::min<int32_t>(grid_at(grid, bx, by + 1), clamp_to);
    int32_t c11 = std::min<int32_t>(grid_at(grid, bx + 1, by + 1), clamp_to);
    return {c00 * 256, c01 * 256, (c10 - c00) * 32, (c11 - c01) * 32};
}

}  // namespace

void grid_expand_plain(const uint32_t* texture, uint32_t* destination)
{
    for (int32_t by = 0; by < block_rows; ++by)
        for (int32_t bx = 0; bx < block_columns; ++bx) {
            block_edges eu = edges_of(warp_grid.u, bx, by, INT16_MAX);
            block_edges ev = edges_of(warp_grid.v, bx, by, INT16_MAX);
            uint32_t* out = destination + (8 * by) * screen_width + 8 * bx;
            for (int32_t r = 0; r < 8; ++r, out += screen_width) {
                eu.left += eu.left_step, eu.right += eu.right_step;
                ev.left += ev.left_step, ev.right += ev.right_step;
                int32_t du = (eu.right - eu.left) >> 3, dv = (ev.right - ev.left) >> 3;
                int32_t u = eu.left, v = ev.left;
                for (int32_t c = 0; c < 8; ++c) {
                    u += du, v += dv;
                    out[c] = warp_texel(texture, u, v);
                }
            }
        }
}

#if defined(__SSE2__)

namespace {

// The vector block rows.  A texel index takes bits 8..15 of u and v and a
// shade bits 7..14 of s, and sums of 32-bit values agree with sums of their
// low 16 bits there, so the eight steps of a block row run in 16-bit lanes:
// lane c holds start + (c + 1) x step, wrapping.
inline __m128i block_row_steps(int32_t start, int32_t step)
{
    const __m128i counts = _mm_setr_epi16(1, 2, 3, 4, 5, 6, 7, 8);
    return _mm_add_epi16(_mm_set1_epi16(int16_t(start)), _mm_mullo_epi16(_mm_set1_epi16(int16_t(step)), counts));
}

// Eight texel indices (v & 0xFF00) | (u >> 8) & 0xFF in 16-bit lanes.
inline __m128i block_row_indices(int32_t u, int32_t du, int32_t v, int32_t dv)
{
    __m128i us = block_row_steps(u, du), vs = block_row_steps(v, dv);
    return _mm_or_si128(_mm_and_si128(vs, _mm_set1_epi16(int16_t(0xFF00))), _mm_srli_epi16(us, 8));
}

template <int first>
inline __m128i gather4(const uint32_t* texture, __m128i indices)
{
    return pixels4_gather<first>(texture, indices);
}

// shade_texel on four texels with their shade accumulators in the 16-bit
// lanes `first` .. `first` + 3 of `shades`: m = (s >> 7) & 255 scales each
// colour byte, (c x m) >> 8, and alpha becomes 0.
template <int first>
inline __m128i shade4(__m128i texels, __m128i shades)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i m = _mm_and_si128(_mm_srli_epi16(shades, 7), _mm_set1_epi16(255));
    m = first == 0 ? _mm_unpacklo_epi16(m, m) : _mm_unpackhi_epi16(m, m);  // m0 m0 m1 m1 m2 m2 m3 m3
    __m128i m_low = _mm_unpacklo_epi32(m, m), m_high = _mm_unpackhi_epi32(m, m);
    __m128i low = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(texels, zero), m_low), 8);
    __m128i high = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(texels, zero), m_high), 8);
    return _mm_and_si128(_mm_packus_epi16(low, high), _mm_set1_epi32(0x00FFFFFF));
}

inline void store4(uint32_t* at, __m128i pixels)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), pixels);
}

}  // namespace

void grid_expand(const uint32_t* texture, uint32_t* destination)
{
    for (int32_t by = 0; by < block_rows; ++by)
        for (int32_t bx = 0; bx < block_columns; ++bx) {
            block_edges eu = edges_of(warp_grid.u, bx, by, INT16_MAX);
            block_edges ev = edges_of(warp_grid.v, bx, by, INT16_MAX);
            uint32_t* out = destination + (8 * by) * screen_width + 8 * bx;
            for (int32_t r = 0; r < 8; ++r, out += screen_width) {
                eu.left += eu.left_step, eu.right += eu.right_step;
                ev.left += ev.left_step, ev.right += ev.right_step;
                __m128i indices = block_row_indices(eu.left, (eu.right - eu.left) >> 3, ev.left,
                                                    (ev.right - ev.left) >> 3);
                store4(out, gather4<0>(texture, indices));
                store4(out + 4, gather4<4>(texture, indices));
            }
        }
}

void grid_expand_shaded(const uint32_t* texture, uint32_t* destination)
{
    for (int32_t by = 0; by < block_rows - 1; ++by)
        for (int32_t bx = 0; bx < block_columns; ++bx) {
            block_edges eu = edges_of(warp_grid.u, bx, by, INT16_MAX);
            block_edges ev = edges_of(warp_grid.v, bx, by, INT16_MAX);
            block_edges es = edges_of(warp_grid.shade, bx, by, 255);
            uint32_t* out = destination + (8 * by + 4) * screen_width + 8 * bx;
            for (int32_t r = 0; r < 8; ++r, out += screen_width) {
                eu.left += eu.left_step, eu.right += eu.right_step;
                ev.left += ev.left_step, ev.right += ev.right_step;
                es.left += es.left_step, es.right += es.right_step;
                __m128i indices = block_row_indices(eu.left, (eu.right - eu.left) >> 3, ev.left,
                                                    (ev.right - ev.left) >> 3);
                __m128i shades = block_row_steps(es.left, (es.right - es.left) >> 3);
                store4(out, shade4<0>(gather4<0>(texture, indices), shades));
                store4(out + 4, shade4<4>(gather4<4>(texture, indices), shades));
            }
        }
    std::memset(destination, 0, size_t(4 * screen_width) * 4);
    std::memset(destination + (screen_height - 4) * screen_width, 0, size_t(4 * screen_width) * 4);
}

#else

void grid_expand(const uint32_t* texture, uint32_t* destination)
{
    grid_expand_plain(texture, destination);
}

void grid_expand_shaded(const uint32_t* texture, uint32_t* destination)
{
    grid_expand_shaded_plain(texture, destination);
}

#endif

void plasma_warp_plain(float t, const uint32_t* texture, uint32_t* destination)
{
    const float a = float(11 + 5 * real_cos(0.007524454477050415 * t));
    const float b = float(11 + 5 * real_cos(0.009587727708533078 * t));
    const float c = float(11 + 5 * real_sin(0.007062146892655367 * t));
    const float d = float(11 + 5 * real_sin(0.00846740050804403 * t));
    // The slow pans depend on time only.
    const double pan_u = 512 * real_sin(0.0010736525660296327 * t);
    const double pan_v = 512 * real_sin(0.001266784899923993 * t);
    for (int32_t gy = 0; gy <= block_rows; ++gy)
        for (int32_t gx = 0; gx <= block_columns; ++gx) {
            double x = gx - 20, y = gy - 13;
            double u = t + 64 * real_sin((t - x * a) * 0.010604453870625662) * real_cos((y * b + t) * 0.015503875968992248)
                       + 64 * real_cos(((y - x) * d + t) * 0.008841732979664015) + pan_u;
            double v = 64 * real_cos((t - y * d) * 0.0111731843575419) * real_sin((x * c + t) * 0.013175230566534914)
                       + 64 * real_sin(((x - y) * a + t) * 0.007722007722007722) + pan_v;
            warp_grid.u[gy * warp_grid_stride + gx] = round_to_int16(u);
            warp_grid.v[gy * warp_grid_stride + gx] = round_to_int16(v);
        }
    grid_expand_plain(texture, destination);
}

void plasma_warp(float t, const uint32_t* texture, uint32_t* destination)
{
    const float a = float(11 + 5 * real_cos(0.007524454477050415 * t));
    const float b = float(11 + 5 * real_cos(0.009587727708533078 * t));
    const float c = float(11 + 5 * real_sin(0.007062146892655367 * t));
    const float d = float(11 + 5 * real_sin(0.00846740050804403 * t));
    const double pan_u = 512 * real_sin(0.0010736525660296327 * t);
    const double pan_v = 512 * real_sin(0.001266784899923993 * t);
    // Each sine or cosine of the plain loop depends on the column alone, the
    // row alone, or their difference: made once for each value, then
    // combined point by point by the same expressions.
    constexpr int32_t columns = block_columns + 1, rows = block_rows + 1;
    constexpr int32_t differences = columns + rows - 1;  // y - x runs from -33 to 37
    double column_u[columns], column_v[columns], row_u[rows], row_v[rows];
    double difference_u[differences], difference_v[differences];
    constexpr int32_t least = -13 - (columns - 1 - 20);  // y - x at gy = 0, gx = 40
    for (int32_t gx = 0; gx < columns; ++gx) {
        const double x = gx - 20;
        column_u[gx] = real_sin((t - x * a) * 0.010604453870625662);
        column_v[gx] = real_sin((x * c + t) * 0.013175230566534914);
    }
    for (int32_t gy = 0; gy < rows; ++gy) {
        const double y = gy - 13;
        row_u[gy] = real_cos((y * b + t) * 0.015503875968992248);
        row_v[gy] = real_cos((t - y * d) * 0.0111731843575419);
    }
    for (int32_t k = 0; k < differences; ++k) {
        const double y_minus_x = k + least;
        difference_u[k] = real_cos((y_minus_x * d + t) * 0.008841732979664015);
        difference_v[k] = real_sin((-y_minus_x * a + t) * 0.007722007722007722);
    }
    for (int32_t gy = 0; gy < rows; ++gy)
        for (int32_t gx = 0; gx < columns; ++gx) {
            const int32_t k = (gy - 13) - (gx - 20) - least;
            double u = t + 64 * column_u[gx] * row_u[gy] + 64 * difference_u[k] + pan_u;
            double v = 64 * row_v[gy] * column_v[gx] + 64 * difference_v[k] + pan_v;
            warp_grid.u[gy * warp_grid_stride + gx] = round_to_int16(u);
            warp_grid.v[gy * warp_grid_stride + gx] = round_to_int16(v);
        }
    grid_expand(texture, destination);
}

void build_zoomer_grid(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f)
{
    // Tilts beyond +-2^24 (the show's stay within +-18,000) are held there so
    // the plane terms fit their 32-bit scratch.
    constexpr int32_t tilt_limit = 1 << 24;
    c = std::clamp(c, -tilt_limit, tilt_limit);
    d = std::clamp(d, -tilt_limit, tilt_limit);
    const int64_t scale = int64_t(b) + 300 * (int64_t(b) / 500 + 10);  // 7,800 for b = 3000

    int64_t hx0 = 32768 - int64_t(c);
    if (hx0 > 65536)
        hx0 -= 131072;
    int64_t hx1 = int64_t(c) + 32768;
    int64_t hy0 = int64_t(d) + 98304;
    if (hy0 > 65536)
        hy0 -= 131072;
    int64_t hy1 = -(int64_t(d) + 32768);

    for (int32_t x = 0; x < screen_width + 8; ++x)
        zoomer_column_term[x] = round_to_int(double((screen_width - x) * hx0 + x * hx1) / 256);

    for (int32_t gy = 0; gy < block_rows; ++gy) {
        int64_t rowz = round_to_int(double((screen_height - 8 * gy) * hy0 + 8 * gy * hy1) / 256);
        for (int32_t gx = 0; gx <= block_columns; ++gx) {
            int32_t px = std::min(8 * gx, screen_width - 1);
            int32_t pos = screen_width * 8 * gy + px;
            int32_t ang = int32_t((angle_table[pos] + uint32_t(a)) & 255);  // wraps for any a
            int64_t z = rowz + zoomer_column_term[px];
            if (z == 0)
                z = 1;
            int32_t at = gy * warp_grid_stride + gx;
            if (z < 0) {
                warp_grid.shade[at] = 0;  // U and V keep the last grid-based frame's values
                continue;
            }
            int64_t r = distance_table[pos] * scale / z;
            warp_grid.v[at] = int16_t(f + ((sine_table[ang] * r) >> 7));
            warp_grid.u[at] = int16_t(e + ((sine_table[(ang + 64) & 255] * r) >> 7));
            warp_grid.shade[at] = int16_t(std::min<int64_t>(127, z >> 7));
        }
    }
}

void grid_expand_shaded_plain(const uint32_t* texture, uint32_t* destination)
{
    for (int32_t by = 0; by < block_rows - 1; ++by)
        for (int32_t bx = 0; bx < block_columns; ++bx) {
            block_edges eu = edges_of(warp_grid.u, bx, by, INT16_MAX);
            block_edges ev = edges_of(warp_grid.v, bx, by, INT16_MAX);
            block_edges es = edges_of(warp_grid.shade, bx, by, 255);
            uint32_t* out = destination + (8 * by + 4) * screen_width + 8 * bx;
            for (int32_t r = 0; r < 8; ++r, out += screen_width) {
                eu.left += eu.left_step, eu.right += eu.right_step;
                ev.left += ev.left_step, ev.right += ev.right_step;
                es.left += es.left_step, es.right += es.right_step;
                int32_t du = (eu.right - eu.left) >> 3, dv = (ev.right - ev.left) >> 3;
                int32_t ds = (es.right - es.left) >> 3;
                int32_t u = eu.left, v = ev.left, s = es.left;
                for (int32_t c = 0; c < 8; ++c) {
                    u += du, v += dv, s += ds;
                    out[c] = shade_texel(warp_texel(texture, u, v), s);
                }
            }
        }
    std::memset(destination, 0, size_t(4 * screen_width) * 4);
    std::memset(destination + (screen_height - 4) * screen_width, 0, size_t(4 * screen_width) * 4);
}

void tilted_zoomer(float t, float rotation, const uint32_t* texture, uint32_t* destination)
{
    int64_t d = round_to_int64(6000 * real_sin(0.008032128514056226 * t) + 6000 * real_cos(-0.006920415224913495 * t)
                             + 6000 * real_sin(-0.006349206349206349 * t));
    int64_t c = round_to_int64(6000 * real_cos(0.007434944237918216 * t) + 6000 * real_sin(-0.007782101167315175 * t)
                             + 6000 * real_cos(-0.006779661016949153 * t));
    build_zoomer_grid(int32_t(round_to_int64(rotation) & 255), 3000, int32_t(c), int32_t(d),
                      int32_t(round_to_int64(t) & 255), int32_t(round_to_int64(2.0 * t) & 255));
    grid_expand_shaded(texture, destination);
}
