// The show clock and the timer that carries music events to the frame loop (portable).
#pragma once

#include <cstdint>

#include "director/timeline.h"
#include "music/sound.h"
#include "platform/platform.h"

struct platform_task;

constexpr int clock_ring_size = 40;
constexpr uint32_t clock_timer_period_ms = 30;

// How long after the timer saw an event it is heard, on average, and so
// when it reaches the picture.  The streaming step fills the span of the
// ring the cursor has just passed, so what the mixer renders is heard one
// ring later (16,384 frames, 371 ms) than the cursor passed its place: on
// average half a streaming period before the step ran.  The timer sees the
// step's change on average half its own period after it.  The sound device
// adds what it keeps beyond the ring.
constexpr int32_t clock_release_delay(uint32_t timer_period_ms, uint32_t output_latency_ms)
{
    constexpr uint32_t ring_ms = platform_sound_buffer_bytes / 4 * 1000 / uint32_t(platform_sound_rate);
    return int32_t(ring_ms - sound_stream_period_ms / 2 - timer_period_ms / 2 + output_latency_ms);
}
// The delay with the show's timer and nothing beyond the ring: 346 ms.
constexpr int32_t clock_release_delay_ms = clock_release_delay(clock_timer_period_ms, 0);

struct sync_ring_entry {
    int32_t value;
    int32_t time;
    int32_t pending;  // set last by the timer, cleared by the frame loop
};

struct position_ring_entry {
    int32_t row;
    int32_t order;
    int32_t time;
    int32_t pending;
};

// Where the timer reads the song: its sync byte and its position word
// (order in the high byte, row in the low byte), as the player publishes them.
struct clock_source {
    uint8_t (*sync_value)();
    uint16_t (*position)();
};

// Everything the clock keeps; one instance, `show_clock`.  Fields shared
// between the timer thread and the main thread are accessed through
// std::atomic_ref in clock.cpp; the record itself stays plain so a test can
// reset it by assigning a fresh one.
struct clock_state {
    uint32_t start_tick = 0;
    int32_t elapsed_ms = 0;
    platform_task* timer_id = nullptr;
    clock_source source = {};
    int32_t release_delay_ms = clock_release_delay_ms;  // events reach the picture this much after the timer saw them
    // the two rings
    sync_ring_entry sync_ring[clock_ring_size] = {};
    int32_t sync_write = 0;
    position_ring_entry position_ring[clock_ring_size] = {};
    int32_t position_write = 0;
    // the timer's memory
    int32_t last_sync_value = 0;
    int32_t last_position_word = 0;
    // What the frame loop hands the timeline: the released position and sync event.
    music_position music = {};
};

extern clock_state show_clock;

// Starts the clock and the periodic timer (every `delay` ms; the resolution
// is the platform's) reading `source`, and sets the release delay for that
// period and the sound device's latency.  Called once, after the song has
// been started.
void start_timer(uint32_t delay, uint32_t resolution, clock_source source);
// Stops the timer; the clock keeps its last value.
void stop_timer();

// Once per frame, first: the clock, then at most one due sync event and every
// due position change (the latest wins) into show_clock.music.
void update_clock();
// The same with the clock's new value given (the tests drive it directly).
void clock_advance(int32_t now);

// One tick of the timer: samples the player's sync byte and position word.
void timer_callback();
// The body of a tick with the two values and the clock's time given (the
// tests drive it directly).  The tick reads the time itself rather than the
// frame loop's last value, which can be a frame old.
void timer_sample(uint8_t sync, uint16_t position_word, int32_t now);
