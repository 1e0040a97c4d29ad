// The SDL backend's table of operations (SDL2).
#include "platform/backend.h"
#include "platform/sdl/sdl_parts.h"

const platform_backend platform_sdl_backend = {
    "sdl",
    sdl_window_create,
    sdl_poll_event,
    sdl_window_destroy,
    sdl_show_cursor,
    sdl_display_open,
    sdl_display_lock,
    sdl_display_unlock,
    sdl_display_flip,
    sdl_display_close,
    sdl_sound_open,
    sdl_sound_play_cursor,
    sdl_sound_buffer,
    sdl_sound_play,
    sdl_sound_close,
    sdl_sound_written,
    sdl_ticks_ms,
    sdl_sleep_ms,
    sdl_task_start,
    sdl_task_stop,
    sdl_largest_tick_gap_us,
    sdl_sound_output_latency_ms,
};
