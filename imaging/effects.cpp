// Full-screen 2D effects: radial zoom feedback, lens blobs, bump refraction with its smear blur, row wave (portable; SSE2 where the compiler offers it).
#include "imaging/effects.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/pixel_ops_sse2.h"

#include "base/maths.h"
#include "imaging/effect_pixels.h"
#include "imaging/tables.h"

namespace {

// Rounds to nearest (ties to even) and clamps to lo..hi; NaN gives lo.
int32_t round_clamped(double value, int32_t lo, int32_t hi)
{
    if (!(value > lo))
        return lo;
    if (value > hi)
        return hi;
    return round_to_int(value);
}

int32_t blue_of(uint32_t pixel)
{
    return int32_t(pixel & 255);
}


// The four passes, each walking outward from the centre; a sample lies
// between the pixel and the centre, so it reads what this call has already
// written nearer the centre.  Positions are held to 32 bits, so any step is
// safe; with steps of 0..256 they never need it.
template <typename Rule>
void zoom_feedback_passes(uint32_t* buffer, int32_t cx, int32_t cy, int32_t step, const uint8_t* tables, Rule rule)
{
    constexpr int32_t w = screen_width, h = screen_height;
    const bool small_step = step >= 0 && step <= 256;
    auto position = [step, small_step](int32_t from, int32_t offset) {
        if (small_step)
            return from * 256 + offset * step;
        return int32_t(std::clamp<int64_t>(int64_t(from) * 256 + int64_t(offset) * step, INT32_MIN, INT32_MAX));
    };
    auto update = [buffer, tables, rule](int32_t x, int32_t y, int32_t sx, int32_t sy) {
        uint32_t& pixel = buffer[y * w + x];
        pixel = rule(buffer, sx, sy, pixel, tables);
    };
    for (int32_t y = cy - 1; y >= 0; --y) {  // upper left
        int32_t sy = position(cy - 1, y - (cy - 1));
        for (int32_t x = cx - 1; x >= 1; --x)
            update(x, y, position(cx - 1, x - (cx - 1)), sy);
    }
    for (int32_t y = cy - 1; y >= 0; --y) {  // upper right
        int32_t sy = position(cy - 1, y - (cy - 1));
        for (int32_t x = cx; x < w; ++x)
            update(x, y, position(cx, x - cx), sy);
    }
    for (int32_t y = cy; y < h; ++y) {  // lower left
        int32_t sy = position(cy, y - cy);
        for (int32_t x = cx - 1; x >= 1; --x)
            update(x, y, position(cx - 1, x - (cx - 1)), sy);
    }
    for (int32_t y = cy; y < h; ++y) {  // lower right
        int32_t sy = position(cy, y - cy);
        for (int32_t x = cx; x < w; ++x)
            update(x, y, position(cx, x - cx), sy);
    }
}

#if defined(__SSE2__)
// The zoom feedback's two tables folded into one for the fast version:
// entry old x 128 + sample is min(127, A[old] + B[sample]), both 0..127.
// Rebuilt from the two tables on every call.
uint8_t zoom_sums[128 * 128 + 1];  // one spare byte: entries are read as the low byte of 16-bit loads

void build_zoom_sums(const uint8_t* tables)
{
    const __m128i limit = _mm_set1_epi8(127);
    __m128i b[8];
    for (int k = 0; k < 8; ++k)
        b[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables + 128 + 16 * k));
    for (int old = 0; old < 128; ++old) {
        // A and B are at most 127, so the byte sums cannot wrap.
        const __m128i a = _mm_set1_epi8(char(tables[old]));
        for (int k = 0; k < 8; ++k)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(zoom_sums + 128 * old + 16 * k),
                             _mm_min_epu8(_mm_add_epi8(a, b[k]), limit));
    }
}

