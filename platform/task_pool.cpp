// Periodic tasks on threads of their own over a backend's thread primitives (portable).
#include "platform/task_pool.h"

namespace {

constexpr int task_pool_size = 8;
platform_task task_pool[task_pool_size];

// Written by the tasks' threads, read by the main thread for a report.
std::atomic<uint64_t> largest_tick_gap_us{0};

void note_tick_start(uint64_t& last_tick_us)
{
    uint64_t now_us = platform_real_time_us();
    if (last_tick_us && now_us - last_tick_us > largest_tick_gap_us.load(std::memory_order_relaxed))
        largest_tick_gap_us.store(now_us - last_tick_us, std::memory_order_relaxed);
    last_tick_us = now_us;
}

// Whether the task's thread or callback is done with it.
bool has_ended(platform_task* task)
{
    return task->thread ? task->finished.load() : task->ticking.load() == 0;
}

}  // namespace

void task_pool_thread_body(platform_task* task)
{
    const task_pool_threads& threads = *task->threads;
    if (task->high_priority)
        threads.raise_own_priority();
    task->raised.store(true);
    const uint32_t period = task->period_ms;
    uint32_t due = threads.ticks_ms() + period;
    uint64_t last_tick_us = 0;
    while (!task->stop_asked.load()) {
        if (threads.replan_by_due_time) {
            int32_t wait = int32_t(due - threads.ticks_ms());
            if (wait > 0) {
                threads.sleep_ms(uint32_t(wait));
                continue;
            }
        }
        if (task->high_priority)
            note_tick_start(last_tick_us);
        task->tick();
        if (threads.replan_by_due_time) {
            due += period;
            // Far behind (the machine was busy): start afresh instead of ticking in a burst.
            if (int32_t(threads.ticks_ms() - due) > int32_t(period))
                due = threads.ticks_ms() + period;
        } else {
            threads.sleep_ms(period);
        }
    }
    task->finished.store(true);  // the thread's last touch of the record
}

void task_pool_timer_body(platform_task* task)
{
    task->ticking.fetch_add(1);
    if (!task->stop_asked.load())
        task->tick();
    task->ticking.fetch_sub(1);
}

platform_task* task_pool_start(const task_pool_threads& threads, platform_tick_fn tick, uint32_t period_ms,
                               bool high_priority)
{
    platform_task* task = nullptr;
    for (auto& slot : task_pool)
        if (!slot.in_use) {
            task = &slot;
            break;
        }
    if (!task || !tick || period_ms == 0)
        return nullptr;
    task->threads = &threads;
    task->tick = tick;
    task->period_ms = period_ms;
    task->high_priority = high_priority;
    task->thread = nullptr;
    task->timer = nullptr;
    task->stop_asked.store(false);
    task->ticking.store(0);
    task->finished.store(false);
    task->raised.store(false);
    task->abandoned = false;
    if (high_priority || !threads.timer_start)
        task->thread = threads.thread_start(task);
    else
        task->timer = threads.timer_start(task, period_ms);
    if (!task->thread && !task->timer)
        return nullptr;
    // SDL's priority call reads its hints, which the main thread's window and
    // display then set (a race inside SDL): the start waits (a second at
    // most) until the new thread has made that call.
    for (uint32_t asked = threads.ticks_ms(); task->thread && !task->raised.load() && threads.ticks_ms() - asked < 1000;)
        threads.sleep_ms(1);
    task->in_use = true;
    return task;
}

bool task_pool_stop(platform_task* task, uint32_t timeout_ms)
{
    const task_pool_threads& threads = *task->threads;
    task->stop_asked.store(true);
    if (task->timer) {
        threads.timer_stop(task->timer);  // does not wait for a callback under way
        task->timer = nullptr;
    }
    uint32_t asked = threads.ticks_ms();
    while (!has_ended(task) && threads.ticks_ms() - asked < timeout_ms)
        threads.sleep_ms(1);
    if (!has_ended(task)) {
        if (task->thread && !task->abandoned)
            threads.thread_detach(task->thread);  // it ends on its own; its record stays in use
        task->abandoned = true;
        return false;
    }
    if (task->thread && !task->abandoned)
        threads.thread_join(task->thread);
    task->thread = nullptr;
    task->in_use = false;
    return true;
}

uint64_t task_pool_largest_tick_gap_us()
{
    return largest_tick_gap_us.load(std::memory_order_relaxed);
}
