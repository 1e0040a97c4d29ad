// Calls the chosen platform backend; the few things every backend shares (portable).
#include <chrono>
#include "platform/platform.h"

#include <cstdio>

#include "platform/backend.h"

#ifdef _WIN32
#include <windows.h>  // OutputDebugStringA
#endif

namespace {
#if defined(_WIN32)
const platform_backend* active = &platform_win32_backend;
#elif defined(__EMSCRIPTEN__)
// The browser build has no SDL backend; the page's entry points choose theirs first.
const platform_backend* active = nullptr;
#else
const platform_backend* active = &platform_sdl_backend;
#endif
}

void platform_use(const platform_backend* backend)
{
    active = backend;
}

bool platform_window_create(const char* title) { return active->window_create(title); }
platform_event platform_poll_event() { return active->poll_event(); }
void platform_window_destroy() { active->window_destroy(); }
void platform_show_cursor(bool visible) { active->show_cursor(visible); }

bool platform_display_open(const platform_display_mode& mode, char* why, int why_size)
{
    return active->display_open(mode, why, why_size);
}
bool platform_display_lock(uint8_t** pixels, int* pitch) { return active->display_lock(pixels, pitch); }
bool platform_display_unlock() { return active->display_unlock(); }
bool platform_display_flip() { return active->display_flip(); }
void platform_display_close() { active->display_close(); }

bool platform_sound_open(bool* silent) { return active->sound_open(silent); }
uint32_t platform_sound_play_cursor() { return active->sound_play_cursor(); }
uint8_t* platform_sound_buffer() { return active->sound_buffer(); }
void platform_sound_play() { active->sound_play(); }
void platform_sound_close() { active->sound_close(); }
void platform_sound_written()
{
    if (active->sound_written)
        active->sound_written();
}

uint32_t platform_sound_output_latency_ms()
{
    return active->sound_output_latency_ms ? active->sound_output_latency_ms() : 0;
}

uint32_t platform_sound_cursor_after_ms(uint64_t ms)
{
    uint64_t frames = ms * platform_sound_rate / 1000;
    return static_cast<uint32_t>((frames * 4) % platform_sound_buffer_bytes);
}

uint32_t platform_ticks_ms() { return active->ticks_ms(); }
void platform_sleep_ms(uint32_t ms) { active->sleep_ms(ms); }

platform_task* platform_task_start(platform_tick_fn tick, uint32_t period_ms, bool high_priority)
{
    return active->task_start(tick, period_ms, high_priority);
}
bool platform_task_stop(platform_task* task, uint32_t timeout_ms)
{
    return task ? active->task_stop(task, timeout_ms) : true;
}

uint64_t platform_largest_tick_gap_us()
{
    return active->largest_tick_gap_us ? active->largest_tick_gap_us() : 0;
}

uint64_t platform_real_time_us()
{
    return uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

void platform_debug_string(const char* text)
{
#ifdef _WIN32
    OutputDebugStringA(text);
#endif
    std::fputs(text, stderr);
    std::fputc('\n', stderr);
}
