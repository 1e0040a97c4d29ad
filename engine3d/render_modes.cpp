// The four ways the scenes draw a 3D object, the blob's per-frame texture, the frame border (portable).
#include "engine3d/render_modes.h"

#include "base/frame.h"
#include "base/maths.h"
#include "engine3d/mesh.h"
#include "engine3d/object_drawing.h"
#include "engine3d/rasterisers.h"
#include "engine3d/rounding.h"
#include "engine3d/transform.h"
#include "engine3d/waves.h"
#include "imaging/pixel_ops_sse2.h"

namespace {
constexpr int32_t centre_x = 160, centre_y = 120;
}

void render_blob(int32_t mode, float t, float amplitude, float spin, const uint32_t* clouds, const uint32_t* swirl,
                 uint32_t* environment, uint32_t* destination)
{
    object3d& sphere = engine3d.sphere_object;
    camera& view = engine3d.camera;
    view.focal = float(140 + 20 * real_cos(t * 2.5287327255945684e-05));  // 1 / 39545.5
    sphere.angle_x = float(1.236 * spin);
    sphere.angle_y = float(-spin * 0.7547169811320755);  // 1 / 1.325
    sphere.angle_z = spin;
    sphere.pos_y = 0;
    sphere.pos_z = float(1200 - 200 * real_sin(t * 2.3071510145696587e-05));  // 1 / 43343.5
    transform_object(sphere);
    if (mode == 1) {
        view.focal = 140;
        wave_along_normals(sphere, float(t / 150.0));
        compute_frame_normals(sphere);
        wave_along_normals_scaled(sphere, amplitude, float(-t / 179.0));
    } else {
        wave_per_axis(sphere, amplitude, float(-t / 179.4));
    }
    compute_frame_normals(sphere);
    project_object(sphere, view, centre_x, centre_y);
    sort_faces(sphere);
    // The two layers of the environment drift at their own single-precision rates.
    make_bump_envmap(round_or_indefinite(double(t) * 0.0006071645184420049f),
                     round_or_indefinite(double(-t) * 0.0008849557489156723f),
                     round_or_indefinite(double(-t) * 0.0007575757335871458f),
                     round_or_indefinite(double(t) * 0.0004444444493856281f), clouds, swirl, environment);
    draw_envmapped_faces(sphere, environment, destination);
}

void render_wire_dots(float t, const uint32_t* dot, uint32_t* destination)
{
    object3d& ball = engine3d.ball_object;
    camera& view = engine3d.camera;
    view.focal = 100;
    ball.angle_x = float(double(t) * 0.2f);
    ball.angle_y = float(double(-t) * float(1.0 / 9.0));
    ball.angle_z = float(double(t) * float(1.0 / 3.0));
    ball.pos_y = 0;
    ball.pos_z = 1200;
    transform_object(ball);
    wave_along_normals(ball, float(t / 150.0));  // the normals stay as posed
    project_object(ball, view, centre_x, centre_y);
    draw_feature_edges(ball, destination, 0x777777);
    draw_vertex_dots(ball, dot, destination);
}

void render_wire_outline(float t, uint32_t* destination)
{
    object3d& outline = engine3d.outline_object;
    camera& view = engine3d.camera;
    view.focal = 170;
    outline.angle_x = 0;
    outline.angle_y = -t;
    outline.angle_z = 0;
    outline.pos_y = 0;
    outline.pos_z = 1100;
    transform_object(outline);
    project_object(outline, view, centre_x, centre_y);
    draw_feature_edges(outline, destination, 0x222222);
}

void render_sprite_sphere(float t, const uint32_t* const sprites[4], uint32_t* destination)
{
    object3d& sphere = engine3d.sphere_object;
    camera& view = engine3d.camera;
    view.focal = 140;
    sphere.angle_x = float(100.0 * t);
    sphere.angle_y = float(236.0 * t);
    sphere.angle_z = float(68.0 * t);
    sphere.pos_x = 0;
    sphere.pos_y = 0;
    sphere.pos_z = 500;
    transform_object(sphere);
    project_object(sphere, view, centre_x, centre_y);
    draw_vertex_sprites(sphere, sprites, destination);
}

void make_bump_envmap_plain(int32_t a, int32_t b, int32_t c, int32_t d, const uint32_t* source, const uint32_t* light,
                            uint32_t* destination)
{
    // Indices wrap to their low eight bits; the heights are read mirrored.
    auto at = [](int64_t row, int64_t column) { return uint32_t(((row & 255) << 8) | (column & 255)); };
    auto height = [&](int64_t row, int64_t column) { return int32_t(source[at(row, column)] >> 24); };
    for (int32_t i = 0; i < 256; ++i) {
        for (int32_t j = 0; j < 256; ++j) {
            const int32_t m = 255 - j;
            const int32_t gx = height(i, m) - height(i, m + 2);
            const int32_t gy = height(i - 1, m) - height(i + 1, m);
            const uint32_t colour = source[at(int64_t(i) - b + gy, int64_t(256) - j - a + gx)];
            const uint32_t lit = light[at(int64_t(i) - d + gy, int64_t(256) - j - c + gx)];
            destination[(i << 8) | j] = add_saturate(colour, lit);
        }
    }
}

