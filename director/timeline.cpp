// The timeline: sync events, scene selection and frame bookkeeping (portable).
#include "director/timeline.h"

#include "data/blocks.h"
#include "director/scenes.h"

director_state director;
music_position show_music;

// data/sequences.bin holds the two tables back to back as little-endian
// 32-bit slot numbers; the program runs on little-endian machines only.
const int32_t* warp_texture_sequence = reinterpret_cast<const int32_t*>(embedded_sequences_bin);
const int32_t* tunnel_texture_sequence =
    reinterpret_cast<const int32_t*>(embedded_sequences_bin) + warp_texture_sequence_length;

namespace {

// First order position of each scene, in song order.
constexpr struct {
    int32_t first_order;
    scene_id scene;
} scene_table[] = {
    {0, scene_id::opening_zoomer},
    {2, scene_id::zoomer_streaks},
    {4, scene_id::plasma_shaded},
    {6, scene_id::plasma_lines},
    {9, scene_id::bump_sprites},
    {11, scene_id::plasma_shaded_two},
    {13, scene_id::zoomer_dots},
    {15, scene_id::plasma_sequence},
    {17, scene_id::tunnel},
    {23, scene_id::layer_lens},
    {27, scene_id::closing_layer},
};

void handle_sync_event(int32_t t)
{
    if (!show_music.sync_pending)
        return;
    director_state& d = director;
    switch (show_music.sync_value) {
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
    show_music.sync_pending = 0;
}

}  // namespace

scene_id scene_for_order(int32_t order)
{
    scene_id scene = scene_table[0].scene;
    for (const auto& entry : scene_table)
        if (order >= entry.first_order)
            scene = entry.scene;
    return scene;
}

void timeline_frame(int32_t t, uint32_t* screen)
{
    handle_sync_event(t);
    run_scene(scene_for_order(show_music.music_order), t, screen);
    director.prev_frame_time = t;
}
