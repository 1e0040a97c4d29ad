// The six middle scenes of the show, orders 4 to 16: plasmas, the 3D objects and their captions (portable).
#include <algorithm>
#include <cstdint>

#include "base/frame.h"
#include "base/maths.h"
#include "director/precalc.h"
#include "director/scene_helpers.h"
#include "director/scenes.h"
#include "director/timeline.h"
#include "engine3d/rasterisers.h"
#include "engine3d/render_modes.h"
#include "imaging/blits.h"
#include "imaging/effects.h"
#include "imaging/image.h"
#include "imaging/warp.h"
#include "text/captions.h"

namespace {

// The frame time since the previous frame (the first frame's is t itself).
int32_t frame_delta(int32_t t) { return t - director.prev_frame_time; }

// Counters index tables the director does not bound: past either end of a
// table the nearest entry holds.  Wide, so that an offset added to a
// counter cannot overflow.
int32_t held_index(int64_t index, int32_t count) { return int32_t(std::clamp<int64_t>(index, 0, count - 1)); }

// 0, 1 or 2 for any counter, negative ones included.
int32_t mod3(int32_t value) { return (value % 3 + 3) % 3; }

}  // namespace

// ---- orders 4 and 5: plasma, two scrolling caption columns, the shaded blob ----

void scene_plasma_shaded(int32_t t, const music_position& music, uint32_t* screen)
{
    director_state& d = director;
    const image frame = frame_image(screen);

    plasma_warp(float(t / 10), texture_slots[slot_ring], screen);

    // The blob swells at each sync event of value 1 and shrinks back to 0.75.
    const float swell = float(std::max(double(0.75f), 1.75 - double(t - d.sync1_time) * 0.0006666666666666666));

    const double g3 = decay(t, d.sync3_time, 110, 0.1);
    const double g2 = decay(t, d.sync2_time, 110, 0.1);
    d.pulse_phase = float(d.pulse_phase + double(frame_delta(t)) * signed_pulse(g3, g2));

    // The columns follow the music position too, so they jump on each new row.
    const int32_t position = (music.music_order - 3) * 64 + music.music_row;
    const int32_t scroll = t / 16;

    // Each column: a subtracted shadow, then the caption added 2 pixels lower right.
    const int32_t rising_y = 1923 - scroll - position;
    blit_subtract(caption_table[caption_rising_column], frame, 3, int16_t(rising_y));
    blit_add(caption_table[caption_rising_column], frame, 5, int16_t(rising_y + 2));
    const int32_t falling_y = position - 2142 + scroll;
    blit_subtract(caption_table[caption_falling_column], frame, 272, int16_t(falling_y));
    blit_add(caption_table[caption_falling_column], frame, 275, int16_t(falling_y + 2));

    const float blob_time = float(t * 150);
    const float blob_spin = float(double(t * 5) + double(d.pulse_phase) * double(0.02f));
    render_blob(0, blob_time, swell, blob_spin, texture_slots[slot_clouds], texture_slots[slot_swirl],
                texture_slots[slot_environment], screen);
}

// ---- orders 6 to 8: plasma with the spinning outline ----

namespace {

// The captions around the outline.  Each group stays while the count is
// below its limit; within it, a caption shows once the count passes its
// threshold.  Drawn in this order.
struct outline_caption {
    int32_t shown_below;
    int32_t shown_above;
    caption_placement placed;
};

const outline_caption outline_captions[] = {
    {12, 1, {caption_outline_12, blit_kind::multiply, 81, 20}},   // first group
    {12, 2, {caption_outline_1, blit_kind::alpha, -4, 55}},
    {12, 3, {caption_outline_2, blit_kind::add, 65, 5}},
    {12, 4, {caption_outline_3, blit_kind::add, 80, 10}},
    {13, 5, {caption_outline_11, blit_kind::alpha, 225, 70}},     // second group
    {13, 6, {caption_outline_4, blit_kind::alpha, 150, 90}},
    {13, 7, {caption_outline_5, blit_kind::alpha, 200, 105}},
    {14, 8, {caption_outline_6, blit_kind::alpha, 20, 140}},      // third group
    {14, 9, {caption_outline_8, blit_kind::multiply, 70, 165}},
    {14, 9, {caption_outline_7, blit_kind::add, 88, 152}},
    {14, 10, {caption_outline_9, blit_kind::multiply, 30, 190}},
    {14, 10, {caption_outline_10, blit_kind::alpha, 70, 195}},
};

}  // namespace

