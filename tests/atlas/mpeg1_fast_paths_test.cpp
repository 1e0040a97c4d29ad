// The atlas decoder's faster pieces against their plain versions: the transform on random and extreme blocks, the colour conversion on any work area.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "atlas/mpeg1_decoder.h"
#include "base/cpu_features.h"
#include "data/blocks.h"

TEST(MpegFastPaths, TransformMatchesThePlainPassesEvenWhenTheyWrap)
{
    std::mt19937 random(31);
    for (int round = 0; round < 4000; ++round) {
        int32_t block[64] = {};
        // Sparse small blocks as streams make them, dense ones, and any 32-bit values.
        for (int i = 0; i < 64; ++i) {
            const uint32_t r = random();
            if (round % 3 == 0)
                block[i] = i < 10 && r % 2 ? int32_t(r % 4096) - 2048 : 0;
            else if (round % 3 == 1)
                block[i] = int32_t(r % 65536) - 32768;
            else
                block[i] = int32_t(r);
        }
        int32_t plain_block[64], fast_block[64];
        std::memcpy(plain_block, block, sizeof block);
        std::memcpy(fast_block, block, sizeof block);
        int32_t plain[8 * 16], fast[8 * 16];
        std::memset(plain, 0x5A, sizeof plain);
        std::memset(fast, 0x5A, sizeof fast);
        idct_block_plain(plain_block, plain, 16);
        idct_block(fast_block, fast, 16);  // AVX2 where the processor has it
        ASSERT_EQ(std::memcmp(plain, fast, sizeof plain), 0) << "round " << round;
    }
}

TEST(MpegFastPaths, ColourConversionMatchesTheTablesForAnyWorkArea)
{
    mpeg_parse_headers(nullptr, 0);  // builds the colour tables
    std::mt19937 random(32);
    for (int round = 0; round < 300; ++round) {
        // Values a picture gives, values beyond the tables' range, and any value.
        auto value = [&]() {
            const uint32_t r = random();
            return round % 3 == 0 ? int32_t(r % 400) - 200 : round % 3 == 1 ? int32_t(r % 3000) - 1500 : int32_t(r);
        };
        for (int32_t& v : mpeg_decoder.luminance)
            v = value();
        for (int i = 0; i < 64; ++i) {
            mpeg_decoder.cb[i] = value();
            mpeg_decoder.cr[i] = value();
        }
        std::vector<uint32_t> plain(20 * 16, 0x12345678), fast(20 * 16, 0x12345678);
        mpeg_convert_macroblock_plain(plain.data(), 20);
        mpeg_convert_macroblock(fast.data(), 20);
        ASSERT_EQ(plain, fast) << "round " << round;
    }
}

// The stored atlas decodes to the same pixels whether the processor's AVX2
// is used or not.
TEST(MpegFastPaths, TheAtlasDecodesTheSameWithoutAvx2)
{
    std::vector<uint32_t> wide(256 * 256), narrow(256 * 256);
    decode_atlas_picture(embedded_atlas_m1v, uint32_t(embedded_atlas_m1v_size), image{256, 256, wide.data()}, 128);
    cpu_limit_features({false});
    decode_atlas_picture(embedded_atlas_m1v, uint32_t(embedded_atlas_m1v_size), image{256, 256, narrow.data()}, 128);
    cpu_limit_features({true});
    EXPECT_EQ(wide, narrow);
}
