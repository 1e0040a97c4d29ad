// The middle scenes, orders 4 to 16: outline copies, caption reveals, the fade, held table ends, state, golden stills.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "app/display.h"
#include "base/memory.h"
#include "director/precalc.h"
#include "director/timeline.h"
#include "engine3d/render_modes.h"
#include "imaging/blits.h"
#include "imaging/warp.h"
#include "tests/support/helpers.h"
#include "tests/support/show_precalc.h"
#include "text/captions.h"

namespace {

// The song position the tests hand the timeline.
music_position music;


using frame = std::vector<uint32_t>;

constexpr size_t frame_words = 320 * 240;

// One moment of the show: the published position, the clock and the director
// state the frame starts from.  With prev_frame_time = t (the default) the
// frame integrates nothing, so the state given is the state drawn.
struct moment {
    int32_t order;
    int32_t row;
    int32_t t;
    director_state state;
};

class MiddleScenes : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static bool ready = false;
        if (ready)
            return;
        precalculated_show();
        // Orders 15 and 16 use caption 92 as scratch whose uncovered parts
        // keep older frames; every frame here starts from the built caption.
        const image scratch = caption_table[92];
        built_scratch.assign(scratch.pixels, scratch.pixels + size_t(scratch.width) * scratch.height);
        ready = true;
    }

    static moment at(int32_t order, int32_t row, int32_t t)
    {
        moment m{order, row, t, director_state{}};
        m.state.prev_frame_time = t;
        return m;
    }

    // Runs the frame of `m` through the timeline; director holds the state after it.
    static frame render(const moment& m)
    {
        const image scratch = caption_table[92];
        std::memcpy(scratch.pixels, built_scratch.data(), built_scratch.size() * 4);
        director = m.state;
        music = music_position{};
        music.music_order = m.order;
        music.music_row = m.row;
        uint32_t* screen = precalculated_show();
        std::memset(screen, 0x5A, frame_words * 4);  // scenes must not depend on what was there
        timeline_frame(m.t, music, screen);
        return frame(screen, screen + frame_words);
    }

    static image as_image(frame& f) { return {320, 240, f.data()}; }

    static inline std::vector<uint32_t> built_scratch;
};

// ---- orders 6 to 8: the outline and its copies ----

// The plasma and the outline drawn `draws` times at the spin's angle plus
// i x 5000, the first copy over the outline itself.
frame outline_frame(int32_t t, float spin_phase, int copies)
{
    frame f(frame_words);
    plasma_warp(float(t / 20), texture_slots[slot_clouds], f.data());
    const double angle = double(spin_phase) * 400;
    render_wire_outline(float(angle), f.data());
    for (int i = 0; i < copies; ++i)
        render_wire_outline(float(i * 5000 + angle), f.data());
    return f;
}

TEST_F(MiddleScenes, OutlineCopiesGrowInFoursThroughOrderEight)
{
    const int32_t t = 46000;
    const float spin = -1234.5f;
    auto outline_moment = [&](int32_t order, int32_t row) {
        moment m = at(order, row, t);
        m.state.spin_phase = spin;
        m.state.reveal_beats = 14;  // no captions
        return m;
    };

    // Orders 6 and 7 draw the outline once.
    EXPECT_EQ(render(outline_moment(6, 40)), outline_frame(t, spin, 0));
    EXPECT_EQ(render(outline_moment(7, 63)), outline_frame(t, spin, 0));

    // Row 0: the outline and four copies, five drawings, not four or six.
    const frame row0 = render(outline_moment(8, 0));
    EXPECT_EQ(row0, outline_frame(t, spin, 4));
    EXPECT_NE(row0, outline_frame(t, spin, 3));
    EXPECT_NE(row0, outline_frame(t, spin, 5));
    EXPECT_EQ(render(outline_moment(8, 3)), row0);
    EXPECT_EQ(render(outline_moment(8, 4)), outline_frame(t, spin, 8));

    // Row 63: sixty-five drawings.
    const frame row63 = render(outline_moment(8, 63));
    EXPECT_EQ(row63, outline_frame(t, spin, 64));
    EXPECT_NE(row63, outline_frame(t, spin, 63));
    EXPECT_NE(row63, outline_frame(t, spin, 65));
}

