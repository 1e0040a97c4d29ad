// The virtual backend: the platform with no window and no real time.  The
// display is memory whose flipped frames go to a sink, the clock moves only
// when told, and periodic tasks run from virtual_advance_ms (portable).
#include "platform/backend.h"
#include "platform/virtual/virtual_parts.h"

virtual_state virtual_world;

const platform_backend platform_virtual_backend = {
    "virtual",
    virtual_window_create,
    virtual_poll_event,
    virtual_window_destroy,
    virtual_show_cursor,
    virtual_display_open,
    virtual_display_lock,
    virtual_display_unlock,
    virtual_display_flip,
    virtual_display_close,
    virtual_sound_open,
    virtual_sound_play_cursor,
    virtual_sound_buffer,
    virtual_sound_play,
    virtual_sound_close,
    nullptr,  // the ring is read on the same thread
    virtual_ticks_ms,
    virtual_sleep_ms,
    virtual_task_start,
    virtual_task_stop,
    nullptr,  // virtual ticks come exactly on time
    nullptr,  // what the ring plays is heard at once
};

void virtual_reset()
{
    uint8_t* back_buffer = virtual_world.back_buffer;  // kept for the next open
    int back_buffer_bytes = virtual_world.back_buffer_bytes;
    virtual_world = virtual_state{};
    virtual_world.back_buffer = back_buffer;
    virtual_world.back_buffer_bytes = back_buffer_bytes;
}
