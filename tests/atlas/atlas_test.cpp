// The texture atlas: colour levels, tile resampling and the slots built from the stored picture.
#include "atlas/atlas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/memory.h"
#include "director/precalc.h"
#include "tests/support/helpers.h"

namespace {

uint32_t red(uint32_t p) { return (p >> 16) & 255; }
uint32_t green(uint32_t p) { return (p >> 8) & 255; }
uint32_t blue(uint32_t p) { return p & 255; }

TEST(ApplyLevels, BlackPoint22StretchesTheRestToFullRange)
{
    std::vector<uint32_t> pixels = {0xFF160017, 0x80FF8015, 0x01000000, 0xFFFFFFFF, 0x00636465, 0xAB808080};
    apply_levels(pixels.data(), 22, 5);
    EXPECT_EQ(pixels[0], 0x00000001u);  // 22 -> 0, 0 -> 0, 23 -> 1; alpha cleared
    EXPECT_EQ(pixels[1], 0x00FF7400u);  // 255 -> 255, 128 -> 116, 21 -> 0
    EXPECT_EQ(pixels[2], 0x00000000u);
    EXPECT_EQ(pixels[3], 0x00FFFFFFu);
    // 99, 100, 101: (c - 22) x 1.0944205522537231 rounded to nearest
    EXPECT_EQ(pixels[4], 0x00545556u);
    EXPECT_EQ(pixels[5], 0xAB808080u) << "pixels past the count are left alone";
}

// A 256 x 256 atlas with a tile of one colour and a different colour around it.
std::vector<uint32_t> atlas_with_tile(int column, int row, int width, int height, uint32_t inside, uint32_t outside)
{
    std::vector<uint32_t> pixels(size_t(atlas_size) * atlas_size, outside);
    for (int y = row; y < row + height; ++y)
        for (int x = column; x < column + width; ++x)
            pixels[size_t(y) * atlas_size + x] = inside;
    return pixels;
}

TEST(ResampleTile, ConstantTileDarkensSlightlyAndNeverSamplesItsNeighbours)
{
    std::vector<uint32_t> atlas_pixels = atlas_with_tile(64, 64, 64, 64, 0x808080, 0xFFFFFF);
    std::vector<uint32_t> slot(size_t(texture_size) * texture_size, 0xDEADBEEF);
    resample_tile(slot.data(), atlas_pixels.data(), 64, 64, 64, 64);
    EXPECT_EQ(slot[0], 0x7F7F7Fu);  // weight 254 on the top-left texel alone
    for (uint32_t p : slot) {
        ASSERT_EQ(p >> 24, 0u);
        ASSERT_EQ(red(p), green(p));
        ASSERT_EQ(red(p), blue(p));
        ASSERT_GE(red(p), 0x7Du);
        ASSERT_LE(red(p), 0x7Fu);
    }
}

TEST(ResampleTile, OutputZeroIsTheTopLeftTexelAndEdgesWrapInsideTheTile)
{
    // A 64-wide tile: first column 0, the rest 200; the neighbouring tile is white.
    std::vector<uint32_t> atlas_pixels = atlas_with_tile(128, 0, 64, 64, 200 * 0x010101u, 0xFFFFFF);
    for (int y = 0; y < 64; ++y)
        atlas_pixels[size_t(y) * atlas_size + 128] = 0;
    atlas_pixels[128] = 0x00A0B0C0;
    std::vector<uint32_t> slot(size_t(texture_size) * texture_size);
    resample_tile(slot.data(), atlas_pixels.data(), 128, 0, 64, 64);
    EXPECT_EQ(slot[0], 0x009EAEBEu);  // each channel x 254 >> 8
    // Last output column: x0 = the tile's last column with fx = 192, x1 wraps to
    // its first column: (200 x 62 + 0 x 191) >> 8 = 48 (the white neighbour would give 238).
    EXPECT_EQ(slot[10 * 256 + 255], 48 * 0x010101u);
    // Last output row: row 63 (weight 62) and the tile's first row (weight 191),
    // not the white row below the tile (which would give 238).
    EXPECT_EQ(slot[255 * 256 + 100], 197 * 0x010101u);
}

TEST(ResampleTile, Slot23StartsNineRowsDown)
{
    std::vector<uint32_t> atlas_pixels(size_t(atlas_size) * atlas_size);
    for (int y = 0; y < 64; ++y)
        for (int x = 64; x < 128; ++x)
            atlas_pixels[size_t(y) * atlas_size + x] = uint32_t(y * 4) * 0x010101u;
    const atlas_tile& tile = atlas_tiles[slot_clouds_cut - slot_organic];
    std::vector<uint32_t> slot(size_t(texture_size) * texture_size);
    resample_tile(slot.data(), atlas_pixels.data(), tile.column, tile.row, tile.width, tile.height);
    EXPECT_EQ(slot[0], uint32_t((36 * 254) >> 8) * 0x010101u);  // atlas row 9 holds 36
}

class TextureAtlas : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        for (auto& slot : texture_slots)
            if (!slot)
                slot = static_cast<uint32_t*>(mem_alloc(size_t(texture_size) * texture_size * 4));
        build_texture_atlas(&texture_slots[slot_organic], texture_slots[slot_embossed]);
    }
    static const uint32_t* slot(int i) { return texture_slots[i]; }
};

