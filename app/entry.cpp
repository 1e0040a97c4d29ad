// The program's spine: start-up, the frame loop and shut-down in their fixed
// order, the window procedure and the one-event pump (portable).
#include "app/entry.h"

#include "app/clock.h"
#include "app/display.h"
#include "base/format.h"
#include "base/frame.h"
#include "director/precalc.h"
#include "director/timeline.h"
#include "music/player.h"
#include "music/sound.h"

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

bool song_has_come_round(int32_t previous_word, int32_t order, int32_t row)
{
    // The song only ever moves forward, but for its return to the start.
    return (order << 8 | row) < previous_word;
}

namespace {
uint32_t loop_start_ms = 0;
int32_t previous_position = 0;
}  // namespace

int program_start()
{
    // Every run starts from a fresh clock and director (the browser's "play
    // again" starts more than once), the song's position at its start.
    quit_requested = 0;
    show_clock = clock_state{};
    director = director_state{};
    // The window; a window that could not be made shows up as a display that cannot be set up.
    platform_window_create(window_text);
    // The song is unpacked and the sound side starts, mixing silence until the song starts.
    // Without its streaming step the song would never move and the show never
    // end: say so and stop (no sound device is not this: a silent ring plays).
    if (!sound_start(load_music())) {
        platform_window_destroy();
        report_error("oddball: the sound could not be started");
        return 1;
    }
    // The display; on failure straight to its release and the sound's shut-down.
    if (display_setup(screen_width, screen_height) != 0) {
        display_release();
        sound_shutdown();
        platform_window_destroy();
        report_error("oddball: the display could not be set up: %s", display.failure);
        return 1;
    }
    // The cursor hides over the show.
    platform_show_cursor(false);
    // Every texture, table, mesh and caption, timed for the statistics.
    uint64_t precalc_start = platform_real_time_us();
    precalc_all();
    uint64_t precalc_us = platform_real_time_us() - precalc_start;
    // The song and the show clock start together.
    player_start(sound_output.player, 0);
    const clock_source song = {[] { return player_sync_value(sound_output.player); },
                               [] { return player_position(sound_output.player); }};
    start_timer(clock_timer_period_ms, 1, song);

    // The frame loop, free-running: only the flip's wait paces it.
    loop_stats = {};
    loop_stats.precalc_us = precalc_us;
    loop_start_ms = platform_ticks_ms();
    previous_position = 0;
    return 0;
}

void program_frame()
{
    update_clock();
    timeline_frame(show_clock.elapsed_ms, show_clock.music, display_frame_buffer());
    display_present();
    ++loop_stats.frames;
    loop_stats.last_frame_ms = uint32_t(show_clock.elapsed_ms);
    // At a few frames per second the rows 62 and 63 of order 27 can both
    // fall between two frames; the song's return to its start then ends
    // the show instead of letting it play again.
    int32_t order = show_clock.music.music_order, row = show_clock.music.music_row;
    if (show_has_ended(order, row) || song_has_come_round(previous_position, order, row))
        quit_requested = 1;
    previous_position = order << 8 | row;
    pump_one_message();
}

void program_finish()
{
    loop_stats.milliseconds = platform_ticks_ms() - loop_start_ms;

    // The timer and the song stop, and the cursor comes back.
    stop_timer();
    player_stop(sound_output.player);
    platform_show_cursor(true);
    // The display mode goes back to the desktop's.
    display_release();
    // The streaming thread ends, then the sound device is released.
    sound_shutdown();
    // The window goes with the process; closing it here gives the desktop back at once.
    platform_window_destroy();
}

int program_entry()
{
    if (int status = program_start())
        return status;
    while (!quit_requested)
        program_frame();
    program_finish();
    return 0;
}
