// The director's composite effects: the rotozoom layer, the rotozoom tunnel and the lens with feedback (portable; SSE2 rows where available).
#include "director/composite.h"

#include <algorithm>
#include <cmath>

#include "base/frame.h"
#include "base/maths.h"
#include "director/precalc.h"
#include "director/timeline.h"
#include "imaging/effects.h"

#include "imaging/pixel_ops_sse2.h"

namespace {

// Degrees, near enough: a little more than pi / 180.
constexpr double rotozoom_angle_unit = 0.017458100558659217;

// A step to the nearest integer.  Zooms the show never uses could give
// values beyond 32 bits (or NaN); they are held at the ends (NaN as 0) so the
// conversion stays defined.
int32_t step_to_int(double value)
{
    if (!(value == value))
        return 0;
    if (value <= -2147483648.0)
        return INT32_MIN;
    if (value >= 2147483647.0)
        return INT32_MAX;
    return round_to_int(value);
}

// nearest(value) for a value the formulas keep within low..high for any
// finite input; an infinite input gives NaN, held at `low` so the
// conversion stays defined.
int32_t nearest_within(double value, int32_t low, int32_t high)
{
    if (!(value >= low))
        return low;
    if (value > high)
        return high;
    return round_to_int(value);
}

}  // namespace

rotozoom_steps rotozoom_steps_for(float angle, float zoom)
{
    const double a = angle;
    const double z = zoom;
    rotozoom_steps steps;
    steps.du_x = step_to_int(z * real_cos(a * rotozoom_angle_unit));
    steps.dv_x = step_to_int(z * real_sin(a * rotozoom_angle_unit));
    // Rows run a quarter turn from the columns, 1.2 times as long: the 4:3
    // frame shows square texels stretched to fill it.
    steps.du_y = step_to_int(1.2 * z * real_cos((a + 90) * rotozoom_angle_unit));
    steps.dv_y = step_to_int(1.2 * z * real_sin((a + 90) * rotozoom_angle_unit));
    return steps;
}

void rotozoom_row_plain(const uint32_t* texture, uint32_t* row, int32_t count, uint32_t u, uint32_t v,
                        uint32_t du, uint32_t dv, uint32_t brightness)
{
    for (int32_t x = 0; x < count; ++x) {
        row[x] = rotozoom_pixel(texture[rotozoom_texel_index(u, v)], row[x], brightness);
        u += du;
        v += dv;
    }
}

namespace {

// Where a layer's coordinates start, one row above the frame's first, and
// how they step.  32-bit arithmetic that wraps (only the low 16 bits are
// ever used), so unsigned: far centres and offsets stay defined.
struct rotozoom_walk {
    uint32_t u, v;
    uint32_t du_x, dv_x, du_y, dv_y;
};

rotozoom_walk rotozoom_walk_for(float angle, float zoom, int32_t u_off, int32_t v_off, int32_t cx, int32_t cy)
{
    const rotozoom_steps steps = rotozoom_steps_for(angle, zoom);
    rotozoom_walk w;
    w.du_x = static_cast<uint32_t>(steps.du_x);
    w.dv_x = static_cast<uint32_t>(steps.dv_x);
    w.du_y = static_cast<uint32_t>(steps.du_y);
    w.dv_y = static_cast<uint32_t>(steps.dv_y);
    w.u = static_cast<uint32_t>(u_off) * 256u - w.du_y * static_cast<uint32_t>(cy) - w.du_x * static_cast<uint32_t>(cx);
    w.v = static_cast<uint32_t>(v_off) * 256u - w.dv_y * static_cast<uint32_t>(cy) - w.dv_x * static_cast<uint32_t>(cx);
    return w;
}

using rotozoom_row_routine = void (*)(const uint32_t*, uint32_t*, int32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                                      uint32_t);

// rotozoom_add with the row routine given: the vector one or the plain one.
void rotozoom_layer(float angle, float zoom, int32_t u_off, int32_t v_off, int32_t cx, int32_t cy, int32_t brightness,
                    const uint32_t* texture, uint32_t* destination, rotozoom_row_routine row)
{
    if (brightness <= 0)
        return;  // every texel scales to 0: nothing to add
    if (brightness > 255)
        brightness = 255;
    rotozoom_walk w = rotozoom_walk_for(angle, zoom, u_off, v_off, cx, cy);
    for (int32_t y = 0; y < screen_height; ++y) {
        w.u += w.du_y;
        w.v += w.dv_y;
        row(texture, destination + y * screen_width, screen_width, w.u, w.v, w.du_x, w.dv_x,
            static_cast<uint32_t>(brightness));
    }
}

}  // namespace

