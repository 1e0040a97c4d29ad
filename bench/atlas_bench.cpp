// Benchmarks of the texture atlas: decoding the stored picture, and the whole precalculation step.
#include <benchmark/benchmark.h>

#include <vector>

#include "atlas/atlas.h"
#include "atlas/mpeg1_decoder.h"
#include "base/memory.h"
#include "data/blocks.h"
#include "director/precalc.h"

namespace {

void BM_decode_atlas_picture(benchmark::State& state)
{
    std::vector<uint32_t> pixels(size_t(atlas_size) * atlas_size);
    for (auto _ : state) {
        decode_atlas_picture(embedded_atlas_m1v, uint32_t(embedded_atlas_m1v_size),
                             image{atlas_size, atlas_size, pixels.data()}, atlas_filter_rows);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(embedded_atlas_m1v_size));
}
BENCHMARK(BM_decode_atlas_picture)->Unit(benchmark::kMicrosecond);

// Decode, levels, nineteen resampled tiles and the copy to slot 25.
void BM_build_texture_atlas(benchmark::State& state)
{
    for (auto& slot : texture_slots)
        if (!slot)
            slot = static_cast<uint32_t*>(mem_alloc(size_t(texture_size) * texture_size * 4));
    for (auto _ : state) {
        build_texture_atlas(&texture_slots[slot_organic], texture_slots[slot_embossed]);
        mem_free(atlas.atlas_pixels);  // the show keeps it; here each run makes its own
        atlas.atlas_pixels = nullptr;
        benchmark::DoNotOptimize(texture_slots[slot_embossed]);
    }
}
BENCHMARK(BM_build_texture_atlas)->Unit(benchmark::kMillisecond);

}  // namespace
