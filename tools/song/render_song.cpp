// oddball-tool render-song: plays a module file through the player and mixer into a WAV file, with a row trace (portable).
#include "base/memory.h"
#include "media/media_files.h"
#include "music/codec.h"
#include "music/mixer.h"
#include "music/module.h"
#include "music/player.h"
#include "tools/cli/command.h"
#include "tools/song/music_loader.h"
#include "tools/song/song_walk.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double longest_seconds = 3600;

struct render_options {
    const char* module_path = nullptr;
    const char* wav_path = nullptr;
    const char* samples_path = nullptr;
    const char* trace_path = nullptr;
    double seconds = 0;  // 0: until the song returns to its restart position
};

int render_song(int argc, char** argv)
{
    render_options o;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--samples") || !std::strcmp(a, "--trace") || !std::strcmp(a, "--seconds")) {
            if (i + 1 >= argc)
                return tool_usage_error("render-song: %s needs a value", a);
            const char* v = argv[++i];
            if (!std::strcmp(a, "--samples"))
                o.samples_path = v;
            else if (!std::strcmp(a, "--trace"))
                o.trace_path = v;
            else {
                char* end = nullptr;
                errno = 0;
                o.seconds = std::strtod(v, &end);
                if (errno || end == v || *end || !(o.seconds > 0) || o.seconds > longest_seconds ||
                    std::llround(o.seconds * mix_rate) < 1)
                    return tool_usage_error("render-song: --seconds takes a number of seconds above 0, at most %g",
                                            longest_seconds);
            }
        } else if (a[0] == '-' && a[1]) {
            return tool_usage_error("render-song: unknown option '%s'", a);
        } else if (!o.module_path) {
            o.module_path = a;
        } else if (!o.wav_path) {
            o.wav_path = a;
        } else {
            return tool_usage_error("render-song: unexpected argument '%s'", a);
        }
    }
    if (!o.module_path || !o.wav_path)
        return tool_usage_error("render-song: usage: render-song MODULE.mxm OUT.wav [--samples STREAM] "
                                "[--seconds S] [--trace FILE]");

    std::vector<uint8_t> image;
    uint32_t module_size = 0, pcm_size = 0;
    std::string load_error;
    if (!load_music_files(o.module_path, o.samples_path ? o.samples_path : "", &image, &module_size, &pcm_size,
                          &load_error))
        return tool_fail("render-song: %s", load_error.c_str());

    auto state = std::make_unique<player_state>();
    player_init(*state, image.data());
    player_start(*state, 0);
    // One pass of the song (or S seconds), row by row.
    uint64_t limit = o.seconds > 0 ? uint64_t(std::llround(o.seconds * mix_rate)) : 0;
    song_walk walk = walk_song(*state, limit, true);
    wav_sound sound;
    sound.rate = int(mix_rate);
    sound.channels = 2;
    sound.bits = 16;
    sound.samples = std::move(walk.pcm);
    std::string trace;
    for (const song_row_event& r : walk.rows) {
        char line[64];
        std::snprintf(line, sizeof line, "%llu %u %u %u\n", static_cast<unsigned long long>(r.frame), r.order, r.row,
                      unsigned(r.sync));
        trace += line;
    }
    uint64_t done = walk.frames;
    player_stop(*state);

    std::string error;
    if (!wav_write(o.wav_path, sound, &error))
        return tool_fail("render-song: %s", error.c_str());
    if (o.trace_path) {
        FILE* f = std::fopen(o.trace_path, "wb");
        bool ok = f && std::fwrite(trace.data(), 1, trace.size(), f) == trace.size();
        ok = f && std::fclose(f) == 0 && ok;
        if (!ok) {
            std::remove(o.trace_path);
            std::remove(o.wav_path);
            return tool_fail("render-song: cannot write %s", o.trace_path);
        }
    }
    std::printf("%s: %.3f s, %llu frames\n", o.wav_path, double(done) / mix_rate, static_cast<unsigned long long>(done));
    return 0;
}

}  // namespace

const tool_command render_song_command{"render-song", "MODULE.mxm OUT.wav [--samples STREAM] [--seconds S] [--trace FILE]",
                     "plays a module through the player and mixer into 44,100 Hz 16-bit stereo; --trace writes "
                     "FRAME ORDER ROW SYNC for every row read",
                     render_song};