#if defined(__SSE2__)

namespace {

// Each byte of four texels scaled by `factor` (brightness in every 16-bit
// lane): (c x g) >> 8 exactly, since 255 x 255 fits in 16 bits.
inline __m128i rotozoom_scaled(__m128i texels, __m128i factor)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i low = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(texels, zero), factor), 8);
    __m128i high = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(texels, zero), factor), 8);
    return _mm_packus_epi16(low, high);
}

// The texel indices of eight pixels from their 16-bit coordinate lanes.
inline __m128i rotozoom_indices(__m128i us, __m128i vs)
{
    return _mm_or_si128(_mm_and_si128(vs, _mm_set1_epi16(static_cast<int16_t>(0xFF00))), _mm_srli_epi16(us, 8));
}

// k x step in 16-bit lane k (0..7).
inline __m128i rotozoom_lane_steps(uint32_t step)
{
    return _mm_mullo_epi16(_mm_set1_epi16(static_cast<int16_t>(step)), _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7));
}

}  // namespace

// Eight pixels at a time.  The texel index takes bits 8..15 of u and v,
// and sums of 32-bit values agree with sums of their low 16 bits there, so
// the eight positions are (u + k du, v + k dv) in 16-bit lanes.  The texels
// are fetched one by one (their addresses are scattered), then scaled in
// 16-bit lanes and added to the destination with unsigned saturation.
void rotozoom_row(const uint32_t* texture, uint32_t* row, int32_t count, uint32_t u, uint32_t v, uint32_t du,
                  uint32_t dv, uint32_t brightness)
{
    const __m128i factor = _mm_set1_epi16(static_cast<int16_t>(brightness));
    const __m128i du8 = rotozoom_lane_steps(du);
    const __m128i dv8 = rotozoom_lane_steps(dv);
    int32_t x = 0;
    for (; x + 8 <= count; x += 8) {
        const __m128i us = _mm_add_epi16(_mm_set1_epi16(static_cast<int16_t>(u)), du8);
        const __m128i vs = _mm_add_epi16(_mm_set1_epi16(static_cast<int16_t>(v)), dv8);
        const __m128i indices = rotozoom_indices(us, vs);
        u += 8 * du;
        v += 8 * dv;
        auto* at = reinterpret_cast<__m128i*>(row + x);
        const __m128i first = rotozoom_scaled(pixels4_gather<0>(texture, indices), factor);
        const __m128i second = rotozoom_scaled(pixels4_gather<4>(texture, indices), factor);
        _mm_storeu_si128(at, _mm_adds_epu8(_mm_loadu_si128(at), first));
        _mm_storeu_si128(at + 1, _mm_adds_epu8(_mm_loadu_si128(at + 1), second));
    }
    rotozoom_row_plain(texture, row + x, count - x, u, v, du, dv, brightness);
}

#else

void rotozoom_row(const uint32_t* texture, uint32_t* row, int32_t count, uint32_t u, uint32_t v, uint32_t du,
                  uint32_t dv, uint32_t brightness)
{
    rotozoom_row_plain(texture, row, count, u, v, du, dv, brightness);
}

#endif

void rotozoom_add(float angle, float zoom, int32_t u_off, int32_t v_off, int32_t cx, int32_t cy,
                  int32_t brightness, const uint32_t* texture, uint32_t* destination)
{
    rotozoom_layer(angle, zoom, u_off, v_off, cx, cy, brightness, texture, destination, rotozoom_row);
}

