// Periodic tasks on threads of their own, for the backends that have threads
// (SDL, Win32): a fixed pool of records, the loop that ticks, the measure of
// the gaps between ticks and a bounded stop (portable; each backend lends its
// thread primitives).
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

// What a backend lends the pool.
struct task_pool_threads {
    // Starts a thread that calls task_pool_thread_body(task) and ends; null
    // when it cannot.
    void* (*thread_start)(platform_task* task);
    // Raises the calling thread's priority (may be refused; the task still runs).
    void (*raise_own_priority)();
    // Waits for a thread whose body has returned and frees its handle.
    void (*thread_join)(void* thread);
    // Lets a thread that may still be running end on its own.
    void (*thread_detach)(void* thread);
    // Optional (null: ordinary tasks get a thread too): a periodic callback on
    // the system's timer that calls task_pool_timer_body(task).  Its stop
    // need not wait for a callback under way.
    void* (*timer_start)(platform_task* task, uint32_t period_ms);
    void (*timer_stop)(void* timer);
    uint32_t (*ticks_ms)();
    void (*sleep_ms)(uint32_t ms);
    // How a task's thread waits between two ticks.  SDL re-plans by due
    // time: its clock and waits keep to the millisecond, so the streaming
    // step's gaps stay even and a late tick does not push the next ones back.
    // Win32 sleeps a full period after each tick: Sleep and GetTickCount move
    // in steps of the system timer (about 15.6 ms), so waiting for a due time
    // would tick in bursts; the streaming step renders what has played since
    // the last one, so a longer period loses nothing.
    bool replan_by_due_time;
};

// One task.  The records live in a fixed pool: a task whose stop gave up
// waiting keeps its record for good, since its thread or callback may still
// be using it.
struct platform_task {
    const task_pool_threads* threads = nullptr;
    platform_tick_fn tick = nullptr;
    uint32_t period_ms = 0;
    bool high_priority = false;
    void* thread = nullptr;  // the thread kind
    void* timer = nullptr;   // the timer kind
    // The stop's handshake with a tick.  Sequentially consistent, all four
    // accesses: a callback raises `ticking` and then reads `stop_asked`, the
    // stop writes `stop_asked` and then reads `ticking`; in the one order of
    // those accesses either the callback sees the stop and does not tick, or
    // the stop sees the callback and waits for it.  (With release and
    // acquire alone both could read the old value: a tick after the stop.)
    std::atomic<bool> stop_asked{false};
    std::atomic<int> ticking{0};
    std::atomic<bool> finished{false};  // the thread kind: its loop has ended
    std::atomic<bool> raised{false};    // a high-priority thread has raised its priority
    bool in_use = false;     // main thread only
    bool abandoned = false;  // main thread only: a stop gave up waiting
};

platform_task* task_pool_start(const task_pool_threads& threads, platform_tick_fn tick, uint32_t period_ms,
                               bool high_priority);
// Asks the task to stop and waits at most `timeout_ms` for its last tick to
// end; true when it has ended (its record is then free again).
bool task_pool_stop(platform_task* task, uint32_t timeout_ms);
// The longest time between the starts of two ticks of a high-priority task.
uint64_t task_pool_largest_tick_gap_us();

// What the backends' threads and timer callbacks run.
void task_pool_thread_body(platform_task* task);
void task_pool_timer_body(platform_task* task);
