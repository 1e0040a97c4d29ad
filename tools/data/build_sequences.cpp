// build-data step: the director's texture sequences, from content/director/ to data/sequences.bin (portable).
#include "tools/data/data_builder.h"

#include <cstdio>
#include <sstream>


namespace {

constexpr struct {
    const char* name;
    size_t length;
} tables[] = {{"warp", 30}, {"tunnel", 37}};

bool build_sequences(const std::string& content_dir, std::vector<data_block_out>& out)
{
    std::string path = content_dir + "/director/texture_sequences.txt";
    std::string text;
    if (!read_content(path, &text))
        return false;
    std::istringstream in(text);
    std::vector<std::vector<long>> found(std::size(tables));
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::istringstream words(line);
        std::string name;
        if (!(words >> name) || name[0] == '#')
            continue;
        size_t which = 0;
        while (which < std::size(tables) && name != tables[which].name)
            ++which;
        if (which == std::size(tables)) {
            std::fprintf(stderr, "oddball-tool: %s:%d: unknown table '%s'\n", path.c_str(), number, name.c_str());
            return false;
        }
        long slot;
        while (words >> slot) {
            if (slot < 0 || slot > 28) {
                std::fprintf(stderr, "oddball-tool: %s:%d: slot %ld is not a texture slot (0 to 28)\n",
                             path.c_str(), number, slot);
                return false;
            }
            found[which].push_back(slot);
        }
        if (!words.eof()) {
            std::fprintf(stderr, "oddball-tool: %s:%d: not a slot number\n", path.c_str(), number);
            return false;
        }
    }
    data_block_out block{"sequences.bin", {}};
    for (size_t which = 0; which < std::size(tables); ++which) {
        if (found[which].size() != tables[which].length) {
            std::fprintf(stderr, "oddball-tool: %s: table %s has %zu entries, not %zu\n", path.c_str(),
                         tables[which].name, found[which].size(), tables[which].length);
            return false;
        }
        for (long slot : found[which])
            for (int shift = 0; shift < 32; shift += 8)
                block.bytes.push_back(uint8_t(slot >> shift));
    }
    out.push_back(block);
    return true;
}

}  // namespace

const data_builder sequences_builder{"director tables", build_sequences};
