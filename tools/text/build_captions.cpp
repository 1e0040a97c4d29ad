// build-data's "captions" builder: the 106 caption texts of content/captions/captions.txt as data/captions.bin (portable).
#include "tools/data/data_builder.h"

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "text/captions.h"
#include "text/font.h"

namespace {

// Length of every entry: each caption slot was laid out for its text's length.
const int entry_lengths[caption_text_count] = {
    1, 1, 1, 1, 1, 1, 7, 49, 10, 11,     // 0-9: title letters, tag, mirrored line, ...
    11, 8, 11, 9, 7, 0, 20, 17, 6, 16,   // 10-19 (15 is empty)
    20, 10, 22, 13, 11, 19, 8, 4, 6, 10,  // 20-29
    6, 8, 2, 8, 3, 7, 7, 17, 6, 2,       // 30-39
    5, 9, 8, 5, 7, 14, 17, 14, 3, 3,     // 40-49
    80, 4, 6, 14, 3, 3, 7, 12, 16, 21,   // 50-59 (50 is the long scroller)
    5, 3, 4, 2, 7, 2, 3, 4, 7, 2,        // 60-69
    8, 5, 5, 2, 4, 6, 9, 7, 2, 4,        // 70-79
    1, 8, 5, 7, 7, 5, 7, 2, 13, 10,      // 80-89
    5, 7, 6, 6, 6, 4, 10, 8, 5, 12,      // 90-99
    5, 13, 1, 1, 1, 1,                   // 100-105 (101 closes the show)
};

// A character the font draws: one of the sheet's glyphs (so not W, quotes, CR, LF).
bool has_glyph(char c)
{
    const char* glyphs_end = std::strchr(character_order, '\r');
    const char* at = c ? std::strchr(character_order, c) : nullptr;
    return at && at < glyphs_end;
}

bool build_captions(const std::string& content_dir, std::vector<data_block_out>& out)
{
    const std::string path = content_dir + "/captions/captions.txt";
    std::string source;
    if (!read_content(path, &source))
        return false;
    std::istringstream in(source);
    std::vector<uint8_t> bytes;
    int entry = 0;
    std::string line;
    int line_number = 0;
    while (std::getline(in, line)) {
        ++line_number;
        if (line.empty() || line[0] == '#')
            continue;
        // ENTRY "TEXT"
        size_t open = line.find('"');
        size_t close = line.rfind('"');
        if (open == std::string::npos || close == open || close != line.size() - 1)
            return source_fault(path, line_number, "expected ENTRY \"TEXT\"");
        std::string number = line.substr(0, open);
        while (!number.empty() && number.back() == ' ')
            number.pop_back();
        if (number != std::to_string(entry))
            return source_fault(path, line_number, "entry " + std::to_string(entry) + " expected here");
        if (entry >= caption_text_count)
            return source_fault(path, line_number, "more than 106 entries");
        std::string text = line.substr(open + 1, close - open - 1);
        if (int(text.size()) != entry_lengths[entry])
            return source_fault(path, line_number, "entry " + std::to_string(entry) + " must be " +
                                               std::to_string(entry_lengths[entry]) + " characters long, not " +
                                               std::to_string(text.size()));
        for (char c : text)
            if (!has_glyph(c))
                return source_fault(path, line_number, std::string("the font has no glyph for '") + c + "'");
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.push_back(0);
        ++entry;
    }
    if (entry != caption_text_count)
        return source_fault(path, line_number, "106 entries expected, found " + std::to_string(entry));
    out.push_back({"captions.bin", bytes});
    return true;
}

}  // namespace

const data_builder captions_builder{"captions", build_captions};
