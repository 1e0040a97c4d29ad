// The page's entry points: the show in real time one frame per animation
// callback, and the offline modes on the virtual backend (a still's hash,
// the song's first seconds, a benchmark) for tests and measurements
// (emscripten; the browser build's counterpart of app/oddball_main.cpp).
#include <emscripten.h>
#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/clock.h"
#include "app/display.h"
#include "app/entry.h"
#include "app/virtual_show.h"
#include "base/format.h"
#include "director/timeline.h"
#include "music/player.h"
#include "music/sound.h"
#include "platform/platform.h"

namespace {

constexpr int frames_per_second = 60;  // the offline modes' schedule, as the native ones

// Runs the show on the virtual backend at 60 frames per second until the
// sink sets quit_requested.
int run_virtual(virtual_frame_sink sink, void* user)
{
    return virtual_show_run(frames_per_second, 1, sink, user);
}

// 64-bit FNV-1a over the picture's bytes in red, green, blue order, row by row.
uint64_t picture_hash(const uint8_t* pixels, int width, int height, int pitch)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = pixels + size_t(y) * size_t(pitch) + size_t(x) * 4;
            for (int c = 2; c >= 0; --c) {
                hash ^= p[c];
                hash *= 0x100000001b3ull;
            }
        }
    return hash;
}

// ---- stills -----------------------------------------------------------------

constexpr int still_most = 16;

struct still_state {
    int count = 0;
    int32_t times[still_most] = {};
    int next = 0;  // the first time not yet passed
    // per time: the hash of the last frame at or before it, and the song
    // position the clock showed then
    char hashes[still_most][17] = {};
    int32_t order[still_most] = {};
    int32_t row[still_most] = {};
    std::vector<uint8_t> last_picture;  // the frame of the latest time, 320 x 240 x 4
    int width = 0, height = 0;
};
still_state stills;

void keep_still(const virtual_frame& frame, void* user)
{
    auto& s = *static_cast<still_state*>(user);
    // The frame flipped at frame.time_ms stands for every time up to the next one.
    for (int i = s.next; i < s.count; ++i) {
        if (int32_t(frame.time_ms) > s.times[i])
            break;
        uint64_t hash = picture_hash(frame.pixels, frame.width, frame.height, frame.pitch);
        format_text(s.hashes[i], sizeof s.hashes[i], "%016llx", static_cast<unsigned long long>(hash));
        s.order[i] = show_clock.music.music_order;
        s.row[i] = show_clock.music.music_row;
        if (i == s.count - 1) {
            s.width = frame.width;
            s.height = frame.height;
            s.last_picture.resize(size_t(frame.width) * frame.height * 4);
            for (int y = 0; y < frame.height; ++y)
                std::memcpy(&s.last_picture[size_t(y) * frame.width * 4], frame.pixels + size_t(y) * frame.pitch,
                            size_t(frame.width) * 4);
        }
    }
    const uint64_t next_frame_ms = uint64_t(virtual_frames_flipped()) * 1000 / frames_per_second;
    while (s.next < s.count && int64_t(next_frame_ms) > s.times[s.next])
        ++s.next;
    if (s.next == s.count)
        quit_requested = 1;
}

// ---- benchmark ----------------------------------------------------------------

struct benchmark_state {
    double last_flip_ms = 0;
    double first_flip_ms = 0;
    scene_frame_times times;
    int32_t until_ms = -1;
};
benchmark_state bench;

void count_frame(const virtual_frame& frame, void*)
{
    double now = emscripten_get_now();
    if (bench.last_flip_ms != 0)
        bench.times.add(now - bench.last_flip_ms);
    else
        bench.first_flip_ms = now;
    bench.last_flip_ms = now;
    (void)frame;
    virtual_show_stop_after(bench.until_ms, frames_per_second);
}

}  // namespace

// The module is set up: the page takes over.
int main()
{
    web_page_ready();
    return 0;
}

