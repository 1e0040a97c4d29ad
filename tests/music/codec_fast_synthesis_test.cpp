// The SSE2 synthesis against the plain one, bit for bit, over many granules of random subband values.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <random>

#include "music/codec.h"

TEST(Synthesis, FastGranuleMatchesThePlainOneBitForBit)
{
    static codec_state fast, narrow, plain;  // AVX2 where the processor has it, SSE2, plain
    build_codec_tables(&fast);
    build_codec_tables(&narrow);
    build_codec_tables(&plain);
    std::mt19937 random(21);
    std::uniform_real_distribution<float> small(-2.0f, 2.0f), large(-3.0e4f, 3.0e4f);
    float subband[32];
    for (int g = 0; g < 600; ++g) {
        for (float& s : subband)
            s = g % 3 == 0 ? large(random) : small(random);
        if (g % 7 == 0)
            subband[random() % 32] = 0.0f;
        synthesise_granule(&fast, subband);
        synthesise_granule_sse2_or_plain(&narrow, subband);
        synthesise_granule_plain(&plain, subband);
        for (int i = 0; i < 512; ++i) {
            ASSERT_EQ(std::bit_cast<uint32_t>(fast.overlap[i]), std::bit_cast<uint32_t>(plain.overlap[i]))
                << "granule " << g << " value " << i;
            ASSERT_EQ(std::bit_cast<uint32_t>(narrow.overlap[i]), std::bit_cast<uint32_t>(plain.overlap[i]))
                << "granule " << g << " value " << i;
        }
        // Shift as the decoder does, so the overlap carries on from granule to granule.
        for (codec_state* s : {&fast, &narrow, &plain}) {
            std::memmove(s->overlap + 32, s->overlap, 480 * sizeof(float));
            std::memset(s->overlap, 0, 32 * sizeof(float));
        }
    }
}
