// The mixer on the show's own song: the whole song from order 0 to the end of the show, as the streaming thread renders it (Google Benchmark).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "music/mixer.h"
#include "music/player.h"
#include "music/sound.h"

namespace {

// One iteration is the whole song (player ticks, every voice it starts, the
// conversion to 16-bit) in 882-frame calls until the player reaches order
// 27, row 62; realtime_factor is seconds of song per second of processor time.
void BM_MusicRenderShowSong(benchmark::State& state)
{
    static uint8_t* image = load_music();  // decoded once; the player only reads it
    auto player = std::make_unique<player_state>();
    std::vector<int32_t> mixed(2 * 882);
    std::vector<int16_t> pcm(2 * 882);
    double song_seconds = 0;
    int peak_voices = 0;
    for (auto _ : state) {
        player_init(*player, image);
        player_start(*player, 0);
        uint64_t frames = 0;
        while (player_position(*player) < (27 << 8 | 62) && frames < uint64_t(20) * 60 * 44100) {
            mixer_render(*player, 882, mixed.data());
            convert_to_pcm16(mixed.data(), pcm.data(), 4 * 882);
            frames += 882;
            int active = 0;
            for (const channel_record& ch : player->channels)
                active += ch.active;
            peak_voices = active > peak_voices ? active : peak_voices;
        }
        benchmark::DoNotOptimize(pcm.data());
        song_seconds += double(frames) / 44100.0;
    }
    state.counters["song_seconds"] = song_seconds / double(state.iterations());
    state.counters["peak_voices"] = peak_voices;
    state.counters["realtime_factor"] = benchmark::Counter(song_seconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MusicRenderShowSong)->Unit(benchmark::kMillisecond);

}  // namespace
