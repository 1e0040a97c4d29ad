// The proportional bitmap font: set-up from the stored sheet, measuring and drawing text (portable).
#include "text/font.h"

#include <cstring>

#include "base/memory.h"
#include "imaging/image.h"

const char character_order[] =
    "abcdefghijklmnopqrstuvwxyz"   // glyphs 0..25, sheet row 0
    "ABCDEFGHIJKLMNOPQRSTUV"       // glyphs 26..47, sheet row 1 (no W)
    "XYZ0123456789,.;:?!()- _"     // glyphs 48..71, sheet row 2
    "\r\n";                        // stored with the order, drawn by nothing

font_state font;

namespace {

constexpr int32_t sheet_bytes = font_sheet_width * font_sheet_height;

// One sheet intensity 0..3 as a pixel: grey v * 85 in all four bytes.
inline uint32_t glyph_pixel(uint8_t v)
{
    return uint32_t(v) * 85u * 0x01010101u;
}

}  // namespace

void font_init(const uint8_t* bitmap, int32_t glyph_height, const char* order, int32_t gap_threshold)
{
    // Set-up runs once in the show; a second call (tests) gives the old buffers back.
    mem_free(font.sheet);
    mem_free(font.markers);
    mem_free(font.order);
    mem_free(font.glyph_table);
    font.glyph_height = glyph_height;
    font.sheet = static_cast<uint8_t*>(mem_alloc(sheet_bytes));
    font.markers = static_cast<int16_t*>(mem_alloc(font_max_markers * sizeof(int16_t)));
    font.order = static_cast<char*>(mem_alloc(font_max_glyphs));
    font.glyph_table = static_cast<glyph_entry*>(mem_alloc(font_max_glyphs * sizeof(glyph_entry)));
    std::memcpy(font.sheet, bitmap, sheet_bytes);

    // Markers are kept as signed 16-bit positions: one past 32767 could not be
    // stored, and the list has room for font_max_markers, so neither is taken.
    font.marker_count = 0;
    for (int32_t p = 0; p < sheet_bytes && p <= INT16_MAX; ++p)
        if (font.sheet[p] == font_marker && font.marker_count < font_max_markers)
            font.markers[font.marker_count++] = int16_t(p);

    // A short gap between markers is a glyph cell; a long one is the jump from
    // one sheet row's end marker to the next row's first marker.
    font.glyph_count = 0;
    for (int32_t i = 0; i + 1 < font.marker_count; ++i) {
        int32_t gap = font.markers[i + 1] - font.markers[i];
        if (gap < gap_threshold && font.glyph_count < font_max_glyphs)
            font.glyph_table[font.glyph_count++] = {font.markers[i], gap};
    }

    int32_t n = 0;
    while (n < font.glyph_count && order[n])
        ++n;
    std::memcpy(font.order, order, size_t(n));
}

int32_t text_width(const char* text)
{
    int32_t width = 0;
    for (; *text; ++text)
        for (int32_t g = 0; g < font.glyph_count; ++g)
            if (font.order[g] == *text)
                width += font.glyph_table[g].width;
    return width;
}

void draw_glyph(int32_t g, image destination, int32_t pen)
{
    if (g < 0 || g >= font.glyph_count)
        return;
    const glyph_entry& glyph = font.glyph_table[g];
    int64_t pixel_count = int64_t(destination.width) * destination.height;
    for (int32_t y = 0; y < font.glyph_height - 1; ++y)
        for (int32_t x = 0; x < glyph.width; ++x) {
            int32_t from = glyph.start + (y + 1) * font_sheet_width + x;
            uint8_t v = from < sheet_bytes ? font.sheet[from] : 0;
            // Text images are sized to fit; this keeps any other target safe.
            int64_t to = int64_t(pen) + int64_t(y) * destination.width + x;
            if (to >= 0 && to < pixel_count)
                destination.pixels[to] = glyph_pixel(v);
        }
}

void draw_text(const char* text, image destination)
{
    int32_t pen = destination.width + 1;  // pixel (1, 1)
    for (; *text; ++text)
        for (int32_t g = 0; g < font.glyph_count; ++g)
            if (font.order[g] == *text) {
                draw_glyph(g, destination, pen);
                pen += font.glyph_table[g].width;
            }
}

image text_image(const char* text)
{
    image result = image_create(int16_t(text_width(text) + 2), int16_t(font.glyph_height + 1));
    draw_text(text, result);
    return result;
}

image text_sprite(const char* text, uint32_t colour)
{
    image halo = text_image(text);
    image sprite = image_copy(halo);
    // Blur, lift and harden the text into a thick mask: blurred values of 6 or
    // less end at 0, 106 or more at 255.
    blur(2, 2, halo);
    adjust_brightness(92, halo);
    adjust_contrast(256, halo);
    multiply_colour(colour, sprite);
    alpha_from_blue(halo, sprite);
    image_release(halo);
    return sprite;
}
