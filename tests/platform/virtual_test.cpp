// The virtual backend's time: the sound cursor's formula, the scheduler that
// runs periodic tasks in virtual time, and the ring's cursor following it.
#include "platform/platform.h"
#include "platform/virtual/virtual_controls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> ticks;
void streaming_tick() { ticks.push_back("s" + std::to_string(virtual_now_ms())); }
void timer_tick() { ticks.push_back("t" + std::to_string(virtual_now_ms())); }

class Virtual : public testing::Test {
protected:
    void SetUp() override
    {
        platform_use(&platform_virtual_backend);
        virtual_reset();
        ticks.clear();
    }
    void TearDown() override { platform_use(&platform_sdl_backend); }
};

}  // namespace

TEST(SoundCursor, WholeFramesAtTheRingsRate)
{
    EXPECT_EQ(platform_sound_cursor_after_ms(0), 0u);
    EXPECT_EQ(platform_sound_cursor_after_ms(1), 44u * 4);      // 44.1 frames: whole ones only
    EXPECT_EQ(platform_sound_cursor_after_ms(10), 441u * 4);
    EXPECT_EQ(platform_sound_cursor_after_ms(1000), 176400u % 65536);
    // One ring lasts 16,384 frames, 371.5 ms: the cursor has wrapped at 372 ms.
    EXPECT_EQ(platform_sound_cursor_after_ms(371), 16361u * 4);
    EXPECT_EQ(platform_sound_cursor_after_ms(372), (16405u - 16384) * 4);
    // An hour on it still moves by 44 or 45 frames a millisecond, wrapping at the ring.
    uint32_t previous = 0;
    for (uint64_t ms = 1; ms < 3600000; ++ms) {
        uint32_t cursor = platform_sound_cursor_after_ms(ms);
        ASSERT_LT(cursor, platform_sound_buffer_bytes);
        uint32_t step = (cursor + platform_sound_buffer_bytes - previous) % platform_sound_buffer_bytes;
        ASSERT_TRUE(step == 176 || step == 180) << "at " << ms << " ms";
        previous = cursor;
    }
}

TEST_F(Virtual, TasksRunAtTheirDueTimesInOrder)
{
    platform_task* streaming = platform_task_start(streaming_tick, 20, true);
    platform_task* timer = platform_task_start(timer_tick, 30, false);
    ASSERT_NE(streaming, nullptr);
    ASSERT_NE(timer, nullptr);
    for (int i = 0; i < 17; ++i)
        virtual_advance_ms(7);  // 119 ms
    virtual_advance_ms(1);
    const std::vector<std::string> expected = {"s20", "t30", "s40", "s60", "t60", "s80",
                                               "t90", "s100", "s120", "t120"};
    EXPECT_EQ(ticks, expected);
    EXPECT_EQ(virtual_now_ms(), 120u);
    EXPECT_EQ(platform_ticks_ms(), 120u);

    // The same in one long step.
    virtual_reset();
    ticks.clear();
    platform_task_start(streaming_tick, 20, true);
    platform_task_start(timer_tick, 30, false);
    virtual_advance_ms(120);
    EXPECT_EQ(ticks, expected);

    // A stopped task ticks no more; sleeping moves the clock, and what fell
    // due meanwhile runs late, at the next advance, every tick of it.
    virtual_reset();
    ticks.clear();
    streaming = platform_task_start(streaming_tick, 20, true);
    timer = platform_task_start(timer_tick, 30, false);
    EXPECT_TRUE(platform_task_stop(timer, 1000));
    platform_sleep_ms(45);
    EXPECT_EQ(virtual_now_ms(), 45u);
    EXPECT_TRUE(ticks.empty());
    virtual_advance_ms(0);
    EXPECT_EQ(ticks, (std::vector<std::string>{"s45", "s45"}));
    virtual_advance_ms(15);
    EXPECT_EQ(ticks, (std::vector<std::string>{"s45", "s45", "s60"}));
}

TEST_F(Virtual, SoundCursorFollowsTheVirtualClock)
{
    bool silent = true;
    ASSERT_TRUE(platform_sound_open(&silent));
    EXPECT_FALSE(silent);
    ASSERT_NE(platform_sound_buffer(), nullptr);
    virtual_advance_ms(100);
    EXPECT_EQ(platform_sound_play_cursor(), 0u) << "moved before play";
    platform_sound_play();
    virtual_advance_ms(250);
    EXPECT_EQ(platform_sound_play_cursor(), platform_sound_cursor_after_ms(250));
    virtual_advance_ms(1000);
    EXPECT_EQ(platform_sound_play_cursor(), platform_sound_cursor_after_ms(1250));
    platform_sound_close();
}