// Only the low eight bits of every index matter, so the offsets are taken
// modulo 256 once and everything else is unsigned arithmetic on row pointers.
// With SSE2 each row is made in two sweeps: the indices of eight texels at
// a time in 16-bit lanes (in the order of the mirrored column m = 255 - j),
// then the texels fetched and added four at a time.
void make_bump_envmap(int32_t a, int32_t b, int32_t c, int32_t d, const uint32_t* source, const uint32_t* light,
                      uint32_t* destination)
{
    const uint32_t colour_column = (256u - uint32_t(a)) & 255, light_column = (256u - uint32_t(c)) & 255;
#if defined(__SSE2__)
    alignas(16) uint16_t colour_index[256], light_index[256];  // by m
    const __m128i low_byte = _mm_set1_epi16(255);
    const __m128i lanes = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
#endif
    for (uint32_t i = 0; i < 256; ++i) {
        const uint32_t* row = source + (i << 8);
        const uint32_t* above = source + (((i - 1) & 255) << 8);
        const uint32_t* below = source + (((i + 1) & 255) << 8);
        const uint32_t colour_row = i - uint32_t(b), light_row = i - uint32_t(d);
        uint32_t* out = destination + (i << 8);
#if defined(__SSE2__)
        // Column colour_column - j + gx = colour_column - 255 + m + gx.
        const __m128i colour_rows = _mm_set1_epi16(int16_t(colour_row));
        const __m128i light_rows = _mm_set1_epi16(int16_t(light_row));
        uint32_t m = 0;
        for (; m + 8 <= 248; m += 8) {  // m + 2 + 7 stays inside the row
            const __m128i gx = _mm_sub_epi16(alpha8(row + m), alpha8(row + m + 2));
            const __m128i gy = _mm_sub_epi16(alpha8(above + m), alpha8(below + m));
            const __m128i ms = _mm_add_epi16(_mm_set1_epi16(int16_t(m)), lanes);
            const __m128i colour_u = _mm_add_epi16(_mm_add_epi16(ms, _mm_set1_epi16(int16_t(colour_column - 255))), gx);
            const __m128i light_u = _mm_add_epi16(_mm_add_epi16(ms, _mm_set1_epi16(int16_t(light_column - 255))), gx);
            _mm_store_si128(reinterpret_cast<__m128i*>(colour_index + m),
                            _mm_or_si128(_mm_slli_epi16(_mm_add_epi16(colour_rows, gy), 8),
                                         _mm_and_si128(colour_u, low_byte)));
            _mm_store_si128(reinterpret_cast<__m128i*>(light_index + m),
                            _mm_or_si128(_mm_slli_epi16(_mm_add_epi16(light_rows, gy), 8),
                                         _mm_and_si128(light_u, low_byte)));
        }
        for (; m < 256; ++m) {  // the last columns, whose right neighbour wraps
            const uint32_t gx = (row[m] >> 24) - (row[(m + 2) & 255] >> 24);
            const uint32_t gy = (above[m] >> 24) - (below[m] >> 24);
            const uint32_t j = 255 - m;
            colour_index[m] = uint16_t(((colour_row + gy) & 255) << 8 | ((colour_column - j + gx) & 255));
            light_index[m] = uint16_t(((light_row + gy) & 255) << 8 | ((light_column - j + gx) & 255));
        }
        for (uint32_t j = 0; j < 256; j += 4) {
            const uint32_t k = 255 - j;
            __m128i colours = _mm_setr_epi32(int(source[colour_index[k]]), int(source[colour_index[k - 1]]),
                                             int(source[colour_index[k - 2]]), int(source[colour_index[k - 3]]));
            __m128i lit = _mm_setr_epi32(int(light[light_index[k]]), int(light[light_index[k - 1]]),
                                         int(light[light_index[k - 2]]), int(light[light_index[k - 3]]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm_adds_epu8(colours, lit));
        }
#else
        for (uint32_t j = 0; j < 256; ++j) {
            const uint32_t m = 255 - j;
            const uint32_t gx = (row[m] >> 24) - (row[(m + 2) & 255] >> 24);
            const uint32_t gy = (above[m] >> 24) - (below[m] >> 24);
            const uint32_t colour = source[((colour_row + gy) & 255) << 8 | ((colour_column - j + gx) & 255)];
            const uint32_t lit = light[((light_row + gy) & 255) << 8 | ((light_column - j + gx) & 255)];
            out[j] = add_saturate(colour, lit);
        }
#endif
    }
}

void clear_border(uint32_t* pixels)
{
    const int32_t w = screen_width, h = screen_height;
    for (int32_t x = 0; x < w; ++x)
        pixels[x] = pixels[(h - 1) * w + x] = 0;
    for (int32_t y = 0; y < h; ++y)
        pixels[y * w] = pixels[y * w + w - 1] = 0;
}
