// The opening scenes: black start, title frames per beat, the caption column by event count, counter resets, golden stills.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "director/timeline.h"
#include "media/media_files.h"
#include "tests/support/helpers.h"
#include "tests/support/scene_frames.h"
#include "director/pictures.h"

namespace {

// The song position the tests hand the timeline.
music_position music;


constexpr int width = 320;
constexpr int height = 240;

class OpeningScenes : public testing::Test {
protected:
    void SetUp() override
    {
        director = director_state{};
        music = music_position{};
    }

    // One frame through the timeline with the director in `state`, at song
    // order `order`; the buffer starts with a pattern the scene must cover.
    static frame draw(const director_state& state, int32_t order, int32_t t)
    {
        director = state;
        music.music_order = order;
        music.sync_pending = 0;
        frame pixels(width * height, 0x5A5A5A5Au);
        timeline_frame(t, music, pixels.data());
        return pixels;
    }

    // Where drawing caption `index` changes the frame: the frame as the
    // scene draws it against the same frame with that caption left empty.
    static box caption_footprint(int index, const director_state& state, int32_t order, int32_t t,
                                 frame* with_caption = nullptr, frame* without_caption = nullptr)
    {
        return ::caption_footprint(index, [&] { return draw(state, order, t); }, with_caption, without_caption);
    }

    // The captions among `candidates` whose absence changes the frame.
    static std::set<int> captions_shown(const std::set<int>& candidates, const director_state& state, int32_t order,
                                        int32_t t)
    {
        std::set<int> shown;
        for (int index : candidates)
            if (!caption_footprint(index, state, order, t).empty())
                shown.insert(index);
        return shown;
    }

    // The footprint lies inside caption `index` placed at (x, y).
    static void expect_inside(const box& b, int index, int x, int y)
    {
        const image& c = caption_table[index];
        EXPECT_GE(b.left, x) << "caption " << index;
        EXPECT_GE(b.top, y) << "caption " << index;
        EXPECT_LT(b.right, x + c.width) << "caption " << index;
        EXPECT_LT(b.bottom, y + c.height) << "caption " << index;
    }

