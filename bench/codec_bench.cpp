// Benchmark of the sample codec: decoding a stream of about 50,000 samples, as load_music does once.
#include "music/codec.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

// Random masks and values; the decoder's work does not depend on the values,
// only on how many subbands are coded.
std::vector<uint8_t> random_stream(uint32_t granules)
{
    std::mt19937 rng(1);
    std::vector<uint8_t> stream(4);
    for (int i = 0; i < 4; ++i)
        stream[size_t(i)] = uint8_t(granules >> (8 * i));
    for (uint32_t g = 0; g < granules; g += codec_block_granules) {
        int n = int(std::min<uint32_t>(codec_block_granules, granules - g));
        uint32_t masks[3] = {uint32_t(rng()), uint32_t(rng()), uint32_t(rng())};
        for (uint32_t m : masks)
            for (int i = 0; i < 4; ++i)
                stream.push_back(uint8_t(m >> (8 * i)));
        uint32_t values = codec_block_size(masks[0], masks[1], masks[2], n) - 12;
        for (uint32_t i = 0; i < values; ++i)
            stream.push_back(uint8_t(rng()));
    }
    return stream;
}

void decode_50000_samples(benchmark::State& bench)
{
    const uint32_t granules = (50000 + codec_delay_samples + 31) / 32;  // 1,578 granules, 50,016 samples
    std::vector<uint8_t> stream = random_stream(granules);
    std::vector<int8_t> out(granules * 32);
    static codec_state state;
    for (auto _ : bench) {
        decode_sample_stream(&state, stream.data(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    bench.SetItemsProcessed(int64_t(bench.iterations()) * (granules * 32 - codec_delay_samples));
}
BENCHMARK(decode_50000_samples)->Unit(benchmark::kMillisecond);

}  // namespace
