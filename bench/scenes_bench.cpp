// Benchmarks of whole scene frames as the show draws them: every effect, blit and caption of one frame per iteration.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/show_setup.h"
#include "director/scenes.h"
#include "director/timeline.h"

namespace {

// Draws `scene` at show time t from the same director state every
// iteration, so the pulse phase does not drift between iterations.
template <typename Scene>
void bench_scene(benchmark::State& state, Scene scene, const director_state& start, int32_t t)
{
    show_precalc_once();
    std::vector<uint32_t> frame(320 * 240);
    const music_position music;
    for (auto _ : state) {
        director = start;
        scene(t, music, frame.data());
        benchmark::DoNotOptimize(frame[0]);
    }
    state.SetItemsProcessed(state.iterations() * 320 * 240);
}

// Orders 0 and 1: the zoomer with a title frame, 200 ms after the fifth beat.
void bench_scene_opening_zoomer(benchmark::State& state)
{
    director_state start;
    start.reveal_beats = 5;
    start.sync1_time = 7800;
    start.prev_frame_time = 7984;
    bench_scene(state, scene_opening_zoomer, start, 8000);
}

// Orders 2 and 3: zoomer, streaks, the scroller and the whole caption column.
void bench_scene_zoomer_streaks(benchmark::State& state)
{
    director_state start;
    start.sync23_count = 12;
    start.sync1_time = 19000;
    start.sync2_time = 19800;
    start.prev_frame_time = 19984;
    bench_scene(state, scene_zoomer_streaks, start, 20000);
}

}  // namespace

BENCHMARK(bench_scene_opening_zoomer)->Unit(benchmark::kMicrosecond);
BENCHMARK(bench_scene_zoomer_streaks)->Unit(benchmark::kMicrosecond);
