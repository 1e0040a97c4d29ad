// The show's pictures by name: the 29 texture slots and the caption images, which the precalculation builds and the scenes draw (portable).
#pragma once

#include <cstdint>

#include "base/image.h"
#include "text/captions.h"

// What each texture slot holds once the precalculation has run.
enum texture_slot : int {
    slot_glow = 0,             // procedural: a soft disc of light, brightest at the centre
    slot_rings = 1,            // procedural: rings out to the edge
    slot_rings_half = 2,       // procedural: the rings of the inner half, flat beyond
    slot_rings_quarter = 3,    // procedural: the rings of the inner quarter, flat beyond
    slot_bumps = 4,            // procedural: four sine bumps
    slot_organic = 5,          // atlas: brown organic cells
    slot_clouds = 6,           // atlas: blue-grey clouds; the 3D engine adds heights as alpha
    slot_bubbles = 7,          // atlas: bubbles on a dark ground
    slot_sphere = 8,           // atlas: glossy sphere
    slot_filaments = 9,        // atlas: thin cyan filaments on black
    slot_disc = 10,            // atlas: bright disc with a soft glow
    slot_face = 11,            // atlas: the painted face
    slot_ring = 12,            // atlas: cyan ring
    slot_black = 13,           // atlas: black
    slot_black_second = 14,    // atlas: black
    slot_swirl = 15,           // atlas: orange swirl
    slot_white_glow = 16,      // atlas: soft white glow
    slot_ring_strip = 17,      // atlas: strips and parts of the ring tile, stretched
    slot_ring_strip_wide = 18,
    slot_ring_corner = 19,
    slot_ring_part = 20,
    slot_ring_part_second = 21,
    slot_ring_strip_second = 22,
    slot_clouds_cut = 23,      // atlas: the cloud tile without its top rows
    slot_environment = 24,     // the 3D engine's environment map, redrawn every frame
    slot_embossed = 25,        // the clouds with one soft embossed line
    slot_tiled_words = 26,     // organic cells with glowing words
    slot_lens_light = 27,      // bubbles, darkened, with a word: the lens scene's layer
    slot_lens_dark = 28,       // organic cells brightened, less slot 27 twice
    texture_slot_count = 29
};

// Every caption image a scene draws, by name; the recipes fill them all.
// Groups a scene shows from a table are numbered in slot order.
enum caption_slot : int {
    caption_title_letters = title_letter_first,  // 0..6: the title's letters, enlarged and glowing
    caption_title_tag = title_tag,               // the sideways tag of the last title frames
    caption_title_frames = title_frame_first,    // 9..14: the title, one more letter a frame
    caption_halo_line = title_halo,              // a dark line drawn mirrored under the title
    caption_column_left_1 = 16,    // the opening's caption column: its left lines,
    caption_column_left_2 = 17,
    caption_scroller = 18,         // the huge scroller of the opening
    caption_rising_column = 19,    // the two rotated columns of orders 4 and 5
    caption_falling_column = 20,
    caption_name_banner = 22,      // the show's name, multiplied onto the bump scene
    caption_outline_1 = 24,        // 24..35: around the spinning outline (34 left empty)
    caption_outline_2, caption_outline_3, caption_outline_4, caption_outline_5, caption_outline_6,
    caption_outline_7, caption_outline_8, caption_outline_9, caption_outline_10, caption_outline_11,
    caption_outline_12,
    caption_blob_1 = 37,           // 37..50: around the second blob, turned every which way
    caption_blob_2, caption_blob_3, caption_blob_4, caption_blob_5, caption_blob_6, caption_blob_7,
    caption_blob_8, caption_blob_9, caption_blob_10, caption_blob_11, caption_blob_12, caption_blob_13,
    caption_blob_14,
    caption_long_line = 51,        // the long line, glowing
    caption_long_line_band = 53,   // the long line's dark mirrored band: left empty
    caption_big_name = 54,         // the big name, waved into caption_big_name_wave
    caption_sphere_1 = 55,         // 55..59: around the sprite sphere
    caption_sphere_2, caption_sphere_3, caption_sphere_4, caption_sphere_5,
    caption_sphere_line_1 = 61,    // the sphere scene's bottom line, one at a time
    caption_sphere_line_2 = 62,
    caption_sphere_line_3 = 63,
    caption_big_name_tall = 64,
    caption_sphere_line_4 = 65,
    caption_sphere_line_5 = 66,
    caption_column_left_3 = 67,
    caption_column_left_4 = 68,
    caption_column_left_5 = 69,
    caption_subtitle_first = 70,   // 70..84: one subtitle per beat in the bump scene
    caption_subtitle_last = 84,
    caption_column_right_1 = 85,   // 85..91: the column's right lines
    caption_column_right_2, caption_column_right_3, caption_column_right_4, caption_column_right_5,
    caption_column_right_6, caption_column_right_7,
    caption_big_name_wave = 92,    // the scenes' scratch for the waving big name
    caption_banner_dark = 93,      // multiplied onto the opening's streaks
    caption_tunnel_line_1 = 94,    // 94..97: the tunnel's line along the bottom
    caption_tunnel_line_2, caption_tunnel_line_3, caption_tunnel_line_4,
    caption_waving = 98,           // waved into caption_waving_scratch in the tunnel
    caption_tunnel_word_1 = 99,    // 99..103: the tunnel's words all around
    caption_tunnel_word_2, caption_tunnel_word_3, caption_tunnel_word_4, caption_tunnel_word_5,
    caption_name_1 = 104,          // the names of orders 21 and 22
    caption_name_2, caption_name_3, caption_name_4,
    caption_name_5 = 109,
    caption_name_6 = 110,
    caption_name_pair_1 = 112,     // 112 and 113 take turns at every beat,
    caption_name_pair_2 = 114,     // and so do 114 and 115
    caption_made_with = 116,       // 116..127: the closing list
    caption_made_with_last = 127,
    caption_closing_line = 128,
    caption_waving_scratch = 129,
    caption_six = 130,             // 130..133: the gliding "6", "4", "K", "!"
    caption_four = 131,
    caption_k = 132,
    caption_bang = 133,
    caption_slot_count = 134
};
static_assert(caption_slot_count == caption_count);

// The show's pictures, owned by the director: allocated and filled by the
// precalculation, which hands each subsystem the ones it fills or reads.
extern uint32_t* texture_slots[texture_slot_count];
extern image caption_table[caption_slot_count];
