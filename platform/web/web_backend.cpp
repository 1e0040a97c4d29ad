// The browser backend: the frame goes to the page's canvas, the sound ring
// to an AudioWorklet through messages, the clock is the page's, and the
// periodic tasks run from the page's timers and the worklet's reports
// (emscripten; the JavaScript half is in page.js).

#include <emscripten.h>

#include "platform/backend.h"
#include "platform/web/web_controls.h"
#include "platform/web/web_parts.h"

// clang-format off
EM_JS(void, page_ready, (), { ob.ready(); });
// clang-format on

web_state web_world;

const platform_backend platform_web_backend = {
    "web",
    web_window_create,
    web_poll_event,
    web_window_destroy,
    web_show_cursor,
    web_display_open,
    web_display_lock,
    web_display_unlock,
    web_display_flip,
    web_display_close,
    web_sound_open,
    web_sound_play_cursor,
    web_sound_buffer,
    web_sound_play,
    web_sound_close,
    nullptr,  // one thread: the worklet is handed copies
    web_ticks_ms,
    web_sleep_ms,
    web_task_start,
    web_task_stop,
    web_largest_tick_gap_us,
    web_sound_output_latency_ms,
};

void web_page_ready()
{
    page_ready();
}
