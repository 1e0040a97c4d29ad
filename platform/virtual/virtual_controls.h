// The virtual backend's own controls: where flipped frames and played sound go, the virtual clock and its scheduler, queued window events, faults for tests (portable).
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Where flipped frames go, the virtual clock and its scheduler, queued
// window events, and faults for tests (no window and no real time).

// One flipped frame: `height` rows of `pitch` bytes in the display's format.
struct virtual_frame {
    const uint8_t* pixels;
    int pitch;
    int width;
    int height;
    int depth;
    uint32_t time_ms;  // the virtual clock when it was flipped
};
// Receives every flipped frame (a hash, a PNG writer, a video encoder).
using virtual_frame_sink = void (*)(const virtual_frame& frame, void* user);

// Things the tests make fail on purpose.
struct virtual_faults {
    bool window = false;   // platform_window_create fails
    bool open = false;     // platform_display_open fails
    bool lock = false;     // every lock fails
    bool unlock = false;   // every unlock fails
    bool flip = false;     // every flip fails
    bool tasks = false;    // every task start fails
};

// Back to the start: clock 0, no display, no tasks, no events, no faults, no sink.
void virtual_reset();
void virtual_set_frame_sink(virtual_frame_sink sink, void* user);
// Rows of the back buffer are this many bytes longer than the picture needs.
void virtual_set_extra_pitch(int bytes);
void virtual_set_faults(const virtual_faults& faults);
// Queues an event for platform_poll_event (at most 64 wait).
void virtual_push_event(platform_event event);

// The mode of the open display (all zero when none is open).
platform_display_mode virtual_display_mode();
uint32_t virtual_frames_flipped();
bool virtual_cursor_visible();

// With a rate set, every flip moves the clock on to the next frame's time
// (frame k at k x 1000 / fps ms after the rate was set), so the show runs
// at a fixed frame rate in virtual time.  0 (the default) leaves it alone.
void virtual_set_frame_rate(uint32_t frames_per_second);

// Receives the bytes of the sound ring as they are played (16-bit stereo at
// 44,100 Hz), in order, before anything can write over them.
using virtual_sound_sink = void (*)(const uint8_t* bytes, uint32_t count, void* user);
void virtual_set_sound_sink(virtual_sound_sink sink, void* user);

// Moves the virtual clock on by `ms`, running every task that falls due on
// the way at its due time, earliest first (ties in the order they started).
void virtual_advance_ms(uint32_t ms);
uint32_t virtual_now_ms();

