// Blits: the byte rules at alpha 0 and 255, clipping at every edge, and add_image within its destination.
#include "imaging/blits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "base/memory.h"

namespace {

using blit_function = void (*)(image, image, int16_t, int16_t);

uint32_t per_byte(uint32_t s, uint32_t d, const std::function<uint32_t(uint32_t, uint32_t, uint32_t)>& rule)
{
    uint32_t result = 0;
    for (int i = 0; i < 4; ++i)
        result |= rule((s >> (8 * i)) & 0xFF, (d >> (8 * i)) & 0xFF, s >> 24) << (8 * i);
    return result;
}

// Each blit beside its rule written per byte.
struct blit_case {
    const char* name;
    blit_function blit;
    std::function<uint32_t(uint32_t, uint32_t, uint32_t)> rule;  // (s, d, sa)
};

const std::vector<blit_case>& blit_cases()
{
    static const std::vector<blit_case> cases = {
        {"alpha", blit_alpha, [](uint32_t s, uint32_t d, uint32_t sa) { return std::min(255u, s + d * (255 - sa) / 256); }},
        {"add", blit_add, [](uint32_t s, uint32_t d, uint32_t) { return std::min(255u, s + d); }},
        {"subtract", blit_subtract, [](uint32_t s, uint32_t d, uint32_t) { return d > s ? d - s : 0; }},
        {"multiply", blit_multiply, [](uint32_t s, uint32_t d, uint32_t) { return d * s / 256; }},
    };
    return cases;
}

// A 320 x 240 destination inside a larger block whose guard bands must stay untouched.
struct guarded_screen {
    static constexpr int guard = 4096;
    static constexpr uint32_t guard_value = 0xA5A5A5A5;
    std::vector<uint32_t> memory;
    image screen;
    explicit guarded_screen(uint32_t fill) : memory(320 * 240 + 2 * guard, guard_value)
    {
        std::fill(memory.begin() + guard, memory.end() - guard, fill);
        screen = {320, 240, memory.data() + guard};
    }
    bool guards_intact() const
    {
        return std::all_of(memory.begin(), memory.begin() + guard, [](uint32_t v) { return v == guard_value; }) &&
               std::all_of(memory.end() - guard, memory.end(), [](uint32_t v) { return v == guard_value; });
    }
};

// Every source pixel distinct in all four bytes.
image numbered_source(int16_t width, int16_t height)
{
    image im = image_create(width, height);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
            im.pixels[r * width + c] = 0x80000000u | (static_cast<uint32_t>(r & 0xFF) << 16) |
                                       (static_cast<uint32_t>(c & 0xFF) << 8) | static_cast<uint32_t>((r * 7 + c) & 0xFF);
    return im;
}

// Blits `source` at (x, y) and checks every destination pixel: covered ones
// follow the rule from the source pixel that lands there, the rest are unchanged.
void check_blit_at(const image& source, int16_t x, int16_t y)
{
    const uint32_t fill = 0xC0E0F0FF;
    for (const blit_case& bc : blit_cases()) {
        guarded_screen dest(fill);
        bc.blit(source, dest.screen, x, y);
        ASSERT_TRUE(dest.guards_intact()) << bc.name << " at " << x << "," << y;
        int wrong = 0;
        for (int dy = 0; dy < 240; ++dy)
            for (int dx = 0; dx < 320; ++dx) {
                int c = dx - x;
                int r = dy - y;
                bool covered = c >= 0 && c < source.width && r >= 0 && r < source.height;
                uint32_t expected = covered ? per_byte(source.pixels[r * source.width + c], fill, bc.rule) : fill;
                if (dest.screen.pixels[dy * 320 + dx] != expected)
                    ++wrong;
            }
        EXPECT_EQ(wrong, 0) << bc.name << " at " << x << "," << y;
    }
}

}  // namespace

