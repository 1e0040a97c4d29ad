// The browser backend: the frame goes to the page's canvas, the sound ring
// to an AudioWorklet through messages, the clock is the page's, and the
// periodic tasks run from the page's timers and the worklet's reports
// (emscripten; the JavaScript half is in page.js).

#include <emscripten.h>

#include <cstring>

#include "platform/backend.h"
#include "platform/web/web_controls.h"

// clang-format off
EM_JS(void, page_present, (const uint8_t* pixels, int width, int height, int pitch), {
    ob.present(pixels, width, height, pitch);
});
EM_JS(int, page_sound_open, (), { return ob.soundOpen(); });
EM_JS(void, page_sound_send, (const uint8_t* bytes, uint32_t count), { ob.soundSend(bytes, count); });
EM_JS(double, page_sound_frames_played, (), { return ob.framesPlayed; });
EM_JS(void, page_sound_close, (), { ob.soundClose(); });
EM_JS(void, page_sound_watch, (), { ob.soundWatch(); });
EM_JS(int, page_sound_lost, (), { return ob.lost ? 1 : 0; });
EM_JS(void, page_sound_off, (), { ob.soundOff(); });
EM_JS(void, page_show_cursor, (int visible), { ob.showCursor(visible); });
EM_JS(void, page_ready, (), { ob.ready(); });
// clang-format on

struct platform_task {
    platform_tick_fn tick = nullptr;
    uint32_t period_ms = 0;
    double due_ms = 0;
    double last_start_ms = 0;
    bool high_priority = false;
    bool active = false;
};

