// The stored song, heard through the player: its fixed layout, the sync
// events the pictures follow, its length, and no clipping.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "data/blocks.h"
#include "music/codec.h"
#include "music/mixer.h"
#include "music/module.h"
#include "music/sound.h"
#include "media/media_files.h"
#include "tests/song/song_measures.h"
#include "tests/support/helpers.h"
#include "tools/song/song_walk.h"

namespace {

struct sync_event {
    uint32_t order, row, value;
    bool operator==(const sync_event&) const = default;
};

// The rows and values the scenes are built around, order by order.
std::vector<sync_event> expected_events()
{
    using rows = std::vector<std::pair<uint32_t, std::vector<uint32_t>>>;  // value, rows
    std::map<uint32_t, rows> table;
    for (uint32_t o : {0, 1})
        table[o] = {{1, {0, 22, 32, 54}}};
    for (uint32_t o : {2, 3, 4, 5})
        table[o] = {{1, {0, 32}}, {2, {8, 14, 40, 46}}, {3, {26, 58}}};
    for (uint32_t o : {6, 9, 10, 11, 12})
        table[o] = {{1, {4, 10, 20, 26, 36, 42, 52}}};
    for (uint32_t o : {7, 15, 16})
        table[o] = {{1, {4, 10, 20, 26, 36, 42}}};
    for (uint32_t o : {19, 20})
        table[o] = {{1, {0, 4, 10, 20, 26, 36, 42, 52, 58}}};
    for (uint32_t o : {21, 22})
        table[o] = {{1, {0, 6, 16, 22, 32, 38, 48, 54}}};
    table[23] = {{2, {0, 32}}, {1, {4, 10, 20, 26, 36, 42, 52, 58}}, {3, {11, 46}}};
    table[24] = {{2, {0, 32}}, {1, {4, 10, 20, 26, 36, 42, 58}}, {3, {12, 46}}};
    table[25] = {{2, {0, 22, 32}}, {3, {13, 46}}};
    table[26] = {{2, {0, 22, 32}}, {3, {12, 48, 61}}};
    table[27] = {{3, {11, 47}}};
    std::vector<sync_event> events;
    for (auto& [order, values] : table) {
        std::vector<sync_event> here;
        for (auto& [value, at] : values)
            for (uint32_t row : at)
                here.push_back({order, row, value});
        std::sort(here.begin(), here.end(), [](auto& a, auto& b) { return a.row < b.row; });
        events.insert(events.end(), here.begin(), here.end());
    }
    return events;
}

class Song : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        state = std::make_unique<player_state>();
        player_init(*state, load_music());
        player_start(*state, 0);
        walk = walk_song(*state, 0, true);
        player_stop(*state);
    }
    static std::unique_ptr<player_state> state;
    static song_walk walk;
};
std::unique_ptr<player_state> Song::state;
song_walk Song::walk;

TEST_F(Song, HasTheLayoutTheShowIsBuiltFor)
{
    const uint8_t* m = embedded_song_mxm;
    EXPECT_EQ(0, std::memcmp(m, "MXM", 4));
    EXPECT_EQ(read_u32(m + header_song_length), 28u);
    EXPECT_EQ(read_u32(m + header_restart_position), 0u);
    EXPECT_EQ(read_u32(m + header_channel_count), 22u);
    EXPECT_EQ(read_u32(m + header_pattern_count), 27u);
    EXPECT_EQ(read_u32(m + header_instrument_count), 11u);
    EXPECT_EQ(m[header_speed], 16);
    EXPECT_EQ(m[header_tempo], 111);
    EXPECT_EQ(read_u16(m + header_flags), module_linear_frequencies);
    for (int c = 0; c < 32; ++c)
        EXPECT_EQ(m[header_panning + c], 128);
    EXPECT_EQ(m[header_orders + 27], 10);
    for (int p = 0; p < 27; ++p)
        EXPECT_EQ(read_u32(m + read_u32(m + header_pattern_offsets + 4 * p)), 64u) << "pattern " << p;
    // the samples: decoded within 64 KB, coded within 12 KB, the module inside the music image
    uint32_t decoded = read_u32(embedded_song_sbc) * codec_granule_samples - codec_delay_samples;
    EXPECT_LE(decoded, 65536u);
    EXPECT_LE(embedded_song_sbc_size, 12u * 1024);
    EXPECT_LE(embedded_song_mxm_size + decoded + music_read_margin, music_image_size);
}

TEST_F(Song, StartsAtSpeed4AndPlaysOrder7For48Rows)
{
    ASSERT_FALSE(walk.rows.empty());
    // row 0 of order 0 sets speed 4: row 1 is read four ticks later
    ASSERT_GE(walk.rows.size(), 2u);
    uint64_t tick_frames = 1411200000ull / (111 * 50);  // 24.8 fixed point
    EXPECT_NEAR(double(walk.rows[1].frame), 4.0 * tick_frames / 256, 1.0);
    uint32_t rows_of_7 = 0;
    for (const song_row_event& r : walk.rows)
        rows_of_7 += r.order == 7;
    EXPECT_EQ(rows_of_7, 48u);
    EXPECT_EQ(walk.rows.size(), 27u * 64 + 48);
}