// zoom_feedback_pixel with the interpolation in four 16-bit lanes (the
// alpha lane is computed and dropped) and the two tables read as one.  Only
// for samples inside the buffer, which steps of 0..256 with the centre in
// range guarantee: the sample's column and row are then 0..319 and 0..239,
// and on the last column or row their fraction is 0.  Each neighbour is
// loaded on its own, since a wider load over a pixel stored just before
// stalls the processor.
inline uint32_t zoom_feedback_pixel_sse2(const uint32_t* buffer, int32_t sx, int32_t sy, uint32_t old)
{
    int32_t ix = sx >> 8, fx = sx & 255, iy = sy >> 8, fy = sy & 255;
    const uint32_t* p = buffer + iy * screen_width + ix;
    int32_t right = ix < screen_width - 1 ? 1 : 0, down = iy < screen_height - 1 ? screen_width : 0;
    const __m128i zero = _mm_setzero_si128();
    // a and c in lanes 0..3 and 4..7 of one register, b and d of the other.
    __m128i ac = _mm_unpacklo_epi8(
        _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(p[0])), _mm_cvtsi32_si128(int(p[down]))), zero);
    __m128i bd = _mm_unpacklo_epi8(
        _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(p[right])), _mm_cvtsi32_si128(int(p[down + right]))), zero);
    __m128i top_bottom =
        _mm_add_epi16(_mm_slli_epi16(ac, 8), _mm_mullo_epi16(_mm_sub_epi16(bd, ac), _mm_set1_epi16(short(fx))));
    __m128i bottom = _mm_unpackhi_epi64(top_bottom, top_bottom);
    __m128i step = _mm_mullo_epi16(_mm_srai_epi16(_mm_sub_epi16(bottom, top_bottom), 8), _mm_set1_epi16(short(fy)));
    // A sample of -1 counts as 0.
    __m128i sample = _mm_max_epi16(_mm_srai_epi16(_mm_add_epi16(top_bottom, step), 8), zero);
    // Each byte's index old x 128 + sample in its 16-bit lane.
    __m128i olds = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(old)), zero);
    uint64_t index = uint64_t(_mm_cvtsi128_si64(_mm_or_si128(_mm_slli_epi16(olds, 7), sample)));
    return (old & 0xFF000000u) | zoom_sums[index & 0xFFFF] | uint32_t(zoom_sums[(index >> 16) & 0xFFFF]) << 8 |
           uint32_t(zoom_sums[(index >> 32) & 0xFFFF]) << 16;
}
#endif

