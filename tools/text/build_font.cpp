// build-data's "font" builder: lays the glyph grid of content/font/glyphs.txt out as the 320 x 200 sheet data/font.bin (portable).
#include "tools/data/data_builder.h"

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "text/font.h"

namespace {

constexpr int glyph_count = 72;
constexpr int glyph_rows = 18;  // pixel rows of a glyph, below its marker row

// Cell widths of the sheet, in glyph order (the order of character_order).
const int cell_widths[glyph_count] = {
    12, 11, 11, 11, 11, 9, 12, 12, 5, 9, 12, 4, 16, 11, 11, 11, 12, 8, 10, 8, 11, 12, 17, 12, 11, 10,  // a-z
    15, 14, 15, 15, 12, 10, 15, 14, 9, 12, 14, 10, 16, 15, 16, 13, 16, 14, 12, 13, 13, 15,             // A-V
    14, 14, 13,                                                                                      // X Y Z
    14, 12, 13, 13, 13, 13, 13, 13, 13, 13,                                                          // 0-9
    7, 6, 8, 6, 13, 6, 9, 9, 7, 7, 14,                                                               // , . ; : ? ! ( ) - space _
};

// The three sheet rows: how many glyphs each holds and the pixel row of its markers.
struct sheet_row {
    int glyphs;
    int marker_row;
};
const sheet_row sheet_rows[] = {
    {26, 8},   // a-z
    {22, 30},  // A-V
    {24, 52},  // X Y Z, digits, punctuation
};
constexpr int first_marker_column = 5;

// Grid characters for the intensities 0..3.
int grid_level(char c)
{
    const char* at = std::strchr(".-+#", c);
    return (at && c) ? int(at - ".-+#") : -1;
}

bool build_font(const std::string& content_dir, std::vector<data_block_out>& out)
{
    const std::string path = content_dir + "/font/glyphs.txt";
    std::string text;
    if (!read_content(path, &text))
        return false;
    std::istringstream in(text);
    // glyphs[g][y][x]: intensity of glyph g
    std::vector<std::vector<std::string>> glyphs;
    std::string line;
    int line_number = 0;
    while (std::getline(in, line)) {
        ++line_number;
        if (line.empty() || line[0] == '#')
            continue;
        // `glyph 'C' WIDTH`, then exactly 18 rows (which may start with '#').
        char c = 0;
        int width = 0;
        char tail = 0;
        if (line.size() < 9 || line.compare(0, 7, "glyph '") != 0 || line[8] != '\'' ||
            std::sscanf(line.c_str() + 9, "%d%c", &width, &tail) != 1)
            return source_fault(path, line_number, "expected a header `glyph 'C' WIDTH`");
        c = line[7];
        size_t g = glyphs.size();
        if (g >= size_t(glyph_count))
            return source_fault(path, line_number, "more than 72 glyphs");
        if (c != character_order[g])
            return source_fault(path, line_number, std::string("glyph ") + std::to_string(g) + " must be '" +
                                               character_order[g] + "', not '" + c + "'");
        if (width != cell_widths[g])
            return source_fault(path, line_number, std::string("glyph '") + c + "' must be " +
                                               std::to_string(cell_widths[g]) + " pixels wide");
        std::vector<std::string> rows;
        for (int y = 0; y < glyph_rows; ++y) {
            if (!std::getline(in, line))
                return source_fault(path, line_number, std::string("glyph '") + c + "' has fewer than 18 rows");
            ++line_number;
            if (int(line.size()) != width)
                return source_fault(path, line_number, "a row of " + std::to_string(width) + " cells expected");
            for (char cell : line)
                if (grid_level(cell) < 0)
                    return source_fault(path, line_number, std::string("cell '") + cell + "' is not one of . - + #");
            rows.push_back(line);
        }
        glyphs.push_back(rows);
    }
    if (glyphs.size() != size_t(glyph_count))
        return source_fault(path, line_number, "72 glyphs expected, found " + std::to_string(glyphs.size()));

    std::vector<uint8_t> sheet(size_t(font_sheet_width) * font_sheet_height, 0);
    size_t g = 0;
    for (const sheet_row& row : sheet_rows) {
        int x = first_marker_column;
        for (int i = 0; i < row.glyphs; ++i, ++g) {
            sheet[size_t(row.marker_row) * font_sheet_width + x] = font_marker;
            for (int y = 0; y < glyph_rows; ++y)
                for (int cx = 0; cx < cell_widths[g]; ++cx)
                    sheet[size_t(row.marker_row + 1 + y) * font_sheet_width + x + cx] =
                        uint8_t(grid_level(glyphs[g][y][cx]));
            x += cell_widths[g];
        }
        sheet[size_t(row.marker_row) * font_sheet_width + x] = font_marker;  // end of the row's last cell
    }
    out.push_back({"font.bin", sheet});
    return true;
}

}  // namespace

const data_builder font_builder{"font", build_font};
