// The Win32 backend's table of operations.
#include "platform/backend.h"
#include "platform/win32/win32_parts.h"

const platform_backend platform_win32_backend = {
    "win32",
    win32_window_create,
    win32_poll_event,
    win32_window_destroy,
    win32_show_cursor,
    win32_display_open,
    win32_display_lock,
    win32_display_unlock,
    win32_display_flip,
    win32_display_close,
    win32_sound_open,
    win32_sound_play_cursor,
    win32_sound_buffer,
    win32_sound_play,
    win32_sound_close,
    win32_sound_flush,  // the step's bytes to the device at once: it may take them faster than real time
    win32_ticks_ms,
    win32_sleep_ms,
    win32_task_start,
    win32_task_stop,
    win32_largest_tick_gap_us,
    nullptr,  // DirectSound plays the ring itself
};
