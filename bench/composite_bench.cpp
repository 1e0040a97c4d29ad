// Benchmarks of the director's composite effects on a 320 x 240 frame, one call per iteration.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/memory.h"
#include "director/composite.h"
#include "director/precalc.h"
#include "imaging/effects.h"
#include "imaging/tables.h"

namespace {

std::vector<uint32_t> bench_pixels(size_t count, uint32_t seed)
{
    std::vector<uint32_t> pixels(count);
    for (auto& p : pixels) {
        seed = seed * 1664525u + 1013904223u;
        p = seed ^ (seed >> 13);
    }
    return pixels;
}

// A layer as the closing scenes draw it: turned, zoomed, mid brightness.
void bench_rotozoom_add(benchmark::State& state)
{
    std::vector<uint32_t> texture = bench_pixels(256 * 256, 1);
    std::vector<uint32_t> frame = bench_pixels(320 * 240, 2);
    for (auto _ : state) {
        rotozoom_add(37.0f, 300.0f, 12, -40, 160, 120, 90, texture.data(), frame.data());
        benchmark::DoNotOptimize(frame[0]);
    }
    state.SetItemsProcessed(state.iterations() * 320 * 240);
}

// The same frame of rows through the plain per-pixel rule, for comparison.
void bench_rotozoom_rows_plain(benchmark::State& state)
{
    std::vector<uint32_t> texture = bench_pixels(256 * 256, 1);
    std::vector<uint32_t> frame = bench_pixels(320 * 240, 2);
    const rotozoom_steps steps = rotozoom_steps_for(37.0f, 300.0f);
    for (auto _ : state) {
        uint32_t u = 0, v = 0;
        for (int y = 0; y < 240; ++y) {
            u += uint32_t(steps.du_y);
            v += uint32_t(steps.dv_y);
            rotozoom_row_plain(texture.data(), frame.data() + y * 320, 320, u, v, uint32_t(steps.du_x),
                               uint32_t(steps.dv_x), 90);
        }
        benchmark::DoNotOptimize(frame[0]);
    }
    state.SetItemsProcessed(state.iterations() * 320 * 240);
}

// The whole tunnel: four layers (the farthest often dark) summed into a
// cleared frame, by the vector pass or by the plain rule.
template <void (*tunnel)(int32_t, uint32_t*)>
void bench_tunnel(benchmark::State& state)
{
    std::vector<std::vector<uint32_t>> slots(texture_slot_count);
    for (int i = 0; i < texture_slot_count; ++i) {
        slots[i] = bench_pixels(256 * 256, 10 + i);
        texture_slots[i] = slots[i].data();
    }
    std::vector<uint32_t> frame(320 * 240);
    int32_t phase = 30000;
    for (auto _ : state) {
        tunnel(phase, frame.data());
        phase += 37;
        benchmark::DoNotOptimize(frame[0]);
    }
    state.SetItemsProcessed(state.iterations() * 320 * 240);
    for (auto& slot : texture_slots)
        slot = nullptr;
}
void bench_rotozoom_tunnel(benchmark::State& state)
{
    bench_tunnel<rotozoom_tunnel>(state);
}
void bench_rotozoom_tunnel_plain(benchmark::State& state)
{
    bench_tunnel<rotozoom_tunnel_plain>(state);
}

// The lens and its streaks, both buffers cleared first as the scene does.
void bench_lens_feedback(benchmark::State& state)
{
    blob_table_setup();
    std::vector<uint32_t> texture_a = bench_pixels(256 * 256, 3);
    std::vector<uint32_t> texture_b = bench_pixels(256 * 256, 4);
    std::vector<uint32_t> scratch(320 * 240);
    std::vector<uint32_t> frame(320 * 240);
    float p0 = 1000.0f;
    for (auto _ : state) {
        std::fill(scratch.begin(), scratch.end(), 0u);
        std::fill(frame.begin(), frame.end(), 0u);
        lens_feedback(p0, 50.0f, p0, texture_a.data(), texture_b.data(), scratch.data(), frame.data());
        p0 += 3.0f;
        benchmark::DoNotOptimize(frame[0]);
    }
    state.SetItemsProcessed(state.iterations() * 320 * 240);
}

}  // namespace

BENCHMARK(bench_rotozoom_add)->Unit(benchmark::kMicrosecond);
BENCHMARK(bench_rotozoom_rows_plain)->Unit(benchmark::kMicrosecond);
BENCHMARK(bench_rotozoom_tunnel)->Unit(benchmark::kMicrosecond);
BENCHMARK(bench_rotozoom_tunnel_plain)->Unit(benchmark::kMicrosecond);
BENCHMARK(bench_lens_feedback)->Unit(benchmark::kMicrosecond);
