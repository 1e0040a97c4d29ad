// Row sequencing and tick timing of the player: breaks, jumps, loops, delays, speed and tempo, the published position.
#include "tests/music/song_harness.h"

#include <utility>

namespace {

using rows_t = std::vector<std::pair<uint32_t, uint32_t>>;

// A song of `patterns` patterns of `rows` rows played in `orders`, speed 1.
mb::module plain_song(int patterns, uint32_t rows, std::vector<uint8_t> orders)
{
    mb::module m;
    m.speed = 1;
    for (int p = 0; p < patterns; ++p)
        m.patterns.emplace_back(rows);
    m.orders = std::move(orders);
    return m;
}

constexpr int effect_B = 11, effect_D = 13, effect_F = 15, effect_W = 32, effect_E6 = 42, effect_EE = 50;

}  // namespace

TEST(Sequencing, StartsAtOrderZeroRowZeroAndPublishesTheWholePosition)
{
    mb::module m = plain_song(2, 64, std::vector<uint8_t>(28, 0));
    m.orders[27] = 1;
    loaded_song song(m);
    EXPECT_EQ(player_position(*song.state), 0);
    EXPECT_EQ(song.rows(1), (rows_t{{0, 0}}));
    // Order position 27, row 62: the word the show's end test waits for.
    song.rows(27 * 64 + 62);
    EXPECT_EQ(player_position(*song.state), 0x1B3E);
    // After the last order position the song continues at the restart position.
    song.rows(1);
    EXPECT_EQ(song.rows(2), (rows_t{{0, 0}, {0, 1}}));
}

TEST(Sequencing, PatternBreakReadsItsParameterAsTwoDecimalDigits)
{
    mb::module m = plain_song(3, 64, {0, 1, 2});
    m.patterns[0].at(0, mb::effect(0, effect_D, 0x15));
    m.patterns[1].at(16, mb::effect(1, effect_D, 0x1A));  // no check of the digits: 1 x 10 + 10
    loaded_song song(m);
    EXPECT_EQ(song.rows(5), (rows_t{{0, 0}, {1, 15}, {1, 16}, {2, 20}, {2, 21}}));
}

TEST(Sequencing, BreakAndJumpInOneRow)
{
    // A break after a jump keeps the jump's order; a jump after a break replaces both.
    mb::module m = plain_song(4, 8, {0, 1, 2, 3});
    m.patterns[0].at(0, mb::effect(0, effect_B, 3)).at(0, mb::effect(1, effect_D, 0x05));
    m.patterns[3].at(5, mb::effect(0, effect_D, 0x04)).at(5, mb::effect(1, effect_B, 2));
    loaded_song song(m);
    EXPECT_EQ(song.rows(4), (rows_t{{0, 0}, {3, 5}, {2, 0}, {2, 1}}));
}

TEST(Sequencing, JumpPastTheSongLengthGoesToTheRestartPosition)
{
    mb::module m = plain_song(3, 2, {0, 1, 2});
    m.restart = 1;
    m.patterns[0].at(0, mb::effect(0, effect_B, 7));
    loaded_song song(m);
    EXPECT_EQ(song.rows(8), (rows_t{{0, 0}, {1, 0}, {1, 1}, {2, 0}, {2, 1}, {1, 0}, {1, 1}, {2, 0}}));
}

TEST(Sequencing, PatternLoopPlaysItsSectionCountPlusOneTimes)
{
    mb::module m = plain_song(1, 8, {0});
    m.patterns[0].at(1, mb::effect(0, effect_E6, 0)).at(3, mb::effect(0, effect_E6, 2));
    loaded_song song(m);
    EXPECT_EQ(song.rows(12), (rows_t{{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 1}, {0, 2}, {0, 3}, {0, 1}, {0, 2}, {0, 3},
                                     {0, 4}, {0, 5}}));
}

TEST(Sequencing, LoopCountAndRowAreClearedWhenTheOrderChanges)
{
    // Order 0 leaves its loop with count 1 and loop row 1; order 1 loops on
    // its own without E60, so it must start from a cleared count and row 0.
    mb::module m = plain_song(2, 8, {0, 1});
    m.patterns[0].at(1, mb::effect(0, effect_E6, 0)).at(2, mb::effect(0, effect_E6, 2)).at(2, mb::effect(1, effect_B, 1));
    m.patterns[1].at(2, mb::effect(0, effect_E6, 2));
    loaded_song song(m);
    EXPECT_EQ(song.rows(13), (rows_t{{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}, {1, 0}, {1, 1}, {1, 2}, {1, 0},
                                     {1, 1}, {1, 2}, {1, 3}}));
}

