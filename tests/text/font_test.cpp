// Tests of the bitmap font: the stored sheet's layout, the marker scan, measuring and drawing text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/blocks.h"
#include "imaging/image.h"
#include "text/captions.h"
#include "text/font.h"

namespace {

// Cell widths of the stored sheet in glyph order: a-z, A-V, X Y Z, 0-9, punctuation.
const int stored_widths[72] = {
    12, 11, 11, 11, 11, 9, 12, 12, 5, 9, 12, 4, 16, 11, 11, 11, 12, 8, 10, 8, 11, 12, 17, 12, 11, 10,
    15, 14, 15, 15, 12, 10, 15, 14, 9, 12, 14, 10, 16, 15, 16, 13, 16, 14, 12, 13, 13, 15,
    14, 14, 13,
    14, 12, 13, 13, 13, 13, 13, 13, 13, 13,
    7, 6, 8, 6, 13, 6, 9, 9, 7, 7, 14,
};

void use_stored_font()
{
    font_init(embedded_font_bin, 19, character_order, 100);
}

uint32_t pixel(const image& im, int x, int y)
{
    return im.pixels[y * im.width + x];
}

bool same_pixels(const image& a, const image& b)
{
    return a.width == b.width && a.height == b.height &&
           !std::memcmp(a.pixels, b.pixels, size_t(a.width) * a.height * 4);
}

TEST(FontSheet, StoredSheetYieldsSeventyFiveMarkersAndTheTablesGlyphs)
{
    use_stored_font();
    EXPECT_EQ(font.marker_count, 75);
    ASSERT_EQ(font.glyph_count, 72);
    // Sheet rows of 26, 22 and 24 glyphs, markers on pixel rows 8, 30, 52 from column 5.
    const int row_of_glyph[3] = {0, 26, 48};
    const int marker_rows[3] = {8, 30, 52};
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(font.glyph_table[row_of_glyph[r]].start, marker_rows[r] * 320 + 5) << "sheet row " << r;
    for (int g = 0; g < 72; ++g) {
        EXPECT_EQ(font.glyph_table[g].width, stored_widths[g]) << "glyph " << g << " '" << character_order[g] << "'";
        EXPECT_EQ(font.order[g], character_order[g]);
    }
    EXPECT_EQ(font.order[72], 0);  // the carriage return and line feed are not glyphs
    // Every glyph pixel is an intensity 0..3, and every 255 is a marker.
    int markers = 0;
    for (int p = 0; p < 64000; ++p) {
        uint8_t v = embedded_font_bin[p];
        EXPECT_TRUE(v <= 3 || v == 255) << "position " << p;
        markers += v == 255;
    }
    EXPECT_EQ(markers, 75);
}

TEST(FontSheet, MarkerGapsAtTheThresholdAndMarkersBeyondSixteenBitsMakeNoGlyph)
{
    std::vector<uint8_t> sheet(64000, 0);
    sheet[10] = 255;
    sheet[109] = 255;    // gap 99: a glyph
    sheet[209] = 255;    // gap 100: the jump to another row, no glyph
    sheet[215] = 255;    // gap 6: a glyph
    sheet[40000] = 255;  // cannot be stored as a signed 16-bit position: ignored
    sheet[40004] = 255;
    font_init(sheet.data(), 19, "xyz", 100);
    EXPECT_EQ(font.marker_count, 4);
    ASSERT_EQ(font.glyph_count, 2);
    EXPECT_EQ(font.glyph_table[0].start, 10);
    EXPECT_EQ(font.glyph_table[0].width, 99);
    EXPECT_EQ(font.glyph_table[1].start, 209);
    EXPECT_EQ(font.glyph_table[1].width, 6);
    EXPECT_STREQ(font.order, "xy");

    // A sheet full of markers fills the list to its capacity and no further.
    std::vector<uint8_t> full(64000, 255);
    font_init(full.data(), 19, character_order, 100);
    EXPECT_EQ(font.marker_count, font_max_markers);
    EXPECT_EQ(font.glyph_count, font_max_markers - 1);
    use_stored_font();
}

TEST(TextWidth, EmptyStringsAndCharactersWithoutGlyphsCountNothing)
{
    use_stored_font();
    EXPECT_EQ(text_width(""), 0);
    EXPECT_EQ(text_width("W"), 0);
    EXPECT_EQ(text_width("a"), 12);
    EXPECT_EQ(text_width("aWa"), 24);
    EXPECT_EQ(text_width(" "), 7);
    EXPECT_EQ(text_width("\r\n\"'"), 0);
    int sum = 0;
    for (int w : stored_widths)
        sum += w;
    EXPECT_EQ(text_width("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789,.;:?!()- _"), sum);
}

TEST(TextImage, OneLetterSitsInsideItsBorderAndWLeavesNoGap)
{
    use_stored_font();
    image empty = text_image("");
    EXPECT_EQ(empty.width, 2);
    EXPECT_EQ(empty.height, 20);
    for (int p = 0; p < 40; ++p)
        EXPECT_EQ(empty.pixels[p], 0u);

    image a = text_image("a");
    ASSERT_EQ(a.width, 14);
    ASSERT_EQ(a.height, 20);
    int inked = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 14; ++x) {
            bool inside = x >= 1 && x <= 12 && y >= 1 && y <= 18;
            if (!inside) {
                EXPECT_EQ(pixel(a, x, y), 0u) << x << "," << y;
            }
            inked += pixel(a, x, y) != 0;
        }
    EXPECT_GT(inked, 40);