#if defined(__SSE2__)
// The four passes interleaved, for steps of 0..256.  Each pass reads only
// its own quadrant: its samples lie between the pixel and the centre, and a
// neighbour across the quadrant's inner edge is read only with weight 0.  So
// the passes are independent, and running a row of each side by side (the
// upper and lower rows at the same distance from the centre, their left and
// right halves pixel by pixel) gives the processor four chains of work at
// once instead of one long chain, with the same results.
void zoom_feedback_quadrants(uint32_t* buffer, int32_t cx, int32_t cy, int32_t step, const uint8_t* tables)
{
    constexpr int32_t w = screen_width, h = screen_height;
    const int32_t left = cx - 1, right = w - cx;  // pixels of a left (x = cx-1 .. 1) and a right (cx .. 319) half-row
    const int32_t up = cy, down = h - cy;         // rows above (cy-1 .. 0) and below (cy .. 239)
    int32_t left_sx[screen_width], right_sx[screen_width];
    for (int32_t i = 0; i < left; ++i)
        left_sx[i] = (cx - 1) * 256 - i * step;
    for (int32_t i = 0; i < right; ++i)
        right_sx[i] = cx * 256 + i * step;
    build_zoom_sums(tables);
    auto update = [buffer](uint32_t* row, int32_t x, int32_t sx, int32_t sy) {
        row[x] = zoom_feedback_pixel_sse2(buffer, sx, sy, row[x]);
    };
    // One or two rows (their left and right halves) side by side.
    auto rows = [&](uint32_t* first, int32_t first_sy, uint32_t* second, int32_t second_sy) {
        const int32_t both = std::min(left, right);
        int32_t i = 0;
        for (; i < both; ++i) {
            update(first, cx - 1 - i, left_sx[i], first_sy);
            update(first, cx + i, right_sx[i], first_sy);
            if (second) {
                update(second, cx - 1 - i, left_sx[i], second_sy);
                update(second, cx + i, right_sx[i], second_sy);
            }
        }
        for (int32_t j = i; j < left; ++j) {
            update(first, cx - 1 - j, left_sx[j], first_sy);
            if (second)
                update(second, cx - 1 - j, left_sx[j], second_sy);
        }
        for (int32_t j = i; j < right; ++j) {
            update(first, cx + j, right_sx[j], first_sy);
            if (second)
                update(second, cx + j, right_sx[j], second_sy);
        }
    };
    // A row whose samples all lie in rows already finished (both sample rows
    // nearer the centre than the row itself) depends on nothing in its own
    // row: its pixels are made four at a time, in any order.  The columns'
    // sample places are the same for every row.
    alignas(16) int16_t fraction[screen_width * 4];  // fx of column x in four lanes
    int32_t column[screen_width];                    // ix of column x
    for (int32_t x = 1; x < w; ++x) {
        const int32_t sx = x < cx ? left_sx[cx - 1 - x] : right_sx[x - cx];
        column[x] = sx >> 8;
        for (int k = 0; k < 4; ++k)
            fraction[4 * x + k] = int16_t(sx & 255);
    }
    auto independent_row = [&](uint32_t* row, int32_t sy) {
        const int32_t iy = sy >> 8;
        const __m128i fy = _mm_set1_epi16(int16_t(sy & 255));
        const uint32_t* top = buffer + iy * w;  // iy is at most 238 here, so the row below exists
        const uint32_t* bottom = top + w;
        const __m128i zero = _mm_setzero_si128();
        // Two pixels' bilinear samples (-1..127, counted as 0 from -1) in 16-bit lanes.
        auto samples2 = [&](int32_t x) {
            // Each pair (a, b) is two neighbouring pixels; the right one of
            // column 319 is the next row's first, read with weight 0.
            auto pair = [](const uint32_t* at) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)); };
            const __m128i ab = _mm_unpacklo_epi32(pair(top + column[x]), pair(top + column[x + 1]));  // a0 a1 b0 b1
            const __m128i cd = _mm_unpacklo_epi32(pair(bottom + column[x]), pair(bottom + column[x + 1]));
            // a: the lanes of pixels x and x+1 from their left neighbours, b from the right ones.
            const __m128i a = _mm_unpacklo_epi8(ab, zero), b = _mm_unpackhi_epi8(ab, zero);
            const __m128i c = _mm_unpacklo_epi8(cd, zero), d = _mm_unpackhi_epi8(cd, zero);
            const __m128i fx = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fraction + 4 * x));
            const __m128i upper_line = _mm_add_epi16(_mm_slli_epi16(a, 8), _mm_mullo_epi16(_mm_sub_epi16(b, a), fx));
            const __m128i lower_line = _mm_add_epi16(_mm_slli_epi16(c, 8), _mm_mullo_epi16(_mm_sub_epi16(d, c), fx));
            const __m128i along = _mm_mullo_epi16(_mm_srai_epi16(_mm_sub_epi16(lower_line, upper_line), 8), fy);
            return _mm_max_epi16(_mm_srai_epi16(_mm_add_epi16(upper_line, along), 8), zero);
        };
        // The table entries of two pixels' colour bytes, each read as the
        // low byte of a 16-bit load and inserted into its lane.
        auto look_up = [](__m128i index) {
            __m128i found = _mm_setzero_si128();
            auto entry = [](int i) {
                uint16_t pair;
                std::memcpy(&pair, zoom_sums + i, 2);
                return int(pair);
            };
            found = _mm_insert_epi16(found, entry(_mm_extract_epi16(index, 0)), 0);
            found = _mm_insert_epi16(found, entry(_mm_extract_epi16(index, 1)), 1);
            found = _mm_insert_epi16(found, entry(_mm_extract_epi16(index, 2)), 2);
            found = _mm_insert_epi16(found, entry(_mm_extract_epi16(index, 4)), 4);
            found = _mm_insert_epi16(found, entry(_mm_extract_epi16(index, 5)), 5);
            found = _mm_insert_epi16(found, entry(_mm_extract_epi16(index, 6)), 6);
            return _mm_and_si128(found, _mm_set1_epi16(255));
        };
        const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
        int32_t x = 1;
        for (; x + 4 <= w; x += 4) {
            const __m128i olds = pixels4_load(row + x);
            const __m128i index_low = _mm_or_si128(_mm_slli_epi16(_mm_unpacklo_epi8(olds, zero), 7), samples2(x));
            const __m128i index_high =
                _mm_or_si128(_mm_slli_epi16(_mm_unpackhi_epi8(olds, zero), 7), samples2(x + 2));
            const __m128i colours = _mm_packus_epi16(look_up(index_low), look_up(index_high));
            pixels4_store(row + x, _mm_or_si128(colours, _mm_and_si128(olds, alpha)));
        }
        for (; x < w; ++x)
            row[x] = zoom_feedback_pixel_sse2(buffer, x < cx ? left_sx[cx - 1 - x] : right_sx[x - cx], sy, row[x]);
    };
    for (int32_t r = 0; r < std::max(up, down); ++r) {
        uint32_t* upper = r < up ? buffer + (cy - 1 - r) * w : nullptr;
        uint32_t* lower = r < down ? buffer + (cy + r) * w : nullptr;
        const int32_t upper_sy = (cy - 1) * 256 - r * step, lower_sy = cy * 256 + r * step;
        // Upper rows read rows iy and iy + 1 at or below themselves, lower
        // rows iy and iy + 1 at or above.
        if (upper && (upper_sy >> 8) > cy - 1 - r) {
            independent_row(upper, upper_sy);
            upper = nullptr;
        }
        if (lower && (lower_sy >> 8) + 1 < cy + r) {
            independent_row(lower, lower_sy);
            lower = nullptr;
        }
        if (upper)
            rows(upper, upper_sy, lower, lower_sy);
        else if (lower)
            rows(lower, lower_sy, nullptr, 0);
    }
}
#endif

