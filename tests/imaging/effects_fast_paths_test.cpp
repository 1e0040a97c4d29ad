// Every faster loop of the 2D and warp-grid effects against its plain version, on random grids, textures and frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "director/precalc.h"
#include "imaging/effects.h"
#include "imaging/procedural.h"
#include "imaging/tables.h"
#include "imaging/warp.h"
#include "tests/imaging/effects_setup.h"

namespace {

struct random_words {
    uint32_t seed;
    uint32_t next()
    {
        seed = seed * 1664525u + 1013904223u;
        return seed ^ (seed >> 15);
    }
};

// Fills the grids: small smooth values, any 16-bit values, or the extremes.
void random_grids(uint32_t seed, int kind)
{
    random_words r{seed};
    for (int32_t i = 0; i < warp_grid_entries; ++i) {
        int16_t values[3];
        for (int16_t& v : values) {
            uint32_t w = r.next();
            v = kind == 0 ? int16_t(int32_t(w % 2048) - 1024) : kind == 1 ? int16_t(w) : int16_t(w & 1 ? 32767 : -32768);
        }
        warp_grid.u[i] = values[0];
        warp_grid.v[i] = values[1];
        warp_grid.shade[i] = kind == 0 ? int16_t(values[2] & 127) : values[2];
    }
}

}  // namespace

TEST(FastWarp, BlockExpandersMatchThePlainOnesOnRandomGrids)
{
    prepare_effect_tables();
    std::vector<uint32_t> texture = random_pixels(65536, 3);
    for (int round = 0; round < 12; ++round) {
        random_grids(uint32_t(round) + 1, round % 3);
        guarded_frame fast, plain;
        grid_expand(texture.data(), fast.pixels());
        grid_expand_plain(texture.data(), plain.pixels());
        ASSERT_EQ(std::memcmp(fast.pixels(), plain.pixels(), frame_pixels * 4), 0) << "grid_expand round " << round;
        grid_expand_shaded(texture.data(), fast.pixels());
        grid_expand_shaded_plain(texture.data(), plain.pixels());
        ASSERT_EQ(std::memcmp(fast.pixels(), plain.pixels(), frame_pixels * 4), 0) << "shaded round " << round;
        EXPECT_TRUE(fast.guards_intact());
    }
}

TEST(FastEffects, BumpRefractionMatchesThePlainOneForAnyOffsets)
{
    prepare_effect_tables();
    const int32_t offsets[][4] = {{0, 0, 0, 0}, {3, -4, 100, 7}, {-77, 45, 200, -130}, {255, 256, -256, 511},
                                  {INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX}, {-128, 128, -256, 256}};
    uint32_t seed = 40;
    for (const auto& o : offsets) {
        std::vector<uint32_t> surface = random_pixels(65536, ++seed), light = random_pixels(65536, ++seed);
        std::vector<uint32_t> height = random_pixels(frame_pixels, ++seed);
        guarded_frame fast(0x12345678), plain(0x12345678);
        bump_refraction(o[0], o[1], o[2], o[3], surface.data(), light.data(), height.data(), fast.pixels());
        bump_refraction_plain(o[0], o[1], o[2], o[3], surface.data(), light.data(), height.data(), plain.pixels());
        EXPECT_EQ(std::memcmp(fast.pixels(), plain.pixels(), frame_pixels * 4), 0) << o[0] << " " << o[1];
        EXPECT_TRUE(fast.guards_intact());
    }
}

