// The presentation conversion of one 320 x 240 frame at each depth and scale.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "app/present.h"

namespace {

void BM_present_convert(benchmark::State& state)
{
    int depth = int(state.range(0));
    int scale = int(state.range(1));
    std::vector<uint32_t> frame(320 * 240);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint32_t(i) * 0x9E3779B1u;
    int pitch = 320 * scale * (depth == 32 ? 4 : depth == 24 ? 3 : 2);
    std::vector<uint8_t> surface(size_t(pitch) * 240 * scale);
    for (auto _ : state) {
        present_convert(frame.data(), 320, 240, depth, scale == 2, surface.data(), pitch);
        benchmark::DoNotOptimize(surface.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 320 * 240);
}

}  // namespace

BENCHMARK(BM_present_convert)->ArgsProduct({{32, 24, 16, 15}, {1, 2}})->ArgNames({"depth", "scale"});
