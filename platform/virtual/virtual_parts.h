// The pieces of the virtual backend, one file per kind, gathered into its table by virtual_backend.cpp (portable).
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "platform/virtual/virtual_controls.h"

struct platform_task {
    platform_tick_fn tick = nullptr;
    uint32_t period_ms = 0;
    uint64_t due_ms = 0;
    uint32_t start_order = 0;  // breaks ties between tasks due at the same time
    bool active = false;
};

constexpr int virtual_task_count = 8;
constexpr int virtual_event_queue_size = 64;

// Everything the virtual platform holds: one instance, `virtual_world`,
// back to its start at virtual_reset.
struct virtual_state {
    uint64_t now_ms = 0;  // 64-bit inside so the scheduler never wraps; the tick clock does
    bool window = false;
    bool cursor_visible = true;
    platform_event events[virtual_event_queue_size] = {};
    int event_first = 0;
    int event_count = 0;
    platform_display_mode mode = {};
    bool display_open = false;
    bool locked = false;
    int extra_pitch = 0;
    uint8_t* back_buffer = nullptr;  // kept from the first open on, sized for the largest picture
    int back_buffer_bytes = 0;
    uint32_t frames_flipped = 0;
    virtual_frame_sink sink = nullptr;
    void* sink_user = nullptr;
    virtual_faults faults = {};
    alignas(16) uint8_t sound_ring[platform_sound_buffer_bytes] = {};  // written as 16-bit samples
    bool sound_open = false;
    bool sound_playing = false;
    uint64_t sound_start_ms = 0;
    platform_task tasks[virtual_task_count] = {};
    uint32_t tasks_started = 0;
    // frame pacing: after each flip the clock moves to the next frame's time
    uint32_t frames_per_second = 0;
    uint64_t paced_frames = 0;
    uint64_t pace_base_ms = 0;
    // what the ring has played, handed on before anything overwrites it
    virtual_sound_sink sound_sink = nullptr;
    void* sound_sink_user = nullptr;
    uint64_t sound_bytes_heard = 0;
};
extern virtual_state virtual_world;

// virtual_display.cpp: window, events, display
bool virtual_window_create(const char* title);
platform_event virtual_poll_event();
void virtual_window_destroy();
void virtual_show_cursor(bool visible);
bool virtual_display_open(const platform_display_mode& mode, char* why, int why_size);
bool virtual_display_lock(uint8_t** pixels, int* pitch);
bool virtual_display_unlock();
bool virtual_display_flip();
void virtual_display_close();

// virtual_sound.cpp: the ring, played by the virtual clock
bool virtual_sound_open(bool* silent);
uint32_t virtual_sound_play_cursor();
uint8_t* virtual_sound_buffer();
void virtual_sound_play();
void virtual_sound_close();
// Hands the bytes the ring has played up to now to the sound sink, before
// a task (the streaming step) can write over them.
void virtual_hear_played_sound();

// virtual_tasks.cpp: the virtual clock and its scheduler
uint32_t virtual_ticks_ms();
void virtual_sleep_ms(uint32_t ms);
platform_task* virtual_task_start(platform_tick_fn tick, uint32_t period_ms, bool high_priority);
bool virtual_task_stop(platform_task* task, uint32_t timeout_ms);
