// Benchmarks of the image operations and blits on frame-sized (320 x 240) images.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "imaging/blits.h"
#include "imaging/image.h"

namespace {

image bench_image(uint32_t seed)
{
    image im = image_create(320, 240);
    for (int i = 0; i < 320 * 240; ++i) {
        seed = seed * 1664525u + 1013904223u;
        im.pixels[i] = seed ^ (seed >> 13);
    }
    return im;
}

template <void (*Blit)(image, image, int16_t, int16_t)>
void bench_blit(benchmark::State& state)
{
    image source = bench_image(1);
    image destination = bench_image(2);
    for (auto _ : state) {
        Blit(source, destination, 0, 0);
        benchmark::DoNotOptimize(destination.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * 320 * 240);
    image_release(source);
    image_release(destination);
}

void bench_add_image(benchmark::State& state)
{
    image source = bench_image(1);
    image destination = bench_image(2);
    for (auto _ : state) {
        add_image(source, destination);
        benchmark::DoNotOptimize(destination.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * 320 * 240);
    image_release(source);
    image_release(destination);
}

void bench_blur(benchmark::State& state)
{
    image im = bench_image(3);
    const auto radius = static_cast<int16_t>(state.range(0));
    for (auto _ : state) {
        blur(radius, radius, im);
        benchmark::DoNotOptimize(im.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * 320 * 240);
    image_release(im);
}

void bench_brightness(benchmark::State& state)
{
    image im = bench_image(4);
    for (auto _ : state) {
        adjust_brightness(-32, im);
        adjust_brightness(40, im);
        benchmark::DoNotOptimize(im.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * 2 * 320 * 240);
    image_release(im);
}

void bench_contrast(benchmark::State& state)
{
    image im = bench_image(5);
    for (auto _ : state) {
        adjust_contrast(400, im);
        benchmark::DoNotOptimize(im.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * 320 * 240);
    image_release(im);
}

void bench_multiply_colour(benchmark::State& state)
{
    image im = bench_image(6);
    for (auto _ : state) {
        multiply_colour(0xFFFFFFFF, im);
        benchmark::DoNotOptimize(im.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * 320 * 240);
    image_release(im);
}

void bench_make_glow(benchmark::State& state)
{
    image im = bench_image(7);
    for (auto _ : state) {
        image source = image_copy(im);
        image glow = make_glow(3, 32, 500, source);
        benchmark::DoNotOptimize(glow.pixels[0]);
        image_release(glow);
    }
    state.SetItemsProcessed(state.iterations() * 320 * 240);
    image_release(im);
}

void bench_double_size(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        image im = bench_image(8);
        state.ResumeTiming();
        image doubled = double_size(im);
        benchmark::DoNotOptimize(doubled.pixels[0]);
        image_release(doubled);
    }
    state.SetItemsProcessed(state.iterations() * 320 * 240);
}

void bench_rotate_quarter(benchmark::State& state)
{
    image im = bench_image(9);
    for (auto _ : state) {
        rotate_quarter(im);
        benchmark::DoNotOptimize(im.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * 320 * 240);
    image_release(im);
}

}  // namespace

BENCHMARK(bench_blit<blit_alpha>)->Name("blit_alpha/320x240");
BENCHMARK(bench_blit<blit_add>)->Name("blit_add/320x240");
BENCHMARK(bench_blit<blit_subtract>)->Name("blit_subtract/320x240");
BENCHMARK(bench_blit<blit_multiply>)->Name("blit_multiply/320x240");
BENCHMARK(bench_add_image)->Name("add_image/320x240");
BENCHMARK(bench_blur)->Name("blur/320x240")->Arg(1)->Arg(3)->Arg(10);
BENCHMARK(bench_brightness)->Name("adjust_brightness/320x240");
BENCHMARK(bench_contrast)->Name("adjust_contrast/320x240");
BENCHMARK(bench_multiply_colour)->Name("multiply_colour/320x240");
BENCHMARK(bench_make_glow)->Name("make_glow/320x240");
BENCHMARK(bench_double_size)->Name("double_size/320x240");
BENCHMARK(bench_rotate_quarter)->Name("rotate_quarter/320x240");
