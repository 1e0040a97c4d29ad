// Time and periodic tasks: GetTickCount, the multimedia timer (timeSetEvent)
// for ordinary tasks, a thread of highest priority that sleeps between its
// ticks for the streaming step (KERNEL32, WINMM).
#include <atomic>

#include "platform/win32/win32_parts.h"

#include <mmsystem.h>

// One periodic task.  The records live in a fixed pool: a task that did not
// end within its stop's wait keeps its record for good, since its thread or
// callback may still be using it.
struct platform_task {
    platform_tick_fn tick = nullptr;
    uint32_t period_ms = 0;
    HANDLE thread = nullptr;     // the streaming kind
    UINT timer_id = 0;           // the multimedia timer kind
    std::atomic<bool> stop_asked{false};
    std::atomic<int> ticking{0};  // a timer callback is running
    bool in_use = false;         // main thread only
    bool abandoned = false;      // main thread only: a stop gave up waiting
};

namespace {

constexpr int task_pool_size = 8;
platform_task task_pool[task_pool_size];

std::atomic<uint64_t> largest_tick_gap_us{0};

DWORD WINAPI run_thread(void* data)
{
    auto* task = static_cast<platform_task*>(data);
    uint64_t last_tick_us = 0;
    while (!task->stop_asked.load(std::memory_order_acquire)) {
        uint64_t now_us = platform_real_time_us();
        if (last_tick_us && now_us - last_tick_us > largest_tick_gap_us.load(std::memory_order_relaxed))
            largest_tick_gap_us.store(now_us - last_tick_us, std::memory_order_relaxed);
        last_tick_us = now_us;
        task->tick();
        win32_sound_flush();  // at once: the device may take the sound faster than real time
        Sleep(task->period_ms);
    }
    return 0;
}

void CALLBACK run_timer(UINT, UINT, DWORD_PTR data, DWORD_PTR, DWORD_PTR)
{
    auto* task = reinterpret_cast<platform_task*>(data);
    task->ticking.fetch_add(1);
    if (!task->stop_asked.load(std::memory_order_acquire))
        task->tick();
    task->ticking.fetch_sub(1);
}

}  // namespace

uint32_t win32_ticks_ms()
{
    return GetTickCount();
}

void win32_sleep_ms(uint32_t ms)
{
    Sleep(ms);
}

platform_task* win32_task_start(platform_tick_fn tick, uint32_t period_ms, bool high_priority)
{
    platform_task* task = nullptr;
    for (auto& slot : task_pool)
        if (!slot.in_use) {
            task = &slot;
            break;
        }
    if (!task || !tick || period_ms == 0)
        return nullptr;
    task->tick = tick;
    task->period_ms = period_ms;
    task->thread = nullptr;
    task->timer_id = 0;
    task->stop_asked.store(false);
    task->ticking.store(0);
    task->abandoned = false;
    if (high_priority) {
        task->thread = CreateThread(nullptr, 0, run_thread, task, 0, nullptr);
        if (!task->thread)
            return nullptr;
        SetThreadPriority(task->thread, THREAD_PRIORITY_HIGHEST);
    } else {
        task->timer_id = timeSetEvent(period_ms, 1, run_timer, reinterpret_cast<DWORD_PTR>(task),
                                      TIME_PERIODIC | TIME_CALLBACK_FUNCTION);
        if (!task->timer_id)
            return nullptr;
    }
    task->in_use = true;
    return task;
}

bool win32_task_stop(platform_task* task, uint32_t timeout_ms)
{
    task->stop_asked.store(true, std::memory_order_release);
    if (task->timer_id) {
        timeKillEvent(task->timer_id);
        task->timer_id = 0;
    }
    bool ended = true;
    if (task->thread) {
        ended = WaitForSingleObject(task->thread, timeout_ms) == WAIT_OBJECT_0;
    } else {
        // timeKillEvent does not wait for a callback under way.
        DWORD deadline = GetTickCount() + timeout_ms;
        while (task->ticking.load(std::memory_order_acquire) && LONG(deadline - GetTickCount()) > 0)
            Sleep(1);
        ended = task->ticking.load(std::memory_order_acquire) == 0;
    }
    if (!ended) {
        task->abandoned = true;  // its record stays in use
        return false;
    }
    if (task->thread)
        CloseHandle(task->thread);
    task->thread = nullptr;
    task->in_use = false;
    return true;
}

uint64_t win32_largest_tick_gap_us()
{
    return largest_tick_gap_us.load(std::memory_order_relaxed);
}
