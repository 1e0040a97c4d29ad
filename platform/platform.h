// What the show expects of the operating system: window, display, sound,
// time, periodic tasks and debug strings: the one seam between the show and
// its backends, `sdl` (the real thing on Linux), `win32` (the Windows
// program), `web` (a browser page) and `virtual` (deterministic, no real
// time), whose own controls close this header.  Portable code calls only these functions; platform_use picks the
// backend (sdl until told otherwise).
#pragma once

#include <cstdint>

// ---- window ---------------------------------------------------------------

enum class platform_event {
    none,        // nothing waiting
    close,       // the window system asks the window to close
    key_escape,  // Escape went down
    key_other,   // any other key went down
    other,       // anything else (expose, focus, ...)
};

// Creates the show's one window (not yet visible).  False on failure; the
// backend keeps the reason and gives it when the display cannot be opened.
bool platform_window_create(const char* title);
// Takes at most one event off the queue without waiting.
platform_event platform_poll_event();
void platform_window_destroy();
void platform_show_cursor(bool visible);

// ---- display --------------------------------------------------------------

struct platform_display_mode {
    int width;        // the picture: 320 x 240, or 640 x 480 at scale 2
    int height;
    int depth;        // 15 (RGB555), 16 (RGB565), 24 (RGB24) or 32 (XRGB8888)
    bool fullscreen;  // desktop mode with the picture scaled up keeping 4:3
};

// Bytes one pixel takes in the back buffer at `depth` (15 and 16 take 2).
inline int platform_bytes_per_pixel(int depth)
{
    return depth == 32 ? 4 : depth == 24 ? 3 : 2;
}

// Switches to the mode; on failure returns false and says why in `why`.
bool platform_display_open(const platform_display_mode& mode, char* why, int why_size);
// Gives the back buffer's memory (mode.height rows, each `pitch` bytes long,
// pitch >= width x bytes per pixel) until unlock.
bool platform_display_lock(uint8_t** pixels, int* pitch);
bool platform_display_unlock();
// Shows the back buffer, waiting for the display.
bool platform_display_flip();
// Leaves the mode; does nothing when no display is open.
void platform_display_close();

// ---- sound ----------------------------------------------------------------

// A looping buffer that plays at 44,100 Hz, 16-bit stereo (4 bytes a frame).
constexpr uint32_t platform_sound_buffer_bytes = 65536;
constexpr int platform_sound_rate = 44100;

// Opens the buffer (silent, not yet playing).  Where no sound device can be
// had, a silent device takes its place whose play cursor still runs in real
// time; `silent` then says so.  False only when not even that works.
bool platform_sound_open(bool* silent);
// Byte offset (0..65,535, a multiple of 4) up to which the ring has been
// played; the bytes behind it are free for the next round.
uint32_t platform_sound_play_cursor();
// Direct access to the ring's bytes (aligned for 16-bit samples); the
// caller writes spans that have played.
uint8_t* platform_sound_buffer();
// Starts playing from offset 0, looping.
void platform_sound_play();
void platform_sound_close();
// Milliseconds from the moment the play cursor passes a byte until it is
// heard, as far as the backend knows: the sound device's own buffer beyond
// the ring (0 where it keeps none, as DirectSound's ring is played directly,
// and on the silent and virtual devices).  Asked once the sound plays.
uint32_t platform_sound_output_latency_ms();

// The play cursor of a ring that has played for `ms` milliseconds: whole
// frames, wrapping at the ring's size.  The silent and virtual devices use it.
uint32_t platform_sound_cursor_after_ms(uint64_t ms);

// ---- time and tasks -------------------------------------------------------

// Milliseconds since some fixed moment; wraps at 2^32.
uint32_t platform_ticks_ms();
void platform_sleep_ms(uint32_t ms);

// A task runs `tick` every `period_ms` on a thread of its own (at high
// priority when asked) until it is stopped.  The virtual backend runs it
// from its scheduler instead, in virtual time.
struct platform_task;
using platform_tick_fn = void (*)();
// Null when no task can be started.
platform_task* platform_task_start(platform_tick_fn tick, uint32_t period_ms, bool high_priority);
// Asks the task to stop and waits at most `timeout_ms` for its last tick to
// end.  True when it has ended; a task that has not is never freed, so the
// still-running tick finds everything it uses.  Null is allowed.
bool platform_task_stop(platform_task* task, uint32_t timeout_ms);

