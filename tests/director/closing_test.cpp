// The closing scenes: the tunnel's fade-in, its caption sequences and gliding captions, the layer's caption sequence, the blackout after events of value 3, the fade-out and the closing line's scroll, judged against frames drawn with and without what is tested.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "director/precalc.h"
#include "director/timeline.h"
#include "media/media_files.h"
#include "tests/support/helpers.h"
#include "tests/support/scene_frames.h"
#include "tests/support/show_precalc.h"
#include "text/captions.h"

namespace {

// The song position the tests hand the timeline.
music_position music;


constexpr int width = 320;
constexpr int height = 240;

// The scenes draw from the show's textures, tables and captions; every
// frame goes into a buffer of the test's own.
class show_precalc : public testing::Environment {
public:
    void SetUp() override { precalculated_show(); }
};
const testing::Environment* const registered = testing::AddGlobalTestEnvironment(new show_precalc);

class ClosingScenes : public testing::Test {
protected:
    void SetUp() override
    {
        director = director_state{};
        music = music_position{};
    }

    // One frame through the timeline from director state `state` at song
    // position (order, row); the buffer starts with a pattern the scene
    // must cover.  The director is left as the frame left it.
    static frame draw(const director_state& state, int32_t order, int32_t row, int32_t t)
    {
        director = state;
        music.music_order = order;
        music.music_row = row;
        music.sync_pending = 0;
        frame pixels(width * height, 0x5A5A5A5Au);
        timeline_frame(t, music, pixels.data());
        return pixels;
    }

    // One frame with a sync event of `value` handed to the timeline; returns
    // the director state the frame leaves.
    static director_state with_event(const director_state& state, int32_t order, int32_t row, int32_t t,
                                     int32_t value)
    {
        director = state;
        music.music_order = order;
        music.music_row = row;
        music.sync_pending = 1;
        music.sync_value = value;
        frame pixels(width * height);
        timeline_frame(t, music, pixels.data());
        return director;
    }

    // Where caption `index` shows: the frame as drawn against the same frame
    // drawn with that caption left empty.
    static box caption_footprint(int index, const director_state& state, int32_t order, int32_t row, int32_t t)
    {
        return ::caption_footprint(index, [&] { return draw(state, order, row, t); });
    }

