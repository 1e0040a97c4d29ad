// The virtual backend: the platform with no window and no real time.  The
// display is memory whose flipped frames go to a sink, the clock moves only
// when told, and periodic tasks run from virtual_advance_ms (portable).
#include "platform/platform.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#include "platform/backend.h"

struct platform_task {
    platform_tick_fn tick = nullptr;
    uint32_t period_ms = 0;
    uint64_t due_ms = 0;
    uint32_t start_order = 0;  // breaks ties between tasks due at the same time
    bool active = false;
};

namespace {

constexpr int task_pool_size = 8;
constexpr int event_queue_size = 64;

struct virtual_state {
    uint64_t now_ms = 0;  // 64-bit inside so the scheduler never wraps; the tick clock does
    bool window = false;
    bool cursor_visible = true;
    platform_event events[event_queue_size] = {};
    int event_first = 0;
    int event_count = 0;
    platform_display_mode mode = {};
    bool display_open = false;
    bool locked = false;
    int extra_pitch = 0;
    uint8_t* back_buffer = nullptr;  // kept from the first open on, sized for the largest picture
    int back_buffer_bytes = 0;
    uint32_t frames_flipped = 0;
    virtual_frame_sink sink = nullptr;
    void* sink_user = nullptr;
    virtual_faults faults = {};
    alignas(16) uint8_t sound_ring[platform_sound_buffer_bytes] = {};  // written as 16-bit samples
    bool sound_open = false;
    bool sound_playing = false;
    uint64_t sound_start_ms = 0;
    platform_task tasks[task_pool_size] = {};
    uint32_t tasks_started = 0;
    // frame pacing: after each flip the clock moves to the next frame's time
    uint32_t frames_per_second = 0;
    uint64_t paced_frames = 0;
    uint64_t pace_base_ms = 0;
    // what the ring has played, handed on before anything overwrites it
    virtual_sound_sink sound_sink = nullptr;
    void* sound_sink_user = nullptr;
    uint64_t sound_bytes_heard = 0;
};
virtual_state state;

int pitch_of(const platform_display_mode& mode)
{
    return mode.width * platform_bytes_per_pixel(mode.depth) + state.extra_pitch;
}

bool window_create(const char*)
{
    state.window = !state.faults.window;
    return state.window;
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

void window_destroy()
{
    state.window = false;
}

void show_cursor(bool visible)
{
    state.cursor_visible = visible;
}

bool display_open(const platform_display_mode& mode, char* why, int why_size)
{
    const char* problem = nullptr;
    if (!state.window)
        problem = "no window";
    else if (state.faults.open)
        problem = "the virtual display was told to fail";
    else if (mode.depth != 15 && mode.depth != 16 && mode.depth != 24 && mode.depth != 32)
        problem = "no such depth";
    else if (mode.width <= 0 || mode.height <= 0 || mode.width > 640 || mode.height > 480)
        problem = "no such size";
    if (problem) {
        why[0] = 0;
        std::strncat(why, problem, size_t(why_size) - 1);
        return false;
    }
    int bytes = (640 * 4 + state.extra_pitch) * 480;  // the largest picture at the deepest depth
    if (bytes > state.back_buffer_bytes) {
        std::free(state.back_buffer);
        state.back_buffer = static_cast<uint8_t*>(std::malloc(size_t(bytes)));
        if (!state.back_buffer) {
            std::fputs("oddball: out of memory for the virtual display\n", stderr);
            std::exit(1);
        }
        state.back_buffer_bytes = bytes;
    }
    std::memset(state.back_buffer, 0, size_t(state.back_buffer_bytes));
    state.mode = mode;
    state.display_open = true;
    return true;
}

bool display_lock(uint8_t** pixels, int* pitch)
{
    if (!state.display_open || state.faults.lock || state.locked)
        return false;
    state.locked = true;
    *pixels = state.back_buffer;
    *pitch = pitch_of(state.mode);
    return true;
}

bool display_unlock()
{
    bool was_locked = state.locked;
    state.locked = false;
    return was_locked && !state.faults.unlock;
}

bool display_flip()
{
    if (!state.display_open || state.faults.flip)
        return false;
    ++state.frames_flipped;
    if (state.sink) {
        virtual_frame frame = {state.back_buffer, pitch_of(state.mode), state.mode.width, state.mode.height,
                               state.mode.depth, uint32_t(state.now_ms)};
        state.sink(frame, state.sink_user);
    }
    if (state.frames_per_second) {
        // Frame k is shown at k x 1000 / fps ms (whole ms, rounded down).
        ++state.paced_frames;
        uint64_t next = state.pace_base_ms + state.paced_frames * 1000 / state.frames_per_second;
        if (next > state.now_ms)
            virtual_advance_ms(uint32_t(next - state.now_ms));
    }
    return true;
}

void display_close()
{
    state.display_open = false;
    state.locked = false;
    state.mode = {};
}

bool sound_open(bool* silent)
{
    std::memset(state.sound_ring, 0, sizeof state.sound_ring);
    state.sound_open = true;
    state.sound_playing = false;
    *silent = false;
    return true;
}

uint32_t sound_play_cursor()
{
    return state.sound_playing ? platform_sound_cursor_after_ms(state.now_ms - state.sound_start_ms) : 0;
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
    state.sound_start_ms = state.now_ms;
}

void sound_close()
{
    state.sound_open = false;
    state.sound_playing = false;
}

uint32_t ticks_ms()
{
    return uint32_t(state.now_ms);
}

// Nothing waits in virtual time: sleeping only moves the clock (due tasks run
// at the next virtual_advance_ms).
void sleep_ms(uint32_t ms)
{
    state.now_ms += ms;
}

platform_task* task_start(platform_tick_fn tick, uint32_t period_ms, bool)
{
    if (!tick || period_ms == 0)
        return nullptr;
    for (auto& task : state.tasks)
        if (!task.active) {
            task = {tick, period_ms, state.now_ms + period_ms, state.tasks_started++, true};
            return &task;
        }
    return nullptr;
}

bool task_stop(platform_task* task, uint32_t)
{
    task->active = false;
    return true;
}

}  // namespace

const platform_backend platform_virtual_backend = {
    "virtual",
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
    nullptr,  // virtual ticks come exactly on time
    nullptr,  // what the ring plays is heard at once
};

void virtual_reset()
{
    uint8_t* back_buffer = state.back_buffer;  // kept for the next open
    int back_buffer_bytes = state.back_buffer_bytes;
    state = virtual_state{};
    state.back_buffer = back_buffer;
    state.back_buffer_bytes = back_buffer_bytes;
}

void virtual_set_frame_sink(virtual_frame_sink sink, void* user)
{
    state.sink = sink;
    state.sink_user = user;
}

void virtual_set_extra_pitch(int bytes)
{
    state.extra_pitch = bytes > 0 ? bytes : 0;
}

void virtual_set_faults(const virtual_faults& faults)
{
    state.faults = faults;
}

void virtual_push_event(platform_event event)
{
    if (state.event_count == event_queue_size)
        return;
    state.events[(state.event_first + state.event_count) % event_queue_size] = event;
    ++state.event_count;
}

platform_display_mode virtual_display_mode()
{
    return state.mode;
}

uint32_t virtual_frames_flipped()
{
    return state.frames_flipped;
}

bool virtual_cursor_visible()
{
    return state.cursor_visible;
}

namespace {

// Hands the bytes the ring has played up to now to the sound sink, before
// a task (the streaming step) can write over them.
void hear_played_sound()
{
    if (!state.sound_sink || !state.sound_playing)
        return;
    uint64_t frames = (state.now_ms - state.sound_start_ms) * platform_sound_rate / 1000;
    uint64_t played = frames * 4;
    while (state.sound_bytes_heard < played) {
        uint32_t offset = uint32_t(state.sound_bytes_heard % platform_sound_buffer_bytes);
        uint64_t span = std::min<uint64_t>(played - state.sound_bytes_heard, platform_sound_buffer_bytes - offset);
        state.sound_sink(state.sound_ring + offset, uint32_t(span), state.sound_sink_user);
        state.sound_bytes_heard += span;
    }
}

}  // namespace

void virtual_set_frame_rate(uint32_t frames_per_second)
{
    state.frames_per_second = frames_per_second;
    state.paced_frames = 0;
    state.pace_base_ms = state.now_ms;
}

void virtual_set_sound_sink(virtual_sound_sink sink, void* user)
{
    state.sound_sink = sink;
    state.sound_sink_user = user;
}

void virtual_advance_ms(uint32_t ms)
{
    uint64_t target = state.now_ms + ms;
    for (;;) {
        platform_task* next = nullptr;
        for (auto& task : state.tasks)
            if (task.active && task.due_ms <= target && 
                (!next || task.due_ms < next->due_ms ||
                 (task.due_ms == next->due_ms && task.start_order < next->start_order)))
                next = &task;
        if (!next)
            break;
        if (next->due_ms > state.now_ms)
            state.now_ms = next->due_ms;
        hear_played_sound();
        next->due_ms += next->period_ms;
        next->tick();
    }
    state.now_ms = target;
    hear_played_sound();
}

uint32_t virtual_now_ms()
{
    return uint32_t(state.now_ms);
}
