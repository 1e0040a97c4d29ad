// The rasterisers' fill conventions, pixel rules and clipping, and that nothing lands outside the frame.
#include "engine3d/rasterisers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

// A 320 x 240 frame with guard rows before and after it, to catch any write outside.
struct guarded_frame {
    static constexpr int guard = 320 * 4;
    std::vector<uint32_t> memory;
    explicit guarded_frame(uint32_t fill) : memory(320 * 240 + 2 * guard, 0x5A5A5A5A)
    {
        std::fill(frame(), frame() + 320 * 240, fill);
    }
    uint32_t* frame() { return memory.data() + guard; }
    uint32_t at(int x, int y) { return frame()[y * 320 + x]; }
    bool guards_intact() const
    {
        for (int i = 0; i < guard; ++i)
            if (memory[i] != 0x5A5A5A5A || memory[memory.size() - 1 - i] != 0x5A5A5A5A)
                return false;
        return true;
    }
    int changed(uint32_t fill)
    {
        int n = 0;
        for (int i = 0; i < 320 * 240; ++i)
            n += frame()[i] != fill;
        return n;
    }
};

// Each texel names its own column and row, so a pixel shows what it sampled.
std::vector<uint32_t> coordinate_texture()
{
    std::vector<uint32_t> t(65536);
    for (int v = 0; v < 256; ++v)
        for (int u = 0; u < 256; ++u)
            t[v * 256 + u] = 0xFF000000u | uint32_t(v) << 8 | uint32_t(u);
    return t;
}

const uint32_t empty = 0x00000000;

}  // namespace

TEST(AddSaturate, MatchesTheByteByByteRuleForEveryPairOfBytes)
{
    for (uint32_t a = 0; a < 256; ++a)
        for (uint32_t b = 0; b < 256; ++b) {
            // Each lane gets a different pair so carries between lanes would show.
            const uint32_t x = a | (b << 8) | (((a * 7) & 255) << 16) | (((255 - b) & 255) << 24);
            const uint32_t y = b | (a << 8) | (((b * 13) & 255) << 16) | (a << 24);
            ASSERT_EQ(add_saturate(x, y), add_saturate_plain(x, y)) << a << " " << b;
        }
    EXPECT_EQ(add_saturate(0x80FF0102, 0x80010203), 0xFFFF0305u);
}

TEST(DrawTexturedTriangle, OneRowDrawsItsTopAndBottomCornersOnly)
{
    const auto texture = coordinate_texture();
    guarded_frame f(empty);
    draw_textured_triangle({10, 50, 1, 2}, {30, 50, 3, 4}, {20, 50, 5, 6}, texture.data(), f.frame());
    EXPECT_EQ(f.changed(empty), 2);
    EXPECT_EQ(f.at(10, 50), 0xFF000201u);  // the upper half's single pixel, at the first corner
    EXPECT_EQ(f.at(20, 50), 0xFF000605u);  // the lower half's, at the last corner after sorting
    guarded_frame g(empty);
    draw_textured_triangle({7, 9, 0, 0}, {7, 9, 0, 0}, {7, 9, 0, 0}, texture.data(), g.frame());
    EXPECT_EQ(g.changed(empty), 1);
}

TEST(DrawTexturedTriangle, FlatTopGetsItsSpanFromTheLowerHalf)
{
    const auto texture = coordinate_texture();
    guarded_frame f(empty);
    draw_textured_triangle({10, 20, 0, 0}, {50, 20, 80, 0}, {30, 60, 40, 80}, texture.data(), f.frame());
    // Row 20 spans from the left corner; the lower half's 16.16 steps end a
    // hair short of the right corner (h = round(65536 / -40) = -1638).
    for (int x = 10; x <= 49; ++x)
        EXPECT_NE(f.at(x, 20), empty) << x;
    EXPECT_EQ(f.at(50, 20), empty);
    EXPECT_EQ(f.at(9, 20), empty);
    EXPECT_EQ(f.at(10, 20) & 0xFFFF, 0u);   // texel (0, 0) at the left corner
    EXPECT_EQ(f.at(30, 60), 0xFF005028u);   // texel (40, 80) at the bottom corner
    EXPECT_EQ(f.at(30, 61), empty);
}

