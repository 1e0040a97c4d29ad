// The tick clock, sleeping, and periodic tasks on threads of their own with a
// bounded stop (SDL2).
#include <SDL.h>

#include "platform/sdl/sdl_parts.h"

// One periodic task.  The records live in a fixed pool: a task whose thread
// did not end within its stop's wait keeps its record (and its mutex and
// conditions) for good, since that thread may still be using them.
struct platform_task {
    platform_tick_fn tick = nullptr;
    uint32_t period_ms = 0;
    bool high_priority = false;
    SDL_Thread* thread = nullptr;
    SDL_mutex* mutex = nullptr;
    SDL_cond* wake = nullptr;   // signalled to cut a wait short when a stop is asked
    SDL_cond* ended = nullptr;  // signalled by the thread as it ends
    bool stop_asked = false;    // under mutex
    bool finished = false;      // under mutex
    bool detached = false;      // main thread only: a stop gave up waiting for it
    bool in_use = false;        // main thread only
};

namespace {

constexpr int task_pool_size = 8;
platform_task task_pool[task_pool_size];

int run_task(void* data)
{
    auto* task = static_cast<platform_task*>(data);
    if (task->high_priority)
        SDL_SetThreadPriority(SDL_THREAD_PRIORITY_HIGH);  // may be refused; the task still runs
    SDL_LockMutex(task->mutex);
    Uint32 due = SDL_GetTicks() + task->period_ms;
    while (!task->stop_asked) {
        Sint32 wait = Sint32(due - SDL_GetTicks());
        if (wait > 0) {
            SDL_CondWaitTimeout(task->wake, task->mutex, Uint32(wait));
            continue;
        }
        SDL_UnlockMutex(task->mutex);
        task->tick();
        SDL_LockMutex(task->mutex);
        due += task->period_ms;
        // Far behind (the machine was busy): start afresh instead of ticking in a burst.
        if (Sint32(SDL_GetTicks() - due) > Sint32(task->period_ms))
            due = SDL_GetTicks() + task->period_ms;
    }
    task->finished = true;
    SDL_CondBroadcast(task->ended);
    SDL_UnlockMutex(task->mutex);
    return 0;
}

void free_sync(platform_task* task)
{
    if (task->ended)
        SDL_DestroyCond(task->ended);
    if (task->wake)
        SDL_DestroyCond(task->wake);
    if (task->mutex)
        SDL_DestroyMutex(task->mutex);
    *task = platform_task{};
}

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
    platform_task* task = nullptr;
    for (auto& slot : task_pool)
        if (!slot.in_use) {
            task = &slot;
            break;
        }
    if (!task || !tick || period_ms == 0)
        return nullptr;
    *task = platform_task{};
    task->tick = tick;
    task->period_ms = period_ms;
    task->high_priority = high_priority;
    task->mutex = SDL_CreateMutex();
    task->wake = SDL_CreateCond();
    task->ended = SDL_CreateCond();
    if (task->mutex && task->wake && task->ended)
        task->thread = SDL_CreateThread(run_task, "oddball task", task);
    if (!task->thread) {
        free_sync(task);
        return nullptr;
    }
    task->in_use = true;
    return task;
}

bool sdl_task_stop(platform_task* task, uint32_t timeout_ms)
{
    SDL_LockMutex(task->mutex);
    task->stop_asked = true;
    SDL_CondSignal(task->wake);
    Uint32 deadline = SDL_GetTicks() + timeout_ms;
    while (!task->finished) {
        Sint32 left = Sint32(deadline - SDL_GetTicks());
        if (left <= 0)
            break;
        SDL_CondWaitTimeout(task->ended, task->mutex, Uint32(left));
    }
    bool finished = task->finished;
    SDL_UnlockMutex(task->mutex);
    if (task->detached)
        return finished;  // asked again: the thread is no longer ours to join
    if (!finished) {
        SDL_DetachThread(task->thread);  // it ends on its own; its record stays in use
        task->detached = true;
        return false;
    }
    SDL_WaitThread(task->thread, nullptr);
    free_sync(task);
    return true;
}
