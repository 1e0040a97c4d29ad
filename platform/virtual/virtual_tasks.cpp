// The virtual clock and its scheduler: time moves only when told, and due tasks run on the way, earliest first (portable).
#include "platform/virtual/virtual_parts.h"

uint32_t virtual_ticks_ms()
{
    return uint32_t(virtual_world.now_ms);
}

// Nothing waits in virtual time: sleeping only moves the clock (due tasks run
// at the next virtual_advance_ms).
void virtual_sleep_ms(uint32_t ms)
{
    virtual_world.now_ms += ms;
}

platform_task* virtual_task_start(platform_tick_fn tick, uint32_t period_ms, bool)
{
    if (!tick || period_ms == 0 || virtual_world.faults.tasks)
        return nullptr;
    for (auto& task : virtual_world.tasks)
        if (!task.active) {
            task = {tick, period_ms, virtual_world.now_ms + period_ms, virtual_world.tasks_started++, true};
            return &task;
        }
    return nullptr;
}

bool virtual_task_stop(platform_task* task, uint32_t)
{
    task->active = false;
    return true;
}

void virtual_advance_ms(uint32_t ms)
{
    uint64_t target = virtual_world.now_ms + ms;
    for (;;) {
        platform_task* next = nullptr;
        for (auto& task : virtual_world.tasks)
            if (task.active && task.due_ms <= target && 
                (!next || task.due_ms < next->due_ms ||
                 (task.due_ms == next->due_ms && task.start_order < next->start_order)))
                next = &task;
        if (!next)
            break;
        if (next->due_ms > virtual_world.now_ms)
            virtual_world.now_ms = next->due_ms;
        virtual_hear_played_sound();
        next->due_ms += next->period_ms;
        next->tick();
    }
    virtual_world.now_ms = target;
    virtual_hear_played_sound();
}

uint32_t virtual_now_ms()
{
    return uint32_t(virtual_world.now_ms);
}