namespace {

constexpr int task_pool_size = 8;
constexpr int event_queue_size = 64;

struct web_state {
    platform_event events[event_queue_size] = {};
    int event_first = 0;
    int event_count = 0;
    platform_display_mode mode = {};
    uint8_t* back_buffer = nullptr;  // 640 x 480 x 4 at most, kept from the first open on
    bool display_open = false;
    alignas(16) uint8_t sound_ring[platform_sound_buffer_bytes] = {};
    bool sound_open = false;
    bool sound_silent = false;
    bool sound_playing = false;
    bool ring_started = false;  // the worklet has had the ring's first round
    double frames_before = 0;   // the worklet's count when the ring started
    double moved_ms = 0;             // when the cursor last moved on
    double silent_since_ms = 0;      // silent: the cursor runs in real time from here
    uint64_t silent_from_bytes = 0;  // and from this many bytes
    uint64_t cursor_bytes = 0;  // how far the ring has played, in bytes since it started
    uint64_t sent_bytes = 0;    // how far the worklet has been given the ring's bytes
    platform_task tasks[task_pool_size] = {};
    uint64_t largest_gap_us = 0;
};
web_state state;

bool window_create(const char*)
{
    state.event_count = 0;
    return true;
}

platform_event poll_event()
{
    if (state.event_count == 0)
        return platform_event::none;
    platform_event event = state.events[state.event_first];
    state.event_first = (state.event_first + 1) % event_queue_size;
    --state.event_count;
    return event;
}

void window_destroy() {}

void show_cursor(bool visible)
{
    page_show_cursor(visible);
}

bool display_open(const platform_display_mode& mode, char* why, int why_size)
{
    if (mode.depth != 32 || mode.width <= 0 || mode.height <= 0 || mode.width > 640 || mode.height > 480) {
        // No printf in the module: it would bring its floating-point formatting along.
        why[0] = 0;
        std::strncat(why, "the page shows 32-bit pictures up to 640 x 480", size_t(why_size) - 1);
        return false;
    }
    if (!state.back_buffer)
        state.back_buffer = new uint8_t[640 * 480 * 4]();
    state.mode = mode;
    state.display_open = true;
    return true;
}

bool display_lock(uint8_t** pixels, int* pitch)
{
    if (!state.display_open)
        return false;
    *pixels = state.back_buffer;
    *pitch = state.mode.width * 4;
    return true;
}

bool display_unlock()
{
    return state.display_open;
}

// The page shows the picture at its next paint; the animation callback that
// called the frame loop is what paces it.
bool display_flip()
{
    if (!state.display_open)
        return false;
    page_present(state.back_buffer, state.mode.width, state.mode.height, state.mode.width * 4);
    return true;
}

void display_close()
{
    state.display_open = false;
}

double now_ms()
{
    return emscripten_get_now();
}

// Gives the worklet every byte of the ring that will not change before it
// plays: the streaming step writes only what has played, so everything
// from the last cursor it read up to one ring ahead of it is final.
void feed_sound()
{
    if (!state.ring_started || state.sound_silent)
        return;
    uint64_t final_end = (state.cursor_bytes & ~uint64_t(31)) + platform_sound_buffer_bytes;
    while (state.sent_bytes < final_end) {
        uint32_t offset = uint32_t(state.sent_bytes % platform_sound_buffer_bytes);
        uint32_t span = platform_sound_buffer_bytes - offset;
        if (uint64_t(span) > final_end - state.sent_bytes)
            span = uint32_t(final_end - state.sent_bytes);
        page_sound_send(state.sound_ring + offset, span);
        state.sent_bytes += span;
    }
}

bool sound_open(bool* silent)
{
    std::memset(state.sound_ring, 0, sizeof state.sound_ring);
    state.sound_silent = page_sound_open() == 0;
    state.sound_open = true;
    state.sound_playing = false;
    state.ring_started = false;
    state.cursor_bytes = 0;
    state.sent_bytes = 0;
    *silent = state.sound_silent;
    if (state.sound_silent)
        page_sound_off();
    return true;
}

// From now on the ring plays silently, its cursor in real time from when
// it last moved (the ring's start when the context never ran), so the song
// keeps to the show's schedule.  The sound does not come back in this run:
// "play again" tries it anew.
void go_silent()
{
    page_sound_close();
    state.sound_silent = true;
    state.silent_since_ms = state.moved_ms;
    state.silent_from_bytes = state.cursor_bytes;
    page_sound_off();
}

// How far a silent ring may fall behind the page's clock and still catch
// up, a ring per reading (the two seconds the page waits for a context to
// run, and some); a page held up longer (or in the background) resumes the
// song where it stopped, as the worklet does.
constexpr uint64_t silent_catch_up_bytes = 4 * platform_sound_rate * 4;

// The ring starts to play when the streaming step first asks where it is:
// the start-up work that follows sound_play holds up the page, and the
// streaming step with it, so a ring started at once would have played on
// (or run dry) with nobody refilling it.  The cursor is how far the worklet
// has played, moved on by less than a whole ring per reading, so a worklet
// that ran dry while the page was held up resumes the song where it stopped.
// A context that does not run (no sound output, a browser that refuses it)
// never plays a frame: once the page gives up on it, the cursor follows the
// page's clock.
uint32_t sound_play_cursor()
{
    if (!state.sound_playing)
        return 0;
    if (!state.ring_started) {
        state.ring_started = true;
        state.moved_ms = state.silent_since_ms = now_ms();
        state.silent_from_bytes = 0;
        state.frames_before = page_sound_frames_played();
        state.cursor_bytes = 0;
        if (!state.sound_silent)
            page_sound_watch();
        feed_sound();
        return 0;
    }
    if (!state.sound_silent && page_sound_lost())
        go_silent();
    uint64_t most = state.cursor_bytes + platform_sound_buffer_bytes - 32;
    uint64_t played;
    double now = now_ms();
    if (state.sound_silent) {
        played = state.silent_from_bytes + uint64_t((now - state.silent_since_ms) * platform_sound_rate / 1000) * 4;
        if (played > most + silent_catch_up_bytes) {
            state.silent_since_ms = now;
            state.silent_from_bytes = most;
        }
    } else {
        played = uint64_t(page_sound_frames_played() - state.frames_before) * 4;
        if (played > state.cursor_bytes)
            state.moved_ms = now;
    }
    state.cursor_bytes = played < most ? played : most;
    return uint32_t(state.cursor_bytes % platform_sound_buffer_bytes);
}

uint8_t* sound_buffer()
{
    return state.sound_ring;
}

void sound_play()
{
    if (!state.sound_open || state.sound_playing)
        return;
    state.sound_playing = true;
    state.ring_started = false;
}

void sound_close()
{
    if (state.sound_open && !state.sound_silent)
        page_sound_close();
    state.sound_open = false;
    state.sound_playing = false;
    state.ring_started = false;
}

uint32_t ticks_ms()
{
    return uint32_t(uint64_t(now_ms()));
}

// A page cannot block; waiting here would only hold up its animation.
void sleep_ms(uint32_t) {}

platform_task* task_start(platform_tick_fn tick, uint32_t period_ms, bool high_priority)
{
    if (!tick || period_ms == 0)
        return nullptr;
    for (auto& task : state.tasks)
        if (!task.active) {
            task = {tick, period_ms, now_ms() + period_ms, 0, high_priority, true};
            return &task;
        }
    return nullptr;
}

bool task_stop(platform_task* task, uint32_t)
{
    task->active = false;
    return true;
}

uint64_t largest_tick_gap_us()
{
    return state.largest_gap_us;
}

}  // namespace

const platform_backend platform_web_backend = {
    "web",
    window_create,
    poll_event,
    window_destroy,
    show_cursor,
    display_open,
    display_lock,
    display_unlock,
    display_flip,
    display_close,
    sound_open,
    sound_play_cursor,
    sound_buffer,
    sound_play,
    sound_close,
    nullptr,  // one thread: the worklet is handed copies
    ticks_ms,
    sleep_ms,
    task_start,
    task_stop,
    largest_tick_gap_us,
};

void web_push_event(platform_event event)
{
    if (state.event_count == event_queue_size)
        return;
    state.events[(state.event_first + state.event_count) % event_queue_size] = event;
    ++state.event_count;
}

void web_run_due_tasks()
{
    double now = now_ms();
    for (auto& task : state.tasks) {
        if (!task.active || now < task.due_ms)
            continue;
        // A page in the background gets its timers late: a task that fell
        // far behind runs once and starts again from now.
        if (now - task.due_ms > 1000)
            task.due_ms = now;
        task.due_ms += task.period_ms;
        if (task.high_priority && task.last_start_ms > 0) {
            uint64_t gap = uint64_t((now - task.last_start_ms) * 1000);
            if (gap > state.largest_gap_us)
                state.largest_gap_us = gap;
        }
        task.last_start_ms = now;
        task.tick();
        feed_sound();
    }
}

void web_reset_tick_gap()
{
    state.largest_gap_us = 0;
}

void web_page_ready()
{
    page_ready();
}
