// The proportional bitmap font: set-up from the stored sheet, measuring and drawing text (portable).
#pragma once

#include <cstdint>

#include "imaging/image.h"

// The sheet's characters in glyph order, then a carriage return and a line
// feed that no glyph uses.  There is no capital W.
extern const char character_order[];

constexpr int font_sheet_width = 320;
constexpr int font_sheet_height = 200;
constexpr int font_marker = 255;          // a sheet byte that starts a glyph cell
constexpr int font_max_markers = 128;
constexpr int font_max_glyphs = 256;

struct glyph_entry {
    int16_t start;  // sheet position of the cell's marker
    int32_t width;  // cell width in pixels: the pen's advance
};

// The one font of the program.
struct font_state {
    int32_t glyph_height = 0;     // text images are glyph_height + 1 rows, glyphs glyph_height - 1
    uint8_t* sheet = nullptr;     // copy of the 320 x 200 sheet
    int16_t* markers = nullptr;   // marker positions in sheet order
    int32_t marker_count = 0;
    int32_t glyph_count = 0;
    glyph_entry* glyph_table = nullptr;  // font_max_glyphs entries
    char* order = nullptr;        // the character of each glyph, the rest zero
};
extern font_state font;

// Sets the font up from a 320 x 200 sheet of one-byte pixels (0..3 intensity,
// 255 markers).  Marker gaps below `gap_threshold` are glyph cells; larger ones
// jump from one sheet row to the next.  Called once with the stored sheet,
// font_glyph_height, character_order and font_gap_threshold.
constexpr int32_t font_glyph_height = 19;
constexpr int32_t font_gap_threshold = 100;
void font_init(const uint8_t* bitmap, int32_t glyph_height, const char* order, int32_t gap_threshold);

// Width in pixels of a zero-terminated string; characters without a glyph count 0.
int32_t text_width(const char* text);

// Draws glyph g with its top-left corner at linear pixel offset `pen` of the
// image, overwriting glyph_height - 1 rows of the cell's width.
void draw_glyph(int32_t g, image destination, int32_t pen);

// Draws a string from pixel (1, 1) on, each glyph advancing the pen by its width.
void draw_text(const char* text, image destination);

// A new image of text_width + 2 by glyph_height + 1 pixels holding the string,
// grey levels 0, 85, 170, 255 replicated into all four bytes.
image text_image(const char* text);

// A new image of the string in `colour` (scaled by intensity) with a thickened
// dark halo in its alpha byte, for blit_alpha.  Colour 0 gives a pure halo.
image text_sprite(const char* text, uint32_t colour);
