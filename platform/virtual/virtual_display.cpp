// The virtual display: memory whose flipped frames go to a sink, a window that is only a flag, queued events (portable).
#include "platform/virtual/virtual_parts.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int pitch_of(const platform_display_mode& mode)
{
    return mode.width * platform_bytes_per_pixel(mode.depth) + virtual_world.extra_pitch;
}

}  // namespace

bool virtual_window_create(const char*)
{
    virtual_world.window = !virtual_world.faults.window;
    return virtual_world.window;
}

platform_event virtual_poll_event()
{
    if (virtual_world.event_count == 0)
        return platform_event::none;
    platform_event event = virtual_world.events[virtual_world.event_first];
    virtual_world.event_first = (virtual_world.event_first + 1) % virtual_event_queue_size;
    --virtual_world.event_count;
    return event;
}

void virtual_window_destroy()
{
    virtual_world.window = false;
}

void virtual_show_cursor(bool visible)
{
    virtual_world.cursor_visible = visible;
}

bool virtual_display_open(const platform_display_mode& mode, char* why, int why_size)
{
    const char* problem = nullptr;
    if (!virtual_world.window)
        problem = "no window";
    else if (virtual_world.faults.open)
        problem = "the virtual display was told to fail";
    else if (mode.depth != 15 && mode.depth != 16 && mode.depth != 24 && mode.depth != 32)
        problem = "no such depth";
    else if (mode.width <= 0 || mode.height <= 0 || mode.width > 640 || mode.height > 480)
        problem = "no such size";
    if (problem) {
        why[0] = 0;
        std::strncat(why, problem, size_t(why_size) - 1);
        return false;
    }
    int bytes = (640 * 4 + virtual_world.extra_pitch) * 480;  // the largest picture at the deepest depth
    if (bytes > virtual_world.back_buffer_bytes) {
        std::free(virtual_world.back_buffer);
        virtual_world.back_buffer = static_cast<uint8_t*>(std::malloc(size_t(bytes)));
        if (!virtual_world.back_buffer) {
            std::fputs("oddball: out of memory for the virtual display\n", stderr);
            std::exit(1);
        }
        virtual_world.back_buffer_bytes = bytes;
    }
    std::memset(virtual_world.back_buffer, 0, size_t(virtual_world.back_buffer_bytes));
    virtual_world.mode = mode;
    virtual_world.display_open = true;
    return true;
}

bool virtual_display_lock(uint8_t** pixels, int* pitch)
{
    if (!virtual_world.display_open || virtual_world.faults.lock || virtual_world.locked)
        return false;
    virtual_world.locked = true;
    *pixels = virtual_world.back_buffer;
    *pitch = pitch_of(virtual_world.mode);
    return true;
}

bool virtual_display_unlock()
{
    bool was_locked = virtual_world.locked;
    virtual_world.locked = false;
    return was_locked && !virtual_world.faults.unlock;
}

bool virtual_display_flip()
{
    if (!virtual_world.display_open || virtual_world.faults.flip)
        return false;
    ++virtual_world.frames_flipped;
    if (virtual_world.sink) {
        virtual_frame frame = {virtual_world.back_buffer, pitch_of(virtual_world.mode), virtual_world.mode.width, virtual_world.mode.height,
                               virtual_world.mode.depth, uint32_t(virtual_world.now_ms)};
        virtual_world.sink(frame, virtual_world.sink_user);
    }
    if (virtual_world.frames_per_second) {
        // Frame k is shown at k x 1000 / fps ms (whole ms, rounded down).
        ++virtual_world.paced_frames;
        uint64_t next = virtual_world.pace_base_ms + virtual_world.paced_frames * 1000 / virtual_world.frames_per_second;
        if (next > virtual_world.now_ms)
            virtual_advance_ms(uint32_t(next - virtual_world.now_ms));
    }
    return true;
}

void virtual_display_close()
{
    virtual_world.display_open = false;
    virtual_world.locked = false;
    virtual_world.mode = {};
}

void virtual_set_frame_sink(virtual_frame_sink sink, void* user)
{
    virtual_world.sink = sink;
    virtual_world.sink_user = user;
}

void virtual_set_extra_pitch(int bytes)
{
    virtual_world.extra_pitch = bytes > 0 ? bytes : 0;
}

void virtual_set_faults(const virtual_faults& faults)
{
    virtual_world.faults = faults;
}

void virtual_push_event(platform_event event)
{
    if (virtual_world.event_count == virtual_event_queue_size)
        return;
    virtual_world.events[(virtual_world.event_first + virtual_world.event_count) % virtual_event_queue_size] = event;
    ++virtual_world.event_count;
}

platform_display_mode virtual_display_mode()
{
    return virtual_world.mode;
}

uint32_t virtual_frames_flipped()
{
    return virtual_world.frames_flipped;
}

bool virtual_cursor_visible()
{
    return virtual_world.cursor_visible;
}

void virtual_set_frame_rate(uint32_t frames_per_second)
{
    virtual_world.frames_per_second = frames_per_second;
    virtual_world.paced_frames = 0;
    virtual_world.pace_base_ms = virtual_world.now_ms;
}
