// The timeline: one frame of the show, its scene chosen by the song position (portable).
#pragma once

#include <cstdint>

// Everything the director remembers from frame to frame; one instance,
// `director`.  Scenes read and reset these as their descriptions say.
struct director_state {
    int32_t sync1_time = -10000;   // when the last sync event of each value came
    int32_t sync2_time = -10000;
    int32_t sync3_time = -10000;
    int32_t prev_frame_time = 0;   // the last frame's t, for frame-to-frame steps
    float pulse_phase = 0.0f;      // integrated pulses: what the beats push forward
    int32_t spin_sign = -1;        // the outline's turning direction, flipped by each beat
    float spin_phase = 0.0f;       // the outline's turn, and the lens's depth later
    // Beats are sync events of value 1; each scene resets the counts it reads.
    int32_t reveal_beats = 0;      // reveal the title, the outline's captions and the names
    int32_t sequence_beats = 0;    // step sprites, textures and captions since a scene's end
    int32_t subtitle_beats = 0;    // subtitles and slogans; the closing line's start time at the end
    int32_t sync23_count = 0;      // sync events of value 2 or 3: the opening's caption column
    int32_t sync2_count = 0;       // sync events of value 2: the lens scene's captions
    // How far the four gliding captions of the tunnel still have to go (1000 to 0).
    int32_t slide_from_right = 1000;
    int32_t slide_from_left = 1000;
    int32_t slide_from_below = 1000;
    int32_t slide_from_above = 1000;
    int32_t scene = -1;            // the scene of the last frame (a scene_id), -1 before the first
};

extern director_state director;

// The song's position and its last sync event as the clock hands them to the
// frame loop: written before each frame, sync_pending cleared by the timeline.
struct music_position {
    int32_t music_order = 0;
    int32_t music_row = 0;
    int32_t sync_pending = 0;
    int32_t sync_value = 0;
};

// The song ends the show once it reaches order 27, row 62.
constexpr int32_t song_end_order = 27;
constexpr int32_t song_end_row = 62;
constexpr bool show_has_ended(int32_t order, int32_t row)
{
    return order == song_end_order && row >= song_end_row;
}

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

constexpr int scene_count = int(scene_id::closing_layer) + 1;

scene_id scene_for_order(int32_t order);
// The scene's name as it reads in the code: "opening_zoomer", ...
const char* scene_name(scene_id scene);

// Renders the frame at show time t (ms) into `screen` (screen_width x
// screen_height): applies the pending sync event of `music` (and clears its
// flag), then runs the scene its order picks.
void timeline_frame(int32_t t, music_position& music, uint32_t* screen);