void scene_plasma_lines(int32_t t, const music_position& music, uint32_t* screen)
{
    director_state& d = director;
    const image frame = frame_image(screen);

    plasma_warp(float(t / 20), texture_slots[slot_clouds], screen);

    // The outline turns one way and reverses at every sync event of value 1.
    d.spin_phase = float(d.spin_phase + double(frame_delta(t) * d.spin_sign));
    const double outline_angle = double(d.spin_phase) * 400;
    render_wire_outline(float(outline_angle), screen);

    // In the last order copies join in fours every four rows: 4 at rows 0 to
    // 3, up to 64 at rows 60 to 63.
    if (music.music_order == 8) {
        const int32_t copies = 4 * (music.music_row / 4) + 4;
        for (int32_t i = 0; i < copies; ++i)
            render_wire_outline(float(double(i * 5000) + outline_angle), screen);
    }

    // The previous scene left the count at 1.
    const int32_t count = d.reveal_beats;
    for (const outline_caption& entry : outline_captions)
        if (count < entry.shown_below && count > entry.shown_above)
            draw_caption(entry.placed, frame);
}

// ---- orders 9 and 10: bump-mapped plasma lit by two sprites ----

void scene_bump_sprites(int32_t t, const music_position& /*music*/, uint32_t* screen)
{
    director_state& d = director;
    const image frame = frame_image(screen);

    // The sprites swing out from the centre at each sync event of value 1.
    const double swing_root = decay(t, d.sync1_time, 10, 0.01);
    const double swing = swing_root * swing_root;  // 0 to 100 pixels

    // The plasma is only the height field of the bump map below.
    plasma_warp(float(t / 20), texture_slots[slot_bubbles], screen);

    // Two lights circling the centre at their own rates, opposite each other
    // on a small common circle.
    const double pair_angle = t * 0.003278688524590164;
    const double first_angle = t * 0.005;
    const int32_t first_x = round_to_int(160 + swing * real_cos(first_angle) + 30 * real_cos(pair_angle));
    const int32_t first_y = round_to_int(120 + swing * real_sin(first_angle) + 30 * real_sin(pair_angle));
    draw_sprite_additive(first_x, first_y, texture_slots[slot_rings], 75, screen);
    const double second_angle = t * 0.004651162790697674;
    const int32_t second_x = round_to_int(160 + swing * real_cos(second_angle) - 30 * real_cos(pair_angle));
    const int32_t second_y = round_to_int(120 + swing * real_sin(second_angle) - 30 * real_sin(pair_angle));
    draw_sprite_additive(second_x, second_y, texture_slots[slot_rings_half], 75, screen);

    // The big centre light blinks: on at every other sync event of value 1.
    if (d.subtitle_beats % 2 == 0) {
        const int32_t centre_sprite = slot_rings + mod3(d.sequence_beats / 2);  // the three ring patterns in turn
        const int32_t centre_size = round_to_int(5 * swing + 200);
        draw_sprite_additive(160, 120, texture_slots[centre_sprite], centre_size, screen);
    }

    smear_blur(3, screen, work_buffer);

    // Light and surface drift slowly and independently.
    const int32_t light_u = round_to_int(128 * real_cos(t * 0.0005554629783924901));
    const int32_t light_v = round_to_int(128 * real_sin(t * 0.0005024115755627009));
    const int32_t surface_u = round_to_int(256 * real_cos(t * 0.00042729564585736873));
    const int32_t surface_v = round_to_int(256 * real_sin(t * 0.0003780146669690784));
    bump_refraction(light_u, light_v, surface_u, surface_v, texture_slots[slot_embossed], texture_slots[slot_white_glow], work_buffer, screen);

    blit_multiply(caption_table[caption_name_banner], frame, 18, 172);
    // One subtitle per sync event of value 1, counted from the scene's start;
    // past the last subtitle it holds.
    const int32_t subtitle_count = caption_subtitle_last - caption_subtitle_first + 1;
    const int32_t subtitle = caption_subtitle_first + held_index(d.subtitle_beats, subtitle_count);
    blit_alpha(caption_table[subtitle], frame, 25, 219);

    clear_border(screen);
}

// ---- orders 11 and 12: plasma with the second shaded blob ----

namespace {

// Revealed one by one: each shows once the count passes its threshold.
// Drawn in this order.
struct revealed_caption {
    int32_t shown_above;
    caption_placement placed;
};

const revealed_caption blob_captions[] = {
    {0, {caption_blob_1, blit_kind::alpha, 225, 220}},
    {1, {caption_blob_2, blit_kind::add, 40, 220}},
    {2, {caption_blob_3, blit_kind::alpha, 10, 205}},
    {3, {caption_blob_4, blit_kind::alpha, 20, 190}},
    {4, {caption_blob_5, blit_kind::alpha, -5, 170}},
    {5, {caption_blob_6, blit_kind::alpha, 25, 160}},
    {6, {caption_blob_7, blit_kind::add, 2, 22}},
    {7, {caption_blob_8, blit_kind::alpha, 10, 0}},
    {8, {caption_blob_9, blit_kind::alpha, 70, -12}},
    {9, {caption_blob_10, blit_kind::alpha, 90, 60}},
    {10, {caption_blob_11, blit_kind::subtract, 60, 80}},  // shadow,
    {10, {caption_blob_11, blit_kind::alpha, 62, 82}},     // then the caption
    {11, {caption_blob_12, blit_kind::alpha, 95, 95}},
    {12, {caption_blob_13, blit_kind::alpha, 245, 120}},
    {13, {caption_blob_14, blit_kind::alpha, 270, 80}},
};

}  // namespace

