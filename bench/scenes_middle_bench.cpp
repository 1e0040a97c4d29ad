// Benchmarks of the middle scenes: each one's whole frame through the timeline, at 60 frames a second of show time (Google Benchmark).
#include <benchmark/benchmark.h>

#include "base/frame.h"
#include "base/memory.h"
#include "director/precalc.h"
#include "director/timeline.h"

namespace {

// The real buffers, textures, meshes and captions, built once per program,
// and a frame to draw into.
uint32_t* ready()
{
    static uint32_t* screen = nullptr;
    if (!screen) {
        screen = static_cast<uint32_t*>(mem_alloc(size_t(screen_width) * screen_height * 4));
        precalc_all();
    }
    return screen;
}

// Frames of one scene from `start` ms on, 16 or 17 ms apart as at 60 Hz,
// with the counters where they stand when most captions show.
void run_scene_frames(benchmark::State& state, int32_t order, int32_t row, int32_t start, director_state begin)
{
    uint32_t* screen = ready();
    director = begin;
    director.prev_frame_time = start;
    music_position music;
    music.music_order = order;
    music.music_row = row;  // order 8's copies and order 16's fade follow it
    int32_t frame = 0;
    for (auto _ : state) {
        const int32_t t = start + frame * 1000 / 60;
        ++frame;  // the scene is chosen by the order alone, so t may run on
        timeline_frame(t, music, screen);
        benchmark::DoNotOptimize(screen);
    }
}

director_state counts(int32_t a, int32_t b, int32_t c)
{
    director_state d;
    d.reveal_beats = a;
    d.sequence_beats = b;
    d.subtitle_beats = c;
    return d;
}

void scene_plasma_shaded_frame(benchmark::State& state) { run_scene_frames(state, 4, 30, 24000, counts(1, 0, 0)); }
void scene_plasma_lines_frame(benchmark::State& state) { run_scene_frames(state, 6, 30, 36000, counts(11, 0, 0)); }
// Order 8's last rows: the outline drawn 65 times.
void scene_plasma_lines_65_outlines(benchmark::State& state)
{
    run_scene_frames(state, 8, 63, 50000, counts(14, 0, 0));
}
void scene_bump_sprites_frame(benchmark::State& state) { run_scene_frames(state, 9, 30, 52000, counts(0, 0, 4)); }
void scene_plasma_shaded_two_frame(benchmark::State& state)
{
    run_scene_frames(state, 11, 30, 64000, counts(0, 14, 0));
}
void scene_zoomer_dots_frame(benchmark::State& state) { run_scene_frames(state, 13, 30, 75000, counts(0, 0, 0)); }
void scene_plasma_sequence_frame(benchmark::State& state)
{
    run_scene_frames(state, 16, 60, 95000, counts(0, 11, 0));
}

}  // namespace

BENCHMARK(scene_plasma_shaded_frame)->Unit(benchmark::kMicrosecond);
BENCHMARK(scene_plasma_lines_frame)->Unit(benchmark::kMicrosecond);
BENCHMARK(scene_plasma_lines_65_outlines)->Unit(benchmark::kMicrosecond);
BENCHMARK(scene_bump_sprites_frame)->Unit(benchmark::kMicrosecond);
BENCHMARK(scene_plasma_shaded_two_frame)->Unit(benchmark::kMicrosecond);
BENCHMARK(scene_zoomer_dots_frame)->Unit(benchmark::kMicrosecond);
BENCHMARK(scene_plasma_sequence_frame)->Unit(benchmark::kMicrosecond);
