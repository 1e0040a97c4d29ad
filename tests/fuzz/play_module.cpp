// Fuzz target: a module from outside, the way `oddball-tool render-song`
// takes it: into a music image with the program's own decoded samples
// behind it, module_check, and when it passes, two seconds of the song
// through the player and mixer (tests only).  The samples are decoded once,
// so the program's song is a seed as well as small modules of the tests.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "base/memory.h"
#include "data/blocks.h"
#include "music/codec.h"
#include "music/module.h"
#include "music/player.h"
#include "tools/song/song_walk.h"

namespace {

const std::vector<int8_t>& song_samples()
{
    static const std::vector<int8_t> pcm = [] {
        const char* problem = nullptr;
        int64_t size = codec_check_stream(embedded_song_sbc, size_t(embedded_song_sbc_size), &problem);
        if (size < 0)
            std::abort();
        std::vector<int8_t> out(size_t(size) + codec_delay_samples);
        static codec_state state;
        out.resize(decode_sample_stream(&state, embedded_song_sbc, out.data()));
        return out;
    }();
    return pcm;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<int8_t>& pcm = song_samples();
    // render-song refuses what does not fit the 1 MB image before anything else.
    if (size + pcm.size() + music_read_margin > music_image_size)
        return 0;
    uint8_t* image = build_music_image(data, uint32_t(size), nullptr, nullptr);
    std::memcpy(image + size, pcm.data(), pcm.size());
    char problem[256] = "";
    if (module_check(image, uint32_t(size), uint32_t(pcm.size()), problem, sizeof problem)) {
        auto state = std::make_unique<player_state>();
        player_init(*state, image);
        player_start(*state, 0);
        song_walk walk = walk_song(*state, 2 * 44100, false);
        if (std::getenv("FUZZ_VERBOSE"))
            std::fprintf(stderr, "played %llu frames, %zu rows\n", (unsigned long long)walk.frames, walk.rows.size());
        player_stop(*state);
    } else if (!problem[0] || std::strchr(problem, '\n')) {
        __builtin_trap();  // a refusal says what is wrong in one line
    } else if (std::getenv("FUZZ_VERBOSE")) {
        std::fprintf(stderr, "refused: %s\n", problem);
    }
    mem_free(image);
    return 0;
}