void scene_plasma_shaded_two(int32_t t, const music_position& /*music*/, uint32_t* screen)
{
    const image frame = frame_image(screen);

    // Time runs backwards through this plasma.
    plasma_warp(float(-t / 10), texture_slots[slot_swirl], screen);

    render_blob(1, float(t * 100), 0.4f, float(t * 60), texture_slots[slot_clouds], texture_slots[slot_swirl],
                texture_slots[slot_environment], screen);

    // Counting since the previous scene's end, which zeroed the count.
    const int32_t count = director.sequence_beats;
    for (const revealed_caption& entry : blob_captions)
        if (count > entry.shown_above)
            draw_caption(entry.placed, frame);
}

// ---- orders 13 and 14: zoomer with the dotted ball ----

void scene_zoomer_dots(int32_t t, const music_position& /*music*/, uint32_t* screen)
{
    const image frame = frame_image(screen);

    tilted_zoomer(float(t / 10), float(t / 100), texture_slots[slot_tiled_words], screen);
    render_wire_dots(float(t * 175), texture_slots[slot_glow], screen);

    // Two captions crossing the top of the screen in opposite directions.
    blit_multiply(caption_table[caption_long_line_band], frame, int16_t(t / 6 - 13600), 15);
    blit_alpha(caption_table[caption_long_line], frame, int16_t(7500 - t / 10), 5);
}

// ---- orders 15 and 16: plasma through the texture sequence, the sprite sphere ----

namespace {

// Shown while the count passes its threshold, in this order.
const revealed_caption sphere_captions[] = {
    {1, {caption_sphere_1, blit_kind::alpha, 80, 80}},
    {2, {caption_sphere_2, blit_kind::alpha, 120, 80}},
    {3, {caption_sphere_3, blit_kind::alpha, 140, 90}},
    {4, {caption_sphere_4, blit_kind::alpha, 100, 112}},
    {5, {caption_sphere_5, blit_kind::subtract, 138, 118}},  // shadow,
    {5, {caption_sphere_5, blit_kind::alpha, 140, 120}},     // then the caption
};

// The bottom line: one caption at a time, each only while the count equals its value.
struct single_caption {
    int32_t shown_at;
    int32_t caption;
};

const single_caption bottom_captions[] = {
    {7, caption_sphere_line_1},
    {8, caption_sphere_line_2},
    {9, caption_sphere_line_3},
    {10, caption_sphere_line_4},
    {11, caption_sphere_line_5},
};

// The big name, 194 pixels wide at twice the font's size, in the middle.
constexpr int16_t big_name_x = 63;

}  // namespace

void scene_plasma_sequence(int32_t t, const music_position& music, uint32_t* screen)
{
    const director_state& d = director;
    const image frame = frame_image(screen);
    const int32_t count = d.sequence_beats;

    // The title shivers right after a sync event of value 1, for 600 ms and
    // by a pixel or so: the wave's shift jumps from row to row, and at more
    // than that it sliced the letters into streaks.
    const double wobble = decay(t, d.sync1_time, 0.18, 0.0003);

    // A new texture at every sync event of value 1.
    const int32_t texture = warp_texture_sequence[held_index(count, warp_texture_sequence_length)];
    plasma_warp(float(t / 20), texture_slots[texture], screen);

    render_sprite_sphere(float(t * 0.1), &texture_slots[slot_glow], screen);  // slots 0 to 3 in turn

    if (count == 0) {
        blit_alpha(caption_table[caption_big_name_tall], frame, big_name_x, 30);
    } else {
        row_wave(float(t), float(wobble), caption_table[caption_big_name], caption_table[caption_big_name_wave]);
        blit_alpha(caption_table[caption_big_name_wave], frame, big_name_x, 30);
    }

    for (const revealed_caption& entry : sphere_captions)
        if (count > entry.shown_above)
            draw_caption(entry.placed, frame);
    for (const single_caption& entry : bottom_captions)
        if (count == entry.shown_at)
            blit_add(caption_table[entry.caption], frame, 50, 195);

    // The last eight rows fade to black: 0 at row 56 down to -224 at row 63.
    if (music.music_order == 16 && music.music_row >= 56)
        adjust_brightness(int16_t(-32 * (music.music_row - 56)), frame);
}
