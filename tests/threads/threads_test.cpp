// The threaded hand-offs under real threads, for ThreadSanitizer (the race
// check of ./check builds this with it): the clock's timer against a frame
// loop that stalls, tasks started and stopped many times, and the sound ring
// between the streaming task and SDL's audio thread.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "app/clock.h"
#include "director/timeline.h"
#include "music/sound.h"
#include "platform/platform.h"
#include "platform/task_pool.h"

namespace {

// A song that moves on at every tick, its position word's row and order
// always equal: an event made of two ticks' halves would show them unequal.
int source_step = 0;  // timer thread only
uint8_t moving_sync() { return uint8_t(1 + source_step % 200); }
uint16_t moving_position()
{
    ++source_step;
    int k = 1 + source_step % 250;
    return uint16_t(k << 8 | k);
}

}  // namespace

TEST(Threads, TheClockTimerAgainstAFrameLoopThatStalls)
{
    platform_use(&platform_sdl_backend);
    show_clock = clock_state{};
    start_timer(1, 1, {moving_sync, moving_position});  // 40 ticks fill a ring in 40 ms
    int positions = 0;
    for (int frame = 0; frame < 120; ++frame) {
        platform_sleep_ms(frame % 10 == 0 ? 120 : 10);  // every tenth frame stalls past a ring's worth
        update_clock();
        EXPECT_EQ(show_clock.music.music_row, show_clock.music.music_order);
        positions += show_clock.music.music_row != 0;
    }
    stop_timer();
    EXPECT_GT(positions, 0);
}

namespace {
int ticks_seen = 0;  // plain: a tick after its task's stop returned is a race here
void plain_tick() { ++ticks_seen; }
}  // namespace

TEST(Threads, TasksStartedAndStoppedManyTimes)
{
    platform_use(&platform_sdl_backend);
    for (int round = 0; round < 100; ++round) {
        platform_task* task = platform_task_start(plain_tick, 1, round % 2 == 0);
        ASSERT_NE(task, nullptr);
        platform_sleep_ms(round % 3);
        ASSERT_TRUE(platform_task_stop(task, 1000));
        ticks_seen = 0;
    }
}

namespace {
// Win32's kind of ordinary task, a system timer's callback, played by a
// thread that calls the pool's timer body over and over; its stop does not
// wait for a call under way (nor does timeKillEvent).
std::atomic<bool> fake_timer_runs{false};
std::thread fake_timer_thread;
void* fake_timer_start(platform_task* task, uint32_t)
{
    fake_timer_runs = true;
    fake_timer_thread = std::thread([task] {
        while (fake_timer_runs.load(std::memory_order_relaxed))
            task_pool_timer_body(task);
    });
    return &fake_timer_thread;
}
void fake_timer_stop(void*) { fake_timer_runs.store(false, std::memory_order_relaxed); }
const task_pool_threads timer_threads = {
    nullptr, nullptr, nullptr, nullptr, fake_timer_start, fake_timer_stop,
    [] { return platform_ticks_ms(); }, [](uint32_t ms) { platform_sleep_ms(ms); }, false,
};
}  // namespace

TEST(Threads, TimerTasksStartedAndStoppedManyTimes)
{
    platform_use(&platform_sdl_backend);
    for (int round = 0; round < 100; ++round) {
        platform_task* task = task_pool_start(timer_threads, plain_tick, 1, false);
        ASSERT_NE(task, nullptr);
        platform_sleep_ms(round % 3);
        ASSERT_TRUE(task_pool_stop(task, 1000));
        ticks_seen = 0;
        fake_timer_thread.join();
    }
}

TEST(Threads, TheSoundRingBetweenTheStreamingTaskAndTheAudioThread)
{
    platform_use(&platform_sdl_backend);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_NE(sound_start(load_music()), 0u);
    ASSERT_FALSE(sound_output.silent);
    player_start(sound_output.player, 0);
    platform_sleep_ms(1500);
    EXPECT_GT(player_position(sound_output.player), 0) << "the song did not move";
    player_stop(sound_output.player);
    sound_shutdown();
    unsetenv("SDL_AUDIODRIVER");
}
