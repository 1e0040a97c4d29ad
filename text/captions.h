// The caption images: every word of the show rendered once at start-up, plus the title frames and decorated textures (portable).
#pragma once

#include "base/slots.h"
#include "imaging/image.h"

constexpr int caption_text_count = 106;  // entries of the stored caption text table
// caption_table (base/slots.h) is built by render_captions.  Slots 23, 36,
// 108 and 111 stay empty, and so do the build's scratch slots 8 and 21.

// Entry `entry` (0..105) of the stored caption texts, zero-terminated.
const char* caption_text(int entry);

// Builds every caption slot and the six title frames (slots 9 to 14), and
// rewrites texture slots 25 to 28 with text and glow; reads texture slots 5
// and 7.  The last step of precalc_all: needs the font and the textures.
void render_captions();
