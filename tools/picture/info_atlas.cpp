// The facts of the stored texture atlas, for `oddball-tool info` and `oddball-tool info-atlas` (portable; tools only).
#include "tools/picture/info_atlas.h"

#include <vector>

#include "atlas/atlas.h"
#include "atlas/mpeg1_decoder.h"
#include "data/blocks.h"
#include "tools/cli/command.h"

int print_atlas_info(FILE* out)
{
    std::vector<uint32_t> pixels(size_t(atlas_size) * atlas_size);
    mpeg_result result = decode_atlas_picture(embedded_atlas_m1v, uint32_t(embedded_atlas_m1v_size),
                                              image{atlas_size, atlas_size, pixels.data()}, atlas_filter_rows);
    const mpeg_decoder_state& d = mpeg_decoder;
    std::fprintf(out, "atlas: data/atlas.m1v, %lu bytes, %d x %d pixels, %d slice%s, %d of %d macroblocks (%d x %d)%s\n",
                 embedded_atlas_m1v_size, d.picture_width, d.picture_height, d.slices, d.slices == 1 ? "" : "s",
                 result == mpeg_finished ? d.mb_total : d.macroblock, d.mb_total, d.mb_width, d.mb_height,
                 result == mpeg_finished ? "" : ", DOES NOT DECODE");
    return result == mpeg_finished ? 0 : 1;
}

namespace {

int info_atlas(int argc, char** argv)
{
    if (argc > 1)
        return tool_usage_error("info-atlas: unexpected argument '%s'", argv[1]);
    return print_atlas_info(stdout);
}

}  // namespace

const tool_command info_atlas_command{"info-atlas", "", "prints the stored texture atlas's size, slices and macroblocks",
                     info_atlas};
