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

#if defined(__SSE2__)

namespace {

// The SSE2 row; onto_black: the row is taken as all 0 (the tunnel's first
// layer), so the layer is stored without reading the row, the same bytes
// as adding it to 0.
template <bool onto_black>
void rotozoom_row_sse2(const uint32_t* texture, uint32_t* row, int32_t count, uint32_t u, uint32_t v, uint32_t du,
                       uint32_t dv, uint32_t brightness)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i factor = _mm_set1_epi16(static_cast<int16_t>(brightness));
    const __m128i steps = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
    const __m128i du8 = _mm_mullo_epi16(_mm_set1_epi16(static_cast<int16_t>(du)), steps);
    const __m128i dv8 = _mm_mullo_epi16(_mm_set1_epi16(static_cast<int16_t>(dv)), steps);
    auto scaled = [&](__m128i texels) {
        __m128i low = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(texels, zero), factor), 8);
        __m128i high = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(texels, zero), factor), 8);
        return _mm_packus_epi16(low, high);
    };
    int32_t x = 0;
    for (; x + 8 <= count; x += 8) {
        const __m128i us = _mm_add_epi16(_mm_set1_epi16(static_cast<int16_t>(u)), du8);
        const __m128i vs = _mm_add_epi16(_mm_set1_epi16(static_cast<int16_t>(v)), dv8);
        const __m128i indices = _mm_or_si128(_mm_and_si128(vs, _mm_set1_epi16(static_cast<int16_t>(0xFF00))),
                                             _mm_srli_epi16(us, 8));
        u += 8 * du;
        v += 8 * dv;
        auto* at = reinterpret_cast<__m128i*>(row + x);
        const __m128i first = scaled(pixels4_gather<0>(texture, indices));
        const __m128i second = scaled(pixels4_gather<4>(texture, indices));
        if (onto_black) {
            _mm_storeu_si128(at, first);
            _mm_storeu_si128(at + 1, second);
        } else {
            _mm_storeu_si128(at, _mm_adds_epu8(_mm_loadu_si128(at), first));
            _mm_storeu_si128(at + 1, _mm_adds_epu8(_mm_loadu_si128(at + 1), second));
        }
    }
    if (onto_black)
        std::fill(row + x, row + count, 0u);
    rotozoom_row_plain(texture, row + x, count - x, u, v, du, dv, brightness);
}

void rotozoom_row_onto_black(const uint32_t* texture, uint32_t* row, int32_t count, uint32_t u, uint32_t v,
                             uint32_t du, uint32_t dv, uint32_t brightness)
{
    rotozoom_row_sse2<true>(texture, row, count, u, v, du, dv, brightness);
}

}  // namespace

// Eight pixels at a time.  The texel index takes bits 8..15 of u and v,
// and sums of 32-bit values agree with sums of their low 16 bits there, so
// the eight positions are (u + k du, v + k dv) in 16-bit lanes.  The texels
// are fetched one by one (their addresses are scattered), then scaled in
// 16-bit lanes, (c x g) >> 8 exactly since 255 x 255 fits, and added to the
// destination with unsigned saturation.
void rotozoom_row(const uint32_t* texture, uint32_t* row, int32_t count, uint32_t u, uint32_t v, uint32_t du,
                  uint32_t dv, uint32_t brightness)
{
    rotozoom_row_sse2<false>(texture, row, count, u, v, du, dv, brightness);
}

#else

void rotozoom_row(const uint32_t* texture, uint32_t* row, int32_t count, uint32_t u, uint32_t v, uint32_t du,
                  uint32_t dv, uint32_t brightness)
{
    rotozoom_row_plain(texture, row, count, u, v, du, dv, brightness);
}

namespace {

void rotozoom_row_onto_black(const uint32_t* texture, uint32_t* row, int32_t count, uint32_t u, uint32_t v,
                             uint32_t du, uint32_t dv, uint32_t brightness)
{
    std::fill(row, row + count, 0u);
    rotozoom_row_plain(texture, row, count, u, v, du, dv, brightness);
}

}  // namespace

#endif

namespace {

// rotozoom_add with the row routine given: the plain sum, or the store of
// the tunnel's first layer onto black.
void rotozoom_layer(float angle, float zoom, int32_t u_off, int32_t v_off, int32_t cx, int32_t cy,
                    int32_t brightness, const uint32_t* texture, uint32_t* destination,
                    void (*row)(const uint32_t*, uint32_t*, int32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t))
{
    if (brightness > 255)
        brightness = 255;
    const rotozoom_steps steps = rotozoom_steps_for(angle, zoom);
    // 32-bit arithmetic that wraps (only the low 16 bits are ever used), so
    // unsigned: far centres and offsets stay defined.
    const auto du_x = static_cast<uint32_t>(steps.du_x);
    const auto dv_x = static_cast<uint32_t>(steps.dv_x);
    const auto du_y = static_cast<uint32_t>(steps.du_y);
    const auto dv_y = static_cast<uint32_t>(steps.dv_y);
    uint32_t u = static_cast<uint32_t>(u_off) * 256u - du_y * static_cast<uint32_t>(cy) -
                 du_x * static_cast<uint32_t>(cx);
    uint32_t v = static_cast<uint32_t>(v_off) * 256u - dv_y * static_cast<uint32_t>(cy) -
                 dv_x * static_cast<uint32_t>(cx);
    for (int32_t y = 0; y < screen_height; ++y) {
        u += du_y;
        v += dv_y;
        row(texture, destination + y * screen_width, screen_width, u, v, du_x, dv_x, static_cast<uint32_t>(brightness));
    }
}

}  // namespace

void rotozoom_add(float angle, float zoom, int32_t u_off, int32_t v_off, int32_t cx, int32_t cy,
                  int32_t brightness, const uint32_t* texture, uint32_t* destination)
{
    if (brightness <= 0)
        return;  // every texel scales to 0: nothing to add
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

void rotozoom_tunnel(int32_t phase, uint32_t* destination)
{
    // The destination is cleared and the layers added: when the farthest
    // layer shows, it is stored instead, which gives the same bytes as
    // adding it to the cleared frame.
    for (int32_t j = 0; j < 4; ++j) {
        const tunnel_layer layer = tunnel_layer_at(phase, j, tunnel_texture_sequence);
        if (j == 0 && layer.brightness > 0) {
            rotozoom_layer(layer.angle, layer.zoom, layer.u_off, layer.v_off, layer.cx, layer.cy, layer.brightness,
                           texture_slots[layer.slot], destination, rotozoom_row_onto_black);
            continue;
        }
        if (j == 0)
            std::fill(destination, destination + screen_width * screen_height, 0u);
        rotozoom_add(layer.angle, layer.zoom, layer.u_off, layer.v_off, layer.cx, layer.cy, layer.brightness,
                     texture_slots[layer.slot], destination);
    }
}

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
