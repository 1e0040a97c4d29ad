// The show's shared pictures by name: the 29 texture slots and the caption images the scenes draw.
#pragma once

#include <cstdint>

#include "base/image.h"

// Every texture slot is 256 x 256 texels, (u, v) at v * 256 + u, wrapping.
constexpr int texture_size = 256;

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
    slot_embossed = 25,        // the clouds with embossed words
    slot_tiled_words = 26,     // organic cells with glowing words
    slot_lens_light = 27,      // bubbles, darkened, with a word: the lens scene's layer
    slot_lens_dark = 28,       // organic cells brightened, less slot 27 twice
    texture_slot_count = 29
};

// Allocated by the precalculation; never freed.
extern uint32_t* texture_slots[texture_slot_count];

// The caption images the scenes draw by name; the others are placed from the
// scenes' tables by number.  The caption recipes fill them all.
enum caption_slot : int {
    caption_title_letters = 0,     // 0..6: the title's letters, enlarged and glowing
    caption_title_tag = 7,         // the sideways tag of the last title frames
    caption_title_frames = 9,      // 9..14: the title, one more letter a frame
    caption_halo_line = 15,        // a dark line drawn mirrored under the title
    caption_scroller = 18,         // the huge scroller of the opening
    caption_rising_column = 19,    // the two rotated columns of orders 4 and 5
    caption_falling_column = 20,
    caption_name_banner = 22,      // the show's name, multiplied onto the bump scene
    caption_long_line = 51,        // the long line, glowing
    caption_long_line_band = 53,   // the long line as a dark mirrored band
    caption_big_name = 54,         // the big name; 92 is the scenes' scratch for its wave
    caption_big_name_tall = 64,
    caption_subtitles = 70,        // 70 on: one subtitle per sync event in the bump scene
    caption_big_name_wave = 92,
    caption_banner_dark = 93,      // multiplied onto the opening's streaks
    caption_waving = 98,           // waved into 129 in the tunnel
    caption_made_with = 116,       // 116..127: the closing list
    caption_closing_line = 128,
    caption_waving_scratch = 129,
    caption_six = 130,             // 130..133: the gliding "6", "4", "K", "!"
    caption_four = 131,
    caption_k = 132,
    caption_bang = 133,
    caption_slot_count = 134
};

// Built by the caption recipes and read by the scenes.
extern image caption_table[caption_slot_count];
