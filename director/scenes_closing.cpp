// The three closing scenes: the rotozoom tunnel (orders 17 to 22), the rotozoom layer with lens and streaks (23 to 26) and the closing layer with its scrolling line (27 on) (portable).
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/frame.h"
#include "base/maths.h"
#include "director/composite.h"
#include "director/precalc.h"
#include "director/scene_helpers.h"
#include "director/scenes.h"
#include "director/timeline.h"
#include "imaging/blits.h"
#include "imaging/effects.h"
#include "imaging/image.h"
#include "text/captions.h"

namespace {

void clear_frame(uint32_t* pixels)
{
    std::memset(pixels, 0, size_t(screen_width) * size_t(screen_height) * 4);
}

// ---- orders 17 to 22: the tunnel ------------------------------------------

// A caption that appears once a sync counter has passed its threshold.
struct timed_caption {
    int32_t threshold;
    int index;
    int16_t x, y;
    bool alternates = false;  // index + (count mod 2): two captions that swap at every event
};

// Orders 19 and 20, the captions drawn over the tunnel with blit_alpha
// before the gliding ones, in drawing order.
constexpr timed_caption tunnel_captions_early[] = {
    {1, caption_tunnel_line_1, 10, 220},
    {2, caption_tunnel_line_2, 70, 220},
    {3, caption_tunnel_line_3, 110, 220},
    {4, caption_tunnel_line_4, 165, 220},
};
// After the waving caption, still before the gliding ones.
constexpr timed_caption tunnel_captions_middle[] = {
    {6, caption_tunnel_word_1, 10, 147},
    {7, caption_tunnel_word_2, 80, 0},
    {8, caption_tunnel_word_3, 210, 150},
    {9, caption_tunnel_word_4, 260, 85},
};
// The last one, over the gliding captions.
constexpr timed_caption tunnel_captions_late[] = {
    {14, caption_tunnel_word_5, 140, 88},
};

// Orders 21 and 22, by reveal_beats, in this order.
constexpr timed_caption name_captions[] = {
    {0, caption_name_1, 10, 20},
    {1, caption_name_2, 180, 200},
    {2, caption_name_3, 210, 78},
    {3, caption_name_4, 240, 50},
    {4, caption_name_pair_1, 215, 100, true},
    {5, caption_name_5, 10, 117},
    {6, caption_name_6, 32, 122},
    {7, caption_name_pair_2, 20, 148, true},
};

// The captions whose threshold c has passed, with blit_alpha, in order.
template <size_t count>
void draw_alpha_captions(const timed_caption (&captions)[count], int32_t c, image frame)
{
    for (const timed_caption& caption : captions) {
        if (c <= caption.threshold)
            continue;
        const int index = caption.alternates ? caption.index + c % 2 : caption.index;
        blit_alpha(caption_table[index], frame, caption.x, caption.y);
    }
}

// A caption that glides in: its slide value (1000 at the start of the show)
// falls by 3 per millisecond while it is shown, so after 1000 / 3 ms it has
// travelled its 25 pixels (slide / 40) and rests.
int32_t slide_on(int32_t& slide, int32_t dt)
{
    slide = std::max(0, slide - 3 * dt);
    return slide;
}

// Orders 19 and 20: captions appear one by one on events of value 1
// (c = subtitle_beats, zeroed in orders 17 and 18).
void draw_slogan_captions(int32_t t, int32_t dt, int32_t c, image frame)
{
    director_state& d = director;
    draw_alpha_captions(tunnel_captions_early, c, frame);
    if (c > 5) {
        // A caption waving sideways, through its scratch copy.
        row_wave(float(t), 0.15f, caption_table[caption_waving], caption_table[caption_waving_scratch]);
        blit_alpha(caption_table[caption_waving_scratch], frame, 60, 20);
    }
    draw_alpha_captions(tunnel_captions_middle, c, frame);
    // Four captions glide in and are added; the K comes before the 4.
    if (c > 10) {
        const int32_t x = slide_on(d.slide_from_right, dt) / 40 + 40;  // from the right
        blit_add(caption_table[caption_six], frame, int16_t(x), 82);
    }
    if (c > 12) {
        const int32_t x = 40 - slide_on(d.slide_from_left, dt) / 40;  // from the left
        blit_add(caption_table[caption_four], frame, int16_t(x), 30);
    }
    if (c > 11) {
        const int32_t y = slide_on(d.slide_from_below, dt) / 40 - 38;  // from below
        blit_add(caption_table[caption_k], frame, 30, int16_t(y));
    }
    if (c > 13) {
        const int32_t y = 95 - slide_on(d.slide_from_above, dt) / 40;  // from above
        blit_add(caption_table[caption_bang], frame, 62, int16_t(y));
    }
    draw_alpha_captions(tunnel_captions_late, c, frame);
}

// ---- orders 23 on: the layer ----------------------------------------------

// The blackout after an event of value 3: 0 at the event, a level of 256
// (black) about 471 ms later and 0 again after about 942 ms; a new event
// starts the curve over.
int32_t flash_level(int32_t t, int32_t sync3_time)
{
    const double a = std::max(0.0, 6.283185308 - (t - sync3_time) * 0.006666666666666666);
    return round_to_int(128 * (1 - real_cos(a)));
}

void apply_flash(int32_t flash, image frame)
{
    if (flash > 1)
        adjust_brightness(int16_t(-flash), frame);
}

// The slowly turning, breathing layer of slot 11 the last two scenes draw,
// the same at the same t in both.
void add_closing_layer(int32_t t, uint32_t* destination)
{
    const float angle = float(256 * real_sin(t * 0.00035518931590537754));
    const float zoom = float(256 + 128 * real_sin(t * 0.0006971556051310652));
    // The texture drifts diagonally, a texel per 5 and 4 ms.
    const int32_t u_off = t / 5;
    const int32_t v_off = -t / 4;
    const int32_t cx = round_to_int(160 + 120 * real_sin(t * 0.0018368846436443791));
    const int32_t cy = round_to_int(120 - 80 * real_cos(t * 0.0012748597654258032));
    const int32_t brightness = round_to_int(70 + 60 * real_cos(t * 0.001048767697954903));
    rotozoom_add(angle, zoom, u_off, v_off, cx, cy, brightness, texture_slots[slot_face], destination);
}

// The caption of orders 23 to 26: the list's entry c/2 for odd c, so each
// line of the list comes with every second event of value 1 or 2 and is
// gone at the next.  Held at the table's last entry for counts the song
// never reaches.
int layer_caption_index(int32_t c)
{
    return std::min(caption_made_with + c / 2, int(caption_made_with_last));
}

}  // namespace