TEST_F(TextureAtlas, FillsItsSlotsFromTheStoredPicture)
{
    const size_t texels = size_t(texture_size) * texture_size;
    EXPECT_EQ(std::memcmp(slot(25), slot(6), texels * 4), 0) << "slot 25 copies slot 6";
    // Slot 23 is the cloud tile from atlas row 9: its row 0 is slot 6's row 36
    // (row 36 of 256 samples atlas row 9 of the 64-row tile exactly).
    EXPECT_EQ(std::memcmp(slot(23), slot(6) + 36 * texture_size, texture_size * 4), 0);
    for (int s = 5; s <= 23; ++s) {
        uint32_t brightest = 0;
        for (size_t i = 0; i < texels; ++i) {
            ASSERT_EQ(slot(s)[i] >> 24, 0u) << "slot " << s;
            brightest = std::max({brightest, red(slot(s)[i]), green(slot(s)[i]), blue(slot(s)[i])});
        }
        if (s == 13 || s == 14)
            EXPECT_EQ(brightest, 0u) << "slot " << s << " is black";
        else if (s == 17 || s == 22)
            EXPECT_GT(brightest, 20u) << "slot " << s << " holds the glow left of the ring";
        else
            EXPECT_GT(brightest, 100u) << "slot " << s << " holds a picture";
    }
    // Levels took the top 128 rows to full black: the cloud and filament tiles reach 0 or near it.
    uint32_t darkest = 255;
    for (size_t i = 0; i < texels; ++i)
        darkest = std::min(darkest, std::max({red(slot(9)[i]), green(slot(9)[i]), blue(slot(9)[i])}));
    EXPECT_LE(darkest, 2u);
}

// Guards the whole pipeline: stored stream, decoder, levels, resampling.
// Changes whenever data/atlas.m1v is rebuilt on purpose.
TEST_F(TextureAtlas, GoldenHashOfTheSlots)
{
    std::vector<uint32_t> all;
    for (int s = 5; s <= 25; ++s)
        if (s != 24)
            all.insert(all.end(), slot(s), slot(s) + size_t(texture_size) * texture_size);
    EXPECT_EQ(hash_bytes(all.data(), all.size() * 4), "725c29507acc9e75");
}

}  // namespace

// The two-pixels-at-a-time resampler writes what the plain one writes, for
// every tile of the atlas and odd rectangles, from an atlas with every byte busy.
TEST(ResampleTile, FastVersionMatchesThePlainOne)
{
    std::vector<uint32_t> atlas_pixels(256 * 256);
    uint32_t seed = 5;
    for (auto& p : atlas_pixels) {
        seed = seed * 1664525u + 1013904223u;
        p = seed ^ (seed >> 13);
    }
    std::vector<atlas_tile> tiles(atlas_tiles, atlas_tiles + atlas_tile_count);
    tiles.push_back({0, 0, 1, 1});
    tiles.push_back({255, 255, 1, 1});
    tiles.push_back({1, 7, 255, 249});
    tiles.push_back({100, 30, 3, 200});
    for (const atlas_tile& tile : tiles) {
        std::vector<uint32_t> fast(65536, 1), plain(65536, 2);
        resample_tile(fast.data(), atlas_pixels.data(), tile.column, tile.row, tile.width, tile.height);
        resample_tile_plain(plain.data(), atlas_pixels.data(), tile.column, tile.row, tile.width, tile.height);
        EXPECT_TRUE(fast == plain) << tile.column << ", " << tile.row << " " << tile.width << " x " << tile.height;
    }
}
