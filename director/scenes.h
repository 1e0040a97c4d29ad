// The eleven scenes of the show, one function each (portable).
#pragma once

#include <cstdint>

#include "director/timeline.h"

// Each scene draws the whole frame at show time t, the song at `music`, into
// `screen`; the timeline's scene table picks one a frame.
using scene_fn = void (*)(int32_t t, const music_position& music, uint32_t* screen);
void scene_opening_zoomer(int32_t t, const music_position& music, uint32_t* screen);
void scene_zoomer_streaks(int32_t t, const music_position& music, uint32_t* screen);
void scene_plasma_shaded(int32_t t, const music_position& music, uint32_t* screen);
void scene_plasma_lines(int32_t t, const music_position& music, uint32_t* screen);
void scene_bump_sprites(int32_t t, const music_position& music, uint32_t* screen);
void scene_plasma_shaded_two(int32_t t, const music_position& music, uint32_t* screen);
void scene_zoomer_dots(int32_t t, const music_position& music, uint32_t* screen);
void scene_plasma_sequence(int32_t t, const music_position& music, uint32_t* screen);
void scene_tunnel(int32_t t, const music_position& music, uint32_t* screen);
void scene_layer_lens(int32_t t, const music_position& music, uint32_t* screen);
void scene_closing_layer(int32_t t, const music_position& music, uint32_t* screen);

// A caption where a scene puts it: its slot and its top-left corner.
struct placed_caption {
    int caption;
    int x, y;
};
// Calls `visit` with every set of captions a scene shows at once, side by
// side (added or alpha-blended, at rest; the darkening shadows and backdrops
// left out), as the scenes' tables and counters make them.
using caption_set_visitor = void (*)(const placed_caption* set, int count, void* user);
void opening_caption_sets(caption_set_visitor visit, void* user);
void middle_caption_sets(caption_set_visitor visit, void* user);
void closing_caption_sets(caption_set_visitor visit, void* user);