void scene_tunnel(int32_t t, const music_position& music, uint32_t* screen)
{
    director_state& d = director;
    const int32_t dt = t - d.prev_frame_time;

    // Each event of value 1 makes the tunnel surge: the phase grows by the
    // area under the squared pulse, whatever the frame rate.
    const double pulse = decay(t, d.sync1_time, 100, 0.16666666666666666);
    d.pulse_phase = float(d.pulse_phase + dt * pulse * pulse);

    // About one layer nearer every 512 ms, plus the surges.
    const int32_t phase = round_to_int(double(t / 2) + double(d.pulse_phase) * double(0.0002f));
    rotozoom_tunnel(phase, screen);

    const image frame = frame_image(screen);
    const int32_t order = music.music_order;
    // The tunnel comes out of black over order 17.
    if (order == 17)
        adjust_brightness(int16_t(4 * music.music_row - 255), frame);

    if (order == 19 || order == 20) {
        draw_slogan_captions(t, dt, d.subtitle_beats, frame);
        d.reveal_beats = 0;  // orders 21 and 22 count from 0
    } else if (order == 21 || order == 22) {
        // Counted from 0 by reveal_beats, which orders 19 and 20 kept at 0.
        draw_alpha_captions(name_captions, d.reveal_beats, frame);
    } else {
        d.subtitle_beats = 0;  // orders 19 and 20 count from 0
    }
}

void scene_layer_lens(int32_t t, const music_position& music, uint32_t* screen)
{
    director_state& d = director;
    const int32_t dt = t - d.prev_frame_time;
    const int32_t flash = flash_level(t, d.sync3_time);

    // Events of value 1 hurry the lens's texture drift, events of value 2
    // its depth, each by the area under its squared pulse.
    const double beat = decay(t, d.sync1_time, 100, 0.08333333333333333);
    d.pulse_phase = float(d.pulse_phase + dt * beat * beat);
    const double accent = decay(t, d.sync2_time, 100, 0.06666666666666667);
    d.spin_phase = float(d.spin_phase + dt * accent * accent);

    // The layer and its caption go to work_buffer, the lens and its streaks to
    // the screen; the two are added at the end.
    clear_frame(screen);
    clear_frame(work_buffer);
    add_closing_layer(t, work_buffer);

    const int32_t c = d.sequence_beats + d.sync2_count;
    if (c % 2 == 1)  // a negative c never qualifies
        blit_add(caption_table[layer_caption_index(c)], work_image, 5, 5);

    const float lens_time = float(t * 0.1923076923076923);
    const float lens_drift = float(d.pulse_phase * 6.451612903225807e-05);
    const float lens_depth = float(d.spin_phase * 0.0006451612903225806);
    lens_feedback(lens_time, lens_drift, lens_depth, texture_slots[slot_lens_light], texture_slots[slot_lens_dark], work_buffer, screen);

    const image frame = frame_image(screen);
    add_image(work_image, frame);

    // The second half of order 26 fades to black.
    if (music.music_order == 26 && music.music_row > 32)
        adjust_brightness(int16_t(-8 * (music.music_row - 32)), frame);
    apply_flash(flash, frame);
}

void scene_closing_layer(int32_t t, const music_position& /*music*/, uint32_t* screen)
{
    const int32_t flash = flash_level(t, director.sync3_time);
    clear_frame(screen);
    add_closing_layer(t, screen);

    // The closing line comes in from the right at 2/9 pixel per millisecond
    // from the time the previous scene left in subtitle_beats.
    const image frame = frame_image(screen);
    const int32_t x = round_to_int(330 - (t - director.subtitle_beats) * 0.22222222222222224);
    blit_add(caption_table[caption_closing_line], frame, int16_t(x), -18);
    apply_flash(flash, frame);
}
