// The timeline: sync events, the scene table and frame bookkeeping (portable).
#include "director/timeline.h"

#include "data/blocks.h"
#include "director/scenes.h"

director_state director;

// data/sequences.bin holds the two tables back to back as little-endian
// 32-bit slot numbers; the program runs on little-endian machines only.
const int32_t* warp_texture_sequence = reinterpret_cast<const int32_t*>(embedded_sequences_bin);
const int32_t* tunnel_texture_sequence =
    reinterpret_cast<const int32_t*>(embedded_sequences_bin) + warp_texture_sequence_length;

namespace {

// One row a scene, in song order (and scene_id order): the first order it
// plays in, its name, what draws it, and the counters it starts from, set on
// the first frame it draws after another scene.
struct scene_entry {
    int32_t first_order;
    const char* name;
    scene_fn draw;
    void (*enter)(director_state& d);
};

constexpr scene_entry scene_table[] = {
    {0, "opening_zoomer", scene_opening_zoomer, nullptr},
    // The caption column counts from 0.
    {2, "zoomer_streaks", scene_zoomer_streaks, [](director_state& d) { d.sync23_count = 0; d.sequence_beats = 0; }},
    {4, "plasma_shaded", scene_plasma_shaded, nullptr},
    // The outline's captions count beats from 1.
    {6, "plasma_lines", scene_plasma_lines, [](director_state& d) { d.reveal_beats = 1; }},
    // One subtitle a beat, from the first.
    {9, "bump_sprites", scene_bump_sprites, [](director_state& d) { d.subtitle_beats = 0; }},
    {11, "plasma_shaded_two", scene_plasma_shaded_two, [](director_state& d) { d.sequence_beats = 0; }},
    {13, "zoomer_dots", scene_zoomer_dots, nullptr},
    {15, "plasma_sequence", scene_plasma_sequence, [](director_state& d) { d.sequence_beats = 0; }},
    {17, "tunnel", scene_tunnel, nullptr},
    // The list of captions counts events of value 1 or 2 from -1.
    {23, "layer_lens", scene_layer_lens, [](director_state& d) { d.sync2_count = -1; d.sequence_beats = 0; }},
    // The closing line scrolls in from the time of the lens scene's last frame.
    {27, "closing_layer", scene_closing_layer, [](director_state& d) { d.subtitle_beats = d.prev_frame_time; }},
};
static_assert(sizeof scene_table / sizeof scene_table[0] == scene_count);

void handle_sync_event(int32_t t, music_position& music)
{
    if (!music.sync_pending)
        return;
    director_state& d = director;
    switch (music.sync_value) {
    case 1:
        d.spin_sign = -d.spin_sign;
        ++d.reveal_beats;
        ++d.sequence_beats;
        ++d.subtitle_beats;
        d.sync1_time = t;
        break;
    case 2:
        ++d.sync23_count;
        ++d.sync2_count;
        d.sync2_time = t;
        break;
    case 3:
        ++d.sync23_count;
        d.sync3_time = t;
        break;
    default:
        break;
    }
    music.sync_pending = 0;
}

}  // namespace

scene_id scene_for_order(int32_t order)
{
    int scene = 0;
    for (int i = 0; i < scene_count; ++i)
        if (order >= scene_table[i].first_order)
            scene = i;
    return scene_id(scene);
}

const char* scene_name(scene_id scene)
{
    return scene_table[int(scene)].name;
}

void timeline_frame(int32_t t, music_position& music, uint32_t* screen)
{
    director_state& d = director;
    const int scene = int(scene_for_order(music.music_order));
    const scene_entry& entry = scene_table[scene];
    // A scene entered from another starts from its counters; the first
    // frame drawn (the show's, or a test's that set the counters itself) keeps them.
    if (d.scene >= 0 && d.scene != scene && entry.enter)
        entry.enter(d);
    d.scene = scene;
    handle_sync_event(t, music);
    entry.draw(t, music, screen);
    d.prev_frame_time = t;
}