TEST(DrawTexturedTriangle, WrapsTextureCoordinatesAndSkipsPixelsOffTheFrame)
{
    const auto texture = coordinate_texture();
    guarded_frame f(empty);
    draw_textured_triangle({5, 5, 256, 256}, {5, 5, 256, 256}, {5, 5, 256, 256}, texture.data(), f.frame());
    draw_textured_triangle({6, 5, -1, -1}, {6, 5, -1, -1}, {6, 5, -1, -1}, texture.data(), f.frame());
    draw_textured_triangle({7, 5, 513, -255}, {7, 5, 513, -255}, {7, 5, 513, -255}, texture.data(), f.frame());
    EXPECT_EQ(f.at(5, 5), 0xFF000000u);
    EXPECT_EQ(f.at(6, 5), 0xFF00FFFFu);
    EXPECT_EQ(f.at(7, 5), 0xFF000101u);

    guarded_frame off(empty);
    draw_textured_triangle({400, 10, 0, 0}, {500, 100, 0, 0}, {450, 200, 0, 0}, texture.data(), off.frame());
    draw_textured_triangle({10, -100, 0, 0}, {100, -50, 0, 0}, {50, -1, 0, 0}, texture.data(), off.frame());
    draw_textured_triangle({-30000, 30000, 0, 0}, {30000, 32000, 0, 0}, {0, 2000000, 0, 0}, texture.data(), off.frame());
    EXPECT_EQ(off.changed(empty), 0);
    EXPECT_TRUE(off.guards_intact());
}

// The frame-clipped walk writes exactly what the literal walk writes.
TEST(DrawTexturedTriangle, ClippedWalkMatchesTheLiteralWalk)
{
    std::mt19937 random(11);
    std::vector<uint32_t> texture(65536);
    for (auto& t : texture)
        t = random();
    for (int round = 0; round < 700; ++round) {
        const int reach = round % 10 == 0 ? 1500 : round % 3 == 0 ? 600 : 200;
        auto coordinate = [&](int centre) { return centre + int(random() % (2 * reach + 1)) - reach; };
        triangle_vertex v[3];
        for (auto& p : v)
            p = {coordinate(160), coordinate(120), int(random() % 2001) - 1000, int(random() % 2001) - 1000};
        if (round % 7 == 0)
            v[1].y = v[0].y;  // flat tops and bottoms
        guarded_frame plain(empty), fast(empty);
        draw_textured_triangle_plain(v[0], v[1], v[2], texture.data(), plain.frame());
        draw_textured_triangle(v[0], v[1], v[2], texture.data(), fast.frame());
        ASSERT_TRUE(plain.memory == fast.memory) << "round " << round;
        ASSERT_TRUE(fast.guards_intact());
    }
}

// The fast line writes exactly what the literal walk writes, on a busy
// frame (so saturation at 0 shows), inside, across and outside the frame.
TEST(DrawLineSubtractive, FastWalkMatchesTheLiteralWalk)
{
    std::mt19937 random(12);
    std::vector<uint32_t> busy(screen_width * screen_height);
    for (auto& p : busy)
        p = random();
    for (int round = 0; round < 600; ++round) {
        const float reach = round % 5 == 0 ? 400.0f : 170.0f;
        auto coordinate = [&](float centre) {
            return centre + float(int(random() % 20001) - 10000) / 10000.0f * reach;
        };
        const float x0 = coordinate(160), y0 = coordinate(120), x1 = coordinate(160), y1 = coordinate(120);
        const uint32_t colour = round % 3 == 0 ? 0xFF777777u : uint32_t(random());
        guarded_frame plain(0), fast(0);
        std::copy(busy.begin(), busy.end(), plain.frame());
        std::copy(busy.begin(), busy.end(), fast.frame());
        draw_line_subtractive_plain(plain.frame(), colour, x0, y0, x1, y1);
        draw_line_subtractive(fast.frame(), colour, x0, y0, x1, y1);
        ASSERT_TRUE(plain.memory == fast.memory) << "round " << round << ": " << x0 << "," << y0 << " " << x1 << "," << y1;
        ASSERT_TRUE(fast.guards_intact());
    }
}