TEST(FastEffects, LensMapAndLensBlobsMatchThePlainOnes)
{
    prepare_effect_tables();
    std::vector<uint32_t> t1 = random_pixels(65536, 81), t2 = random_pixels(65536, 82);
    // Depths: mostly empty, dome-like values, any value.
    random_words r{83};
    for (int kind = 0; kind < 3; ++kind) {
        std::vector<int32_t> depth(frame_pixels);
        for (auto& t : depth) {
            uint32_t w = r.next();
            t = w % 3 == 0 ? 0 : kind == 0 ? int32_t(w % 300) : kind == 1 ? int32_t(w % 9000) - 4500 : int32_t(w);
        }
        for (auto [u0, v0, cx, cy] : {std::array<int32_t, 4>{0, 0, 160, 120}, {-64, 192, 17, 230},
                                       {INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX}}) {
            guarded_frame fast(0x01020304), plain(0x01020304);
            lens_map(fast.pixels(), depth.data(), t1.data(), u0, v0, cx, cy);
            lens_map_plain(plain.pixels(), depth.data(), t1.data(), u0, v0, cx, cy);
            EXPECT_EQ(std::memcmp(fast.pixels(), plain.pixels(), frame_pixels * 4), 0) << "kind " << kind;
        }
    }
    for (auto [x, y, z] : {std::array<float, 3>{160, 120, -290}, {20, 230, -330}, {319, 0, -250}, {100, 50, 0}}) {
        guarded_frame fast1(0x11), fast2(0x22), plain1(0x11), plain2(0x22);
        lens_blobs(int32_t(x), int32_t(y), z, 37, -90, t1.data(), t2.data(), fast1.pixels(), fast2.pixels());
        lens_blobs_plain(int32_t(x), int32_t(y), z, 37, -90, t1.data(), t2.data(), plain1.pixels(), plain2.pixels());
        EXPECT_EQ(std::memcmp(fast1.pixels(), plain1.pixels(), frame_pixels * 4), 0) << x << ", " << y;
        EXPECT_EQ(std::memcmp(fast2.pixels(), plain2.pixels(), frame_pixels * 4), 0) << x << ", " << y;
    }
}

TEST(FastProcedural, EveryTexelOfEverySlotFollowsThePerTexelRule)
{
    prepare_effect_tables();  // makes the procedural textures
    int mismatches = 0;
    for (int slot = 0; slot < 5; ++slot)
        for (int32_t i = 0; i < 256; ++i)
            for (int32_t j = 0; j < 256; ++j)
                mismatches += texture_slots[slot][i * 256 + j] != procedural_texel(slot, i, j);
    EXPECT_EQ(mismatches, 0);
}

TEST(FastEffects, SmearBlurMatchesThePlainOneForEveryRadius)
{
    prepare_effect_tables();
    std::vector<uint32_t> source = random_pixels(frame_pixels, 91);
    for (int32_t n : {-3, 0, 1, 2, 3, 5, 17, 100, 127, 128, 129, 160, 319, 320, 500}) {
        guarded_frame fast(0xABCDEF01), plain(0xABCDEF01);
        smear_blur(n, source.data(), fast.pixels());
        smear_blur_plain(n, source.data(), plain.pixels());
        EXPECT_EQ(std::memcmp(fast.pixels(), plain.pixels(), frame_pixels * 4), 0) << "n " << n;
        EXPECT_TRUE(fast.guards_intact());
    }
}

TEST(FastWarp, PlasmaWarpTakesEachSineOnceWithTheSameGridAndFrame)
{
    prepare_effect_tables();
    for (float t : {0.0f, 1.0f, -1.0f, 1234.5f, -2400.0f, 9000.0f, 15873.0f, 1.0e6f}) {
        guarded_frame fast, plain;
        plasma_warp_plain(t, texture_slots[slot_rings], plain.pixels());
        std::vector<int16_t> u(warp_grid.u, warp_grid.u + warp_grid_entries), v(warp_grid.v, warp_grid.v + warp_grid_entries);
        plasma_warp(t, texture_slots[slot_rings], fast.pixels());
        EXPECT_TRUE(std::equal(u.begin(), u.end(), warp_grid.u)) << "t " << t;
        EXPECT_TRUE(std::equal(v.begin(), v.end(), warp_grid.v)) << "t " << t;
        EXPECT_EQ(std::memcmp(fast.pixels(), plain.pixels(), frame_pixels * 4), 0) << "t " << t;
    }
}

TEST(FastEffects, DrawBlobMatchesThePlainOneAnywhere)
{
    prepare_effect_tables();
    random_words r{95};
    for (int round = 0; round < 60; ++round) {
        // Screen and world places, near and far, over a depth buffer with old domes in it.
        const float x = float(int32_t(r.next() % 900) - 300), y = float(int32_t(r.next() % 700) - 230);
        const float z = float(int32_t(r.next() % 1400) - 396);
        const bool screen = round % 2 == 0;
        std::vector<int32_t> fast(frame_pixels), plain(frame_pixels);
        for (int32_t i = 0; i < frame_pixels; ++i)
            fast[i] = plain[i] = round % 3 == 0 ? 0 : int32_t(r.next() % 400) - 50;
        draw_blob(fast.data(), x, y, z, screen);
        draw_blob_plain(plain.data(), x, y, z, screen);
        ASSERT_EQ(fast, plain) << x << ", " << y << ", " << z << (screen ? " screen" : " world");
    }
}
