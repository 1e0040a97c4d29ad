// The browser backend: the frame goes to the page's canvas, the sound ring
// to an AudioWorklet through messages, the clock is the page's, and the
// periodic tasks run from the page's timers and the worklet's reports
// (emscripten; the JavaScript half is in page.js).

#include <emscripten.h>

#include <cstring>

#include "platform/backend.h"

// clang-format off
EM_JS(void, page_present, (const uint8_t* pixels, int width, int height, int pitch), {
    ob.present(pixels, width, height, pitch);
});
EM_JS(int, page_sound_open, (), { return ob.soundOpen(); });
EM_JS(void, page_sound_send, (const uint8_t* bytes, uint32_t count), { ob.soundSend(bytes, count); });
EM_JS(double, page_sound_frames_played, (), { return ob.framesPlayed; });
EM_JS(void, page_sound_close, (), { ob.soundClose(); });
// The page's audio context's own delay before the speakers, in seconds.
EM_JS(double, page_sound_latency, (), { var a = ob.audio; return a ? (a.baseLatency || 0) + (a.outputLatency || 0) : 0; });
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
    double sound_start_ms = 0;
    double frames_before = 0;   // the worklet's count when the ring started
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
        platform_debug_string("oddball: no sound in this page; the show runs silently");
    return true;
}

// The ring starts to play when the streaming step first asks where it is:
// the start-up work that follows sound_play holds up the page, and the
// streaming step with it, so a ring started at once would have played on
// (or run dry) with nobody refilling it.  The cursor is how far the worklet
// has played, moved on by less than a whole ring per reading, so a worklet
// that ran dry while the page was held up resumes the song where it stopped.
uint32_t sound_play_cursor()
{
    if (!state.sound_playing)
        return 0;
    if (!state.ring_started) {
        state.ring_started = true;
        state.sound_start_ms = now_ms();
        state.frames_before = page_sound_frames_played();
        state.cursor_bytes = 0;
        feed_sound();
        return 0;
    }
    if (state.sound_silent)
        return platform_sound_cursor_after_ms(uint64_t(now_ms() - state.sound_start_ms));
    uint64_t played = uint64_t(page_sound_frames_played() - state.frames_before) * 4;
    uint64_t most = state.cursor_bytes + platform_sound_buffer_bytes - 32;
    state.cursor_bytes = played < most ? played : most;
    return uint32_t(state.cursor_bytes % platform_sound_buffer_bytes);
}

uint32_t sound_output_latency_ms()
{
    return state.sound_silent ? 0 : uint32_t(page_sound_latency() * 1000 + 0.5);
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
    ticks_ms,
    sleep_ms,
    task_start,
    task_stop,
    largest_tick_gap_us,
    sound_output_latency_ms,
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