TEST(DrawLineSubtractive, ShortLinesAndTheSharedFraction)
{
    guarded_frame f(0xAAFFFFFF);
    draw_line_clipped(10, 10, 11, 10, 0x777777, f.frame());  // n = 1: nothing
    EXPECT_EQ(f.changed(0xAAFFFFFF), 0);
    draw_line_clipped(10, 10, 12, 10, 0x777777, f.frame());  // n = 2, fraction 0
    EXPECT_EQ(f.at(10, 10), 0xAA898989u);  // 255 - (255 * 119 >> 8); alpha untouched
    EXPECT_EQ(f.at(11, 10), 0xAA898989u);
    EXPECT_EQ(f.at(12, 10), 0xAAFFFFFFu);  // the far end is not drawn
    EXPECT_EQ(f.at(10, 11), 0xAAFFFFFFu);  // the neighbours below get fraction 0: nothing
    EXPECT_EQ(f.changed(0xAAFFFFFF), 2);

    // Steep: x moves 2 in 10 rows, so the second row has fraction 51 and
    // shares with the pixel to the right: 204 and 51 parts of 0x77.
    guarded_frame s(0xFFFFFF);
    draw_line_clipped(10, 10, 12, 20, 0x777777, s.frame());
    EXPECT_EQ(s.at(10, 10), 0x898989u);
    EXPECT_EQ(s.at(11, 10), 0xFFFFFFu);
    EXPECT_EQ(s.at(10, 11), 0xA1A1A1u);  // 255 - (204 * 119 >> 8)
    EXPECT_EQ(s.at(11, 11), 0xE8E8E8u);  // 255 - (51 * 119 >> 8)
    EXPECT_EQ(s.at(12, 20), 0xFFFFFFu);

    // Per channel, saturating: crossing twice darkens further, never wraps.
    guarded_frame c(0x203040);
    draw_line_clipped(20, 30, 60, 30, 0x102030, c.frame());
    EXPECT_EQ(c.at(25, 30), 0x111111u);  // 0x20 - 15, 0x30 - 31, 0x40 - 47
    draw_line_clipped(20, 30, 60, 30, 0x102030, c.frame());
    EXPECT_EQ(c.at(25, 30), 0x020000u);
    // Endpoints round up to whole pixels: 20.2 starts at 21.
    guarded_frame r(0xFFFFFF);
    draw_line_clipped(20.2f, 40, 30, 40, 0x777777, r.frame());
    EXPECT_EQ(r.at(20, 40), 0xFFFFFFu);
    EXPECT_EQ(r.at(21, 40), 0x898989u);
}

TEST(DrawLineClipped, ClipsToTheWindowOneTo317ByOneTo237)
{
    guarded_frame f(0xFFFFFF);
    draw_line_clipped(-50, 100, 400, 100, 0x777777, f.frame());
    EXPECT_EQ(f.changed(0xFFFFFF), 316);  // (1, 100) to (316, 100)
    EXPECT_NE(f.at(1, 100), 0xFFFFFFu);
    EXPECT_NE(f.at(316, 100), 0xFFFFFFu);
    EXPECT_EQ(f.at(317, 100), 0xFFFFFFu);

    guarded_frame v(0xFFFFFF);
    draw_line_clipped(50, -500, 50, 900, 0x777777, v.frame());
    EXPECT_EQ(v.changed(0xFFFFFF), 236);  // rows 1 to 236
    EXPECT_EQ(v.at(50, 0), 0xFFFFFFu);
    EXPECT_EQ(v.at(50, 237), 0xFFFFFFu);

    guarded_frame none(0xFFFFFF);
    draw_line_clipped(318, 5, 5000, 200, 0x777777, none.frame());
    draw_line_clipped(0.99f, 5, -300, 200, 0x777777, none.frame());
    draw_line_clipped(10, 238, 300, 5000, 0x777777, none.frame());
    draw_line_clipped(10, 0.5f, 300, -1, 0x777777, none.frame());
    draw_line_clipped(-100, 10, 10, -100, 0x777777, none.frame());  // passes beside the corner
    EXPECT_EQ(none.changed(0xFFFFFF), 0);
}

TEST(DrawLines, NeverWriteOutsideTheFrame)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const float values[] = {-1e30f, -70000, -1, -0.5f, 0, 0.5f, 1, 159, 237.9f, 238, 239, 317.5f, 318, 319, 320, 1e9f, inf, -inf, nan};
    guarded_frame f(0xFFFFFF);
    for (float x0 : values)
        for (float y0 : values)
            for (float x1 : {-1e30f, -5.0f, 0.0f, 160.0f, 319.5f, 1e9f, nan})
                for (float y1 : {-1e30f, -5.0f, 0.0f, 120.0f, 239.5f, 1e9f, inf})
                    draw_line_clipped(x0, y0, x1, y1, 0x010101, f.frame());
    // The unclipped line is only ever given window coordinates, but stays inside whatever it gets.
    for (float x0 : values)
        for (float y0 : values)
            for (auto [x1, y1] : {std::pair{-5.0f, 120.0f}, std::pair{319.5f, 239.5f}, std::pair{160.0f, -1e30f}})
                draw_line_subtractive(f.frame(), 0x010101, x0, y0, x1, y1);
    EXPECT_TRUE(f.guards_intact());
}

// The fast sprite writes what the literal walk writes, at any size and
// position, clipped or not, on a busy frame.
TEST(DrawSpriteAdditive, FastVersionMatchesTheLiteralWalk)
{
    std::mt19937 random(13);
    std::vector<uint32_t> sprite(65536), busy(screen_width * screen_height);
    for (auto& t : sprite)
        t = random();
    for (auto& p : busy)
        p = random();
    const int32_t sizes[] = {2, 3, 7, 30, 75, 200, 321, 700};
    for (int32_t size : sizes)
        for (int round = 0; round < 12; ++round) {
            const int32_t x = int32_t(random() % 700) - 190, y = int32_t(random() % 600) - 180;
            guarded_frame plain(0), fast(0);
            std::copy(busy.begin(), busy.end(), plain.frame());
            std::copy(busy.begin(), busy.end(), fast.frame());
            draw_sprite_additive_plain(x, y, sprite.data(), size, plain.frame());
            draw_sprite_additive(x, y, sprite.data(), size, fast.frame());
            ASSERT_TRUE(plain.memory == fast.memory) << "size " << size << " at " << x << ", " << y;
        }
}

