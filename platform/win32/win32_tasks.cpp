// Time, and the primitives the task pool runs its periodic tasks on:
// GetTickCount, the multimedia timer (timeSetEvent) for ordinary tasks, a
// thread of highest priority for the streaming step (KERNEL32, WINMM).
#include "platform/task_pool.h"
#include "platform/win32/win32_parts.h"

#include <mmsystem.h>

namespace {

DWORD WINAPI thread_body(void* task)
{
    task_pool_thread_body(static_cast<platform_task*>(task));
    return 0;
}

void* thread_start(platform_task* task)
{
    return CreateThread(nullptr, 0, thread_body, task, 0, nullptr);
}

void raise_own_priority()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
}

void thread_join(void* thread)
{
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

void thread_detach(void* thread)
{
    CloseHandle(thread);
}

void CALLBACK timer_body(UINT, UINT, DWORD_PTR task, DWORD_PTR, DWORD_PTR)
{
    task_pool_timer_body(reinterpret_cast<platform_task*>(task));
}

void* timer_start(platform_task* task, uint32_t period_ms)
{
    UINT id = timeSetEvent(period_ms, 1, timer_body, reinterpret_cast<DWORD_PTR>(task),
                           TIME_PERIODIC | TIME_CALLBACK_FUNCTION);
    return reinterpret_cast<void*>(uintptr_t(id));
}

void timer_stop(void* timer)
{
    timeKillEvent(UINT(reinterpret_cast<uintptr_t>(timer)));  // does not wait for a callback under way
}

const task_pool_threads win32_threads = {
    thread_start, raise_own_priority, thread_join, thread_detach,
    timer_start, timer_stop,
    win32_ticks_ms, win32_sleep_ms,
    false,  // Sleep keeps to the system timer's steps: a full period after each tick
};

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
    return task_pool_start(win32_threads, tick, period_ms, high_priority);
}

bool win32_task_stop(platform_task* task, uint32_t timeout_ms)
{
    return task_pool_stop(task, timeout_ms);
}

uint64_t win32_largest_tick_gap_us()
{
    return task_pool_largest_tick_gap_us();
}
