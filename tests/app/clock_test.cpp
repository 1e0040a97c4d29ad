// The show clock: events stamped by the timer reach the frame loop a little over the release delay later.
#include "app/clock.h"
#include "director/timeline.h"

#include <gtest/gtest.h>

namespace {

uint16_t position(int order, int row) { return uint16_t(order << 8 | row); }

class Clock : public testing::Test {
protected:
    void SetUp() override
    {
        show_clock = clock_state{};
        show_clock.music = music_position{};
    }
    // One frame at `now` whose timer ticks saw `sync` and `word`.
    void frame(int32_t now) { clock_advance(now); }
};

TEST_F(Clock, SyncEventIsReleasedInTheFirstFrameMoreThanTheDelayLater)
{
    static_assert(clock_release_delay_ms == 346);
    frame(100);
    timer_sample(2, 0, 100);
    frame(300);
    frame(446);  // 446 is not more than 100 + 346
    EXPECT_EQ(show_clock.music.sync_pending, 0);
    frame(447);
    EXPECT_EQ(show_clock.music.sync_pending, 1);
    EXPECT_EQ(show_clock.music.sync_value, 2);
}

TEST_F(Clock, OneSyncEventPerFrameLowestIndexFirst)
{
    frame(10);
    timer_sample(1, 0, show_clock.elapsed_ms);
    timer_sample(2, 0, show_clock.elapsed_ms);
    timer_sample(3, 0, show_clock.elapsed_ms);
    frame(1000);
    EXPECT_EQ(show_clock.music.sync_value, 1);
    show_clock.music.sync_pending = 0;
    frame(1001);
    EXPECT_EQ(show_clock.music.sync_value, 2);
    show_clock.music.sync_pending = 0;
    frame(1002);
    EXPECT_EQ(show_clock.music.sync_value, 3);
    show_clock.music.sync_pending = 0;
    frame(1003);
    EXPECT_EQ(show_clock.music.sync_pending, 0);
}

TEST_F(Clock, EqualSyncValuesInARowGiveOneEvent)
{
    frame(10);
    timer_sample(2, 0, show_clock.elapsed_ms);
    timer_sample(2, 0, show_clock.elapsed_ms);
    timer_sample(2, 0, show_clock.elapsed_ms);
    frame(1000);
    EXPECT_EQ(show_clock.music.sync_pending, 1);
    show_clock.music.sync_pending = 0;
    frame(1001);
    EXPECT_EQ(show_clock.music.sync_pending, 0);
    // A zero in between makes the next 2 a new event (and the 0 one of its own).
    timer_sample(0, 0, show_clock.elapsed_ms);
    timer_sample(2, 0, show_clock.elapsed_ms);
    frame(2000);
    EXPECT_EQ(show_clock.music.sync_value, 0);
    show_clock.music.sync_pending = 0;
    frame(2001);
    EXPECT_EQ(show_clock.music.sync_value, 2);
}

TEST_F(Clock, OnlyTheNewestOfSeveralDuePositionsIsPublished)
{
    frame(10);
    timer_sample(0, position(1, 5), show_clock.elapsed_ms);
    frame(20);
    timer_sample(0, position(1, 6), show_clock.elapsed_ms);
    frame(30);
    timer_sample(0, position(1, 7), show_clock.elapsed_ms);
    frame(100);
    EXPECT_EQ(show_clock.music.music_row, 0);
    frame(30 + clock_release_delay_ms + 1);  // all three due at once
    EXPECT_EQ(show_clock.music.music_order, 1);
    EXPECT_EQ(show_clock.music.music_row, 7);
    for (const auto& e : show_clock.position_ring)
        EXPECT_EQ(e.pending, 0);
}

TEST_F(Clock, PositionStampedAtTimeZeroIsConsumedWithoutBeingPublished)
{
    timer_sample(0, position(0, 1), 0);
    frame(clock_release_delay_ms + 50);
    EXPECT_EQ(show_clock.music.music_row, 0);
    EXPECT_EQ(show_clock.position_ring[0].pending, 0);
    // The song's start position raises no event at all.
    show_clock = clock_state{};
    timer_sample(0, position(0, 0), show_clock.elapsed_ms);
    EXPECT_EQ(show_clock.position_write, 0);
}

TEST_F(Clock, AFullRingKeepsTheOldestAndSendsTheNewestWhenAnEntryIsFree)
{
    for (int i = 1; i <= 41; ++i) {
        frame(i);
        timer_sample(0, position(0, i), show_clock.elapsed_ms);
    }
    EXPECT_EQ(show_clock.position_write, 0);  // the 41st found entry 0 still pending
    frame(1000);
    EXPECT_EQ(show_clock.music.music_row, 40);
    timer_sample(0, position(0, 41), show_clock.elapsed_ms);  // the song is still there: now it goes out
    frame(2000);
    EXPECT_EQ(show_clock.music.music_row, 41);
}

TEST_F(Clock, SilentTimerPublishesNothing)
{
    for (int t = 0; t < 10000; t += 16)
        frame(t);
    EXPECT_EQ(show_clock.music.music_order, 0);
    EXPECT_EQ(show_clock.music.music_row, 0);
    EXPECT_EQ(show_clock.music.sync_pending, 0);
}

}  // namespace
