// The virtual sound ring: its play cursor follows the virtual clock, what it has played goes to a sink (portable).
#include "platform/virtual/virtual_parts.h"

#include <algorithm>
#include <cstring>

bool virtual_sound_open(bool* silent)
{
    std::memset(virtual_world.sound_ring, 0, sizeof virtual_world.sound_ring);
    virtual_world.sound_open = true;
    virtual_world.sound_playing = false;
    *silent = false;
    return true;
}

uint32_t virtual_sound_play_cursor()
{
    return virtual_world.sound_playing ? platform_sound_cursor_after_ms(virtual_world.now_ms - virtual_world.sound_start_ms) : 0;
}

uint8_t* virtual_sound_buffer()
{
    return virtual_world.sound_ring;
}

void virtual_sound_play()
{
    if (!virtual_world.sound_open || virtual_world.sound_playing)
        return;
    virtual_world.sound_playing = true;
    virtual_world.sound_start_ms = virtual_world.now_ms;
}

void virtual_sound_close()
{
    virtual_world.sound_open = false;
    virtual_world.sound_playing = false;
}

void virtual_hear_played_sound()
{
    if (!virtual_world.sound_sink || !virtual_world.sound_playing)
        return;
    uint64_t frames = (virtual_world.now_ms - virtual_world.sound_start_ms) * platform_sound_rate / 1000;
    uint64_t played = frames * 4;
    while (virtual_world.sound_bytes_heard < played) {
        uint32_t offset = uint32_t(virtual_world.sound_bytes_heard % platform_sound_buffer_bytes);
        uint64_t span = std::min<uint64_t>(played - virtual_world.sound_bytes_heard, platform_sound_buffer_bytes - offset);
        virtual_world.sound_sink(virtual_world.sound_ring + offset, uint32_t(span), virtual_world.sound_sink_user);
        virtual_world.sound_bytes_heard += span;
    }
}

void virtual_set_sound_sink(virtual_sound_sink sink, void* user)
{
    virtual_world.sound_sink = sink;
    virtual_world.sound_sink_user = user;
}