extern "C" {

// The frames at the given show times (ms, ascending) on the virtual
// backend, in one run.  Returns the number of times done.
EMSCRIPTEN_KEEPALIVE int web_still(const int32_t* times, int count)
{
    stills = still_state{};
    stills.count = std::min(count, still_most);
    std::copy(times, times + stills.count, stills.times);
    if (run_virtual(keep_still, &stills) != 0)
        return 0;
    return stills.next;
}

EMSCRIPTEN_KEEPALIVE const char* web_still_hash(int i)
{
    return i >= 0 && i < stills.count ? stills.hashes[i] : "";
}

EMSCRIPTEN_KEEPALIVE int web_still_position(int i)
{
    return i >= 0 && i < stills.count ? (stills.order[i] << 8 | stills.row[i]) : -1;
}

// The latest time's picture, 32-bit 0x00RRGGBB, width x height.
EMSCRIPTEN_KEEPALIVE const uint8_t* web_still_picture()
{
    return stills.last_picture.empty() ? nullptr : stills.last_picture.data();
}

// The song as the mixer renders it from its start, `frames` stereo frames
// (16-bit), as the native --wav writes it.
EMSCRIPTEN_KEEPALIVE const int16_t* web_wav(int frames)
{
    static std::vector<int16_t> samples;
    render_song(frames, samples);
    return samples.data();
}

// The whole show (or up to `until_ms`) on the virtual backend as fast as it
// renders; per scene the frames' times in ms, read with web_benchmark_stat.
EMSCRIPTEN_KEEPALIVE int web_benchmark(int32_t until_ms)
{
    bench = benchmark_state{};
    bench.until_ms = until_ms;
    return run_virtual(count_frame, nullptr) == 0 ? int(loop_stats.frames) : 0;
}

// For scene `scene`: 0 frames, 1 median, 2 99th percentile, 3 largest (ms);
// scene -1: 0 the precalculation (ms), 1 the frames' time in all (ms), 2 the show time (ms).
EMSCRIPTEN_KEEPALIVE double web_benchmark_stat(int scene, int what)
{
    if (scene < 0)
        return what == 0 ? loop_stats.precalc_us / 1000.0
               : what == 1 ? bench.last_flip_ms - bench.first_flip_ms
                           : double(loop_stats.last_frame_ms);
    if (scene >= scene_count)
        return -1;
    const scene_frame_times::summary t = bench.times.of(scene_id(scene));
    switch (what) {
    case 0: return double(t.frames);
    case 1: return t.median;
    case 2: return t.p99;
    default: return t.largest;
    }
}

// ---- the show in real time ------------------------------------------------

// Starts the show from its beginning; 0, or 1 when it could not start.
EMSCRIPTEN_KEEPALIVE int web_start()
{
    platform_use(&platform_web_backend);
    display.display_depth = 32;
    display.display_scale = 1;
    display.display_windowed = true;
    web_reset_tick_gap();
    return program_start();
}

// One animation callback: the due tasks, then one pass of the frame loop.
// 1 while the show goes on; 0 once it has ended (then call web_finish).
EMSCRIPTEN_KEEPALIVE int web_frame()
{
    web_run_due_tasks();
    if (!quit_requested)
        program_frame();
    return quit_requested ? 0 : 1;
}

EMSCRIPTEN_KEEPALIVE void web_finish()
{
    program_finish();
}

// The page's timers and the worklet's reports call this between frames.
EMSCRIPTEN_KEEPALIVE void web_pump()
{
    web_run_due_tasks();
}

// 1 Escape, 2 any other key, 3 the page is going away.
EMSCRIPTEN_KEEPALIVE void web_key(int which)
{
    web_push_event(which == 1   ? platform_event::key_escape
                   : which == 3 ? platform_event::close
                                : platform_event::key_other);
}

// What the show is doing, for the page and its tests: 0 the show clock
// (ms), 1 the song's order, 2 its row (as the clock shows them), 3 frames
// presented, 4 the largest gap between two streaming steps (ms), 5 whether
// the show has been asked to end, 6 the player's own position word, 7 the
// bytes of memory handed out.
EMSCRIPTEN_KEEPALIVE double web_state(int what)
{
    switch (what) {
    case 0: return show_clock.elapsed_ms;
    case 1: return show_clock.music.music_order;
    case 2: return show_clock.music.music_row;
    case 3: return loop_stats.frames;
    case 4: return platform_largest_tick_gap_us() / 1000.0;
    case 5: return quit_requested;
    case 6: return player_position(sound_output.player);
    case 7: return mallinfo().uordblks;
    default: return 0;
    }
}

}  // extern "C"
