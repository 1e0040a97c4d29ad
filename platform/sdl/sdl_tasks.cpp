// The tick clock, sleeping, and the thread primitives the task pool runs
// its periodic tasks on (SDL2).
#include <SDL.h>

#include "platform/sdl/sdl_parts.h"
#include "platform/task_pool.h"

namespace {

int SDLCALL thread_body(void* task)
{
    task_pool_thread_body(static_cast<platform_task*>(task));
    return 0;
}

void* thread_start(platform_task* task)
{
    return SDL_CreateThread(thread_body, "oddball task", task);
}

void raise_own_priority()
{
    SDL_SetThreadPriority(SDL_THREAD_PRIORITY_HIGH);
}

void thread_join(void* thread)
{
    SDL_WaitThread(static_cast<SDL_Thread*>(thread), nullptr);
}

void thread_detach(void* thread)
{
    SDL_DetachThread(static_cast<SDL_Thread*>(thread));
}

const task_pool_threads sdl_threads = {
    thread_start, raise_own_priority, thread_join, thread_detach,
    nullptr, nullptr,  // every task has a thread
    sdl_ticks_ms, sdl_sleep_ms,
    true,  // SDL's waits keep to the millisecond: re-plan by due time
};

}  // namespace

uint32_t sdl_ticks_ms()
{
    return SDL_GetTicks();
}

void sdl_sleep_ms(uint32_t ms)
{
    SDL_Delay(ms);
}

platform_task* sdl_task_start(platform_tick_fn tick, uint32_t period_ms, bool high_priority)
{
    return task_pool_start(sdl_threads, tick, period_ms, high_priority);
}

bool sdl_task_stop(platform_task* task, uint32_t timeout_ms)
{
    return task_pool_stop(task, timeout_ms);
}

uint64_t sdl_largest_tick_gap_us()
{
    return task_pool_largest_tick_gap_us();
}
