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