void radial_zoom_feedback_with(uint32_t* buffer, int32_t cx, int32_t cy, int32_t step, float p, float q,
                               bool plain)
{
    constexpr int32_t pixels = screen_width * screen_height;
    cx = std::clamp(cx, 2, screen_width - 1);
    cy = std::clamp(cy, 1, screen_height - 1);
    uint8_t tables[256];
    build_zoom_tables(p, q, tables);
    // From here every byte is 0..127, which keeps the sampling arithmetic
    // within signed 16 bits.
    for (int32_t i = 0; i < pixels; ++i)
        buffer[i] = (buffer[i] >> 1) & 0x7F7F7F7Fu;
#if defined(__SSE2__)
    if (!plain && step >= 0 && step <= 256)
        zoom_feedback_quadrants(buffer, cx, cy, step, tables);
    else
#endif
        zoom_feedback_passes(buffer, cx, cy, step, tables, [](const uint32_t* b, int32_t sx, int32_t sy, uint32_t old,
                                                      const uint8_t* t) {
            return zoom_feedback_pixel(b, sx, sy, old, t);
        });
    (void)plain;
    for (int32_t i = 0; i < pixels; ++i)
        buffer[i] = (buffer[i] << 1) & 0xFEFEFEFEu;
}

}  // namespace

void build_zoom_tables(float p, float q, uint8_t tables[256])
{
    uint8_t* table_a = tables;
    uint8_t* table_b = tables + 128;
    for (int32_t i = 0; i < 128; ++i) {
        table_a[i] = uint8_t(round_clamped((i + 8) * 0.03125 * q + i * double(p), 0, 127));
        table_b[i] = uint8_t(round_clamped(i * (1.1 - p), 0, 127));
    }
}

void radial_zoom_feedback(uint32_t* buffer, int32_t cx, int32_t cy, int32_t step, float p, float q)
{
    radial_zoom_feedback_with(buffer, cx, cy, step, p, q, false);
}

void radial_zoom_feedback_plain(uint32_t* buffer, int32_t cx, int32_t cy, int32_t step, float p, float q)
{
    radial_zoom_feedback_with(buffer, cx, cy, step, p, q, true);
}

namespace {
void lens_map_into(uint32_t* first, const uint32_t* first_texture, uint32_t* second, const uint32_t* second_texture,
                   const int32_t* depth, int32_t u0, int32_t v0, int32_t cx, int32_t cy);
}

void lens_blobs(int32_t x, int32_t y, float z, int32_t u0, int32_t v0, const uint32_t* t1, const uint32_t* t2,
                uint32_t* d1, uint32_t* d2)
{
    std::memset(lens_depth, 0, size_t(frame_pixels) * 4);
    draw_blob(lens_depth, float(x), float(y), z, true);
    // Both maps from one pass when the first one's writes cannot reach what
    // the second reads (distinct destinations, neither a texture).
    auto overlaps = [](const uint32_t* a, const uint32_t* b, size_t b_pixels) {
        return a + frame_pixels > b && b + b_pixels > a;
    };
    if (d1 != d2 && !overlaps(d1, t2, 65536) && !overlaps(d1, d2, frame_pixels) && !overlaps(d2, t1, 65536)) {
        lens_map_into(d1, t1, d2, t2, lens_depth, u0, v0, x, y);
        return;
    }
    lens_map(d1, lens_depth, t1, u0, v0, x, y);
    lens_map(d2, lens_depth, t2, u0, v0, x, y);
}

void lens_blobs_plain(int32_t x, int32_t y, float z, int32_t u0, int32_t v0, const uint32_t* t1, const uint32_t* t2,
                      uint32_t* d1, uint32_t* d2)
{
    std::memset(lens_depth, 0, size_t(frame_pixels) * 4);
    draw_blob(lens_depth, float(x), float(y), z, true);
    lens_map_plain(d1, lens_depth, t1, u0, v0, x, y);
    lens_map_plain(d2, lens_depth, t2, u0, v0, x, y);
}