// The longest time between the starts of two consecutive ticks of a
// high-priority task so far, in microseconds (0 before two ticks, and on
// backends without real time): how late the streaming step ran at worst.
// For reports only.
uint64_t platform_largest_tick_gap_us();

// Microseconds of real time since some fixed moment, whatever the backend:
// for reports of how long work took, never for the show's timing.
uint64_t platform_real_time_us();

// ---- debug ----------------------------------------------------------------

// One line for whoever is watching (standard error).
void platform_debug_string(const char* text);

// ---- backends -------------------------------------------------------------

struct platform_backend;
extern const platform_backend platform_sdl_backend;
extern const platform_backend platform_virtual_backend;
extern const platform_backend platform_web_backend;  // the browser page's (emscripten builds only)
extern const platform_backend platform_win32_backend;  // the Windows program only
void platform_use(const platform_backend* backend);

// ---- the virtual backend's own controls ---------------------------------
// Where flipped frames go, the virtual clock and its scheduler, queued
// window events, and faults for tests (no window and no real time).

// One flipped frame: `height` rows of `pitch` bytes in the display's format.
struct virtual_frame {
    const uint8_t* pixels;
    int pitch;
    int width;
    int height;
    int depth;
    uint32_t time_ms;  // the virtual clock when it was flipped
};
// Receives every flipped frame (a hash, a PNG writer, a video encoder).
using virtual_frame_sink = void (*)(const virtual_frame& frame, void* user);

// Things the tests make fail on purpose.
struct virtual_faults {
    bool window = false;   // platform_window_create fails
    bool open = false;     // platform_display_open fails
    bool lock = false;     // every lock fails
    bool unlock = false;   // every unlock fails
    bool flip = false;     // every flip fails
};

// Back to the start: clock 0, no display, no tasks, no events, no faults, no sink.
void virtual_reset();
void virtual_set_frame_sink(virtual_frame_sink sink, void* user);
// Rows of the back buffer are this many bytes longer than the picture needs.
void virtual_set_extra_pitch(int bytes);
void virtual_set_faults(const virtual_faults& faults);
// Queues an event for platform_poll_event (at most 64 wait).
void virtual_push_event(platform_event event);

// The mode of the open display (all zero when none is open).
platform_display_mode virtual_display_mode();
uint32_t virtual_frames_flipped();
bool virtual_cursor_visible();

// With a rate set, every flip moves the clock on to the next frame's time
// (frame k at k x 1000 / fps ms after the rate was set), so the show runs
// at a fixed frame rate in virtual time.  0 (the default) leaves it alone.
void virtual_set_frame_rate(uint32_t frames_per_second);

// Receives the bytes of the sound ring as they are played (16-bit stereo at
// 44,100 Hz), in order, before anything can write over them.
using virtual_sound_sink = void (*)(const uint8_t* bytes, uint32_t count, void* user);
void virtual_set_sound_sink(virtual_sound_sink sink, void* user);

// Moves the virtual clock on by `ms`, running every task that falls due on
// the way at its due time, earliest first (ties in the order they started).
void virtual_advance_ms(uint32_t ms);
uint32_t virtual_now_ms();

// ---- the browser backend's own controls (emscripten builds only) ----------

// Queues a key or close event for platform_poll_event (at most 64 wait).
void web_push_event(platform_event event);
// Runs every periodic task that is due by the page's clock, each at most
// once, and hands the worklet what the streaming step has made final.
void web_run_due_tasks();
// Forgets the largest gap between two streaming steps measured so far.
void web_reset_tick_gap();
// Tells the page that the module is running: it shows its start overlay or
// begins the offline mode its address asks for.
void web_page_ready();

// ---- the Windows backend's own controls (Windows builds only) --------------

// The mode dialog: lets the user choose the depth (32, 24, 16,
// 15) and the scale (1, 2), starting from the values given.  False when the
// dialog was closed without starting; true when started, or when there is
// no dialog to show (the values then stand).
bool win32_mode_dialog(int* depth, int* scale);
