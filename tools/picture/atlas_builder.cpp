// The "atlas" data builder and `oddball-tool atlas-source`: the painted atlas picture and its stored stream (portable; tools only).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "atlas/atlas.h"
#include "atlas/mpeg1_decoder.h"
#include "tools/cli/command.h"
#include "tools/data/data_builder.h"
#include "tools/picture/atlas_picture.h"
#include "tools/picture/mpeg1_encoder.h"

namespace {

bool build_atlas(const std::string& content_dir, std::vector<data_block_out>& out)
{
    picture source;
    std::vector<uint8_t> stream;
    std::string error;
    if (!build_atlas_stream(content_dir, &source, &stream, &error)) {
        std::fprintf(stderr, "oddball-tool: build-data: atlas: %s\n", error.c_str());
        return false;
    }
    out.push_back({"atlas.m1v", std::move(stream)});
    return true;
}

int atlas_source(int argc, char** argv)
{
    std::string root = ".";
    const char* output = nullptr;
    bool shown = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--root") && i + 1 < argc)
            root = argv[++i];
        else if (!std::strcmp(argv[i], "--shown"))
            shown = true;
        else if (argv[i][0] != '-' && !output)
            output = argv[i];
        else
            return tool_usage_error("atlas-source: unexpected argument '%s'", argv[i]);
    }
    if (!output)
        return tool_usage_error("atlas-source: usage: atlas-source [--root DIR] [--shown] OUT.png");
    picture source;
    std::vector<uint8_t> stream;
    std::string error;
    if (!build_atlas_stream(root + "/content", &source, &stream, &error))
        return tool_fail("atlas-source: %s", error.c_str());
    picture decoded;
    if (!decode_intra_picture(stream, 0, &decoded, nullptr, &error))
        return tool_fail("atlas-source: %s", error.c_str());
    const double psnr = picture_psnr(source, decoded);
    if (shown) {
        // What build_texture_atlas makes of the stream: smoothed top, levels.
        std::vector<uint32_t> pixels(size_t(atlas_size) * atlas_size);
        decode_atlas_picture(stream.data(), uint32_t(stream.size()), image{atlas_size, atlas_size, pixels.data()},
                             atlas_filter_rows);
        apply_levels(pixels.data(), atlas_black_point, atlas_filter_rows * atlas_size);
        for (size_t i = 0; i < source.pixels.size(); ++i)
            source.pixels[i] = pixels[i];
    }
    if (!png_write(output, source, false, &error))
        return tool_fail("atlas-source: %s", error.c_str());
    std::printf("%s: the %s atlas, 256 x 192; its stream has %zu bytes, PSNR %.2f dB\n", output,
                shown ? "decoded and levelled" : "painted", stream.size(), psnr);
    return 0;
}

}  // namespace

const data_builder atlas_builder{"atlas", build_atlas};
const tool_command atlas_source_command{"atlas-source", "[--root DIR] [--shown] OUT.png",
                     "writes the painted source of the texture atlas, or with --shown the atlas as the show sees it", atlas_source};
