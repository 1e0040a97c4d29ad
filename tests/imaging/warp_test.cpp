// The warp-grid effects: block expansion, the zoomer's plane grid, the shaded expander, and golden frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "director/precalc.h"
#include "imaging/tables.h"
#include "imaging/warp.h"
#include "tests/imaging/effects_setup.h"
#include "tests/support/helpers.h"

namespace {

// The 41 x 31 grid points the effects use, packed row by row, for a hash.
std::string used_grid_hash(const int16_t* grid)
{
    std::vector<int16_t> used;
    for (int32_t gy = 0; gy <= 30; ++gy)
        for (int32_t gx = 0; gx <= 40; ++gx)
            used.push_back(grid[gy * warp_grid_stride + gx]);
    return hash_bytes(used.data(), used.size() * 2);
}

void fill_grids(int16_t (*u)(int32_t gx, int32_t gy), int16_t (*v)(int32_t gx, int32_t gy))
{
    for (int32_t gy = 0; gy < warp_grid_entries / warp_grid_stride; ++gy)
        for (int32_t gx = 0; gx < warp_grid_stride; ++gx) {
            warp_grid.u[gy * warp_grid_stride + gx] = u(gx, gy);
            warp_grid.v[gy * warp_grid_stride + gx] = v(gx, gy);
        }
}

int16_t grid_u(int32_t gx, int32_t gy) { return warp_grid.u[gy * warp_grid_stride + gx]; }
int16_t grid_v(int32_t gx, int32_t gy) { return warp_grid.v[gy * warp_grid_stride + gx]; }
int16_t grid_shade(int32_t gx, int32_t gy) { return warp_grid.shade[gy * warp_grid_stride + gx]; }

}  // namespace

TEST(GridExpand, ZeroGridsShowTexelZero)
{
    prepare_effect_tables();
    fill_grids([](int32_t, int32_t) -> int16_t { return 0; }, [](int32_t, int32_t) -> int16_t { return 0; });
    auto texture = coordinate_texture();
    texture[0] = 0x12345678;
    guarded_frame frame(0xFFFFFFFF);
    grid_expand(texture.data(), frame.pixels());
    for (int i = 0; i < frame_pixels; ++i)
        ASSERT_EQ(frame.pixels()[i], 0x12345678u) << "pixel " << i;
    EXPECT_TRUE(frame.guards_intact());
}

TEST(GridExpand, StepsBeforeUseSoTheTextureShiftsByOne)
{
    prepare_effect_tables();
    // U = 8 gx, V = 8 gy: within every block each step is one texel, taken
    // before the first pixel, so pixel (x, y) shows texel (x + 1, y + 1).
    fill_grids([](int32_t gx, int32_t) -> int16_t { return int16_t(8 * gx); },
               [](int32_t, int32_t gy) -> int16_t { return int16_t(8 * gy); });
    auto texture = coordinate_texture();
    guarded_frame frame;
    grid_expand(texture.data(), frame.pixels());
    for (int32_t y = 0; y < screen_height; ++y)
        for (int32_t x = 0; x < screen_width; ++x)
            ASSERT_EQ(frame.at(x, y), uint32_t(((y + 1) & 255) << 8 | ((x + 1) & 255))) << x << ", " << y;
    EXPECT_TRUE(frame.guards_intact());
}

TEST(PlasmaWarp, GridAtTimeZeroAndGoldenFrame)
{
    prepare_effect_tables();
    guarded_frame frame;
    plasma_warp(0.0f, texture_slots[slot_rings], frame.pixels());
    // At t = 0 the rates are 16, 16, 11, 11; at X = Y = 0 (grid point 20, 13)
    // U = 64 sin 0 cos 0 + 64 cos 0 = 64 and V = 0.
    EXPECT_EQ(grid_u(20, 13), 64);
    EXPECT_EQ(grid_v(20, 13), 0);
    EXPECT_TRUE(frame.guards_intact());
    // Golden hashes agreed with a separate model of the same rules (tests/imaging/effects_model.py).
    EXPECT_EQ(frame_hash(frame.pixels()), "23a9c45d0da8fd07");

    plasma_warp(1234.5f, texture_slots[slot_bumps], frame.pixels());
    EXPECT_EQ(frame_hash(frame.pixels()), "097481c0907f8192");
    EXPECT_EQ(used_grid_hash(warp_grid.u), "9136722fb2396110");
    EXPECT_EQ(used_grid_hash(warp_grid.v), "c95f4daf2f0f87c2");
}

