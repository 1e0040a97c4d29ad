// The show clock: events stamped by the timer reach the frame loop a little over 250 ms later.
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

TEST_F(Clock, SyncEventIsReleasedInTheFirstFrameMoreThan250msLater)
{
    frame(100);
    timer_sample(2, 0);  // stamped with the last frame's clock, 100
    frame(300);
    frame(350);  // 350 is not more than 100 + 250
    EXPECT_EQ(show_clock.music.sync_pending, 0);
    frame(351);
    EXPECT_EQ(show_clock.music.sync_pending, 1);
    EXPECT_EQ(show_clock.music.sync_value, 2);
}

TEST_F(Clock, OneSyncEventPerFrameLowestIndexFirst)
{
    frame(10);
    timer_sample(1, 0);
    timer_sample(2, 0);
    timer_sample(3, 0);
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
    timer_sample(2, 0);
    timer_sample(2, 0);
    timer_sample(2, 0);
    frame(1000);
    EXPECT_EQ(show_clock.music.sync_pending, 1);
    show_clock.music.sync_pending = 0;
    frame(1001);
    EXPECT_EQ(show_clock.music.sync_pending, 0);
    // A zero in between makes the next 2 a new event (and the 0 one of its own).
    timer_sample(0, 0);
    timer_sample(2, 0);
    frame(2000);
    EXPECT_EQ(show_clock.music.sync_value, 0);
    show_clock.music.sync_pending = 0;
    frame(2001);
    EXPECT_EQ(show_clock.music.sync_value, 2);
}

TEST_F(Clock, OnlyTheNewestOfSeveralDuePositionsIsPublished)
{
    frame(10);
    timer_sample(0, position(1, 5));
    frame(20);
    timer_sample(0, position(1, 6));
    frame(30);
    timer_sample(0, position(1, 7));
    frame(100);
    EXPECT_EQ(show_clock.music.music_row, 0);
    frame(281);  // all three due at once
    EXPECT_EQ(show_clock.music.music_order, 1);
    EXPECT_EQ(show_clock.music.music_row, 7);
    for (const auto& e : show_clock.position_ring)
        EXPECT_EQ(e.pending, 0);
}

TEST_F(Clock, PositionStampedAtTimeZeroIsConsumedWithoutBeingPublished)
{
    timer_sample(0, position(0, 1));  // elapsed_ms is still 0
    frame(300);
    EXPECT_EQ(show_clock.music.music_row, 0);
    EXPECT_EQ(show_clock.position_ring[0].pending, 0);
    // The song's start position raises no event at all.
    show_clock = clock_state{};
    show_clock.music = music_position{};
    timer_sample(0, position(0, 0));
    EXPECT_EQ(show_clock.position_write, 0);
}

TEST_F(Clock, AFullRingKeepsTheOldestAndSendsTheNewestWhenAnEntryIsFree)
{
    for (int i = 1; i <= 41; ++i) {
        frame(i);
        timer_sample(0, position(0, i));
    }
    EXPECT_EQ(show_clock.position_write, 0);  // the 41st found entry 0 still pending
    frame(1000);
    EXPECT_EQ(show_clock.music.music_row, 40);
    timer_sample(0, position(0, 41));  // the song is still there: now it goes out
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