TEST_F(Song, SyncEventsAreThoseTheScenesFollow)
{
    std::vector<sync_event> seen;
    uint8_t previous = 0;
    for (const song_row_event& r : walk.rows) {
        if (r.sync != previous && r.sync != 0)
            seen.push_back({r.order, r.row, r.sync});
        // every non-zero value but the 1 of order 23, row 10 falls back to 0 on the next row
        if (previous != 0 && !(r.order == 23 && r.row == 11)) {
            EXPECT_EQ(r.sync, 0) << "order " << r.order << " row " << r.row;
        }
        previous = r.sync;
    }
    EXPECT_EQ(seen, expected_events());
}

TEST_F(Song, ReachesOrder27Row62At158_65Seconds)
{
    double at = -1;
    for (const song_row_event& r : walk.rows)
        if (r.order == 27 && r.row == 62)
            at = r.frame / double(mix_rate);
    EXPECT_NEAR(at, 158.65, 0.5);
    EXPECT_TRUE(walk.returned);
    EXPECT_NEAR(walk.frames / double(mix_rate), 159.4, 1.0);
}

TEST_F(Song, NeverClipsAudibly)
{
    size_t clipped = 0, loud = 0;
    for (int16_t v : walk.pcm) {
        clipped += v == pcm_clip || v == -pcm_clip;
        loud += v > 2000 || v < -2000;
    }
    EXPECT_LT(double(clipped) / walk.pcm.size(), 0.001);
    EXPECT_GT(double(loud) / walk.pcm.size(), 0.2);  // and it is not silence either
}

// The show's sound (to order 27, row 62 and 250 ms more, or where the song
// comes back to its start) by numbers: loud
// enough by ffmpeg's EBU R128 meter with its true peak under -1 dBTP, bright,
// little sub-bass, wide but mono-safe, no clicks, few near repeats, and an
// ending that rings out and dies away into the end.
TEST_F(Song, SoundsLoudBrightWideAndClean)
{
    std::vector<double> blocks;
    size_t end = 0;
    for (const song_row_event& r : walk.rows) {
        if (r.row == 0)
            blocks.push_back(double(r.frame));
        if (r.order == 27 && r.row == 62)
            end = std::min(size_t(r.frame) + mix_rate / 4, walk.pcm.size() / 2);
    }
    blocks.push_back(double(end));
    ASSERT_GT(end, 0u);
    wav_sound sound;
    sound.samples.assign(walk.pcm.begin(), walk.pcm.begin() + std::ptrdiff_t(2 * end));
    song_measures m = measure_song(sound.samples, blocks);
    std::printf("power below 60 Hz %.2f %%, below 250 Hz %.1f %%, above 2 kHz %.1f %%, above 6 kHz %.1f %%; median "
                "centroid %.0f Hz; correlation %.3f, mono loss %.1f dB; %zu clicks; %d near twins, %d identical\n",
                100 * m.below_60, 100 * m.below_250, 100 * m.above_2k, 100 * m.above_6k, m.median_centroid,
                m.correlation, m.mono_loss_db, m.clicks.size(), m.near_twins, m.identical);
    EXPECT_LE(m.below_60, 0.08);
    EXPECT_LE(m.below_250, 0.40);
    EXPECT_GE(m.above_2k, 0.08);
    EXPECT_GE(m.above_6k, 0.01);
    EXPECT_GE(m.median_centroid, 1000);
    EXPECT_GE(m.correlation, 0.6);
    EXPECT_LE(m.correlation, 0.85);
    EXPECT_LE(m.mono_loss_db, 3);
    EXPECT_TRUE(m.clicks.empty()) << m.clicks.size() << " clicks, the first at " << m.clicks[0] << " s";
    EXPECT_LE(m.near_twins, 6);
    EXPECT_EQ(m.identical, 0);
    // The ending rings out: still full 2.5 s before the end; from 1.4 s before
    // it (the last hit's ring) every 100 ms no louder than the last and at
    // most 6 dB under it until under -50 dBFS, which comes only in the last 0.3 s.
    const std::vector<double>& e = m.ending_db;
    EXPECT_GT(e[5], -22);
    for (size_t i = 16; i < e.size() && e[i - 1] > -50; ++i) {
        EXPECT_LE(e[i], e[i - 1] + 0.5) << i;
        EXPECT_GE(e[i], e[i - 1] - 6) << i;
    }
    EXPECT_GT(e[26], -50);
    EXPECT_LT(e[29], -50);
    for (int16_t v : sound.samples)
        ASSERT_LT(std::abs(v), pcm_clip);
    std::string path = scratch_dir("song_measures") + "/song.wav", error;
    ASSERT_TRUE(wav_write(path, sound, &error)) << error;
    auto run = run_command("ffmpeg -hide_banner -nostats -i " + path + " -af ebur128=peak=true -f null - 2>&1");
    double lufs = 0, peak = 0;
    size_t at = run.output.rfind(" I:"), tp = run.output.rfind("Peak:");
    ASSERT_TRUE(at != std::string::npos && tp != std::string::npos) << run.output;
    lufs = std::atof(run.output.c_str() + at + 3), peak = std::atof(run.output.c_str() + tp + 5);
    EXPECT_NEAR(lufs, -14, 1);
    EXPECT_LE(peak, -1);
}

TEST(SongSources, StoredDataIsWhatTheContentBuilds)
{
    auto run = run_command(binary_path("oddball-tool") + " build-data --check --root " + source_path(""));
    EXPECT_EQ(run.status, 0) << run.errors;
}

}  // namespace