namespace {

// Where a blob lands on the frame: its clipped box, the 16.16 step through
// the table and where the walk starts, and the depth bias of its distance.
struct blob_box {
    int32_t x0, x1, y0, y1;
    int32_t step, u_start, v_start;
    int32_t bias;
};

// False when the blob is behind the eye, off the frame or not a number.
bool place_blob(float x, float y, float z, bool screen_coordinates, blob_box* box)
{
    constexpr int32_t w = screen_width, h = screen_height;
    double s = z + 400.0;
    if (!(s > 5))
        return false;
    double scale = 120 / s;
    box->bias = round_to_int(10000 / s + 50);
    if (!screen_coordinates) {
        x = float(scale * x + w / 2);
        y = float(scale * y + h / 2);
    }
    // Far off the frame (or not a number): nothing to draw, and the rounding
    // below stays defined.  The radius is at most 1,400.
    if (!(std::fabs(x) < 1.0e6f && std::fabs(y) < 1.0e6f))
        return false;
    int32_t r = std::max(2, round_to_int(7000 / s));
    box->step = 8388608 / r;  // 16.16: the 2r pixels span the table's 256 entries

    box->x0 = round_to_int(x - r), box->x1 = round_to_int(x + r);
    box->y0 = round_to_int(y - r), box->y1 = round_to_int(y + r);
    if (box->x0 >= w || box->y0 >= h || box->x1 < 0 || box->y1 < 0)
        return false;
    box->x1 = std::min(box->x1, w - 1);
    box->y1 = std::min(box->y1, h - 1);
    box->u_start = 0, box->v_start = 0;
    if (box->x0 < 0)
        box->u_start = box->step * -box->x0, box->x0 = 0;
    if (box->y0 < 0)
        box->v_start = box->step * -box->y0, box->y0 = 0;
    return true;
}

}  // namespace

void draw_blob_plain(int32_t* depth, float x, float y, float z, bool screen_coordinates)
{
    constexpr int32_t w = screen_width;
    blob_box box;
    if (!place_blob(x, y, z, screen_coordinates, &box))
        return;
    const int32_t x0 = box.x0, x1 = box.x1, y0 = box.y0, y1 = box.y1;
    const int32_t step = box.step, u_start = box.u_start, bias = box.bias;
    int32_t v = box.v_start;

    for (int32_t row = y0; row < y1; ++row, v += step) {
        int32_t* out = depth + row * w;
        int32_t u = u_start;
        for (int32_t column = x0; column < x1; ++column, u += step) {
            // x1 - x0 is always 2r, so u and v stay below 256 << 16; the mask
            // only makes that certain.
            int32_t height = blob_table[((v >> 16) & 255) * 256 + ((u >> 16) & 255)];
            if (height > 0 && height + bias > out[column])
                out[column] = height + bias;
        }
    }
}

void draw_blob(int32_t* depth, float x, float y, float z, bool screen_coordinates)
{
    constexpr int32_t w = screen_width;
    blob_box box;
    if (!place_blob(x, y, z, screen_coordinates, &box))
        return;
    const int32_t x0 = box.x0, x1 = box.x1, y0 = box.y0, y1 = box.y1;
    const int32_t step = box.step, u_start = box.u_start, bias = box.bias;
    int32_t v = box.v_start;

    // The columns' table entries are the same for every row: found once.
    // Four pixels at a time merge by maximum where the dome has height.
    const int32_t columns = x1 - x0;
    uint8_t table_column[screen_width];
    for (int32_t i = 0, u = u_start; i < columns; ++i, u += step)
        table_column[i] = uint8_t((u >> 16) & 255);
    for (int32_t row = y0; row < y1; ++row, v += step) {
        int32_t* out = depth + row * w + x0;
        const int32_t* heights = blob_table + ((v >> 16) & 255) * 256;
        int32_t i = 0;
#if defined(__SSE2__)
        const __m128i biases = _mm_set1_epi32(bias), zero = _mm_setzero_si128();
        for (; i + 4 <= columns; i += 4) {
            const __m128i height = _mm_setr_epi32(heights[table_column[i]], heights[table_column[i + 1]],
                                                  heights[table_column[i + 2]], heights[table_column[i + 3]]);
            auto* at = reinterpret_cast<__m128i*>(out + i);
            const __m128i old_depth = _mm_loadu_si128(at), raised = _mm_add_epi32(height, biases);
            const __m128i take = _mm_and_si128(_mm_cmpgt_epi32(height, zero), _mm_cmpgt_epi32(raised, old_depth));
            _mm_storeu_si128(at, _mm_or_si128(_mm_and_si128(take, raised), _mm_andnot_si128(take, old_depth)));
        }
#endif
        for (; i < columns; ++i) {
            const int32_t height = heights[table_column[i]];
            if (height > 0 && height + bias > out[i])
                out[i] = height + bias;
        }
    }
}

void lens_map_plain(uint32_t* destination, const int32_t* depth, const uint32_t* texture, int32_t u0, int32_t v0,
                    int32_t cx, int32_t cy)
{
    for (int32_t y = 0; y < screen_height; ++y)
        for (int32_t x = 0; x < screen_width; ++x) {
            int32_t t = depth[y * screen_width + x];
            if (t != 0)
                destination[y * screen_width + x] =
                    lens_texel(texture, int64_t(x) - cx, int64_t(y) - cy, t, u0, v0);
        }
}

