// The caption images: every word of the show rendered once at start-up, plus the title frames and decorated textures (portable).
#pragma once

#include <cstdint>

#include "imaging/image.h"

constexpr int caption_text_count = 106;  // entries of the stored caption text table
constexpr int caption_count = 134;       // images of the caption table
// Where the title goes in the caption table; the recipes place the rest.
// Slots 23, 34, 36, 53, 108 and 111 stay empty, and so do the scratch slots 8 and 21.
constexpr int title_letter_first = 0;   // 0..6: the letters of the title
constexpr int title_tag = 7;            // the sideways tag of the last frames
constexpr int title_scratch = 8;        // a letter's shadow while the frames are drawn
constexpr int title_frame_first = 9;    // 9..14: the title, one more letter a frame
constexpr int title_frame_count = 6;
constexpr int title_halo = 15;          // the dark line drawn mirrored behind the title

// Entry `entry` (0..105) of the stored caption texts, zero-terminated.
const char* caption_text(int entry);

// Builds every image of `captions` (caption_count of them) and the six
// title frames, and runs the recipes, which rewrite textures 25 to 28 of
// `textures` with text and glow and read textures 5 and 7.  Needs the font.
void render_captions(image* captions, uint32_t* const* textures, int texture_count);
