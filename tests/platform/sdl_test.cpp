// The SDL backend's threads and sound ring without a window: periodic tasks
// and their bounded stop, the silent device and a real (dummy) device.
#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace {

std::atomic<int> tick_count{0};
void count_tick() { ++tick_count; }

std::atomic<bool> slow_tick_done{false};
void slow_tick()
{
    SDL_Delay(600);
    slow_tick_done = true;
}

}  // namespace

TEST(SdlTasks, RunPeriodicallyAndStopWithinTheWait)
{
    platform_use(&platform_sdl_backend);
    tick_count = 0;
    platform_task* task = platform_task_start(count_tick, 5, true);
    ASSERT_NE(task, nullptr);
    platform_sleep_ms(120);
    EXPECT_TRUE(platform_task_stop(task, 1000));
    int after_stop = tick_count;
    EXPECT_GT(after_stop, 3);
    platform_sleep_ms(40);
    EXPECT_EQ(tick_count, after_stop) << "ticked after its stop";
    EXPECT_TRUE(platform_task_stop(nullptr, 0));
}

TEST(SdlTasks, AStopThatGivesUpLeavesTheTaskRunningSafely)
{
    platform_use(&platform_sdl_backend);
    slow_tick_done = false;
    platform_task* task = platform_task_start(slow_tick, 1, false);
    ASSERT_NE(task, nullptr);
    platform_sleep_ms(30);  // the first tick is under way
    uint32_t asked = platform_ticks_ms();
    EXPECT_FALSE(platform_task_stop(task, 20));
    EXPECT_LT(platform_ticks_ms() - asked, 400u) << "the stop waited past its bound";
    EXPECT_FALSE(slow_tick_done);
    // The tick finishes on its own with its record intact, and the task ends;
    // asking again now says so.
    for (int i = 0; i < 300 && !slow_tick_done; ++i)
        platform_sleep_ms(10);
    EXPECT_TRUE(slow_tick_done);
    EXPECT_TRUE(platform_task_stop(task, 500));
}

TEST(SdlSound, WithoutADeviceTheCursorRunsInRealTime)
{
    platform_use(&platform_sdl_backend);
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    bool silent = false;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(platform_sound_open(&silent));
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(silent);
    EXPECT_NE(said.find("no sound device"), std::string::npos) << said;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << "more than one line: " << said;

    platform_sleep_ms(30);
    EXPECT_EQ(platform_sound_play_cursor(), 0u) << "moved before play";
    uint32_t before_play = platform_ticks_ms();
    platform_sound_play();
    uint32_t after_play = platform_ticks_ms();
    platform_sleep_ms(100);
    uint32_t before_read = platform_ticks_ms();
    uint32_t cursor = platform_sound_play_cursor();
    uint32_t after_read = platform_ticks_ms();
    // Well inside one ring (372 ms), so the cursor has not wrapped.
    ASSERT_LT(after_read - before_play, 300u);
    EXPECT_GE(cursor, platform_sound_cursor_after_ms(before_read - after_play));
    EXPECT_LE(cursor, platform_sound_cursor_after_ms(after_read - before_play));
    EXPECT_EQ(cursor % 4, 0u);
    platform_sound_close();
    unsetenv("SDL_AUDIODRIVER");
}

TEST(SdlSound, ADeviceMovesTheCursorAsItPlaysTheRing)
{
    platform_use(&platform_sdl_backend);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    bool silent = true;
    ASSERT_TRUE(platform_sound_open(&silent));
    EXPECT_FALSE(silent);
    platform_sleep_ms(60);
    EXPECT_EQ(platform_sound_play_cursor(), 0u) << "moved before play";
    platform_sound_play();
    uint32_t cursor = 0;
    for (int i = 0; i < 100 && cursor == 0; ++i) {
        platform_sleep_ms(10);
        cursor = platform_sound_play_cursor();
    }
    EXPECT_GT(cursor, 0u);
    EXPECT_EQ(cursor % 4, 0u);
    platform_sound_close();
    unsetenv("SDL_AUDIODRIVER");
}