namespace {

// 65536 / t for the depths a dome produces (and any up to 4095), made once:
// the lens divides by the same few hundred depths over and over.
struct lens_reciprocal_table {
    bool filled = false;
    int32_t of[4096];
};
lens_reciprocal_table lens_reciprocals;

inline int64_t lens_scale(int32_t t)
{
    if (t > 0 && t < 4096)
        return lens_reciprocals.of[t];
    return 65536 / int64_t(t);
}

// lens_map into one or two destinations (the second may be null) from one
// pass over the depths: lens_texel's index once per covered pixel, empty
// stretches of four depths skipped at once.
void lens_map_into(uint32_t* first, const uint32_t* first_texture, uint32_t* second, const uint32_t* second_texture,
                   const int32_t* depth, int32_t u0, int32_t v0, int32_t cx, int32_t cy)
{
    if (!lens_reciprocals.filled) {
        lens_reciprocals.of[0] = 0;
        for (int32_t t = 1; t < 4096; ++t)
            lens_reciprocals.of[t] = 65536 / t;
        lens_reciprocals.filled = true;
    }
#if defined(__SSE2__)
    // With the centre near the frame and depths of 0..4095, every product
    // (pixel - centre) x (65536 / t) fits 32 bits, so four pixels go at once:
    // the low halves of unsigned 32 x 32 products are the signed products.
    const bool near_centre = cx > -2048 && cx < 2048 && cy > -2048 && cy < 2048;
    auto multiply = [](__m128i a, __m128i b) {
        const __m128i even = _mm_mul_epu32(a, b);
        const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
        return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, 0x08), _mm_shuffle_epi32(odd, 0x08));
    };
    const __m128i low_byte = _mm_set1_epi32(255), lanes = _mm_setr_epi32(0, 1, 2, 3);
#endif
    for (int32_t y = 0; y < screen_height; ++y) {
        const int32_t* row = depth + y * screen_width;
        const int64_t dy = int64_t(y) - cy;
        for (int32_t x0 = 0; x0 < screen_width; x0 += 4) {  // the width is a multiple of four
#if defined(__SSE2__)
            const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x0));
            const __m128i empty = _mm_cmpeq_epi32(four, _mm_setzero_si128());
            if (_mm_movemask_epi8(empty) == 0xFFFF)
                continue;
            // Every depth 0..4095 (0 for the pixels left as they are).
            if (near_centre && _mm_movemask_epi8(_mm_cmplt_epi32(four, _mm_setzero_si128())) == 0 &&
                _mm_movemask_epi8(_mm_cmpgt_epi32(four, _mm_set1_epi32(4095))) == 0) {
                const __m128i k = _mm_setr_epi32(lens_reciprocals.of[row[x0]], lens_reciprocals.of[row[x0 + 1]],
                                                 lens_reciprocals.of[row[x0 + 2]], lens_reciprocals.of[row[x0 + 3]]);
                const __m128i dx = _mm_add_epi32(_mm_set1_epi32(x0 - cx), lanes);
                const __m128i u = _mm_add_epi32(_mm_srai_epi32(multiply(dx, k), 9), _mm_set1_epi32(u0));
                const __m128i v = _mm_add_epi32(_mm_srai_epi32(multiply(_mm_set1_epi32(int32_t(dy)), k), 9),
                                                _mm_set1_epi32(v0));
                const __m128i index =
                    _mm_or_si128(_mm_slli_epi32(_mm_and_si128(v, low_byte), 8), _mm_and_si128(u, low_byte));
                auto place = [&](uint32_t* destination, const uint32_t* texture) {
                    auto* at = reinterpret_cast<__m128i*>(destination + y * screen_width + x0);
                    const __m128i texels = _mm_setr_epi32(
                        int(texture[_mm_extract_epi16(index, 0)]), int(texture[_mm_extract_epi16(index, 2)]),
                        int(texture[_mm_extract_epi16(index, 4)]), int(texture[_mm_extract_epi16(index, 6)]));
                    _mm_storeu_si128(at, _mm_or_si128(_mm_and_si128(empty, _mm_loadu_si128(at)),
                                                      _mm_andnot_si128(empty, texels)));
                };
                place(first, first_texture);
                if (second)
                    place(second, second_texture);
                continue;
            }
#endif
            for (int32_t x = x0; x < x0 + 4; ++x) {
                const int32_t t = row[x];
                if (t == 0)
                    continue;
                // lens_texel, with the division looked up.
                const int64_t k = lens_scale(t);
                const int64_t u = (((int64_t(x) - cx) * k) >> 9) + u0;
                const int64_t v = ((dy * k) >> 9) + v0;
                const size_t index = size_t((v & 255) * 256 + (u & 255));
                first[y * screen_width + x] = first_texture[index];
                if (second)
                    second[y * screen_width + x] = second_texture[index];
            }
        }
    }
}

}  // namespace

