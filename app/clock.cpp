// The show clock and the timer that carries music events to the frame loop (portable).
#include "app/clock.h"

#include <atomic>

#include "platform/platform.h"

clock_state show_clock;

namespace {

// An entry belongs to the timer while its pending mark is clear and to the
// frame loop while it is set.  The timer writes the fields, then sets the
// mark (release); the frame loop reads the mark (acquire), then the fields,
// then clears the mark (release), which the timer reads (acquire) before it
// writes the entry again.  So no event is ever torn.
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
    std::atomic_ref<int32_t>(pending).store(0, std::memory_order_release);
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
    // A full ring (the frame loop stalled for 40 ticks) keeps the oldest
    // events: the entries it holds still belong to the frame loop, which will
    // take them in order.  A change that finds its entry still pending is held
    // back, the timer's memory left as it was, so the value the song has then
    // goes out at the first tick that finds the entry free: the newest
    // position arrives late, never lost.
    int32_t v = sync;
    if (v != c.last_sync_value && !is_pending(c.sync_ring[c.sync_write].pending)) {
        sync_ring_entry& e = c.sync_ring[c.sync_write];
        e.value = v;
        e.time = now;
        publish(e.pending);
        c.sync_write = next_index(c.sync_write);
        c.last_sync_value = v;
    }

    int32_t w = position_word;
    if (w != c.last_position_word && !is_pending(c.position_ring[c.position_write].pending)) {
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
            c.music.sync_pending = 1;
            c.music.sync_value = s.value;
            clear(s.pending);  // last: from here on the timer may write the entry again
            taken = true;  // one sync event per frame: the lowest index, not the oldest
        }
        position_ring_entry& p = c.position_ring[i];
        if (is_pending(p.pending) && p.time + c.release_delay_ms < now) {
            if (p.time > best) {  // the latest due position wins; a stamp at 0 or earlier is dropped
                c.music.music_row = p.row;
                c.music.music_order = p.order;
                best = p.time;
            }
            clear(p.pending);
        }
    }
}