    static std::set<int> captions_shown(const std::set<int>& candidates, const director_state& state, int32_t order,
                                        int32_t row, int32_t t)
    {
        std::set<int> shown;
        for (int index : candidates)
            if (!caption_footprint(index, state, order, row, t).empty())
                shown.insert(index);
        return shown;
    }
};

uint32_t channel(uint32_t pixel, int shift)
{
    return (pixel >> shift) & 255;
}

// adjust_brightness towards black by `level` (1..255), written out per byte:
// colour (c x (255 - level)) >> 8, alpha 0.
frame darkened(const frame& f, int32_t level)
{
    frame out(f.size());
    for (size_t i = 0; i < f.size(); ++i)
        for (int shift = 0; shift < 24; shift += 8)
            out[i] |= ((channel(f[i], shift) * uint32_t(255 - level)) >> 8) << shift;
    return out;
}

double mean_colour(const frame& f)
{
    double sum = 0;
    for (uint32_t p : f)
        sum += channel(p, 0) + channel(p, 8) + channel(p, 16);
    return sum / (3.0 * f.size());
}

bool all_black(const frame& f)
{
    return std::all_of(f.begin(), f.end(), [](uint32_t p) { return (p & 0xFFFFFF) == 0; });
}

std::set<int> range(int first, int last)
{
    std::set<int> s;
    for (int i = first; i <= last; ++i)
        s.insert(i);
    return s;
}

TEST_F(ClosingScenes, TunnelComesOutOfBlackOverOrder17)
{
    director_state state;
    state.prev_frame_time = 99984;
    const int32_t t = 100000;

    // Order 18 shows the tunnel at full strength.
    const frame full = draw(state, 18, 10, t);
    EXPECT_GT(mean_colour(full), 20.0);

    // Row 0 of order 17 is black (level -255), row 1 nearly (-251).
    const frame first_row = draw(state, 17, 0, t);
    EXPECT_TRUE(all_black(first_row));
    const frame second_row = draw(state, 17, 1, t);
    for (uint32_t p : second_row)
        for (int shift = 0; shift < 24; shift += 8)
            ASSERT_LE(channel(p, shift), 3u);
    EXPECT_FALSE(all_black(second_row));

    // Half way, the full picture at half strength; row 63 all but full.
    EXPECT_EQ(draw(state, 17, 32, t), darkened(full, 127));
    EXPECT_EQ(draw(state, 17, 63, t), darkened(full, 3));

    // Orders 17 and 18 zero the count of the caption sequence to come, and
    // the layer scene entered from the tunnel starts its caption count.
    state.subtitle_beats = 5;
    state.sequence_beats = 7;
    state.sync2_count = 4;
    draw(state, 18, 10, t);
    EXPECT_EQ(director.subtitle_beats, 0);
    state.scene = int32_t(scene_id::tunnel);
    draw(state, 23, 0, t);
    EXPECT_EQ(director.sequence_beats, 0);
    EXPECT_EQ(director.sync2_count, -1);
}

TEST_F(ClosingScenes, SloganCaptionsOfOrders19And20FollowTheBeats)
{
    const std::set<int> candidates = {94, 95, 96, 97, 99, 100, 101, 102, 103, 129, 130, 131, 132, 133};
    director_state state;
    state.sync1_time = 111000;
    state.prev_frame_time = 111984;
    const int32_t t = 112000;

    for (int32_t order : {19, 20}) {
        // Of the gliding captions 130 (a ring) and 133 (a dot) show; 131 and 132 are blank.
        const std::set<int> all_shown = {94, 95, 96, 97, 129, 99, 100, 101, 102, 103, 130, 133};
        state.subtitle_beats = 12;
        EXPECT_EQ(captions_shown(candidates, state, order, 5, t),
                  (std::set<int>{94, 95, 96, 97, 129, 99, 100, 101, 102, 130}))
            << "order " << order;
        state.subtitle_beats = 15;
        EXPECT_EQ(captions_shown(candidates, state, order, 5, t), all_shown) << "order " << order;
        state.subtitle_beats = 1;
        EXPECT_TRUE(captions_shown(candidates, state, order, 5, t).empty()) << "order " << order;
        state.subtitle_beats = 6;
        EXPECT_EQ(captions_shown(candidates, state, order, 5, t), (std::set<int>{94, 95, 96, 97, 129}))
            << "order " << order;
    }
    // Orders 17, 18, 21 and 22 show none of them.
    state.subtitle_beats = 15;
    for (int32_t order : {18, 21})
        EXPECT_TRUE(captions_shown(candidates, state, order, 5, t).empty()) << "order " << order;

    // The frame leaves reveal_beats at 0 for orders 21 and 22 and the count
    // it went by as it was.
    state.reveal_beats = 9;
    draw(state, 19, 5, t);
    EXPECT_EQ(director.reveal_beats, 0);
    EXPECT_EQ(director.subtitle_beats, 15);
}

TEST_F(ClosingScenes, GlidingCaptionsTravel25PixelsWhileShownAndStop)
{
    director_state state;
    state.sync1_time = 111000;
    state.subtitle_beats = 12;  // 130 and 132 shown, 131 and 133 not
    state.prev_frame_time = 112000;
    const int32_t t = 112100;  // a frame of 100 ms

    draw(state, 19, 5, t);
    EXPECT_EQ(director.slide_from_right, 700);
    EXPECT_EQ(director.slide_from_left, 1000);  // hidden captions keep theirs
    EXPECT_EQ(director.slide_from_below, 700);
    EXPECT_EQ(director.slide_from_above, 1000);
    state.slide_from_right = 250;
    draw(state, 19, 5, t);
    EXPECT_EQ(director.slide_from_right, 0);  // never below 0
    state.slide_from_right = 1000;

    // From slide 1000 (just appeared) to 0 (at rest) each moves 25 pixels:
    // 130 leftwards, 133 downwards (131 and 132, blank, by their slides above).
    state.subtitle_beats = 15;
    state.prev_frame_time = t;  // no time passes, so the slides stay put
    const director_state arriving = state;
    director_state resting = state;
    resting.slide_from_right = resting.slide_from_left = resting.slide_from_below = resting.slide_from_above = 0;
    // Each compared by an edge that the frame's border does not cut.
    enum edge { left, top, bottom };
    const struct {
        int index;
        edge compared;
        int moved;
    } glides[] = {{130, left, -25}, {133, top, 25}};  // 131 and 132 are blank
    for (const auto& g : glides) {
        const box from = caption_footprint(g.index, arriving, 20, 5, t);
        const box to = caption_footprint(g.index, resting, 20, 5, t);
        ASSERT_FALSE(from.empty() || to.empty()) << g.index;
        const int moved = g.compared == left ? to.left - from.left
                          : g.compared == top ? to.top - from.top
                                              : to.bottom - from.bottom;
        EXPECT_EQ(moved, g.moved) << g.index;
    }
    // At rest, 130 starts at x = 40 (its glow may leave the first columns dark).
    const box rest_130 = caption_footprint(130, resting, 20, 5, t);
    EXPECT_GE(rest_130.left, 40);
    EXPECT_LT(rest_130.left, 40 + caption_table[130].width / 4);
}

TEST_F(ClosingScenes, NameCaptionsOfOrders21And22AlternateOnEveryBeat)
{
    const std::set<int> candidates = range(104, 115);
    director_state state;
    state.sync1_time = 121000;
    state.prev_frame_time = 121984;
    const int32_t t = 122000;
    state.reveal_beats = 1;
    EXPECT_EQ(captions_shown(candidates, state, 21, 5, t), (std::set<int>{104}));
    state.reveal_beats = 5;
    EXPECT_EQ(captions_shown(candidates, state, 21, 5, t), (std::set<int>{104, 105, 106, 107, 113}));
    state.reveal_beats = 8;
    EXPECT_EQ(captions_shown(candidates, state, 22, 5, t),
              (std::set<int>{104, 105, 106, 107, 112, 109, 110, 114}));
    state.reveal_beats = 9;
    EXPECT_EQ(captions_shown(candidates, state, 22, 5, t),
              (std::set<int>{104, 105, 106, 107, 113, 109, 110, 115}));
}

TEST_F(ClosingScenes, LayerCaptionSequenceStartsWithTheSecondEventAfterTheTunnel)
{
    const std::set<int> candidates = range(116, 133);
    // The last tunnel frame leaves sync2_count at -1 and sequence_beats at 0.
    director_state state;
    state.sequence_beats = 6;
    state.sync2_count = 3;
    draw(state, 22, 63, 130000);
    state = director;

    const int32_t t = 131000;
    EXPECT_TRUE(captions_shown(candidates, state, 23, 2, t).empty());
    // First event (of value 2): c = 0, nothing yet.
    state = with_event(state, 23, 0, 130300, 2);
    EXPECT_TRUE(captions_shown(candidates, state, 23, 2, t).empty());
    // Second event (of value 1): c = 1, the first caption of the sequence.
    state = with_event(state, 23, 4, 130650, 1);
    EXPECT_EQ(captions_shown(candidates, state, 23, 5, t), (std::set<int>{116}));
    // It goes at the next event and the second caption comes at the one after.
    state = with_event(state, 23, 10, 131200, 1);
    EXPECT_TRUE(captions_shown(candidates, state, 23, 11, t + 300).empty());
    state = with_event(state, 23, 11, 131300, 3);  // events of value 3 are not counted
    state = with_event(state, 23, 20, 132100, 1);
    EXPECT_EQ(captions_shown(candidates, state, 23, 21, t + 1500), (std::set<int>{117}));

    // Counts far beyond the song's hold the caption at the list's last line
    // (seen where the streaks leave the corner unsaturated).
    director_state far;
    far.sequence_beats = 41;
    far.sync2_count = 0;
    EXPECT_EQ(captions_shown(candidates, far, 24, 5, t), (std::set<int>{caption_made_with_last}));
    // A negative count never shows one.
    far.sequence_beats = 0;
    far.sync2_count = -3;
    EXPECT_TRUE(captions_shown(candidates, far, 24, 5, t).empty());

    // The closing line starts from the time of the layer scene's last frame.
    state.scene = int32_t(scene_id::layer_lens);
    state.prev_frame_time = 145678;
    draw(state, 27, 0, 145700);
    EXPECT_EQ(director.subtitle_beats, 145678);
}

TEST_F(ClosingScenes, EventOfValue3DarkensToBlackAndBackAndASecondRestartsIt)
{
    // A moment of the layer scene some time after the last events.
    director_state quiet;
    quiet.sync1_time = 139000;
    quiet.sync2_time = 138000;
    quiet.prev_frame_time = 139984;
    const int32_t t0 = 140000;

    // The flash through the timeline: an event of value 3 at t0.
    const director_state flashed = with_event(quiet, 24, 12, t0, 3);
    ASSERT_EQ(flashed.sync3_time, t0);
    // The same director without the event, for frames drawn without the flash.
    director_state unflashed = flashed;
    unflashed.sync3_time = quiet.sync3_time;

    // The level rises from 0 at the event to black after about 471 ms and
    // falls back to 0 after about 942 ms: 128 (1 - cos a), a running from 2 pi
    // down to 0 at 1/150 per millisecond.
    for (int32_t after : {0, 100, 235, 471, 700, 900, 943, 1500}) {
        const int32_t t = t0 + after;
        const frame plain = draw(unflashed, 24, 13, t);
        const frame shown = draw(flashed, 24, 13, t);
        const double a = std::max(0.0, 2 * M_PI - after / 150.0);
        const int32_t level = int32_t(std::nearbyint(128 * (1 - std::cos(a))));
        if (level <= 1)
            EXPECT_EQ(shown, plain) << after << " ms after";
        else if (level >= 255)
            EXPECT_TRUE(all_black(shown)) << after << " ms after";
        else
            EXPECT_EQ(shown, darkened(plain, level)) << after << " ms after, level " << level;
    }
    EXPECT_GT(mean_colour(draw(unflashed, 24, 13, t0 + 471)), 20.0);

    // A second event 300 ms later starts the curve over: the picture is back
    // at once and black again 471 ms after it, when the first would be fading out.
    const director_state again = with_event(flashed, 24, 16, t0 + 300, 3);
    director_state again_unflashed = again;
    again_unflashed.sync3_time = quiet.sync3_time;
    EXPECT_EQ(draw(again, 24, 16, t0 + 300), draw(again_unflashed, 24, 16, t0 + 300));
    EXPECT_FALSE(all_black(draw(flashed, 24, 16, t0 + 300 + 471)));
    EXPECT_TRUE(all_black(draw(again, 24, 16, t0 + 300 + 471)));

    // The closing scene darkens the same way.
    director_state closing = flashed;
    closing.subtitle_beats = t0 - 2000;
    director_state closing_unflashed = closing;
    closing_unflashed.sync3_time = quiet.sync3_time;
    EXPECT_TRUE(all_black(draw(closing, 27, 20, t0 + 471)));
    EXPECT_EQ(draw(closing, 27, 20, t0 + 235), darkened(draw(closing_unflashed, 27, 20, t0 + 235), 127));
    EXPECT_EQ(draw(closing, 27, 20, t0 + 1000), draw(closing_unflashed, 27, 20, t0 + 1000));
}

TEST_F(ClosingScenes, SecondHalfOfOrder26FadesOut)
{
    director_state state;
    state.sync1_time = 150000;
    state.prev_frame_time = 151984;
    const int32_t t = 152000;
    const frame in_order_25 = draw(state, 25, 40, t);
    EXPECT_EQ(draw(state, 26, 32, t), in_order_25);
    EXPECT_EQ(draw(state, 26, 40, t), darkened(in_order_25, 64));
    EXPECT_EQ(draw(state, 26, 63, t), darkened(in_order_25, 248));
}

TEST_F(ClosingScenes, ClosingLineScrollsInFromTheRightAtTwoNinthsOfAPixelPerMs)
{
    director_state state;
    state.subtitle_beats = 153000;  // the last frame of the layer scene
    // Just after the change of scene the line stands at x = 330, off the frame.
    EXPECT_TRUE(caption_footprint(128, state, 27, 2, 153016).empty());
    // 450 ms later at x = 230, 900 ms later at x = 130.
    const box early = caption_footprint(128, state, 27, 8, 153450);
    const box later = caption_footprint(128, state, 27, 13, 153900);
    ASSERT_FALSE(early.empty() || later.empty());
    EXPECT_GE(early.left, 230);
    EXPECT_EQ(early.left - later.left, 100);
    // The closing scene keeps the director as it was.
    state.prev_frame_time = 153884;
    draw(state, 27, 13, 153900);
    state.prev_frame_time = 153900;
    state.scene = int32_t(scene_id::closing_layer);
    EXPECT_EQ(0, std::memcmp(&director, &state, sizeof state));
}

// Frames of each closing scene from fixed director states, so they do not
// depend on what the earlier scenes leave behind.
TEST_F(ClosingScenes, FramesMatchTheirGoldenHashes)
{
    director_state tunnel;
    tunnel.sync1_time = 114000;
    tunnel.prev_frame_time = 114084;
    tunnel.pulse_phase = 123456.0f;
    tunnel.subtitle_beats = 15;
    tunnel.slide_from_right = 300;
    tunnel.slide_from_left = 900;
    director_state names = tunnel;
    names.reveal_beats = 8;
    director_state layer;
    layer.sync1_time = 140000;
    layer.sync2_time = 139500;
    layer.sync3_time = 140100;
    layer.prev_frame_time = 140184;
    layer.pulse_phase = 345678.0f;
    layer.spin_phase = 98765.0f;
    layer.sequence_beats = 5;
    layer.sync2_count = 2;
    director_state closing;
    closing.sync3_time = 155000;
    closing.subtitle_beats = 153000;
    const struct {
        const char* name;
        const director_state& state;
        int32_t order, row, t;
        const char* hash;
    } cases[] = {
        {"tunnel fading in", tunnel, 17, 20, 97000, "53015fccb3c95f86"},
        {"tunnel with slogans", tunnel, 20, 30, 114100, "4ead028f345f0f0e"},
        {"tunnel with names", names, 22, 30, 126000, "cf0a8d8fe6538ad6"},
        {"layer with lens", layer, 24, 20, 140200, "9bfa4096896d440a"},
        {"layer fading out", layer, 26, 50, 140200, "cf8891127b27a6b6"},
        {"closing layer", closing, 27, 30, 155300, "0aeb916d81db3d95"},
    };
    for (const auto& c : cases) {
        // The wave of caption 98 is drawn over its copy 129, whose uncovered
        // ends keep what earlier frames left: start from a plain copy.
        const image wave_source = caption_table[98], wave = caption_table[129];
        ASSERT_EQ(wave.width * wave.height, wave_source.width * wave_source.height);
        std::copy(wave_source.pixels, wave_source.pixels + wave.width * wave.height, wave.pixels);
        const frame f = draw(c.state, c.order, c.row, c.t);
        EXPECT_EQ(hash_bytes(f.data(), f.size() * 4), c.hash) << c.name;
        if (const char* dir = std::getenv("ODDBALL_DUMP_FRAMES")) {
            std::string error;
            png_write(std::string(dir) + "/" + c.name + ".png", picture{width, height, f}, false, &error);
        }
    }
}

}  // namespace