void lens_map(uint32_t* destination, const int32_t* depth, const uint32_t* texture, int32_t u0, int32_t v0,
              int32_t cx, int32_t cy)
{
    lens_map_into(destination, texture, nullptr, nullptr, depth, u0, v0, cx, cy);
}

void smear_blur_plain(int32_t n, const uint32_t* source, uint32_t* destination)
{
    constexpr int32_t w = screen_width;
    for (int32_t y = 0; y < screen_height; ++y) {
        const uint32_t* in = source + y * w;
        uint32_t* out = destination + y * w;
        uint32_t value_of_row[w];
        if (n < 1) {
            for (int32_t x = 0; x < w; ++x)
                value_of_row[x] = uint32_t(blue_of(in[x]));
        } else {
            int32_t radius = std::min(n, w);
            int32_t k = 65536 / (2 * radius);
            // The window of 2n samples ending just left of pixel n; samples
            // beyond either end of the row repeat the end pixel.
            int32_t sum = radius * blue_of(in[0]);
            for (int32_t i = 0; i < radius; ++i)
                sum += blue_of(in[std::min(i, w - 1)]);
            for (int32_t x = 0; x < w; ++x) {
                sum -= blue_of(in[std::max(x - radius, 0)]);
                sum += blue_of(in[std::min(x + radius, w - 1)]);
                value_of_row[x] = uint32_t((k * sum) >> 16);
            }
        }
        if (y == 0)
            std::memcpy(out, value_of_row, sizeof value_of_row);
        else
            for (int32_t x = 0; x < w; ++x)
                out[x] = (out[x - w] + value_of_row[x]) >> 1;
    }
}

void smear_blur(int32_t n, const uint32_t* source, uint32_t* destination)
{
#if defined(__SSE2__)
    constexpr int32_t w = screen_width;
    const int32_t radius = std::min(n, w);
    if (n >= 1 && radius <= 128) {
        // As blur_row_sse2: the row's blue bytes extended by `radius` copies
        // of its end pixels, summed into 16-bit running sums; a window of
        // 2 radius samples (below 65,536) is a difference of two of them,
        // and floor(k x window / 65536) the high half of their product.
        const uint16_t k = uint16_t(65536 / (2 * radius));
        const __m128i factor = _mm_set1_epi16(int16_t(k));
        alignas(16) uint16_t sums[w + 2 * 128 + 8];
        for (int32_t y = 0; y < screen_height; ++y) {
            const uint32_t* in = source + y * w;
            uint32_t* out = destination + y * w;
            uint16_t running = 0;
            int32_t j = 0;
            sums[0] = 0;
            const uint16_t first = uint16_t(blue_of(in[0])), last = uint16_t(blue_of(in[w - 1]));
            for (; j < radius; ++j)
                sums[j + 1] = running = uint16_t(running + first);
            for (int32_t i = 0; i < w; ++i, ++j)
                sums[j + 1] = running = uint16_t(running + blue_of(in[i]));
            for (; j < w + 2 * radius; ++j)
                sums[j + 1] = running = uint16_t(running + last);
            const uint16_t* leaving = sums + 1;
            const uint16_t* entering = sums + 2 * radius + 1;
            for (int32_t x = 0; x < w; x += 8) {
                __m128i window = _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(entering + x)),
                                               _mm_loadu_si128(reinterpret_cast<const __m128i*>(leaving + x)));
                __m128i value = _mm_mulhi_epu16(window, factor);
                __m128i low = _mm_unpacklo_epi16(value, _mm_setzero_si128());
                __m128i high = _mm_unpackhi_epi16(value, _mm_setzero_si128());
                if (y > 0) {  // averaged with the row above as already stored
                    low = _mm_srli_epi32(_mm_add_epi32(low, pixels4_load(out + x - w)), 1);
                    high = _mm_srli_epi32(_mm_add_epi32(high, pixels4_load(out + x + 4 - w)), 1);
                }
                pixels4_store(out + x, low);
                pixels4_store(out + x + 4, high);
            }
        }
        return;
    }
#endif
    smear_blur_plain(n, source, destination);
}

void bump_refraction_plain(int32_t a, int32_t b, int32_t c, int32_t d, const uint32_t* surface, const uint32_t* light,
                     const uint32_t* height, uint32_t* destination)
{
    constexpr int32_t w = screen_width;
    for (int32_t y = 1; y < screen_height - 1; ++y)
        for (int32_t x = 1; x < w - 1; ++x) {
            const uint32_t* hp = height + y * w + x;
            int32_t gx = blue_of(hp[-1]) - blue_of(hp[1]);
            int32_t gy = blue_of(hp[-w]) - blue_of(hp[w]);
            destination[y * w + x] = bump_pixel(surface, light, x, y, gx, gy, a, b, c, d);
        }
}

