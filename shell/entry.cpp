// The program's spine: start-up, the frame loop and shut-down in their fixed
// order, the window procedure and the one-event pump (portable).
#include "shell/entry.h"

#include <cstdio>

#include "director/precalc.h"
#include "shell/clock.h"
#include "shell/display.h"

int32_t quit_requested = 0;
frame_loop_stats loop_stats;

namespace {
const char window_text[] = "oddball";  // class name, menu name and title in one
}

void window_proc(platform_event event)
{
    switch (event) {
    case platform_event::close:
    case platform_event::key_escape:
        quit_requested = 1;
        break;
    default:
        break;  // other keys and messages: the window system's default handling
    }
}

void pump_one_message()
{
    platform_event event = platform_poll_event();
    if (event != platform_event::none)
        window_proc(event);
}

bool show_has_ended(int32_t order, int32_t row)
{
    return order == 27 && row > 61;
}

int program_entry()
{
    // 1. The window; a window that could not be made shows up as a display that cannot be set up.
    platform_window_create(window_text);
    // 2. music_image = load_music();
    // 3. sound_start(music_image);
    // 4. The display; on failure straight to its release and the sound's shut-down.
    if (display_setup(screen_width, screen_height) != 0) {
        display_release();
        // sound_shutdown();
        platform_window_destroy();
        std::fprintf(stderr, "oddball: the display could not be set up: %s\n", display.failure);
        return 1;
    }
    // 5.
    platform_show_cursor(false);
    // 6.
    precalc_all();
    // 7. player_start(0);
    // 8. start_timer(30, 1);

    // 9. The frame loop, free-running: only the flip's wait paces it.
    loop_stats = {};
    uint32_t loop_start_ms = platform_ticks_ms();
    while (!quit_requested) {
        // update_clock();
        // timeline_frame(elapsed_ms, screen_image);
        display_present();
        ++loop_stats.frames;
        if (show_has_ended(music_order, music_row))
            quit_requested = 1;
        pump_one_message();
    }
    loop_stats.milliseconds = platform_ticks_ms() - loop_start_ms;

    // 10. the timer is killed; player_stop();
    platform_show_cursor(true);
    // 11.
    display_release();
    // 12. sound_shutdown();
    // 13. The window goes with the process; closing it here gives the desktop back at once.
    platform_window_destroy();
    return 0;
}