TEST(BuildZoomerGrid, FlatPlane)
{
    prepare_effect_tables();
    build_zoomer_grid(0, 3000, 0, 0, 17, 200);
    // c = d = 0: z = 10,240 at every point, so the shade is 10240 >> 7 = 80
    // and the zoom 7,800 / 10,240.
    for (int32_t gy = 0; gy < 30; ++gy)
        for (int32_t gx = 0; gx <= 40; ++gx)
            ASSERT_EQ(grid_shade(gx, gy), 80) << gx << ", " << gy;
    EXPECT_EQ(grid_u(20, 15), 17);  // the screen centre: distance 0
    EXPECT_EQ(grid_v(20, 15), 200);
    // Pixel (200, 120): distance 40, angle 0, r = 40 x 7800 / 10240 = 30;
    // U = 17 + (127 x 30 >> 7) = 46, V = 200 + 0.
    EXPECT_EQ(grid_u(25, 15), 46);
    EXPECT_EQ(grid_v(25, 15), 200);
    // Pixel (160, 64), straight above: angle 192, distance 56, r = 42;
    // U = 17 + 0, V = 200 + (-127 x 42 >> 7) = 200 - 42 (the shift floors).
    EXPECT_EQ(grid_u(20, 8), 17);
    EXPECT_EQ(grid_v(20, 8), 158);
    // A quarter turn of rotation sends the right-hand point downwards.
    build_zoomer_grid(64, 3000, 0, 0, 0, 0);
    EXPECT_EQ(grid_u(25, 15), 0);
    EXPECT_EQ(grid_v(25, 15), 29);
}

TEST(BuildZoomerGrid, PointsBehindThePlaneKeepTheirCoordinates)
{
    prepare_effect_tables();
    fill_grids([](int32_t, int32_t) -> int16_t { return 1111; }, [](int32_t, int32_t) -> int16_t { return -2222; });
    // c = 40,000: the column term runs from -9,040 at x = 0 upwards by 312.5
    // per pixel, the row term is -30,720, so z < 0 left of x = 128 (gx < 16).
    build_zoomer_grid(0, 3000, 40000, 0, 0, 0);
    for (int32_t gy = 0; gy < 30; ++gy)
        for (int32_t gx = 0; gx <= 40; ++gx) {
            if (gx < 16) {
                ASSERT_EQ(grid_shade(gx, gy), 0) << gx << ", " << gy;
                ASSERT_EQ(grid_u(gx, gy), 1111);
                ASSERT_EQ(grid_v(gx, gy), -2222);
            } else {
                int32_t px = std::min(8 * gx, 319);
                int32_t z = -30720 + int32_t(std::nearbyint(double(320 * 32768 - 40000 * 320 + px * 80000) / 256));
                ASSERT_EQ(grid_shade(gx, gy), std::min(127, z >> 7)) << gx << ", " << gy;
                ASSERT_NE(grid_u(gx, gy), 1111) << gx << ", " << gy;
            }
        }
}

TEST(GridExpandShaded, ShadeScalesColourAndClearsTopAndBottom)
{
    prepare_effect_tables();
    build_zoomer_grid(0, 3000, 0, 0, 0, 0);  // shade 80 everywhere
    std::vector<uint32_t> white(256 * 256, 0xFFFFFFFFu);
    guarded_frame frame(0x55555555);
    grid_expand_shaded(white.data(), frame.pixels());
    for (int32_t y = 0; y < screen_height; ++y)
        for (int32_t x = 0; x < screen_width; ++x) {
            // m = 2 x 80 = 160: (255 x 160) >> 8 = 159, alpha 0.
            uint32_t expected = y < 4 || y >= 236 ? 0u : 0x009F9F9Fu;
            ASSERT_EQ(frame.at(x, y), expected) << x << ", " << y;
        }
    EXPECT_TRUE(frame.guards_intact());
}

TEST(TiltedZoomer, GoldenFrames)
{
    prepare_effect_tables();
    // Grid points behind the plane keep the last frame's coordinates, so start from zero grids.
    fill_grids([](int32_t, int32_t) -> int16_t { return 0; }, [](int32_t, int32_t) -> int16_t { return 0; });
    std::memset(warp_grid.shade, 0, warp_grid_entries * 2);
    guarded_frame frame(0x55555555);
    // Golden hashes agreed with a separate model of the same rules (tests/imaging/effects_model.py).
    tilted_zoomer(0.0f, 0.0f, texture_slots[slot_rings], frame.pixels());
    EXPECT_EQ(frame_hash(frame.pixels()), "23fb8920287952bf");
    tilted_zoomer(2345.6f, 37.0f, texture_slots[slot_bumps], frame.pixels());
    EXPECT_EQ(frame_hash(frame.pixels()), "726b913e2799e6b8");
    EXPECT_TRUE(frame.guards_intact());
}

TEST(WarpEffects, OddInputsStayInsideTheirBuffers)
{
    prepare_effect_tables();
    guarded_frame frame;
    const float nan = std::numeric_limits<float>::quiet_NaN(), huge = 3.0e38f;
    for (float t : {nan, huge, -huge, 1.0e12f, -77777.0f}) {
        plasma_warp(t, texture_slots[slot_rings], frame.pixels());
        tilted_zoomer(t, t, texture_slots[slot_rings], frame.pixels());
        ASSERT_TRUE(frame.guards_intact()) << t;
    }
    for (int32_t v : {INT32_MIN, -70000, 65535, INT32_MAX})
        build_zoomer_grid(v, v, v, v, v, v);
    grid_expand_shaded(texture_slots[slot_rings], frame.pixels());
    grid_expand(texture_slots[slot_rings], frame.pixels());
    EXPECT_TRUE(frame.guards_intact());
}