    void event(int32_t t, int32_t value, uint32_t* pixels)
    {
        music.sync_pending = 1;
        music.sync_value = value;
        timeline_frame(t, music, pixels);
    }
};

size_t non_black(const frame& f)
{
    return size_t(std::count_if(f.begin(), f.end(), [](uint32_t p) { return (p & 0xFFFFFF) != 0; }));
}

TEST_F(OpeningScenes, ShowStartsBlackThenTitleFramesFollowTheBeats)
{
    // Before any beat every frame is black, whatever the buffer held.
    for (int32_t t : {0, 16, 250, 900}) {
        frame f = draw(director, 0, t);
        EXPECT_EQ(non_black(f), 0u) << "t = " << t;
        EXPECT_TRUE(std::all_of(f.begin(), f.end(), [](uint32_t p) { return p == 0; })) << "t = " << t;
    }

    // Beats through the timeline; after each, a quiet frame 400 ms later is
    // checked for which title frame it carries and where.
    const std::set<int> titles = {9, 10, 11, 12, 13, 14};
    const int expected[10] = {-1, -1, 9, 10, 11, 12, 13, 14, 12, -1};  // by beats so far
    frame pixels(width * height);
    for (int beats = 1; beats <= 9; ++beats) {
        const int32_t t = 1000 * beats;
        music.music_order = beats <= 5 ? 0 : 1;
        event(t, 1, pixels.data());
        ASSERT_EQ(director.reveal_beats, beats);
        const director_state state = director;
        const int32_t order = music.music_order;

        frame f = draw(state, order, t + 400);
        EXPECT_GT(non_black(f), size_t(width * height / 2)) << "the zoomer shows after beat " << beats;

        std::set<int> want;
        if (expected[beats] >= 0)
            want.insert(expected[beats]);
        EXPECT_EQ(captions_shown(titles, state, order, t + 400), want) << "after beat " << beats;
        if (expected[beats] >= 0)
            expect_inside(caption_footprint(expected[beats], state, order, t + 400), expected[beats], 50, 40);
    }
}

TEST_F(OpeningScenes, CaptionColumnFollowsTheEventCount)
{
    // Every caption of the column, with the event count that first shows it
    // and its place on the screen (67 and 68 are blank and darken nothing).
    const struct {
        int index;
        int32_t first_count;
        int x, y;
    } column[] = {
        {16, 1, 0, 160},   {17, 2, 44, 160},   {93, 5, 17, 195},  {69, 6, 30, 212},
        {85, 7, 211, 15},  {86, 8, 240, 0},    {87, 9, 211, 32},  {88, 10, 170, 56},
        {91, 10, 214, 104}, {89, 11, 180, 80}, {90, 12, 230, 80},
    };
    std::set<int> candidates;
    for (const auto& c : column)
        candidates.insert(c.index);

    director_state state;
    state.sync1_time = 13000;  // a second after a beat: the streaks have settled
    const int32_t t = 14000;
    for (int32_t count : {0, 1, 4, 5, 6, 11, 12}) {
        state.sync23_count = count;
        std::set<int> want;
        for (const auto& c : column)
            if (count >= c.first_count)
                want.insert(c.index);
        EXPECT_EQ(captions_shown(candidates, state, 2, t), want) << "sync23_count = " << count;
    }

    // With every caption showing, each one changes only its own rectangle.
    state.sync23_count = 12;
    for (const auto& c : column)
        expect_inside(caption_footprint(c.index, state, 3, t), c.index, c.x, c.y);

    // Caption 93 darkens what lies under it: every byte it touches goes down or stays.
    state.sync23_count = 5;
    frame with, without;
    ASSERT_FALSE(caption_footprint(93, state, 2, t, &with, &without).empty());
    for (int i = 0; i < width * height; ++i)
        for (int shift = 0; shift < 24; shift += 8)
            ASSERT_LE((with[i] >> shift) & 255, (without[i] >> shift) & 255) << "pixel " << i;
}

TEST_F(OpeningScenes, LongCaptionScrollsLeftOnePixelPer16Ms)
{
    director_state state;
    state.sync1_time = 11000;
    // At 12 s its left edge is at 1000 - 750 = 250; 1.6 s later 100 pixels further left.
    const box at_12s = caption_footprint(18, state, 2, 12000);
    ASSERT_FALSE(at_12s.empty());
    expect_inside(at_12s, 18, 250, 170);
    const box later = caption_footprint(18, state, 2, 13600);
    ASSERT_FALSE(later.empty());
    expect_inside(later, 18, 150, 170);
    EXPECT_LT(later.left, 250);
}

TEST_F(OpeningScenes, CountersResetAndPulsesIntegrate)
{
    director_state start;
    start.sync23_count = 5;
    start.sync2_count = 4;
    start.reveal_beats = 3;
    start.sequence_beats = 3;
    start.subtitle_beats = 3;
    start.prev_frame_time = 5980;

    // Orders 0 and 1 keep the counters; a beat 150 ms ago gives a pulse of
    // 65 - 15 = 50, over 20 ms 20 x 50^2.
    start.sync1_time = 5850;
    draw(start, 1, 6000);
    EXPECT_EQ(director.sync23_count, 5);
    EXPECT_EQ(director.sequence_beats, 3);
    EXPECT_EQ(director.reveal_beats, 3);
    EXPECT_EQ(director.subtitle_beats, 3);
    EXPECT_EQ(director.sync2_count, 4);
    EXPECT_EQ(director.pulse_phase, 50000.0f);
    EXPECT_EQ(director.prev_frame_time, 6000);

    // Orders 2 and 3 entered from 0 and 1 count their column from 0 again.
    director_state entering = start;
    entering.scene = int32_t(scene_id::opening_zoomer);
    draw(entering, 2, 6000);
    EXPECT_EQ(director.sync23_count, 0);
    EXPECT_EQ(director.sequence_beats, 0);
    EXPECT_EQ(director.reveal_beats, 3);

    // Then they keep the counters.  An event of value 3 100 ms ago
    // (pulse 55) outweighing one of value 2 800 ms ago (pulse 20) pulls the
    // phase back by 20 x 75^2; the other way round it pushes it forward.
    start.pulse_phase = 1000.0f;
    start.sync3_time = 5900;
    start.sync2_time = 5200;
    draw(start, 2, 6000);
    EXPECT_EQ(director.sync23_count, 5);
    EXPECT_EQ(director.sequence_beats, 3);
    EXPECT_EQ(director.pulse_phase, 1000.0f - 112500.0f);
    start.sync3_time = 5200;
    start.sync2_time = 5900;  // pulse 90 against 0: 20 x 90^2 forward
    draw(start, 3, 6000);
    EXPECT_EQ(director.pulse_phase, 1000.0f + 162000.0f);
}

// Frames of the real show, as `oddball --still` renders them, reviewed by eye
// (docs/stills/ holds them) and pinned here.
TEST(OpeningStills, GoldenHashes)
{
    const std::string dir = scratch_dir("opening_stills");
    const struct {
        int32_t ms;
        const char* hash;
    } stills[] = {
        {2000, "adcdc9ea6428f567"},
        {6000, "4a487f0a4bef462a"},
        {12000, "5e9039303f8ad30b"},
        {20000, "7d3a8e58a407eaa8"},
    };
    for (const auto& s : stills) {
        const std::string path = dir + "/still_" + std::to_string(s.ms) + ".png";
        command_result run =
            run_command(binary_path("oddball") + " --still " + std::to_string(s.ms) + " " + path);
        ASSERT_EQ(run.status, 0) << run.errors;
        picture still;
        std::string error;
        ASSERT_TRUE(png_read(path, &still, &error)) << error;
        ASSERT_EQ(still.width, width);
        ASSERT_EQ(still.height, height);
        EXPECT_EQ(hash_bytes(still.pixels.data(), still.pixels.size() * 4), s.hash) << "still at " << s.ms << " ms";
    }
}

}  // namespace
