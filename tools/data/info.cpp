// oddball-tool info: what the stored data inside the program holds (portable; tool side).
#include <cstdio>
#include <memory>

#include "data/blocks.h"
#include "music/codec.h"
#include "music/mixer.h"
#include "music/module.h"
#include "music/player.h"
#include "music/sound.h"
#include "tools/cli/command.h"
#include "tools/mesh/mesh_info.h"
#include "tools/picture/info_atlas.h"
#include "tools/song/song_walk.h"

namespace {

void print_blocks(FILE* out)
{
    std::fprintf(out, "stored data blocks:\n");
    unsigned long total = 0;
    for (const embedded_block* b = embedded_blocks; b->name; ++b) {
        std::fprintf(out, "  %-20s %7lu bytes\n", b->name, *b->size);
        total += *b->size;
    }
    std::fprintf(out, "  %-20s %7lu bytes\n", "all", total);
}

void print_song(FILE* out)
{
    const uint8_t* m = embedded_song_mxm;
    uint32_t song_length = read_u32(m + header_song_length);
    uint32_t instruments = read_u32(m + header_instrument_count);
    uint16_t flags = read_u16(m + header_flags);
    std::fprintf(out, "\nsong: %u order positions, restart at %u, %u channels, %s frequencies\n", song_length,
                 read_u32(m + header_restart_position), read_u32(m + header_channel_count),
                 flags & module_linear_frequencies ? "linear" : "period");
    std::fprintf(out, "  speed %u, tempo %u\n", m[header_speed], m[header_tempo]);
    std::fprintf(out, "  orders:");
    for (uint32_t o = 0; o < song_length; ++o)
        std::fprintf(out, " %u", m[header_orders + o]);
    std::fprintf(out, "\n  patterns (rows):");
    uint32_t patterns = read_u32(m + header_pattern_count);
    for (uint32_t p = 0; p < patterns; ++p)
        std::fprintf(out, " %u:%u", p, read_u32(m + read_u32(m + header_pattern_offsets + 4 * p)));
    std::fprintf(out, "\n  instruments:\n");
    for (uint32_t i = 0; i < instruments; ++i) {
        const uint8_t* in = m + read_u32(m + header_instrument_offsets + 4 * i);
        const uint8_t* h = in + instrument_sample_headers;
        uint8_t sample_flags_byte = h[sample_flags];
        uint32_t start = read_u32(h + sample_loop_start), end = read_u32(h + sample_end);
        const char* loop = sample_flags_byte & sample_pingpong_loop  ? "ping-pong loop"
                           : sample_flags_byte & sample_forward_loop ? "forward loop"
                                                                      : "no loop";
        std::fprintf(out, "    %u: %u frames, %s", i + 1, end, loop);
        if (sample_flags_byte & (sample_forward_loop | sample_pingpong_loop))
            std::fprintf(out, " %u..%u", start, end);
        std::fprintf(out, ", volume %u, fadeout %u\n", h[sample_volume], read_u16(in + instrument_fadeout));
    }

    auto state = std::make_unique<player_state>();
    uint8_t* image = load_music();
    player_init(*state, image);
    player_start(*state, 0);
    song_walk walk = walk_song(*state, 0, false);
    player_stop(*state);

    // G granules decode to G x 32 - 480 bytes; G is the stream's first word.
    uint32_t decoded = read_u32(embedded_song_sbc) * codec_granule_samples - codec_delay_samples;
    std::fprintf(out, "  module %lu bytes, coded samples %lu bytes, decoded samples %u bytes\n", embedded_song_mxm_size,
                 embedded_song_sbc_size, decoded);
    std::fprintf(out, "  one pass: %.2f s (%zu rows)\n", walk.frames / double(mix_rate), walk.rows.size());
    for (const song_row_event& r : walk.rows)
        if (r.order == 27 && r.row == 62) {
            std::fprintf(out, "  order 27, row 62 at %.3f s: the show ends when it is heard, about 0.37 s later\n",
                         r.frame / double(mix_rate));
            break;
        }
    std::fprintf(out, "  sync events (order row value), in play order:\n   ");
    int shown = 0;
    uint8_t previous = 0;
    for (const song_row_event& r : walk.rows) {
        bool event = r.sync != previous && r.sync != 0;  // what the show's timer sees
        previous = r.sync;
        if (!event)
            continue;
        std::fprintf(out, " %u/%u=%u", r.order, r.row, r.sync);
        if (++shown % 10 == 0)
            std::fprintf(out, "\n   ");
    }
    std::fprintf(out, "\n");
}

int info(int argc, char**)
{
    if (argc > 1)
        return tool_usage_error("info takes no arguments");
    print_blocks(stdout);
    print_song(stdout);
    std::printf("\n");
    int atlas = print_atlas_info(stdout);
    std::printf("\n");
    print_mesh_info(stdout);
    return atlas;
}

}  // namespace

const tool_command info_command{"info", "", "what the stored data inside the program holds: blocks, song, atlas, meshes",
                     info};
