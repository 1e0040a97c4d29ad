// The sound side: the stored song into the music image, and the streaming step that keeps the ring filled (portable).
#include "music/sound.h"

#include <cstdio>
#include <cstring>

#include "data/blocks.h"
#include "music/codec.h"
#include "music/mixer.h"
#include "music/module.h"
#include "platform/platform.h"

sound_output_record sound_output;

uint8_t* load_music()
{
    // Made once: playing reads the image, and preparing it again leaves it
    // as it is, so a second run (the page's "play again") plays the same.
    static uint8_t* image = nullptr;
    if (image)
        return image;
    uint32_t module_size = uint32_t(embedded_song_mxm_size);
    image = build_music_image(embedded_song_mxm, module_size, nullptr, nullptr);
    decode_sample_stream(&codec_work, embedded_song_sbc, reinterpret_cast<int8_t*>(image + module_size));
    return image;
}

uint32_t sound_start(uint8_t* image)
{
    sound_output.thread = nullptr;
    sound_output.play_cursor = 0;
    sound_output.write_position = 0;
    player_init(sound_output.player, image);
    if (!platform_sound_open(&sound_output.silent))
        return 0;
    std::memset(platform_sound_buffer(), 0, platform_sound_buffer_bytes);
    platform_sound_play();
    sound_output.thread = platform_task_start(stream_thread, sound_stream_period_ms, true);
    if (!sound_output.thread) {
        sound_shutdown();
        return 0;
    }
    return ~0u;
}

void sound_shutdown()
{
    if (sound_output.thread && !platform_task_stop(sound_output.thread, 1000)) {
        // The step is still running and writes into the ring: leave it open.
        platform_debug_string("oddball: the sound thread did not stop in time");
        sound_output.thread = nullptr;
        return;
    }
    sound_output.thread = nullptr;
    platform_sound_close();
}

void stream_thread()
{
    sound_output_record& s = sound_output;
    s.play_cursor = platform_sound_play_cursor();
    uint32_t now = s.play_cursor & ~31u;
    int32_t bytes = int32_t(now) - int32_t(s.write_position);
    if (bytes < 0)
        bytes += int32_t(platform_sound_buffer_bytes);
    uint32_t offset = s.write_position;
    s.write_position = now;

    // The played span, split where the ring wraps.
    uint8_t* ring = platform_sound_buffer();
    uint32_t first = uint32_t(bytes);
    if (offset + first > platform_sound_buffer_bytes)
        first = platform_sound_buffer_bytes - offset;
    uint32_t second = uint32_t(bytes) - first;

    mixer_render(s.player, uint32_t(bytes) / 4, s.mix_buffer);
    if (first)
        convert_to_pcm16(s.mix_buffer, reinterpret_cast<int16_t*>(ring + offset), first);
    if (second)
        convert_to_pcm16(s.mix_buffer + first / 2, reinterpret_cast<int16_t*>(ring), second);
    platform_sound_written();
}
