// The table of operations a platform backend fills in; platform.cpp calls
// through the one chosen with platform_use (portable).
#pragma once

#include "platform/platform.h"

struct platform_backend {
    const char* name;
    bool (*window_create)(const char* title);
    platform_event (*poll_event)();
    void (*window_destroy)();
    void (*show_cursor)(bool visible);
    bool (*display_open)(const platform_display_mode& mode, char* why, int why_size);
    bool (*display_lock)(uint8_t** pixels, int* pitch);
    bool (*display_unlock)();
    bool (*display_flip)();
    void (*display_close)();
    bool (*sound_open)(bool* silent);
    uint32_t (*sound_play_cursor)();
    uint8_t* (*sound_buffer)();
    void (*sound_play)();
    void (*sound_close)();
    void (*sound_written)();  // null: nothing to hand on
    uint32_t (*ticks_ms)();
    void (*sleep_ms)(uint32_t ms);
    platform_task* (*task_start)(platform_tick_fn tick, uint32_t period_ms, bool high_priority);
    bool (*task_stop)(platform_task* task, uint32_t timeout_ms);
    uint64_t (*largest_tick_gap_us)();  // null: the backend does not measure it
    uint32_t (*sound_output_latency_ms)();  // null: nothing is queued beyond the ring
};
