// The spine on the virtual backend: the window procedure, the one-event
// pump, the end-of-show test, and whole runs of program_entry.
#include "app/entry.h"

#include <gtest/gtest.h>

#include <string>

#include "app/clock.h"
#include "app/display.h"
#include "director/timeline.h"
#include "platform/platform.h"
#include "platform/virtual/virtual_controls.h"

namespace {

class Entry : public testing::Test {
protected:
    void SetUp() override
    {
        platform_use(&platform_virtual_backend);
        virtual_reset();
        display = display_state{};
        quit_requested = 0;
    }
    void TearDown() override
    {
        display_release();
        quit_requested = 0;
        platform_use(&platform_sdl_backend);
    }
};

// Counts frames and notes whether the cursor was hidden while they were flipped.
struct flip_log {
    int frames = 0;
    int with_cursor = 0;
};

void log_flip(const virtual_frame&, void* user)
{
    auto* log = static_cast<flip_log*>(user);
    ++log->frames;
    log->with_cursor += virtual_cursor_visible();
}

// Counts frames and, after each is presented, puts the song where `row` of order 27 says.
struct song_at_end {
    flip_log log;
    int32_t row;
};

void move_song(const virtual_frame& frame, void* user)
{
    auto* song = static_cast<song_at_end*>(user);
    log_flip(frame, &song->log);
    show_clock.music.music_order = 27;
    show_clock.music.music_row = song->row;
}

}  // namespace

TEST_F(Entry, EscapeAndCloseQuitOtherEventsDoNothing)
{
    for (platform_event event : {platform_event::key_other, platform_event::other, platform_event::none}) {
        window_proc(event);
        EXPECT_EQ(quit_requested, 0);
    }
    window_proc(platform_event::key_escape);
    EXPECT_EQ(quit_requested, 1);
    quit_requested = 0;
    window_proc(platform_event::close);
    EXPECT_EQ(quit_requested, 1);
}

TEST_F(Entry, PumpHandlesOneEventPerCall)
{
    virtual_push_event(platform_event::key_other);
    virtual_push_event(platform_event::other);
    virtual_push_event(platform_event::key_escape);
    pump_one_message();
    pump_one_message();
    EXPECT_EQ(quit_requested, 0);
    pump_one_message();
    EXPECT_EQ(quit_requested, 1);
    pump_one_message();  // nothing left: returns at once
}

TEST_F(Entry, ShowEndsAtOrder27Row62)
{
    EXPECT_FALSE(show_has_ended(0, 0));
    EXPECT_FALSE(show_has_ended(27, 61));
    EXPECT_TRUE(show_has_ended(27, 62));
    EXPECT_TRUE(show_has_ended(27, 255));
    EXPECT_FALSE(show_has_ended(26, 63));
    EXPECT_FALSE(show_has_ended(28, 0));
    // A frame rate too low to see rows 62 and 63 of order 27 still ends the show.
    EXPECT_TRUE(song_has_come_round(27 << 8 | 61, 0, 2));
    EXPECT_FALSE(song_has_come_round(26 << 8 | 63, 27, 0));
    EXPECT_FALSE(song_has_come_round(0, 0, 0));
}

TEST_F(Entry, EscapeEndsTheRunAfterTheFramePresented)
{
    flip_log log;
    virtual_set_frame_sink(log_flip, &log);
    virtual_push_event(platform_event::key_other);
    virtual_push_event(platform_event::other);
    virtual_push_event(platform_event::key_escape);
    virtual_push_event(platform_event::key_other);  // never reached
    EXPECT_EQ(program_entry(), 0);
    // One event per frame: the Escape is pumped in the third frame, which was presented.
    EXPECT_EQ(log.frames, 3);
    EXPECT_EQ(loop_stats.frames, 3u);
    EXPECT_EQ(log.with_cursor, 0) << "the cursor showed during the show";
    EXPECT_TRUE(virtual_cursor_visible());
    EXPECT_EQ(display_frame_buffer(), nullptr);
    EXPECT_EQ(virtual_display_mode().depth, 0);
}

TEST_F(Entry, TheSongsEndEndsTheRun)
{
    song_at_end song{{}, 61};
    virtual_set_frame_sink(move_song, &song);
    virtual_push_event(platform_event::other);
    virtual_push_event(platform_event::close);
    EXPECT_EQ(program_entry(), 0);
    EXPECT_EQ(song.log.frames, 2) << "order 27 row 61 is still part of the show";

    virtual_reset();
    song = {{}, 62};
    virtual_set_frame_sink(move_song, &song);
    quit_requested = 0;
    EXPECT_EQ(program_entry(), 0);
    EXPECT_EQ(song.log.frames, 1);
}

TEST_F(Entry, NoDisplayEndsWithStatusOneAndItsReason)
{
    virtual_faults faults;
    faults.open = true;
    virtual_set_faults(faults);
    testing::internal::CaptureStderr();
    EXPECT_EQ(program_entry(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "DDraw Error\noddball: the display could not be set up: the virtual display was told to fail\n");
    EXPECT_EQ(virtual_frames_flipped(), 0u);
    EXPECT_TRUE(virtual_cursor_visible());

    // Without a window, the display says so.
    virtual_reset();
    faults = {};
    faults.window = true;
    virtual_set_faults(faults);
    testing::internal::CaptureStderr();
    EXPECT_EQ(program_entry(), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("could not be set up: no window"), std::string::npos);

    // Without a streaming step the song would never move: status 1, not a show that never ends.
    virtual_reset();
    faults = {};
    faults.tasks = true;
    virtual_set_faults(faults);
    testing::internal::CaptureStderr();
    EXPECT_EQ(program_entry(), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("the sound could not be started"), std::string::npos);
    EXPECT_EQ(virtual_frames_flipped(), 0u);
}