// ---- orders 6 to 8: the three caption groups ----

enum class blit_rule { alpha, add, subtract, multiply };

struct placed {
    int caption;
    blit_rule blit;
    int16_t x, y;
};

void put(const placed& p, frame& f)
{
    const image target{320, 240, f.data()};
    const image& source = caption_table[p.caption];
    switch (p.blit) {
    case blit_rule::alpha: blit_alpha(source, target, p.x, p.y); break;
    case blit_rule::add: blit_add(source, target, p.x, p.y); break;
    case blit_rule::subtract: blit_subtract(source, target, p.x, p.y); break;
    case blit_rule::multiply: blit_multiply(source, target, p.x, p.y); break;
    }
}

// The base frame with the given captions put on it in order; each that is
// not blank must show.
frame with_captions(const frame& base, const std::vector<placed>& captions)
{
    frame f = base;
    for (const placed& p : captions) {
        const frame before = f;
        put(p, f);
        const image& c = caption_table[p.caption];
        if (std::any_of(c.pixels, c.pixels + c.width * c.height, [](uint32_t v) { return v != 0; })) {
            EXPECT_NE(f, before) << "caption " << p.caption << " leaves no mark";
        }
    }
    return f;
}

TEST_F(MiddleScenes, OutlineCaptionGroupsVanishGroupByGroup)
{
    auto with_count = [](int32_t c) {
        moment m = at(7, 20, 42000);
        m.state.spin_phase = 300.0f;
        m.state.reveal_beats = c;
        return render(m);
    };
    const std::vector<placed> first = {{35, blit_rule::multiply, 81, 20},
                                       {24, blit_rule::alpha, -4, 55},
                                       {25, blit_rule::add, 65, 5},
                                       {26, blit_rule::add, 80, 10}};
    const std::vector<placed> second = {{34, blit_rule::alpha, 225, 70},
                                        {27, blit_rule::alpha, 150, 90},
                                        {28, blit_rule::alpha, 200, 105}};
    const std::vector<placed> third = {{29, blit_rule::alpha, 20, 140},
                                       {31, blit_rule::multiply, 70, 165},
                                       {30, blit_rule::add, 88, 152},
                                       {32, blit_rule::multiply, 30, 190},
                                       {33, blit_rule::alpha, 70, 195}};
    auto join = [](std::vector<std::vector<placed>> parts) {
        std::vector<placed> all;
        for (auto& part : parts)
            all.insert(all.end(), part.begin(), part.end());
        return all;
    };

    // At 1, where the previous scene leaves the count, nothing shows yet.
    const frame bare = with_count(1);
    EXPECT_EQ(with_count(2), with_captions(bare, {first[0]}));
    EXPECT_EQ(with_count(11), with_captions(bare, join({first, second, third})));
    // 12: the first group has gone, the second and third stay.
    EXPECT_EQ(with_count(12), with_captions(bare, join({second, third})));
    EXPECT_EQ(with_count(13), with_captions(bare, third));
    // 14: none.
    EXPECT_EQ(with_count(14), bare);
}

// ---- orders 15 and 16: the bottom line, one caption at a time ----

TEST_F(MiddleScenes, BottomCaptionsShowOneAtATime)
{
    // Every texture of the sequence made alike for this test, so that the
    // frames differ by their captions alone.
    const int sequence_slots[] = {6, 7, 9, 12, 15};
    std::vector<std::vector<uint32_t>> saved;
    for (int slot : sequence_slots) {
        saved.emplace_back(texture_slots[slot], texture_slots[slot] + 65536);
        std::memcpy(texture_slots[slot], texture_slots[slot_ring], 65536 * 4);
    }

    auto with_count = [](int32_t order, int32_t c) {
        moment m = at(order, 10, 88000);
        m.state.sequence_beats = c;
        return render(m);
    };
    const frame none = with_count(15, 6);
    const int bottom[] = {61, 62, 63, 65, 66};
    for (int k = 0; k < 5; ++k)
        for (int order : {15, 16})
            EXPECT_EQ(with_count(order, 7 + k), with_captions(none, {{bottom[k], blit_rule::add, 50, 195}}))
                << "count " << 7 + k << " order " << order;
    EXPECT_EQ(with_count(16, 12), none);

    for (size_t i = 0; i < saved.size(); ++i)
        std::memcpy(texture_slots[sequence_slots[i]], saved[i].data(), 65536 * 4);
}

