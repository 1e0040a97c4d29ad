// The four-lane byte rules checked over every byte pair (every triple for alpha) against plain per-byte formulas.
#include "imaging/pixel_ops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace {

uint32_t lane(uint32_t pixel, int i) { return (pixel >> (8 * i)) & 0xFF; }

uint32_t pack(uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3)
{
    return b0 | (b1 << 8) | (b2 << 16) | (b3 << 24);
}

// Runs `check`(a, b, lane a, lane b) for every byte pair in every lane: each
// lane gets a different pairing so that a leak between lanes shows.
template <typename Op, typename Formula>
int count_pair_mismatches(Op op, Formula formula)
{
    int mismatches = 0;
    for (uint32_t a = 0; a < 256; ++a) {
        for (uint32_t b = 0; b < 256; ++b) {
            uint32_t as[4] = {a, b, a, 255 - a};
            uint32_t bs[4] = {b, a, 255 - b, b};
            uint32_t result = op(pack(as[0], as[1], as[2], as[3]), pack(bs[0], bs[1], bs[2], bs[3]));
            for (int i = 0; i < 4; ++i)
                if (lane(result, i) != formula(as[i], bs[i]))
                    ++mismatches;
        }
    }
    return mismatches;
}

}  // namespace

TEST(PixelOps, ByteRulesMatchTheirFormulasForEveryPair)
{
    EXPECT_EQ(count_pair_mismatches(pixel_mul, [](uint32_t a, uint32_t b) { return a * b / 256; }), 0);
    EXPECT_EQ(count_pair_mismatches(pixel_add_saturate,
                                    [](uint32_t a, uint32_t b) { return std::min<uint32_t>(255, a + b); }),
              0);
    EXPECT_EQ(count_pair_mismatches(pixel_subtract_saturate,
                                    [](uint32_t a, uint32_t b) { return a > b ? a - b : 0; }),
              0);
    EXPECT_EQ(pixel_mul(0xFFFFFFFF, 0xFFFFFFFF), 0xFEFEFEFEu);  // 255 x 255 >> 8 is 254
}

TEST(PixelOps, ScaleByOneFactorMatchesPerByteProduct)
{
    int mismatches = 0;
    for (uint32_t c = 0; c < 256; ++c)
        for (uint32_t f = 0; f < 256; ++f) {
            uint32_t pixel = pack(c, 255 - c, c ^ 0x5A, (c * 7) & 0xFF);
            uint32_t result = pixel_scale(pixel, f);
            for (int i = 0; i < 4; ++i)
                if (lane(result, i) != lane(pixel, i) * f / 256)
                    ++mismatches;
        }
    EXPECT_EQ(mismatches, 0);
}

TEST(PixelOps, BlendAlphaMatchesFormulaForEverySourceAlphaAndBytePair)
{
    int mismatches = 0;
    for (uint32_t sa = 0; sa < 256; ++sa)
        for (uint32_t s = 0; s < 256; ++s)
            for (uint32_t d = 0; d < 256; ++d) {
                uint32_t ss[4] = {s, 255 - s, s ^ 0x33, sa};
                uint32_t ds[4] = {d, d ^ 0xA5, 255 - d, d};
                uint32_t result = pixel_blend_alpha(pack(ss[0], ss[1], ss[2], ss[3]), pack(ds[0], ds[1], ds[2], ds[3]));
                for (int i = 0; i < 4; ++i) {
                    uint32_t expected = std::min<uint32_t>(255, ss[i] + ds[i] * (255 - sa) / 256);
                    if (lane(result, i) != expected)
                        ++mismatches;
                }
            }
    EXPECT_EQ(mismatches, 0);
}

TEST(PixelOps, ContrastMatchesFormulaAndClearsAlpha)
{
    for (uint32_t amount : {0u, 1u, 50u, 256u, 400u, 500u, 600u, 4000u, 40000u, 65535u}) {
        int64_t f = (static_cast<int64_t>(amount) + 256) * (static_cast<int64_t>(amount) + 256);
        for (uint32_t c = 0; c < 256; ++c) {
            // floor division for the arithmetic shift of negative products
            int64_t product = (static_cast<int64_t>(c) - 127) * f;
            int64_t shifted = product >= 0 ? product / 65536 : -((-product + 65535) / 65536);
            uint32_t expected = static_cast<uint32_t>(std::clamp<int64_t>(shifted + 127, 0, 255));
            uint32_t result = pixel_contrast(pack(c, 255 - c, c, 0xFF), f);
            ASSERT_EQ(result, pack(expected, pixel_contrast(255 - c, f) & 0xFF, expected, 0))
                << "amount " << amount << " c " << c;
        }
    }
    EXPECT_EQ(pixel_contrast(0xFF123456, 65536), 0x00123456u);  // amount 0 keeps colour, drops alpha
}
