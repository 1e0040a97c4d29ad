// Benchmarks of the closing scenes' whole frames as the show draws them: every effect, blit, caption and fade of one frame per iteration.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/show_setup.h"
#include "director/scenes.h"
#include "director/timeline.h"

namespace {

// Draws `scene` at show time t and song position (order, row) from the same
// director state every iteration, so nothing drifts between iterations.
void bench_scene(benchmark::State& state, scene_fn scene, const director_state& start, int32_t order, int32_t row,
                 int32_t t)
{
    show_precalc_once();
    music_position music;
    music.music_order = order;
    music.music_row = row;
    std::vector<uint32_t> frame(320 * 240);
    for (auto _ : state) {
        director = start;
        scene(t, music, frame.data());
        benchmark::DoNotOptimize(frame[0]);
    }
    state.SetItemsProcessed(state.iterations() * 320 * 240);
}

// Order 20 with every caption of the slogans shown, the four gliding in.
void bench_scene_tunnel_slogans(benchmark::State& state)
{
    director_state start;
    start.sync1_time = 116000;
    start.subtitle_beats = 15;
    start.prev_frame_time = 116484;
    bench_scene(state, scene_tunnel, start, 20, 34, 116500);
}

// Order 22 with all eight names.
void bench_scene_tunnel_names(benchmark::State& state)
{
    director_state start;
    start.sync1_time = 126800;
    start.reveal_beats = 8;
    start.prev_frame_time = 126984;
    bench_scene(state, scene_tunnel, start, 22, 24, 127000);
}

// Order 24: the layer, a caption of the list, the lens with its streaks,
// the sum, half way through a blackout.
void bench_scene_layer_lens(benchmark::State& state)
{
    director_state start;
    start.sync1_time = 139300;
    start.sync2_time = 138000;
    start.sync3_time = 139200;
    start.sequence_beats = 9;
    start.sync2_count = 2;
    start.pulse_phase = 3.0e8f;
    start.spin_phase = 2.0e8f;
    start.prev_frame_time = 139484;
    bench_scene(state, scene_layer_lens, start, 24, 40, 139500);
}

// Order 27: the layer on the screen and the closing line.
void bench_scene_closing_layer(benchmark::State& state)
{
    director_state start;
    start.subtitle_beats = 153000;
    start.prev_frame_time = 154484;
    bench_scene(state, scene_closing_layer, start, 27, 20, 154500);
}

}  // namespace

BENCHMARK(bench_scene_tunnel_slogans)->Unit(benchmark::kMicrosecond);
BENCHMARK(bench_scene_tunnel_names)->Unit(benchmark::kMicrosecond);
BENCHMARK(bench_scene_layer_lens)->Unit(benchmark::kMicrosecond);
BENCHMARK(bench_scene_closing_layer)->Unit(benchmark::kMicrosecond);