TEST_F(MiddleScenes, OrderSixteenFadesOutOverItsLastEightRows)
{
    moment m = at(16, 55, 96000);
    m.state.sequence_beats = 12;
    const frame unfaded = render(m);
    for (int32_t row = 56; row <= 63; ++row) {
        m.row = row;
        const frame faded = render(m);
        // Colour bytes scaled by (255 + level) / 256, level -32 per row; alpha 0.
        const uint32_t keep = uint32_t(255 - 32 * (row - 56));
        size_t wrong = 0;
        for (size_t i = 0; i < frame_words; ++i) {
            uint32_t expect = 0;
            for (int shift = 0; shift < 24; shift += 8)
                expect |= ((((unfaded[i] >> shift) & 255) * keep) >> 8) << shift;
            if (row == 56)
                expect = unfaded[i];  // level 0 changes nothing
            wrong += faded[i] != expect;
        }
        EXPECT_EQ(wrong, 0u) << "row " << row;
    }
    // Order 15 never fades.
    m.order = 15;
    m.row = 63;
    EXPECT_EQ(render(m), unfaded);
}

// ---- counters past their tables hold the last entry ----

TEST_F(MiddleScenes, CountersPastTheirTablesHoldTheLastEntry)
{
    // The texture sequence: 30 entries, the last slot 9, the one before 15.
    auto sequence_frame = [](int32_t c) {
        moment m = at(15, 20, 89000);
        m.state.sequence_beats = c;
        return render(m);
    };
    const frame last = sequence_frame(29);
    EXPECT_EQ(sequence_frame(30), last);
    EXPECT_EQ(sequence_frame(1000000), last);
    EXPECT_NE(sequence_frame(28), last);

    // The subtitles, one a count: past the last (the 15th, count 14) it
    // holds, and the next caption (the opening column's) never shows.
    auto subtitle_frame = [](int32_t c, int32_t b = 0) {
        moment m = at(9, 20, 54000);
        m.state.subtitle_beats = c;
        m.state.sequence_beats = b;
        return render(m);
    };
    const frame last_subtitle = subtitle_frame(14);  // even, like the two below: centre light on
    EXPECT_EQ(subtitle_frame(16), last_subtitle);
    EXPECT_EQ(subtitle_frame(2000000000), last_subtitle);
    EXPECT_NE(subtitle_frame(12), last_subtitle);
    // The centre light's slot cycles 1, 2, 3 with the count halved, below 0 too.
    EXPECT_EQ(subtitle_frame(64, -2), subtitle_frame(64, 4));
    EXPECT_NE(subtitle_frame(64, 2), subtitle_frame(64, 4));
}

// ---- what each scene leaves in the director state ----

