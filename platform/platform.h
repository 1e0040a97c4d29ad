// What the show expects of the operating system: window, display, sound,
// time, periodic tasks and debug strings: the one seam between the show and
// its backends, `sdl` (the real thing on Linux), `win32` (the Windows
// program), `web` (a browser page) and `virtual` (deterministic, no real
// time), each with its own controls in its folder's *_controls.h.  Portable
// code calls only these functions; platform_use picks the backend (sdl
// until told otherwise).
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
// The streaming step has written its span of the ring (on its own thread,
// after each step): the backend hands the bytes on to what plays them, so
// they are ordered before its reads (or copied to the device).
void platform_sound_written();
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
