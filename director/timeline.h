// The timeline: one frame of the show, its scene chosen by the song position (portable).
#pragma once

#include <cstdint>

// Everything the director remembers from frame to frame; one instance,
// `director`.  Scenes read and reset these as their descriptions say.
struct director_state {
    int32_t sync1_time = -10000;
    int32_t sync2_time = -10000;
    int32_t sync3_time = -10000;
    int32_t prev_frame_time = 0;
    float pulse_phase = 0.0f;
    int32_t spin_sign = -1;
    float spin_phase = 0.0f;
    int32_t sync1_count_a = 0;
    int32_t sync1_count_b = 0;
    int32_t sync1_count_c = 0;
    int32_t sync23_count = 0;
    int32_t sync2_count = 0;
    int32_t slide_a = 1000;
    int32_t slide_b = 1000;
    int32_t slide_c = 1000;
    int32_t slide_d = 1000;
};

extern director_state director;

// The texture slots the warp and the tunnel step through (stored data).
constexpr int warp_texture_sequence_length = 30;
constexpr int tunnel_texture_sequence_length = 37;
extern const int32_t* warp_texture_sequence;
extern const int32_t* tunnel_texture_sequence;

// The scenes, in the order the song visits them.
enum class scene_id {
    opening_zoomer,      // orders 0 and 1
    zoomer_streaks,      // 2 and 3
    plasma_shaded,       // 4 and 5
    plasma_lines,        // 6 to 8
    bump_sprites,        // 9 and 10
    plasma_shaded_two,   // 11 and 12
    zoomer_dots,         // 13 and 14
    plasma_sequence,     // 15 and 16
    tunnel,              // 17 to 22
    layer_lens,          // 23 to 26
    closing_layer,       // 27 and above
};

scene_id scene_for_order(int32_t order);

// Renders the frame at show time t (ms) into the frame buffer.
void timeline_frame(int32_t t, uint32_t* screen);
