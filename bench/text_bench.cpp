// Benchmarks of the font and the caption build (start-up work: precalculation waits for it).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "base/memory.h"
#include "data/blocks.h"
#include "director/precalc.h"
#include "imaging/image.h"
#include "text/captions.h"
#include "text/font.h"

namespace {

void ensure_font()
{
    if (!font.sheet)
        font_init(embedded_font_bin, 19, character_order, 100);
}

void BM_font_init(benchmark::State& state)
{
    for (auto _ : state) {
        font_init(embedded_font_bin, 19, character_order, 100);
        benchmark::DoNotOptimize(font.glyph_count);
    }
}
BENCHMARK(BM_font_init);

// A typical caption line of 20 characters.
void BM_text_image(benchmark::State& state)
{
    ensure_font();
    for (auto _ : state) {
        image im = text_image("all of this is maths");
        benchmark::DoNotOptimize(im.pixels[0]);
        image_release(im);
    }
}
BENCHMARK(BM_text_image);

void BM_text_sprite(benchmark::State& state)
{
    ensure_font();
    for (auto _ : state) {
        image im = text_sprite("all of this is maths", 0xFFFFFF);
        benchmark::DoNotOptimize(im.pixels[0]);
        image_release(im);
    }
}
BENCHMARK(BM_text_sprite);

// The whole caption build: 128 images, the title frames and four textures.
void BM_render_captions(benchmark::State& state)
{
    ensure_font();
    for (auto& slot : texture_slots)
        if (!slot)
            slot = static_cast<uint32_t*>(mem_alloc(256 * 256 * 4));
    for (auto _ : state) {
        render_captions(caption_table, texture_slots, texture_slot_count);
        benchmark::DoNotOptimize(caption_table[128].pixels);
        state.PauseTiming();
        for (image& caption : caption_table)
            image_release(caption);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_render_captions)->Unit(benchmark::kMillisecond);

}  // namespace