TEST(Sequencing, BreakToARowBeyondThePatternStartsItAtRowZero)
{
    mb::module m = plain_song(2, 4, {0, 1});
    m.patterns[0].at(1, mb::effect(0, effect_D, 0x10));  // row 10 of a 4-row pattern
    loaded_song song(m);
    EXPECT_EQ(song.rows(4), (rows_t{{0, 0}, {0, 1}, {1, 0}, {1, 1}}));
}

TEST(Ticks, SpeedSetsTheTicksPerRow)
{
    mb::module m = plain_song(1, 8, {0});
    m.speed = 4;
    m.patterns[0].at(1, mb::effect(0, effect_F, 0x1F));  // speed 31
    m.patterns[0].at(2, mb::effect(0, effect_F, 0x00));  // nothing
    loaded_song song(m);
    EXPECT_EQ(song.ticks_to_next_row(), 1);  // row 0 on the first tick
    EXPECT_EQ(song.ticks_to_next_row(), 4);  // row 1 on the fifth
    EXPECT_EQ(song.ticks_to_next_row(), 31);
    EXPECT_EQ(song.ticks_to_next_row(), 31);
}

TEST(Ticks, PatternDelayRepeatsTheRowWithoutReadingIt)
{
    mb::module m = plain_song(1, 8, {0});
    m.speed = 3;
    m.patterns[0].at(1, mb::effect(0, effect_EE, 2));
    loaded_song song(m);
    EXPECT_EQ(song.ticks_to_next_row(), 1);
    EXPECT_EQ(song.ticks_to_next_row(), 3);
    EXPECT_EQ(song.ticks_to_next_row(), 9);  // row 1 and its two repetitions
    EXPECT_EQ(song.row(), 2u);
    EXPECT_EQ(song.ticks_to_next_row(), 3);
}

TEST(Ticks, TempoSetsTheTickLengthInFrames)
{
    // Tempo 125 gives exactly 882 frames a tick; F20 sets tempo 32, whose
    // ticks are 3,445 5/16 frames with the fraction carried over.
    mb::module m = plain_song(1, 8, {0});
    m.tempo = 125;
    m.patterns[0].at(2, mb::effect(0, effect_F, 0x20));
    m.patterns[0].at(4, mb::effect(0, effect_F, 0x00));
    loaded_song song(m);
    std::vector<row_read> reads = song.render(882 * 2 + 3446 * 4);
    ASSERT_GE(reads.size(), 6u);
    EXPECT_EQ(reads[0].frame, 0u);
    EXPECT_EQ(reads[1].frame, 882u);
    EXPECT_EQ(reads[2].frame, 1764u);
    // 1764 + 3445.3125 k, each tick at the first frame with less than one frame left.
    EXPECT_EQ(reads[3].frame, 1764u + 3445);
    EXPECT_EQ(reads[4].frame, 1764u + 6890);
    EXPECT_EQ(reads[5].frame, 1764u + 10335);
}

TEST(Ticks, SyncCommandsSetTheSyncByte)
{
    mb::module m = plain_song(1, 8, {0});
    m.patterns[0].at(1, mb::effect(0, effect_W, 2));
    m.patterns[0].at(3, mb::effect(2, 28, 3));  // S
    m.patterns[0].at(5, mb::effect(1, 51, 1));  // EF
    loaded_song song(m);
    std::vector<uint8_t> sync;
    for (int r = 0; r < 7; ++r) {
        song.ticks_to_next_row();
        sync.push_back(player_sync_value(*song.state));
    }
    EXPECT_EQ(sync, (std::vector<uint8_t>{0, 2, 2, 3, 3, 1, 1}));
}

TEST(Ticks, StoppedOrUnloadedSongsRenderSilenceAndNeverTick)
{
    mb::module m = plain_song(1, 8, {0});
    loaded_song song(m, false);
    std::vector<int32_t> out(64, 7);
    mixer_render(*song.state, 32, out.data());
    EXPECT_EQ(out, std::vector<int32_t>(64, 0));
    EXPECT_EQ(song.state->tick_countdown, 0u);

    // A wrong magic: player_init fails and player_start does nothing.
    song.image[0] = 'X';
    EXPECT_FALSE(player_init(*song.state, song.image));
    player_start(*song.state, 0);
    EXPECT_EQ(song.state->playing.load(), 0);
    out.assign(64, 7);
    mixer_render(*song.state, 32, out.data());
    EXPECT_EQ(out, std::vector<int32_t>(64, 0));
}