TEST(BlitAlpha, AlphaZeroStillDimsAndAlphaFullReplaces)
{
    image dest = image_create(3, 1);
    dest.pixels[0] = 0xFFFFFFFF;
    dest.pixels[1] = 0x01010101;
    dest.pixels[2] = 0x807F4002;
    image clear = image_create(3, 1);  // alpha 0, colour 0
    blit_alpha(clear, dest, 0, 0);
    EXPECT_EQ(dest.pixels[0], 0xFEFEFEFEu);  // 255 -> 254
    EXPECT_EQ(dest.pixels[1], 0x00000000u);  // 1 -> 0
    EXPECT_EQ(dest.pixels[2], 0x7F7E3F01u);

    image solid = image_create(3, 1);
    solid.pixels[0] = 0xFF123456;
    solid.pixels[1] = 0xFF000000;
    solid.pixels[2] = 0xFFFFFFFF;
    dest.pixels[0] = 0xABCDEF01;
    blit_alpha(solid, dest, 0, 0);
    EXPECT_EQ(dest.pixels[0], 0xFF123456u);
    EXPECT_EQ(dest.pixels[1], 0xFF000000u);
    EXPECT_EQ(dest.pixels[2], 0xFFFFFFFFu);

    // Half coverage, premultiplied: 0x80 white-ish over mid grey.
    solid.pixels[0] = 0x80808080;
    dest.pixels[0] = 0x40404040;
    blit_alpha(solid, dest, 0, 0);
    EXPECT_EQ(dest.pixels[0], 0x9F9F9F9Fu);  // 128 + (64 x 127 >> 8)
    image_release(dest);
    image_release(clear);
    image_release(solid);
}

TEST(Blits, SubtractSelfIsZeroAndMultiplyByWhiteLosesOne)
{
    image a = image_create(2, 2);
    a.pixels[0] = 0xFFFFFFFF;
    a.pixels[1] = 0x12345678;
    a.pixels[2] = 0x80000001;
    a.pixels[3] = 0x00FF00FF;
    image b = image_copy(a);
    blit_subtract(a, b, 0, 0);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(b.pixels[i], 0u);

    image white = image_create(2, 2);
    for (int i = 0; i < 4; ++i)
        white.pixels[i] = 0xFFFFFFFF;
    image_release(b);
    b = image_copy(a);
    blit_multiply(white, b, 0, 0);
    EXPECT_EQ(b.pixels[0], 0xFEFEFEFEu);
    EXPECT_EQ(b.pixels[1], 0x11335577u);

    blit_add(white, a, 0, 0);
    EXPECT_EQ(a.pixels[1], 0xFFFFFFFFu);
    for (image* i : {&a, &b, &white})
        image_release(*i);
}

TEST(Blits, ClipAtEveryEdgeAndNeverWriteOutside)
{
    image small = numbered_source(10, 10);
    // (-5, -3): source columns 5..9 of rows 3..9 land on columns 0..4 of rows 0..6.
    check_blit_at(small, -5, -3);
    check_blit_at(small, 315, 0);  // only source columns 0..4
    check_blit_at(small, 320, 0);  // nothing
    for (auto [x, y] : {std::pair<int16_t, int16_t>{0, 0}, {0, 235}, {0, 240}, {310, 230}, {-10, 5}, {-9, -9},
                        {100, -10}, {-32768, -32768}, {32767, 32767}, {-32768, 100}, {100, 32767}})
        check_blit_at(small, x, y);
    image_release(small);

    image big = numbered_source(400, 300);  // larger than the destination on every side
    check_blit_at(big, -20, -10);
    check_blit_at(big, -100, 50);
    image_release(big);
}

TEST(Blits, ClippedCornerLandsWhereExpected)
{
    image small = numbered_source(10, 10);
    guarded_screen dest(0);
    blit_add(small, dest.screen, -5, -3);
    EXPECT_EQ(dest.screen.pixels[0], small.pixels[3 * 10 + 5]);
    EXPECT_EQ(dest.screen.pixels[6 * 320 + 4], small.pixels[9 * 10 + 9]);
    EXPECT_EQ(dest.screen.pixels[6 * 320 + 5], 0u);
    EXPECT_EQ(dest.screen.pixels[7 * 320 + 0], 0u);
    image_release(small);
}

TEST(AddImage, AddsPixelByPixelWithinTheDestination)
{
    image a = image_create(2, 2);
    image b = image_create(2, 2);
    a.pixels[0] = 0x80808080;
    b.pixels[0] = 0x90017F00;
    a.pixels[3] = 0x01020304;
    add_image(a, b);
    EXPECT_EQ(b.pixels[0], 0xFF81FF80u);
    EXPECT_EQ(b.pixels[3], 0x01020304u);
    image_release(a);
    image_release(b);

    // A larger source fills a smaller destination and stops at its end.
    image wide = image_create(4, 4);
    for (int i = 0; i < 16; ++i)
        wide.pixels[i] = 0x01010101;
    std::vector<uint32_t> memory(16, 0);
    image small = {2, 3, memory.data()};
    add_image(wide, small);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(memory[i], i < 6 ? 0x01010101u : 0u) << i;
    image_release(wide);
}