TEST_F(MiddleScenes, EachSceneChangesItsOwnCounters)
{
    director_state start{};
    start.reveal_beats = 5;
    start.sequence_beats = 6;
    start.subtitle_beats = 7;
    start.sync2_time = 50000 - 100;  // g2 = 110 - 10 = 100
    start.sync23_count = 3;
    start.prev_frame_time = 50000 - 20;

    // Each scene entered from the one before: orders 4 and 5 keep the
    // counts; pulse_phase += 20 x 100^2.
    start.scene = int32_t(scene_id::zoomer_streaks);
    moment m{4, 0, 50000, start};
    render(m);
    director_state expect = start;
    expect.pulse_phase = 200000.0f;
    expect.prev_frame_time = 50000;
    expect.scene = int32_t(scene_id::plasma_shaded);
    EXPECT_EQ(0, std::memcmp(&director, &expect, sizeof expect));
    // A stronger kind-3 pulse turns the push around: g3 = 110, g2 = 100.
    m.state.sync3_time = 50000;
    render(m);
    EXPECT_EQ(director.pulse_phase, -20.0f * 210 * 210);

    // Orders 6 to 8: spin_phase += dt x spin_sign; count a starts at 1.
    m = {6, 0, 50000, start};
    m.state.spin_phase = 10.0f;
    m.state.scene = int32_t(scene_id::plasma_shaded);
    render(m);
    expect = start;
    expect.spin_phase = 10.0f - 20;
    expect.reveal_beats = 1;
    expect.prev_frame_time = 50000;
    expect.scene = int32_t(scene_id::plasma_lines);
    EXPECT_EQ(0, std::memcmp(&director, &expect, sizeof expect));

    // Orders 9 and 10 start count c at 0, 11, 12 and 15, 16 count b;
    // 13 and 14 keep them.
    for (int32_t order : {9, 11, 13, 15}) {
        m = {order, 0, 50000, start};
        m.state.scene = int32_t(scene_for_order(order - 1));
        render(m);
        expect = start;
        expect.prev_frame_time = 50000;
        expect.scene = int32_t(scene_for_order(order));
        if (order == 9)
            expect.subtitle_beats = 0;
        if (order == 11 || order == 15)
            expect.sequence_beats = 0;
        EXPECT_EQ(0, std::memcmp(&director, &expect, sizeof expect)) << "order " << order;
    }
}

// ---- golden stills, one or two per scene ----

TEST_F(MiddleScenes, GoldenStills)
{
    struct still {
        const char* name;
        moment m;
        const char* hash;
    };
    auto with = [](moment m, auto change) {
        change(m.state);
        return m;
    };
    const still stills[] = {
        {"blob and columns, order 4", with(at(4, 36, 26500), [](director_state& s) {
             s.sync1_time = 26233;
             s.sync2_time = 24616;
             s.sync3_time = 25700;
             s.pulse_phase = 31000.0f;
         }), "e5c9e75a4aef1b6a"},
        {"outline and captions, order 6", with(at(6, 46, 39000), [](director_state& s) {
             s.reveal_beats = 9;
             s.spin_phase = -850.0f;
         }), "27ee4782f67c2759"},
        {"outline copies, order 8", with(at(8, 25, 47000), [](director_state& s) {
             s.reveal_beats = 14;
             s.spin_phase = 1900.0f;
         }), "146db89be85a82ac"},
        {"bump and lights, order 9", with(at(9, 38, 54000), [](director_state& s) {
             s.sync1_time = 53800;
             s.subtitle_beats = 4;
         }), "e45b8b12265e7022"},
        {"second blob, order 11", with(at(11, 44, 66000), [](director_state& s) {
             s.sequence_beats = 13;
         }), "5b311bfbce7701c5"},
        {"zoomer and dots, order 13", with(at(13, 30, 76000), [](director_state&) {}), "b387237c61d9e9c1"},
        {"sphere and sequence, order 15", with(at(15, 46, 89000), [](director_state& s) {
             s.sync1_time = 88633;
             s.sequence_beats = 8;
         }), "6a7b5523e8f9a16a"},
        {"fading, order 16", with(at(16, 59, 95900), [](director_state& s) {
             s.sync1_time = 94333;
             s.sequence_beats = 11;
         }), "bd3e2d3669b2110b"},
    };
    for (const still& s : stills) {
        const frame f = render(s.m);
        EXPECT_EQ(hash_bytes(f.data(), f.size() * 4), s.hash) << s.name;
    }
    // Drawn again in the opposite order: no still depends on the frame before it.
    for (int i = int(std::size(stills)) - 1; i >= 0; --i) {
        const frame f = render(stills[i].m);
        EXPECT_EQ(hash_bytes(f.data(), f.size() * 4), stills[i].hash) << stills[i].name << ", drawn again";
    }
}

}  // namespace
