// oddball-tool build-data: writes data/ from content/, or checks that it is up to date (portable).
#include "media/whole_file.h"
#include "tools/cli/command.h"
#include "tools/data/data_builder.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

bool read_content(const std::string& path, std::string* text)
{
    std::string error;
    if (read_text_file(path, text, &error))
        return true;
    std::fprintf(stderr, "oddball-tool: %s\n", error.c_str());
    return false;
}

bool source_fault(const std::string& path, int line, const std::string& message)
{
    std::fprintf(stderr, "oddball-tool: %s:%d: %s\n", path.c_str(), line, message.c_str());
    return false;
}

namespace {

// In the order their blocks are built and reported.
const data_builder* const builder_table[] = {
    &atlas_builder, &captions_builder, &sequences_builder, &font_builder, &meshes_builder, &recipes_builder,
    &song_builder,
};

int build_data(int argc, char** argv)
{
    std::string root = ".";
    bool check = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--check"))
            check = true;
        else if (!std::strcmp(argv[i], "--root") && i + 1 < argc)
            root = argv[++i];
        else
            return tool_usage_error("build-data: unexpected argument '%s'", argv[i]);
    }
    namespace fs = std::filesystem;
    fs::path content = fs::path(root) / "content";
    fs::path data = fs::path(root) / "data";
    if (!fs::is_directory(content))
        return tool_fail("build-data: no content/ folder under '%s'", root.c_str());

    std::vector<data_block_out> blocks;
    for (const data_builder* b : builder_table) {
        std::fprintf(stderr, "build-data: %s\n", b->name);
        if (!b->build(content.string(), blocks))
            return 1;
    }
    int stale = 0;
    for (const data_block_out& block : blocks) {
        fs::path path = data / block.name;
        if (check) {
            std::vector<uint8_t> stored;
            std::string unread;
            if (!read_input_file(path.string(), &stored, &unread) || stored != block.bytes) {
                std::fprintf(stderr, "oddball-tool: build-data --check: data/%s differs from what content/ builds\n",
                             block.name.c_str());
                ++stale;
            }
            continue;
        }
        std::string error;
        if (!write_output_file(path.string(), block.bytes.data(), block.bytes.size(), &error))
            return tool_fail("build-data: %s", error.c_str());
        std::printf("data/%s: %zu bytes\n", block.name.c_str(), block.bytes.size());
    }
    if (check && !stale)
        std::printf("data/ is up to date (%zu blocks)\n", blocks.size());
    return stale ? 1 : 0;
}

}  // namespace

const tool_command build_data_command{"build-data", "[--check] [--root DIR]",
                     "writes data/ from content/; --check fails when data/ is not what content/ builds",
                     build_data};
