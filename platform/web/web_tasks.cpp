// The page's clock and its periodic tasks, run from the page's timers and the worklet's reports (emscripten).
#include <emscripten.h>

#include "platform/web/web_controls.h"
#include "platform/web/web_parts.h"

double web_now_ms()
{
    return emscripten_get_now();
}

uint32_t web_ticks_ms()
{
    return uint32_t(uint64_t(web_now_ms()));
}

// A page cannot block; waiting here would only hold up its animation.
void web_sleep_ms(uint32_t) {}

platform_task* web_task_start(platform_tick_fn tick, uint32_t period_ms, bool high_priority)
{
    if (!tick || period_ms == 0)
        return nullptr;
    for (auto& task : web_world.tasks)
        if (!task.active) {
            task = {tick, period_ms, web_now_ms() + period_ms, 0, high_priority, true};
            return &task;
        }
    return nullptr;
}

bool web_task_stop(platform_task* task, uint32_t)
{
    task->active = false;
    return true;
}

uint64_t web_largest_tick_gap_us()
{
    return web_world.largest_gap_us;
}

void web_run_due_tasks()
{
    double now = web_now_ms();
    for (auto& task : web_world.tasks) {
        if (!task.active || now < task.due_ms)
            continue;
        // A page in the background gets its timers late: a task that fell
        // far behind runs once and starts again from now.
        if (now - task.due_ms > 1000)
            task.due_ms = now;
        task.due_ms += task.period_ms;
        if (task.high_priority && task.last_start_ms > 0) {
            uint64_t gap = uint64_t((now - task.last_start_ms) * 1000);
            if (gap > web_world.largest_gap_us)
                web_world.largest_gap_us = gap;
        }
        task.last_start_ms = now;
        task.tick();
        web_feed_sound();
    }
}

void web_reset_tick_gap()
{
    web_world.largest_gap_us = 0;
}