TEST(DrawSpriteAdditive, CoversItsBoxButNeverTheLastRow)
{
    std::vector<uint32_t> ones(65536, 0x01010101);
    guarded_frame f(empty);
    draw_sprite_additive(100, 100, ones.data(), 7, f.frame());
    EXPECT_EQ(f.changed(empty), 36);
    for (int y = 97; y <= 102; ++y)
        for (int x = 97; x <= 102; ++x)
            EXPECT_EQ(f.at(x, y), 0x01010101u);

    guarded_frame bottom(empty);
    draw_sprite_additive(160, 235, ones.data(), 30, bottom.frame());
    EXPECT_NE(bottom.at(160, 238), empty);
    for (int x = 0; x < 320; ++x)
        ASSERT_EQ(bottom.at(x, 239), empty);
    draw_sprite_additive(160, 250, ones.data(), 30, bottom.frame());
    draw_sprite_additive(160, 240 + 14, ones.data(), 30, bottom.frame());
    for (int x = 0; x < 320; ++x)
        ASSERT_EQ(bottom.at(x, 239), empty);

    guarded_frame small(empty);
    draw_sprite_additive(50, 50, ones.data(), 1, small.frame());
    draw_sprite_additive(50, 50, ones.data(), -30, small.frame());
    EXPECT_EQ(small.changed(empty), 0);
    draw_sprite_additive(50, 50, ones.data(), 2, small.frame());
    EXPECT_EQ(small.changed(empty), 4);

    // Saturating add of all four bytes.
    std::vector<uint32_t> bright(65536, 0x80F00010);
    guarded_frame sat(0x90200005);
    draw_sprite_additive(10, 10, bright.data(), 4, sat.frame());
    EXPECT_EQ(sat.at(10, 10), 0xFFFF0015u);
}

TEST(DrawSpriteAdditive, ShowsItsWholeSlotAndClipsWithTheRightOffset)
{
    std::vector<uint32_t> columns(65536);
    for (int v = 0; v < 256; ++v)
        for (int u = 0; u < 256; ++u)
            columns[v * 256 + u] = uint32_t(v) << 8 | uint32_t(u);
    // Size 2: texels 0 and 128 each way, the disc's corner and its centre.
    guarded_frame two(empty);
    draw_sprite_additive(50, 50, columns.data(), 2, two.frame());
    EXPECT_EQ(two.at(49, 49), 0x0000u);
    EXPECT_EQ(two.at(50, 49), 0x0080u);
    EXPECT_EQ(two.at(49, 50), 0x8000u);
    EXPECT_EQ(two.at(50, 50), 0x8080u);
    // Size 256 lays the slot down texel for texel (up to the never-touched last row).
    guarded_frame whole(empty);
    draw_sprite_additive(160, 128, columns.data(), 256, whole.frame());
    for (int v = 0; v < 239; ++v)
        for (int u = 0; u < 256; ++u)
            ASSERT_EQ(whole.at(32 + u, v), columns[v * 256 + u]) << u << ", " << v;
    guarded_frame f(empty);
    draw_sprite_additive(2, 50, columns.data(), 16, f.frame());  // box x -6 to 9: 16 texels per pixel
    EXPECT_EQ(f.at(0, 42) & 255, 96u);
    EXPECT_EQ(f.at(1, 42) & 255, 112u);
    EXPECT_EQ(f.at(9, 57), 0xF0F0u);  // the last pixel shows texel (240, 240)
    guarded_frame g(empty);
    draw_sprite_additive(160, -3, columns.data(), 16, g.frame());  // box y -11 to 4
    EXPECT_EQ(g.at(152, 0) >> 8, 176u);
    EXPECT_EQ(g.at(152, 5), empty);
}

TEST(DrawSpriteAdditive, NeverWritesOutsideTheFrame)
{
    std::vector<uint32_t> ones(65536, 0x01010101);
    guarded_frame f(empty);
    const int32_t centres[] = {INT32_MIN, -100000, -20, -1, 0, 1, 160, 238, 239, 240, 255, 319, 320, 335, 100000, INT32_MAX};
    for (int32_t x : centres)
        for (int32_t y : centres)
            for (int32_t size : {2, 3, 30, 31, 700, 1 << 20, INT32_MAX})
                draw_sprite_additive(x, y, ones.data(), size, f.frame());
    EXPECT_TRUE(f.guards_intact());
    for (int x = 0; x < 320; ++x)
        ASSERT_EQ(f.at(x, 239), empty);
}