void bump_refraction(int32_t a, int32_t b, int32_t c, int32_t d, const uint32_t* surface, const uint32_t* light,
                     const uint32_t* height, uint32_t* destination)
{
#if defined(__SSE2__)
    // Eight pixels of a row at once: gradients and both texel indices in
    // 16-bit lanes (the indices keep bits 0..7 of each sum, row in the high
    // byte), the texels fetched one by one and added with saturation.
    constexpr int32_t w = screen_width;
    const __m128i columns = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
    const __m128i low_byte = _mm_set1_epi16(255);
    for (int32_t y = 1; y < screen_height - 1; ++y) {
        const uint32_t* row = height + y * w;
        uint32_t* out = destination + y * w;
        // Offsets as unsigned sums, which wrap like the indices do.
        const __m128i light_row = _mm_set1_epi16(int16_t(uint32_t(y >> 1) - uint32_t(b) + 80u));
        const __m128i surface_row = _mm_set1_epi16(int16_t(uint32_t(y) + uint32_t(d)));
        int32_t x = 1;
        for (; x + 8 <= w - 1; x += 8) {
            const __m128i gx = _mm_sub_epi16(blue8(row + x - 1), blue8(row + x + 1));
            const __m128i gy = _mm_sub_epi16(blue8(row + x - w), blue8(row + x + w));
            const __m128i xs = _mm_add_epi16(_mm_set1_epi16(int16_t(x)), columns);
            const __m128i light_column = _mm_set1_epi16(int16_t(50u - uint32_t(a)));
            const __m128i u1 = _mm_add_epi16(_mm_add_epi16(_mm_srli_epi16(xs, 1), light_column), gx);
            const __m128i v1 = _mm_add_epi16(light_row, gy);
            const __m128i u2 = _mm_add_epi16(_mm_add_epi16(xs, _mm_set1_epi16(int16_t(c))), _mm_srai_epi16(gx, 1));
            const __m128i v2 = _mm_add_epi16(surface_row, _mm_srai_epi16(gy, 1));
            const __m128i light_index = _mm_or_si128(_mm_slli_epi16(v1, 8), _mm_and_si128(u1, low_byte));
            const __m128i surface_index = _mm_or_si128(_mm_slli_epi16(v2, 8), _mm_and_si128(u2, low_byte));
            pixels4_store(out + x, pixels4_add_saturate(pixels4_gather<0>(light, light_index),
                                                        pixels4_gather<0>(surface, surface_index)));
            pixels4_store(out + x + 4, pixels4_add_saturate(pixels4_gather<4>(light, light_index),
                                                            pixels4_gather<4>(surface, surface_index)));
        }
        for (; x < w - 1; ++x) {
            const uint32_t* hp = row + x;
            int32_t gx = blue_of(hp[-1]) - blue_of(hp[1]);
            int32_t gy = blue_of(hp[-w]) - blue_of(hp[w]);
            out[x] = bump_pixel(surface, light, x, y, gx, gy, a, b, c, d);
        }
    }
#else
    bump_refraction_plain(a, b, c, d, surface, light, height, destination);
#endif
}

int32_t row_wave_shift(float t, float amplitude, int32_t y)
{
    double w = 2 * real_sin((y + 0.010706638115631693 * t) * 4.7) - 2 * real_cos((y + 0.015772870662460567 * t) * 2.3)
               + 3 * real_sin((y + 0.011848341232227487 * t) * 0.41666666666666663);
    double shift = w * amplitude;
    constexpr int32_t limit = 1 << 30;
    if (std::isnan(shift))
        return limit;  // no row can take it: left as it was
    return round_to_int(std::clamp(shift, double(-limit), double(limit)));
}

void row_wave(float t, float amplitude, image source, image destination)
{
    if (source.width <= 0 || destination.width <= 0 || !source.pixels || !destination.pixels)
        return;
    int32_t rows = std::min(source.height, destination.height);
    for (int32_t y = 0; y < rows; ++y) {
        int32_t shift = row_wave_shift(t, amplitude, y);
        const uint32_t* in = source.pixels + size_t(y) * source.width;
        uint32_t* out = destination.pixels + size_t(y) * destination.width;
        int32_t from = shift >= 0 ? 0 : -shift, to = shift >= 0 ? shift : 0;
        // source.width - |shift| pixels, never past the destination's row.
        int32_t count = std::min(source.width - (from + to), destination.width - to);
        if (count > 0)
            std::memmove(out + to, in + from, size_t(count) * 4);
    }
}
