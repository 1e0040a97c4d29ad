// The streaming step on the virtual ring: whole 32-byte spans, the wrap at
// 65,536, the song advanced by exactly what was played, and what is heard is
// the mixer's own output one ring later.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "music/mixer.h"
#include "music/player.h"
#include "music/sound.h"
#include "platform/platform.h"
#include "platform/virtual/virtual_controls.h"

namespace {

void hear(const uint8_t* bytes, uint32_t count, void* user)
{
    auto& heard = *static_cast<std::vector<uint8_t>*>(user);
    heard.insert(heard.end(), bytes, bytes + count);
}

// The song as the mixer renders it, with no ring in between.
std::vector<uint8_t> reference_song(uint32_t frames)
{
    static player_state state;
    player_init(state, load_music());
    player_start(state, 0);
    std::vector<int32_t> mix(2 * frames);
    mixer_render(state, frames, mix.data());
    std::vector<uint8_t> pcm(4 * size_t(frames));
    convert_to_pcm16(mix.data(), reinterpret_cast<int16_t*>(pcm.data()), uint32_t(pcm.size()));
    return pcm;
}

TEST(Streaming, RingPlaysTheMixOneRingLaterInWholeSpans)
{
    platform_use(&platform_virtual_backend);
    virtual_reset();
    std::vector<uint8_t> heard;
    virtual_set_sound_sink(hear, &heard);
    ASSERT_NE(sound_start(load_music()), 0u);
    player_start(sound_output.player, 0);

    uint32_t rendered_bytes = 0;
    bool wrapped = false;
    for (int step = 0; step < 400; ++step) {  // 8 s of 20 ms wake-ups, a few of them late
        uint32_t before = sound_output.write_position;
        virtual_advance_ms(step % 37 == 36 ? 97 : 20);
        uint32_t after = sound_output.write_position;
        ASSERT_EQ(after % 32, 0u);
        uint32_t span = (after - before) & (platform_sound_buffer_bytes - 1);
        rendered_bytes += span;
        wrapped |= after < before;
    }
    EXPECT_TRUE(wrapped);
    sound_shutdown();
    platform_use(&platform_sdl_backend);

    // The song advanced by exactly the played spans: the player is at the
    // frame the ring has been refilled to.
    ASSERT_GT(heard.size(), platform_sound_buffer_bytes + 100000u);
    std::vector<uint8_t> expected = reference_song(rendered_bytes / 4);
    // The first round of the ring is the silence it started with; after that
    // every byte is the mixer's, in order.
    for (uint32_t i = 0; i < platform_sound_buffer_bytes; ++i)
        ASSERT_EQ(heard[i], 0) << "byte " << i;
    size_t compared = heard.size() - platform_sound_buffer_bytes;
    ASSERT_LE(compared, expected.size());
    EXPECT_EQ(0, std::memcmp(heard.data() + platform_sound_buffer_bytes, expected.data(), compared));
    // and the song is audible by then
    size_t loud = 0;
    for (size_t i = 0; i < compared; i += 2)
        loud += std::abs(int16_t(expected[i] | expected[i + 1] << 8)) > 1000;
    EXPECT_GT(loud, compared / 100);
}

TEST(Streaming, StoppedSongFillsSilenceAndRunsNoTick)
{
    platform_use(&platform_virtual_backend);
    virtual_reset();
    ASSERT_NE(sound_start(load_music()), 0u);
    virtual_advance_ms(500);
    uint16_t position = player_position(sound_output.player);
    for (int32_t v : sound_output.mix_buffer)
        ASSERT_EQ(v, 0);
    EXPECT_EQ(position, 0);
    sound_shutdown();
    sound_shutdown();  // a second shut-down releases nothing
    platform_use(&platform_sdl_backend);
}

}  // namespace
