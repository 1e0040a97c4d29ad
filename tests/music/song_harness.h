// Loads a module written in memory into a music image and a fresh player, and runs it tick by tick or frame by frame.
#pragma once

#include "base/memory.h"
#include "music/mixer.h"
#include "music/player.h"
#include "tests/support/module_builder.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace mb = module_builder;

// Sample data helpers: 8-bit values as bytes, 16-bit as little-endian pairs.
inline std::vector<uint8_t> pcm8(const std::vector<int>& values)
{
    std::vector<uint8_t> bytes;
    for (int v : values)
        bytes.push_back(uint8_t(int8_t(v)));
    return bytes;
}
inline std::vector<uint8_t> pcm16(const std::vector<int>& values)
{
    std::vector<uint8_t> bytes;
    for (int v : values) {
        bytes.push_back(uint8_t(v));
        bytes.push_back(uint8_t(uint16_t(v) >> 8));
    }
    return bytes;
}
inline std::vector<uint8_t> constant8(int value, size_t frames) { return pcm8(std::vector<int>(frames, value)); }

struct row_read {
    uint32_t frame;  // output frame at which the tick that read the row starts
    uint32_t order;
    uint32_t row;
    uint8_t sync;
    bool operator==(const row_read&) const = default;
};

class loaded_song {
public:
    explicit loaded_song(const mb::module& m, bool start = true)
    {
        bytes = m.build();
        image = build_music_image(bytes.data(), uint32_t(bytes.size()), nullptr, nullptr);
        state = std::make_unique<player_state>();
        EXPECT_TRUE(player_init(*state, image));
        if (start)
            player_start(*state, 0);
    }
    ~loaded_song() { mem_free(image); }
    loaded_song(const loaded_song&) = delete;
    loaded_song& operator=(const loaded_song&) = delete;

    channel_record& channel(int c) { return state->channels[c]; }
    uint32_t order() const { return player_position(*state) >> 8; }
    uint32_t row() const { return player_position(*state) & 0xFF; }

    // Runs one tick; true when it read a row.
    bool tick()
    {
        player_tick(*state);
        return state->row_tick != 0;
    }
    // Runs ticks until `count` rows have been read; gives (order, row) of each.
    std::vector<std::pair<uint32_t, uint32_t>> rows(int count, int tick_limit = 100000)
    {
        std::vector<std::pair<uint32_t, uint32_t>> seen;
        for (int t = 0; t < tick_limit && int(seen.size()) < count; ++t)
            if (tick())
                seen.emplace_back(order(), row());
        return seen;
    }
    // Runs ticks until the next row read; gives the ticks that took (1 when
    // the very next tick reads it).
    int ticks_to_next_row(int limit = 10000)
    {
        for (int t = 1; t <= limit; ++t)
            if (tick())
                return t;
        return -1;
    }

    // Renders `frames` frames through mixer_render, stopping at every tick
    // so that each row read is stamped with its frame; appends the stereo
    // frames to `audio` when given.
    std::vector<row_read> render(uint32_t frames, std::vector<int32_t>* audio = nullptr)
    {
        std::vector<row_read> reads;
        std::vector<int32_t> buffer;
        uint32_t done = 0;
        while (done < frames) {
            uint32_t n;
            if (state->tick_countdown < 256) {
                n = 1;
            } else {
                n = state->tick_countdown >> 8;
                if (n > frames - done)
                    n = frames - done;
            }
            buffer.assign(2 * size_t(n), 0);
            bool ticking = state->tick_countdown < 256;
            mixer_render(*state, n, buffer.data());
            if (ticking && state->row_tick)
                reads.push_back({done, order(), row(), player_sync_value(*state)});
            if (audio)
                audio->insert(audio->end(), buffer.begin(), buffer.end());
            done += n;
        }
        return reads;
    }

    std::vector<uint8_t> bytes;
    uint8_t* image = nullptr;
    std::unique_ptr<player_state> state;
};
