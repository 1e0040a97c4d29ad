// Benchmarks of the music engine: a 22-voice song through mixer_render, and the mixer alone (Google Benchmark).
#include "base/memory.h"
#include "music/mixer.h"
#include "music/module.h"
#include "music/player.h"
#include "tests/support/module_builder.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

namespace mb = module_builder;

// 22 channels, each holding one note of a looped sample for the whole
// pattern: 11 8-bit and 11 16-bit samples, forward and ping-pong loops,
// notes spread over three octaves.
std::vector<uint8_t> busy_song()
{
    mb::module m;
    m.channels = 22;
    m.speed = 6;
    m.tempo = 125;
    m.patterns.emplace_back(64);
    uint32_t seed = 1;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
    for (int c = 0; c < 22; ++c) {
        bool sixteen = c % 2 == 1;
        uint32_t frames = 1500 + 300 * uint32_t(c);
        std::vector<uint8_t> pcm;
        for (uint32_t i = 0; i < frames; ++i) {
            int v = int(next() % 65536) - 32768;
            if (sixteen) {
                pcm.push_back(uint8_t(v));
                pcm.push_back(uint8_t(v >> 8));
            } else {
                pcm.push_back(uint8_t(v >> 8));
            }
        }
        mb::sample_header h;
        h.end = frames;
        h.loop_start = frames / 3;
        h.flags = uint8_t((sixteen ? sample_16bit : 0) | (c % 4 < 2 ? sample_forward_loop : sample_pingpong_loop));
        int instrument = m.add_sample_instrument(pcm, h);
        m.patterns[0].at(0, mb::note(c, 37 + (c * 7) % 36, instrument));
    }
    return m.build();
}

struct busy_player {
    std::vector<uint8_t> module = busy_song();
    uint8_t* image = build_music_image(module.data(), uint32_t(module.size()), nullptr, nullptr);
    std::unique_ptr<player_state> state = std::make_unique<player_state>();
    busy_player()
    {
        player_init(*state, image);
        player_start(*state, 0);
    }
    ~busy_player() { mem_free(image); }
};

// One second of audio per iteration in 882-frame calls (the streaming
// thread's 20 ms), converted to 16-bit; reports seconds of audio per second
// of processor time.
void BM_MusicRender22Voices(benchmark::State& state)
{
    busy_player player;
    std::vector<int32_t> mixed(2 * 882);
    std::vector<int16_t> pcm(2 * 882);
    for (auto _ : state) {
        for (int call = 0; call < 50; ++call) {
            mixer_render(*player.state, 882, mixed.data());
            convert_to_pcm16(mixed.data(), pcm.data(), 4 * 882);
        }
        benchmark::DoNotOptimize(pcm.data());
    }
    int active = 0;
    for (const channel_record& ch : player.state->channels)
        active += ch.active;
    state.counters["voices"] = active;
    state.counters["realtime_factor"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MusicRender22Voices)->Unit(benchmark::kMillisecond);

// The plain frame-by-frame mixer on the same song, for comparison.
void BM_MusicMixReference22Voices(benchmark::State& state)
{
    busy_player player;
    std::vector<int32_t> mixed(2 * 882);
    mixer_render(*player.state, 1, mixed.data());  // the first tick starts the notes
    for (auto _ : state) {
        for (int call = 0; call < 50; ++call)
            mix_voices_reference(*player.state, 882, mixed.data());
        benchmark::DoNotOptimize(mixed.data());
    }
    state.counters["realtime_factor"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MusicMixReference22Voices)->Unit(benchmark::kMillisecond);

}  // namespace
