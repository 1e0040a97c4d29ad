// The pieces of the browser backend, one file per kind, gathered into its table by web_backend.cpp (emscripten).
#pragma once

#include <cstdint>

#include "platform/platform.h"

struct platform_task {
    platform_tick_fn tick = nullptr;
    uint32_t period_ms = 0;
    double due_ms = 0;
    double last_start_ms = 0;
    bool high_priority = false;
    bool active = false;
};

constexpr int web_task_count = 8;
constexpr int web_event_queue_size = 64;

// Everything the page's side of the platform holds; one instance, `web_world`.
struct web_state {
    platform_event events[web_event_queue_size] = {};
    int event_first = 0;
    int event_count = 0;
    platform_display_mode mode = {};
    uint8_t* back_buffer = nullptr;  // 640 x 480 x 4 at most, kept from the first open on
    bool display_open = false;
    alignas(16) uint8_t sound_ring[platform_sound_buffer_bytes] = {};
    bool sound_open = false;
    bool sound_silent = false;
    bool sound_playing = false;
    bool ring_started = false;  // the worklet has had the ring's first round
    double frames_before = 0;   // the worklet's count when the ring started
    double moved_ms = 0;             // when the cursor last moved on
    double silent_since_ms = 0;      // silent: the cursor runs in real time from here
    uint64_t silent_from_bytes = 0;  // and from this many bytes
    uint64_t cursor_bytes = 0;  // how far the ring has played, in bytes since it started
    uint64_t sent_bytes = 0;    // how far the worklet has been given the ring's bytes
    platform_task tasks[web_task_count] = {};
    uint64_t largest_gap_us = 0;
};
extern web_state web_world;

// web_display.cpp: window, events, the canvas
bool web_window_create(const char* title);
platform_event web_poll_event();
void web_window_destroy();
void web_show_cursor(bool visible);
bool web_display_open(const platform_display_mode& mode, char* why, int why_size);
bool web_display_lock(uint8_t** pixels, int* pitch);
bool web_display_unlock();
bool web_display_flip();
void web_display_close();

// web_sound.cpp: the ring, handed to the worklet
bool web_sound_open(bool* silent);
uint32_t web_sound_play_cursor();
uint8_t* web_sound_buffer();
void web_sound_play();
void web_sound_close();
// The audio context's own delay before the speakers (0 when silent).
uint32_t web_sound_output_latency_ms();
// Gives the worklet every byte of the ring that is final.
void web_feed_sound();

// web_tasks.cpp: the page's clock and the tasks its timers run
double web_now_ms();
uint32_t web_ticks_ms();
void web_sleep_ms(uint32_t ms);
platform_task* web_task_start(platform_tick_fn tick, uint32_t period_ms, bool high_priority);
bool web_task_stop(platform_task* task, uint32_t timeout_ms);
uint64_t web_largest_tick_gap_us();
