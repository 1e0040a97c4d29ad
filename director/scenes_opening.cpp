// The two opening scenes: the tilted zoomer with the title (orders 0 and 1) and the zoomer with radial streaks and its caption column (orders 2 and 3) (portable).
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/frame.h"
#include "base/maths.h"
#include "director/precalc.h"
#include "director/scene_helpers.h"
#include "director/scenes.h"
#include "director/timeline.h"
#include "imaging/blits.h"
#include "imaging/effects.h"
#include "imaging/warp.h"
#include "text/captions.h"

namespace {

// The caption column of orders 2 and 3: each line appears once sync23_count
// has passed its threshold, top to bottom in the order drawn.
constexpr struct {
    int32_t threshold;
    int index;
    int16_t x, y;
} caption_column[] = {
    {0, caption_column_left_1, 0, 160},
    {1, caption_column_left_2, 44, 160},
    {2, caption_column_left_3, 0, 190},
    {3, caption_column_left_4, 50, 197},
    {5, caption_column_left_5, 30, 212},
    {6, caption_column_right_1, 211, 15},
    {7, caption_column_right_2, 240, 0},
    {8, caption_column_right_3, 211, 32},
    {9, caption_column_right_4, 170, 56},
    {10, caption_column_right_5, 180, 80},
    {11, caption_column_right_6, 230, 80},
    {9, caption_column_right_7, 214, 104},  // with right_4 ("it fits", "in 64")
};

}  // namespace

void scene_opening_zoomer(int32_t t, const music_position& /*music*/, uint32_t* screen)
{
    director_state& d = director;
    const int32_t dt = t - d.prev_frame_time;

    // Each event of value 1 makes the zoomer surge: the phase grows by the
    // area under the squared pulse, whatever the frame rate.
    const double pulse = decay(t, d.sync1_time, 65, 0.1);
    d.pulse_phase = float(d.pulse_phase + dt * pulse * pulse);

    // The surge pulls the zoomer back in time and turns it a little.
    const float zoomer_time = float(double(t / 10) - double(d.pulse_phase) * double(0.0001f));
    const float zoomer_rotation = float(-double(d.pulse_phase) * double(0.00005f));
    // Drawn even while the screen stays black: the zoomer's grid keeps
    // values from frame to frame, so later frames depend on this one.
    tilted_zoomer(zoomer_time, zoomer_rotation, texture_slots[slot_swirl], screen);

    const int32_t beats = d.reveal_beats;
    if (beats == 0)  // the show starts black until the first beat
        std::memset(screen, 0, size_t(screen_width) * size_t(screen_height) * 4);

    // From the second beat the title builds up one frame per beat; the
    // eighth beat brings back the frame of the fifth.
    int title_frame = -1;
    if (beats >= 2 && beats <= 7)
        title_frame = caption_title_frames + beats - 2;
    else if (beats == 8)
        title_frame = caption_title_frames + 3;
    if (title_frame >= 0)
        draw_caption({title_frame, blit_kind::alpha, 50, 40}, frame_image(screen));
}

void scene_zoomer_streaks(int32_t t, const music_position& /*music*/, uint32_t* screen)
{
    director_state& d = director;
    const int32_t dt = t - d.prev_frame_time;

    // Events of value 2 push the zoomer forward, events of value 3 pull it
    // back: the signed square of the two pulses, whichever is stronger.
    const double pulse3 = decay(t, d.sync3_time, 65, 0.1);
    const double pulse2 = decay(t, d.sync2_time, 100, 0.1);
    d.pulse_phase = float(d.pulse_phase + dt * signed_pulse(pulse3, pulse2));

    // The glossy sphere: the bubbles' dark ground left the seconds between
    // beats at a mean luma of 24 to 37.
    const float zoomer_rotation = float(double(d.pulse_phase) * 0.00005);
    tilted_zoomer(float(t / 10), zoomer_rotation, texture_slots[slot_sphere], screen);

    // The streaks' centre wanders around the middle of the screen on sums
    // of slow sines of unrelated periods.
    const double u = t * 0.1;
    const int32_t cx = round_to_int(160 + 54 * (real_cos(u * 0.007434944237918216) - real_sin(u * 0.007782101167315175)
                                                + real_cos(u * 0.006779661016949153)));
    const int32_t cy = round_to_int(120 - 38 * (real_sin(u * 0.008032128514056226) + real_cos(u * 0.006920415224913495)
                                                - real_sin(u * 0.006349206349206349)));

    // The streaks grow over 0.8 s after each beat, then hold.
    const double growth = std::min(double(0.4f), (t - d.sync1_time) * 0.0005);
    const float streak_strength = float(growth * growth + 0.05);
    radial_zoom_feedback(screen, cx, cy, 251, streak_strength, 0.0f);

    const image frame = frame_image(screen);
    // A long line scrolling right to left at one pixel per 16 ms.
    draw_caption({caption_scroller, blit_kind::alpha, int16_t(1000 - t / 16), 170}, frame);

    // A dark banner darkens what lies under it, once the fifth event came.
    if (d.sync23_count > 4)
        blit_multiply(caption_table[caption_banner_dark], frame, 17, 195);

    for (const auto& line : caption_column)
        if (d.sync23_count > line.threshold)
            draw_caption({line.index, blit_kind::alpha, line.x, line.y}, frame);
}
