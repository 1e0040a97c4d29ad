// Benchmarks of the 2D effects, one per effect on a 320 x 240 frame, timed per frame (Google Benchmark).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "base/memory.h"
#include "director/precalc.h"
#include "imaging/effects.h"
#include "imaging/procedural.h"
#include "imaging/tables.h"
#include "imaging/warp.h"

namespace {

// The procedural slots and the effect tables, built once.
void prepare()
{
    static bool ready = false;
    if (ready)
        return;
    for (int slot = 0; slot < 5; ++slot)
        if (!texture_slots[slot])
            texture_slots[slot] = static_cast<uint32_t*>(mem_alloc(texture_size * texture_size * 4));
    make_procedural_textures(texture_slots);
    polar_tables();
    blob_table_setup();
    ready = true;
}

// A busy frame to work on: the plasma over the ring texture.
std::vector<uint32_t> busy_frame()
{
    std::vector<uint32_t> frame(frame_pixels);
    plasma_warp(777.0f, texture_slots[slot_rings], frame.data());
    return frame;
}

void BM_radial_zoom_feedback(benchmark::State& state)
{
    prepare();
    auto frame = busy_frame();
    for (auto _ : state) {
        radial_zoom_feedback(frame.data(), 150, 110, 248, 0.1f, 2.0f);
        benchmark::DoNotOptimize(frame.data());
    }
}
BENCHMARK(BM_radial_zoom_feedback)->Unit(benchmark::kMillisecond);

void BM_plasma_warp(benchmark::State& state)
{
    prepare();
    std::vector<uint32_t> frame(frame_pixels);
    float t = 0;
    for (auto _ : state) {
        plasma_warp(t += 3, texture_slots[slot_rings], frame.data());
        benchmark::DoNotOptimize(frame.data());
    }
}
BENCHMARK(BM_plasma_warp)->Unit(benchmark::kMillisecond);

void BM_tilted_zoomer(benchmark::State& state)
{
    prepare();
    std::vector<uint32_t> frame(frame_pixels);
    float t = 0;
    for (auto _ : state) {
        t += 3;
        tilted_zoomer(t, t / 10, texture_slots[slot_rings], frame.data());
        benchmark::DoNotOptimize(frame.data());
    }
}
BENCHMARK(BM_tilted_zoomer)->Unit(benchmark::kMillisecond);

void BM_lens_blobs(benchmark::State& state)
{
    prepare();
    std::vector<uint32_t> d1(frame_pixels), d2(frame_pixels);
    // The nearest dome the show draws (z = -330: radius 100).
    for (auto _ : state) {
        lens_blobs(160, 120, -330.0f, 12, 34, texture_slots[slot_rings], texture_slots[slot_bumps], d1.data(), d2.data());
        benchmark::DoNotOptimize(d1.data());
    }
}
BENCHMARK(BM_lens_blobs)->Unit(benchmark::kMillisecond);

void BM_smear_blur(benchmark::State& state)
{
    prepare();
    auto frame = busy_frame();
    std::vector<uint32_t> height(frame_pixels);
    for (auto _ : state) {
        smear_blur(3, frame.data(), height.data());
        benchmark::DoNotOptimize(height.data());
    }
}
BENCHMARK(BM_smear_blur)->Unit(benchmark::kMillisecond);

void BM_bump_refraction(benchmark::State& state)
{
    prepare();
    auto frame = busy_frame();
    std::vector<uint32_t> height(frame_pixels);
    smear_blur(3, frame.data(), height.data());
    int32_t a = 0;
    for (auto _ : state) {
        bump_refraction(a++, 17, -40, 90, texture_slots[slot_bumps], texture_slots[slot_glow], height.data(), frame.data());
        benchmark::DoNotOptimize(frame.data());
    }
}
BENCHMARK(BM_bump_refraction)->Unit(benchmark::kMillisecond);

void BM_row_wave(benchmark::State& state)
{
    prepare();
    auto source = busy_frame();
    std::vector<uint32_t> destination(frame_pixels);
    image s{screen_width, screen_height, source.data()}, d{screen_width, screen_height, destination.data()};
    float t = 0;
    for (auto _ : state) {
        row_wave(t += 16, 2.0f, s, d);
        benchmark::DoNotOptimize(destination.data());
    }
}
BENCHMARK(BM_row_wave)->Unit(benchmark::kMillisecond);

}  // namespace