    image with_w = text_image("aWa");
    image without = text_image("aa");
    EXPECT_TRUE(same_pixels(with_w, without));

    // A space moves the next glyph 7 pixels further on.
    image spaced = text_image("a a");
    ASSERT_EQ(spaced.width, 12 + 7 + 12 + 2);
    for (int y = 0; y < 20; ++y)
        for (int x = 1; x <= 12; ++x)
            EXPECT_EQ(pixel(spaced, x + 19, y), pixel(a, x, y)) << x << "," << y;
    for (int y = 0; y < 20; ++y)
        for (int x = 13; x < 20; ++x)
            EXPECT_EQ(pixel(spaced, x, y), 0u);
    for (image* im : {&empty, &a, &with_w, &without, &spaced})
        image_release(*im);
}

TEST(TextImage, EveryPixelIsOneOfFourGreysInAllFourBytes)
{
    use_stored_font();
    std::vector<std::string> texts = {character_order};
    for (int t = 0; t < caption_text_count; ++t)
        texts.push_back(caption_text(t));
    int levels_seen[4] = {};
    for (const std::string& s : texts) {
        image im = text_image(s.c_str());
        EXPECT_EQ(im.width, text_width(s.c_str()) + 2);
        EXPECT_EQ(im.height, 20);
        for (int p = 0; p < im.width * im.height; ++p) {
            uint32_t v = im.pixels[p] & 0xFF;
            ASSERT_EQ(im.pixels[p], v * 0x01010101u) << s;
            ASSERT_EQ(v % 85, 0u) << s;
            ++levels_seen[v / 85];
        }
        image_release(im);
    }
    for (int level = 1; level < 4; ++level)
        EXPECT_GT(levels_seen[level], 0) << "the sheet should use intensity " << level;
}

TEST(DrawText, StaysInsideAnImageTooSmallForTheText)
{
    use_stored_font();
    // A 6 x 5 image in the middle of a guarded buffer.
    std::vector<uint32_t> buffer(200, 0xDEADBEEF);
    image small = {6, 5, buffer.data() + 100};
    std::fill(small.pixels, small.pixels + 30, 0u);
    draw_text("ODDBALL", small);
    draw_glyph(-1, small, 0);   // no such glyphs: nothing drawn
    draw_glyph(72, small, 0);
    draw_glyph(1000, small, 0);
    for (int p = 0; p < 100; ++p)
        EXPECT_EQ(buffer[p], 0xDEADBEEFu) << p;
    for (int p = 130; p < 200; ++p)
        EXPECT_EQ(buffer[p], 0xDEADBEEFu) << p;
}

TEST(TextSprite, ColourScalesTheTextAndTheHaloCoversIt)
{
    use_stored_font();
    const char* s = "   Oh";  // three spaces: the left edge is far from any glyph
    image text = text_image(s);
    image sprite = text_sprite(s, 0xFF8040);
    ASSERT_EQ(sprite.width, text.width);
    ASSERT_EQ(sprite.height, 20);
    int full = 0, full_and_opaque = 0;
    for (int p = 0; p < text.width * text.height; ++p) {
        uint32_t t = text.pixels[p] & 0xFF;
        uint32_t q = sprite.pixels[p];
        EXPECT_EQ(q & 0xFF, (t * 0x40) >> 8);
        EXPECT_EQ((q >> 8) & 0xFF, (t * 0x80) >> 8);
        EXPECT_EQ((q >> 16) & 0xFF, (t * 0xFF) >> 8);
        if (t == 255) {
            EXPECT_GT(q >> 24, 0u) << "the halo covers every full text pixel";
            ++full;
            full_and_opaque += (q >> 24) == 255;
        }
    }
    EXPECT_GT(full_and_opaque * 10, full * 9) << "and most of them wholly";
    for (int y = 0; y < 20; ++y)
        EXPECT_EQ(pixel(sprite, 0, y) >> 24, 0u) << "no halo far from the text";
    // A halo reaches past the glyphs: some pixel with no text is dark but covered.
    int halo_only = 0;
    for (int p = 0; p < text.width * text.height; ++p)
        halo_only += (text.pixels[p] & 0xFF) == 0 && (sprite.pixels[p] >> 24) == 255;
    EXPECT_GT(halo_only, 20);

    image dark = text_sprite(s, 0);
    for (int p = 0; p < dark.width * dark.height; ++p) {
        EXPECT_EQ(dark.pixels[p] & 0xFFFFFF, 0u);
        EXPECT_EQ(dark.pixels[p] >> 24, sprite.pixels[p] >> 24);
    }
    for (image* im : {&text, &sprite, &dark})
        image_release(*im);
}

}  // namespace