tunnel_layer tunnel_layer_at(int32_t phase, int32_t j, const int32_t* sequence)
{
    const int32_t r = phase % 256;
    const int32_t q = phase / 256;
    tunnel_layer layer;
    const int32_t d = 1024 - (256 * j + r);
    layer.zoom = static_cast<float>(d);
    layer.brightness = (256 - std::abs(d / 2 - 256)) / 2;
    // The layer's turn and offsets change only when q does, so they stay
    // fixed while the layer travels.
    const int32_t e = j - q;
    layer.angle = static_cast<float>(e * 150 + 90 * real_cos(phase * 0.0006664445184938354));
    layer.u_off = e * 40;
    layer.v_off = e * 55;
    layer.cx = round_to_int(screen_width / 2 + (screen_width / 4) * real_sin(phase * 0.0014275517487508922));
    layer.cy = round_to_int(screen_height / 2 + (screen_height / 4) * real_cos(phase * 0.0016220600162206002));
    // The show's phases are positive; a negative one would make q + 4 - j
    // negative, so the index is taken modulo 37 into 0..36 either way.
    int32_t index = (q + 4 - j) % tunnel_texture_sequence_length;
    if (index < 0)
        index += tunnel_texture_sequence_length;
    layer.slot = sequence[index];
    return layer;
}

void rotozoom_tunnel_plain(int32_t phase, uint32_t* destination)
{
    std::fill(destination, destination + screen_width * screen_height, 0u);
    for (int32_t j = 0; j < 4; ++j) {
        const tunnel_layer layer = tunnel_layer_at(phase, j, tunnel_texture_sequence);
        rotozoom_layer(layer.angle, layer.zoom, layer.u_off, layer.v_off, layer.cx, layer.cy, layer.brightness,
                       texture_slots[layer.slot], destination, rotozoom_row_plain);
    }
}

#if defined(__SSE2__)

