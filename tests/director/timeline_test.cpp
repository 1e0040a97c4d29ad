// The timeline: what each sync event changes, and which scene each order position runs.
#include "director/timeline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>


namespace {

// The song position the tests hand the timeline.
music_position music;


class Timeline : public testing::Test {
protected:
    void SetUp() override
    {
        director = director_state{};
        music = music_position{};
        // Orders 2 and 3 keep every counter; their scene only integrates
        // pulse_phase, which the comparisons below take as it comes.
        music.music_order = 2;
    }
    // The director's state equals `expect` apart from pulse_phase.
    static bool state_is(director_state expect)
    {
        expect.pulse_phase = director.pulse_phase;
        expect.scene = director.scene;
        return std::memcmp(&director, &expect, sizeof expect) == 0;
    }
    void frame_with_event(int32_t t, int32_t value)
    {
        music.sync_pending = 1;
        music.sync_value = value;
        timeline_frame(t, music, screen.data());
    }
    std::vector<uint32_t> screen = std::vector<uint32_t>(320 * 240, 0x12345678);
};

TEST_F(Timeline, SyncValuesChangeExactlyTheirState)
{
    const director_state start;

    frame_with_event(100, 1);
    director_state expect = start;
    expect.spin_sign = 1;
    expect.reveal_beats = expect.sequence_beats = expect.subtitle_beats = 1;
    expect.sync1_time = 100;
    expect.prev_frame_time = 100;
    EXPECT_TRUE(state_is(expect));
    EXPECT_EQ(music.sync_pending, 0);

    frame_with_event(200, 2);
    expect.sync23_count = 1;
    expect.sync2_count = 1;
    expect.sync2_time = 200;
    expect.prev_frame_time = 200;
    EXPECT_TRUE(state_is(expect));

    frame_with_event(300, 3);
    expect.sync23_count = 2;
    expect.sync3_time = 300;
    expect.prev_frame_time = 300;
    EXPECT_TRUE(state_is(expect));

    // 0 and any other value are consumed and change nothing but the frame time.
    frame_with_event(400, 0);
    frame_with_event(500, 7);
    expect.prev_frame_time = 500;
    EXPECT_TRUE(state_is(expect));
    EXPECT_EQ(music.sync_pending, 0);

    // A second event of value 1 turns the spin back.
    frame_with_event(600, 1);
    EXPECT_EQ(director.spin_sign, -1);
    EXPECT_EQ(director.reveal_beats, 2);
}

TEST_F(Timeline, NoPendingEventChangesNothing)
{
    music.sync_value = 1;  // stale value without the pending mark
    timeline_frame(40, music, screen.data());
    EXPECT_EQ(director.reveal_beats, 0);
    EXPECT_EQ(director.sync1_time, -10000);
    EXPECT_EQ(director.prev_frame_time, 40);
}

TEST(SceneTable, BoundariesPickTheRightScene)
{
    const struct {
        int32_t order;
        scene_id scene;
    } cases[] = {
        {0, scene_id::opening_zoomer},    {1, scene_id::opening_zoomer},
        {2, scene_id::zoomer_streaks},    {3, scene_id::zoomer_streaks},
        {4, scene_id::plasma_shaded},     {5, scene_id::plasma_shaded},
        {6, scene_id::plasma_lines},      {8, scene_id::plasma_lines},
        {9, scene_id::bump_sprites},      {10, scene_id::bump_sprites},
        {11, scene_id::plasma_shaded_two}, {12, scene_id::plasma_shaded_two},
        {13, scene_id::zoomer_dots},      {14, scene_id::zoomer_dots},
        {15, scene_id::plasma_sequence},  {16, scene_id::plasma_sequence},
        {17, scene_id::tunnel},           {22, scene_id::tunnel},
        {23, scene_id::layer_lens},       {26, scene_id::layer_lens},
        {27, scene_id::closing_layer},    {28, scene_id::closing_layer},
        {255, scene_id::closing_layer},
    };
    for (const auto& c : cases)
        EXPECT_EQ(scene_for_order(c.order), c.scene) << "order " << c.order;
}

TEST(TextureSequences, StoredTablesHoldTheSlotsInOrder)
{
    const int32_t warp[30] = {6, 7, 6, 9, 7, 15, 12, 6, 7, 15, 7, 9, 12, 6, 12,
                              7, 15, 9, 7, 12, 6, 9, 7, 15, 6, 7, 6, 12, 15, 9};
    const int32_t tunnel[37] = {6, 6, 15, 6, 9, 6, 15, 6, 12, 6, 15, 9, 6, 15, 6, 9, 15, 12, 12,
                                15, 9, 9, 12, 15, 9, 12, 9, 15, 9, 6, 15, 6, 9, 6, 15, 12, 6};
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(warp_texture_sequence[i], warp[i]) << i;
    for (int i = 0; i < 37; ++i)
        EXPECT_EQ(tunnel_texture_sequence[i], tunnel[i]) << i;
}

}  // namespace
