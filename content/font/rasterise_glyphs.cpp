// Offline generator of the font sheet's first draft: rasterises the glyphs of an
// outline font with FreeType and fits each one into its fixed cell (tool-side only;
// needs libfreetype-dev and a font file, which nothing else of the build needs).
//
// Its output is the text grid content/font/glyphs.txt, which is checked in and
// then touched up by hand; `oddball-tool build-data` reads only that grid.  Run it
// through content/font/rasterise.sh, which names the font and the settings used.
//
//   rasterise_glyphs FONT PIXEL_SIZE BASELINE EMBOLDEN GAMMA > glyphs.txt
//
// PIXEL_SIZE is the em size in pixels (a real), BASELINE the glyph row (0..17) the
// baseline lies under, EMBOLDEN extra stroke weight in pixels (a real, may be 0),
// GAMMA the exponent applied to coverage before it is cut to the four levels 0..3.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_BITMAP_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The sheet's characters in glyph order (no capital W) and their cell widths.
const char order[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVXYZ0123456789,.;:?!()- _";
const int widths[] = {
    12, 11, 11, 11, 11, 9, 12, 12, 5, 9, 12, 4, 16, 11, 11, 11, 12, 8, 10, 8, 11, 12, 17, 12, 11, 10,  // a-z
    15, 14, 15, 15, 12, 10, 15, 14, 9, 12, 14, 10, 16, 15, 16, 13, 16, 14, 12, 13, 13, 15,             // A-V
    14, 14, 13,                                                                                      // X Y Z
    14, 12, 13, 13, 13, 13, 13, 13, 13, 13,                                                          // 0-9
    7, 6, 8, 6, 13, 6, 9, 9, 7, 7, 14,                                                               // , . ; : ? ! ( ) - space _
};
constexpr int rows = 18;
constexpr int oversample = 8;  // coverage is measured on an 8 x 8 finer grid per pixel

struct glyph_bitmap {
    int width = 0;
    std::vector<float> coverage;  // rows x width, 0..1
};

// Renders character c into a cell of the given width: the outline is scaled
// horizontally only when its ink is wider than the room the cell leaves, and
// placed so the cell's spare columns split like the font's own side bearings.
glyph_bitmap render(FT_Face face, char c, int cell, double baseline, double embolden)
{
    glyph_bitmap out;
    out.width = cell;
    out.coverage.assign(size_t(rows) * cell, 0.0f);
    if (c == ' ')
        return out;
    FT_UInt index = FT_Get_Char_Index(face, FT_ULong(static_cast<unsigned char>(c)));
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP)) {
        std::fprintf(stderr, "rasterise_glyphs: cannot load '%c'\n", c);
        std::exit(1);
    }
    FT_Outline* outline = &face->glyph->outline;
    if (embolden > 0)
        FT_Outline_Embolden(outline, FT_Pos(std::lround(embolden * 64 * oversample)));
    FT_BBox box;
    FT_Outline_Get_CBox(outline, &box);
    double ink_left = box.xMin / 64.0, ink_right = box.xMax / 64.0;
    double advance = face->glyph->advance.x / 64.0 + embolden * oversample;
    double ink = ink_right - ink_left;
    // Room for ink: one free column on narrow cells, two on wide ones, so
    // neighbours never touch (the pen advances by the cell width exactly).
    int gap = cell >= 9 ? 2 : 1;
    if (c == '_')
        gap = 0;  // the underscore joins its neighbours
    double room = (cell - gap) * oversample;
    double scale = ink > room ? room / ink : 1.0;
    double spare = cell * oversample - ink * scale;
    double lsb = ink_left, rsb = advance - ink_right;
    double share = (lsb + rsb) > 0 ? std::clamp(lsb / (lsb + rsb), 0.2, 0.8) : 0.5;
    if (c == '_')
        share = 0.5;
    double left = spare * share;
    // Snap the ink's left edge to a whole pixel so upright stems stay crisp.
    left = std::round(left / oversample) * oversample;
    FT_Matrix m = {FT_Fixed(std::lround(scale * 65536)), 0, 0, 0x10000};
    FT_Outline_Transform(outline, &m);
    FT_Outline_Translate(outline, FT_Pos(std::lround((left - ink_left * scale) * 64)),
                         FT_Pos(std::lround((rows - baseline) * oversample * 64)));
    // Rasterise into an oversampled bitmap (y grows downwards in FreeType's buffer).
    int ow = cell * oversample, oh = rows * oversample;
    std::vector<unsigned char> fine(size_t(ow) * oh, 0);
    FT_Bitmap bitmap;
    FT_Bitmap_Init(&bitmap);
    bitmap.rows = unsigned(oh);
    bitmap.width = unsigned(ow);
    bitmap.pitch = ow;
    bitmap.buffer = fine.data();
    bitmap.num_grays = 256;
    bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
    FT_Raster_Params params = {};
    params.target = &bitmap;
    params.source = outline;
    params.flags = FT_RASTER_FLAG_AA;
    if (FT_Outline_Render(face->glyph->library, outline, &params)) {
        std::fprintf(stderr, "rasterise_glyphs: cannot render '%c'\n", c);
        std::exit(1);
    }
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cell; ++x) {
            double sum = 0;
            for (int sy = 0; sy < oversample; ++sy)
                for (int sx = 0; sx < oversample; ++sx) {
                    // Bitmap row 0 is the top (highest y) of the outline's box.
                    int fy = y * oversample + sy;
                    sum += fine[size_t(fy) * ow + x * oversample + sx];
                }
            out.coverage[size_t(y) * cell + x] = float(sum / (255.0 * oversample * oversample));
        }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: rasterise_glyphs FONT PIXEL_SIZE BASELINE EMBOLDEN GAMMA\n");
        return 2;
    }
    double size = std::atof(argv[2]), baseline = std::atof(argv[3]);
    double embolden = std::atof(argv[4]), gamma = std::atof(argv[5]);
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library) || FT_New_Face(library, argv[1], 0, &face)) {
        std::fprintf(stderr, "rasterise_glyphs: cannot open %s\n", argv[1]);
        return 1;
    }
    // Outlines at `oversample` times the size; coverage is averaged back down.
    FT_Set_Char_Size(face, FT_F26Dot6(std::lround(size * oversample * 64)), 0, 72, 72);
    std::printf("# The font sheet's glyphs, in sheet order: one block per glyph, a header\n"
                "# `glyph 'C' WIDTH` and 18 rows of WIDTH cells: '.' 0, '-' 1, '+' 2, '#' 3.\n"
                "# First drafted by content/font/rasterise.sh, then touched up by hand.\n");
    const char levels[] = ".-+#";
    for (size_t g = 0; g < std::strlen(order); ++g) {
        glyph_bitmap b = render(face, order[g], widths[g], baseline, embolden);
        std::printf("\nglyph '%c' %d\n", order[g], widths[g]);
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < b.width; ++x) {
                double v = std::pow(std::clamp(double(b.coverage[size_t(y) * b.width + x]), 0.0, 1.0), gamma);
                std::putchar(levels[std::clamp(int(std::lround(v * 3)), 0, 3)]);
            }
            std::putchar('\n');
        }
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return 0;
}
