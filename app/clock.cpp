// The show clock and the timer that carries music events to the frame loop (portable).
#include "app/clock.h"

#include <atomic>

#include "director/timeline.h"
#include "platform/platform.h"

clock_state show_clock;

namespace {

// The timer thread writes an entry's fields, then its pending mark (release);
// the main thread reads the mark (acquire), then the fields.
void publish(int32_t& pending)
{
    std::atomic_ref<int32_t>(pending).store(1, std::memory_order_release);
}

bool is_pending(int32_t& pending)
{
    return std::atomic_ref<int32_t>(pending).load(std::memory_order_acquire) != 0;
}

void clear(int32_t& pending)
{
    std::atomic_ref<int32_t>(pending).store(0, std::memory_order_relaxed);
}

int32_t next_index(int32_t index)
{
    return index + 1 == clock_ring_size ? 0 : index + 1;
}

}  // namespace

void start_timer(uint32_t delay, uint32_t /*resolution*/, clock_source source)
{
    show_clock.source = source;
    show_clock.release_delay_ms = clock_release_delay(delay, platform_sound_output_latency_ms());
    show_clock.start_tick = platform_ticks_ms();
    show_clock.timer_id = platform_task_start(timer_callback, delay, false);
}

void stop_timer()
{
    if (show_clock.timer_id)
        platform_task_stop(show_clock.timer_id, 1000);
    show_clock.timer_id = nullptr;
}

void timer_sample(uint8_t sync, uint16_t position_word, int32_t now)
{
    clock_state& c = show_clock;
    int32_t v = sync;
    if (v != c.last_sync_value) {
        sync_ring_entry& e = c.sync_ring[c.sync_write];
        e.value = v;
        e.time = now;
        publish(e.pending);
        c.sync_write = next_index(c.sync_write);
    }
    c.last_sync_value = v;

    int32_t w = position_word;
    if (w != c.last_position_word) {
        position_ring_entry& e = c.position_ring[c.position_write];
        e.row = w & 0xFF;
        e.order = w >> 8;
        e.time = now;
        publish(e.pending);
        c.position_write = next_index(c.position_write);
        c.last_position_word = w;
    }
}


void timer_callback()
{
    const clock_source& source = show_clock.source;
    if (source.sync_value && source.position)
        timer_sample(source.sync_value(), source.position(), int32_t(platform_ticks_ms() - show_clock.start_tick));
}

void update_clock()
{
    clock_advance(int32_t(platform_ticks_ms() - show_clock.start_tick));
}

void clock_advance(int32_t now)
{
    clock_state& c = show_clock;
    std::atomic_ref<int32_t>(c.elapsed_ms).store(now, std::memory_order_relaxed);

    bool taken = false;
    int32_t best = 0;
    for (int i = 0; i < clock_ring_size; ++i) {
        sync_ring_entry& s = c.sync_ring[i];
        if (!taken && is_pending(s.pending) && s.time + c.release_delay_ms < now) {
            clear(s.pending);
            show_music.sync_pending = 1;
            show_music.sync_value = s.value;
            taken = true;  // one sync event per frame: the lowest index, not the oldest
        }
        position_ring_entry& p = c.position_ring[i];
        if (is_pending(p.pending) && p.time + c.release_delay_ms < now) {
            clear(p.pending);
            if (p.time > best) {  // the latest due position wins; a stamp at 0 or earlier is dropped
                show_music.music_row = p.row;
                show_music.music_order = p.order;
                best = p.time;
            }
        }
    }
}