// The lit layers in one pass: for each eight pixels every layer's texels
// are scaled and summed in 16-bit lanes, and the sum is stored once, held
// at 255 per byte.  Adding values of 0 to 255 one after another with
// saturation at 255 gives the same as adding them all and then holding the
// total at 255, so this is the frame cleared and the layers added one after
// another, farthest first, without reading or writing it once per layer.
void rotozoom_tunnel(int32_t phase, uint32_t* destination)
{
    static_assert(screen_width % 8 == 0, "the rows are whole groups of eight pixels");
    struct lit_layer {
        const uint32_t* texture;
        rotozoom_walk walk;
        __m128i factor;              // brightness in every lane
        __m128i lane_du, lane_dv;    // k du, k dv in lane k
        __m128i group_du, group_dv;  // 8 du, 8 dv in every lane
        __m128i us, vs;              // the next group's coordinates
    };
    lit_layer layers[4];
    int32_t lit = 0;
    for (int32_t j = 0; j < 4; ++j) {
        const tunnel_layer layer = tunnel_layer_at(phase, j, tunnel_texture_sequence);
        if (layer.brightness <= 0)
            continue;
        lit_layer& l = layers[lit++];
        l.texture = texture_slots[layer.slot];
        l.walk = rotozoom_walk_for(layer.angle, layer.zoom, layer.u_off, layer.v_off, layer.cx, layer.cy);
        l.factor = _mm_set1_epi16(static_cast<int16_t>(std::min(layer.brightness, 255)));
        l.lane_du = rotozoom_lane_steps(l.walk.du_x);
        l.lane_dv = rotozoom_lane_steps(l.walk.dv_x);
        l.group_du = _mm_set1_epi16(static_cast<int16_t>(8 * l.walk.du_x));
        l.group_dv = _mm_set1_epi16(static_cast<int16_t>(8 * l.walk.dv_x));
    }
    const __m128i zero = _mm_setzero_si128();
    for (int32_t y = 0; y < screen_height; ++y) {
        for (int32_t k = 0; k < lit; ++k) {
            lit_layer& l = layers[k];
            l.walk.u += l.walk.du_y;
            l.walk.v += l.walk.dv_y;
            l.us = _mm_add_epi16(_mm_set1_epi16(static_cast<int16_t>(l.walk.u)), l.lane_du);
            l.vs = _mm_add_epi16(_mm_set1_epi16(static_cast<int16_t>(l.walk.v)), l.lane_dv);
        }
        auto* at = reinterpret_cast<__m128i*>(destination + y * screen_width);
        for (int32_t x = 0; x < screen_width; x += 8, at += 2) {
            // Pixels 0-1, 2-3, 4-5, 6-7: their bytes in 16-bit lanes.
            __m128i sum0 = zero, sum1 = zero, sum2 = zero, sum3 = zero;
            for (int32_t k = 0; k < lit; ++k) {
                lit_layer& l = layers[k];
                const __m128i indices = rotozoom_indices(l.us, l.vs);
                l.us = _mm_add_epi16(l.us, l.group_du);
                l.vs = _mm_add_epi16(l.vs, l.group_dv);
                const __m128i first = pixels4_gather<0>(l.texture, indices);
                const __m128i second = pixels4_gather<4>(l.texture, indices);
                // A byte c in the high half of a lane times g, high 16 bits
                // kept: (c x g) >> 8.
                sum0 = _mm_add_epi16(sum0, _mm_mulhi_epu16(_mm_unpacklo_epi8(zero, first), l.factor));
                sum1 = _mm_add_epi16(sum1, _mm_mulhi_epu16(_mm_unpackhi_epi8(zero, first), l.factor));
                sum2 = _mm_add_epi16(sum2, _mm_mulhi_epu16(_mm_unpacklo_epi8(zero, second), l.factor));
                sum3 = _mm_add_epi16(sum3, _mm_mulhi_epu16(_mm_unpackhi_epi8(zero, second), l.factor));
            }
            _mm_storeu_si128(at, _mm_packus_epi16(sum0, sum1));
            _mm_storeu_si128(at + 1, _mm_packus_epi16(sum2, sum3));
        }
    }
}

#else

void rotozoom_tunnel(int32_t phase, uint32_t* destination)
{
    rotozoom_tunnel_plain(phase, destination);
}

#endif

void lens_feedback(float p0, float p1, float p2, const uint32_t* texture_a, const uint32_t* texture_b,
                   uint32_t* scratch, uint32_t* destination)
{
    // The centre wanders over the middle of the frame on two beats each
    // way: at most 0.4 of the frame from its middle, well inside the
    // bounds the streaks need.
    const double w = screen_width;
    const double h = screen_height;
    const int32_t cx = nearest_within(screen_width / 2 + 0.2 * w * real_cos(p0 * 0.003812428516965307) +
                                          0.2 * w * real_sin(p0 * 0.012150668286755772),
                                      screen_width / 2 - screen_width * 2 / 5, screen_width / 2 + screen_width * 2 / 5);
    const int32_t cy = nearest_within(screen_height / 2 + 0.2 * h * real_sin(p0 * 0.004304778303917348) +
                                          0.2 * h * real_cos(p0 * 0.009775171065493646),
                                      screen_height / 2 - screen_height * 2 / 5,
                                      screen_height / 2 + screen_height * 2 / 5);
    const int32_t z = nearest_within(40 * real_sin(p2 * 0.0028129395218002813) - 290, -330, -250);
    const double drift = static_cast<double>(p0) + p1;
    const int32_t v_off = nearest_within(128 * real_sin(drift * 0.0021626297577854673), -128, 128);
    const int32_t u_off = nearest_within(64 + 128 * real_cos(drift * 0.0028216704288939053), -64, 192);
    lens_blobs(cx, cy, static_cast<float>(z), u_off, v_off, texture_a, texture_b, destination, scratch);
    radial_zoom_feedback(destination, cx, cy, 248, 0.1f, 2.0f);
}
