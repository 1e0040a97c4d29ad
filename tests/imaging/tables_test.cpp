// The lookup tables and procedural textures: the worked values, their shapes, and golden hashes of the whole.
#include <gtest/gtest.h>

#include "director/precalc.h"
#include "imaging/procedural.h"
#include "imaging/tables.h"
#include "tests/imaging/effects_setup.h"
#include "tests/support/helpers.h"

namespace {

uint8_t angle_at(int32_t x, int32_t y)
{
    return angle_table[y * screen_width + x];
}

uint8_t distance_at(int32_t x, int32_t y)
{
    return distance_table[y * screen_width + x];
}

}  // namespace

TEST(SineTable, QuarterTurns)
{
    prepare_effect_tables();
    EXPECT_EQ(sine_table[0], 0);
    EXPECT_EQ(sine_table[64], 127);
    EXPECT_EQ(sine_table[128], 0);
    EXPECT_EQ(sine_table[192], -127);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(sine_table)[192], 0x81);
    EXPECT_EQ(sine_table[32], 90);  // 127 sin(pi/4) = 89.8
    for (int i = 1; i < 128; ++i)
        EXPECT_EQ(sine_table[i], -sine_table[256 - i]) << i;
}

TEST(AngleTable, AroundTheCentre)
{
    prepare_effect_tables();
    EXPECT_EQ(angle_at(161, 120), 0);    // right
    EXPECT_EQ(angle_at(159, 120), 128);  // left
    EXPECT_EQ(angle_at(160, 121), 60);   // below: the divisor there is 0.1, not 0
    EXPECT_EQ(angle_at(160, 119), 196);  // above
    EXPECT_EQ(angle_at(160, 239), 64);   // far below the angle nears a quarter turn
    EXPECT_EQ(angle_at(170, 130), 32);   // down-right diagonal
    EXPECT_EQ(angle_at(150, 130), 96);   // down-left
    EXPECT_EQ(angle_at(150, 110), 160);  // up-left
    EXPECT_EQ(angle_at(170, 110), 224);  // up-right: negative angles wrap
}

TEST(DistanceTable, CentreEdgesAndCorners)
{
    prepare_effect_tables();
    EXPECT_EQ(distance_at(160, 120), 0);
    EXPECT_EQ(distance_at(163, 124), 5);
    EXPECT_EQ(distance_at(0, 120), 160);
    EXPECT_EQ(distance_at(160, 0), 120);
    EXPECT_EQ(distance_at(0, 0), 200);      // the largest: sqrt(160^2 + 120^2)
    EXPECT_EQ(distance_at(319, 239), 199);  // round(sqrt(159^2 + 119^2)) = round(198.6)
}

TEST(ProceduralTextures, SpotRingsAndBumps)
{
    prepare_effect_tables();
    auto texel = [](int slot, int i, int j) { return texture_slots[slot][i * 256 + j]; };
    EXPECT_EQ(texel(0, 127, 127), 0x00FDFDFDu);  // 255^3 / 65536 = 253
    EXPECT_EQ(texel(0, 0, 0), 0u);
    EXPECT_EQ(texel(0, 127, 227), 0x00020202u);  // cone 55: 166375 / 65536
    // At the centre the rings read 127 - 127 cos(12.75) and flat middles cos(6.35), cos(3.15).
    EXPECT_EQ(texel(1, 127, 127), 0x00020202u);
    EXPECT_EQ(texel(2, 127, 127), 0x00000000u);
    EXPECT_EQ(texel(3, 127, 127), 0x00FEFEFEu);
    EXPECT_EQ(texel(2, 127, 127 + 60), texel(2, 127, 127));  // flat while the cone is above 127
    EXPECT_EQ(texel(4, 16, 16), 0x007F7F7Fu);  // the crest of a bump
    EXPECT_EQ(texel(4, 16, 48), 0u);            // a negative lobe, cut to 0
    EXPECT_EQ(texel(4, 48, 48), 0x007F7F7Fu);   // two negatives make a crest
    for (int slot = 0; slot < 5; ++slot)
        for (int i = 0; i < 256 * 256; ++i) {
            uint32_t t = texture_slots[slot][i];
            ASSERT_EQ(t, (t & 255) * 0x010101u) << "slot " << slot << " texel " << i << " is not grey";
        }
}

TEST(BlobTable, Dome)
{
    prepare_effect_tables();
    EXPECT_EQ(blob_table[128 * 256 + 128], 63);
    EXPECT_EQ(blob_table[0], 0);
    EXPECT_EQ(blob_table[128 * 256 + 128 + 122], 1);  // 255 - 14884 / 60 = 7
    EXPECT_EQ(blob_table[128 * 256 + 128 - 123], 0);  // 255 - 15129 / 60 = 3
    EXPECT_EQ(blob_table[(128 + 60) * 256 + 128], 48);  // 255 - 60 = 195
}

TEST(Tables, GoldenHashes)
{
    prepare_effect_tables();
    // Agreed with a separate model of the same rules (tests/imaging/effects_model.py).
    EXPECT_EQ(hash_bytes(sine_table, 256), "befede64f98c6923");
    EXPECT_EQ(hash_bytes(angle_table, frame_pixels), "ac7340938c33a62b");
    EXPECT_EQ(hash_bytes(distance_table, frame_pixels), "d8780789e0d13f7d");
    EXPECT_EQ(hash_bytes(blob_table, 256 * 256 * 4), "dd05d5099bcbcd7a");
    const char* slot_hashes[5] = {"2d5de807a4ca4842", "73c07a3c35354e7f", "818a7190b50106a5", "80b59fe09f501c1b",
                                  "e5f516e9c1e17366"};
    for (int slot = 0; slot < 5; ++slot)
        EXPECT_EQ(hash_bytes(texture_slots[slot], 256 * 256 * 4), slot_hashes[slot]) << "slot " << slot;
}
