// The sample codec's decoder: block layout, value classes, clipping, lengths, checking, and exact output bytes.
#include "music/codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

namespace {

// Class numbers as the masks spell them: A << 2 | B << 1 | C.
[[maybe_unused]] constexpr int silent = 0, c_only = 1, b_only = 2, b_c = 3, a_only = 4, a_c = 5, a_b = 6, a_b_c = 7;

// One block as the test means it: a class and n values per subband.
struct test_block {
    int n = 16;
    int kind[32] = {};
    int q[16][32] = {};
};

int class_bits(int kind) { return kind == silent ? 0 : (kind == b_c || kind == a_c || kind >= a_b) ? 4 : 2; }
int class_shift(int kind)
{
    static const int shifts[8] = {0, 0, 1, 2, 2, 3, 4, 4};
    return shifts[kind];
}

void put_u32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

// Packs blocks the way the format lays them out, written independently of the decoder.
std::vector<uint8_t> make_stream(uint32_t granules, const std::vector<test_block>& blocks)
{
    std::vector<uint8_t> out;
    put_u32(out, granules);
    for (const test_block& b : blocks) {
        uint32_t masks[3] = {};
        for (int band = 0; band < 32; ++band)
            for (int m = 0; m < 3; ++m)
                if (b.kind[band] >> (2 - m) & 1)
                    masks[m] |= 1u << band;
        for (uint32_t m : masks)
            put_u32(out, m);
        for (int band = 0; band < 32; ++band) {
            int bits = class_bits(b.kind[band]);
            if (!bits)
                continue;
            uint32_t acc = 0;
            int filled = 0;
            for (int g = 0; g < b.n; ++g) {
                acc = acc << bits | (uint32_t(b.q[g][band]) & ((1u << bits) - 1));
                filled += bits;
                if (filled == 8) {
                    out.push_back(uint8_t(acc));
                    acc = 0;
                    filled = 0;
                }
            }
            if (filled)
                out.push_back(uint8_t(acc << (8 - filled)));
        }
    }
    return out;
}

// Random classes and values, so every class and every value of it appears.
std::vector<test_block> random_blocks(uint32_t granules, uint32_t seed, bool loud)
{
    std::mt19937 rng(seed);
    std::vector<test_block> blocks;
    for (uint32_t g = 0; g < granules; g += 16) {
        test_block b;
        b.n = int(std::min<uint32_t>(16, granules - g));
        for (int band = 0; band < 32; ++band) {
            b.kind[band] = loud ? int(rng() % 2 ? a_b : a_b_c) : int(rng() % 8);
            int bits = class_bits(b.kind[band]);
            for (int i = 0; i < b.n; ++i)
                b.q[i][band] = bits ? int(rng() % (1u << bits)) - (1 << (bits - 1)) : 0;
        }
        blocks.push_back(b);
    }
    return blocks;
}

std::vector<int8_t> decode(const std::vector<uint8_t>& stream, uint32_t* written = nullptr)
{
    const char* error = nullptr;
    int64_t size = codec_check_stream(stream.data(), stream.size(), &error);
    EXPECT_GE(size, 0) << error;
    // A guard of known bytes behind the output shows any write past its end.
    std::vector<int8_t> out(size_t(std::max<int64_t>(size, 0)) + 64, int8_t(0x5A));
    static codec_state state;
    uint32_t n = decode_sample_stream(&state, stream.data(), out.data());
    EXPECT_EQ(int64_t(n), size);
    for (size_t i = size_t(std::max<int64_t>(size, 0)); i < out.size(); ++i)
        EXPECT_EQ(out[i], 0x5A) << "written past the end at " << i;
    out.resize(size_t(std::max<int64_t>(size, 0)));
    if (written)
        *written = n;
    return out;
}

// A straightforward model of the arithmetic: doubles, rounded to single at
// every store, and the output formed directly as the sum of the 16 granules
// that overlap each sample instead of through a shifting buffer.
float f32(double x) { return float(x); }

struct model_output {
    std::vector<float> window, matrix;  // the tables
    std::vector<float> emitted;         // every emitted value before rounding, delay included
    std::vector<int8_t> bytes;          // the output bytes
};

model_output model_decode(uint32_t granules, const std::vector<test_block>& blocks)
{
    static const uint32_t weight_bits[8] = {0x3DFFFDE7, 0xBE800000, 0x3E7F09D9, 0xBE70778A,
                                            0x3E350657, 0xBDAF965B, 0x3CB14CA9, 0xBAFD5CB8};
    const double step = double(std::bit_cast<float>(0x3C490FDBu));
    std::vector<float> w(512);
    for (int i = 0; i < 512; ++i) {
        float sum = 0;
        for (int j = 0; j < 8; ++j)
            sum = f32(sum + double(f32(std::cos(double(f32(i * j * step))))) *
                                double(std::bit_cast<float>(weight_bits[j])));
        w[i] = (i / 64) % 2 ? -sum : sum;
    }
    std::vector<float> m(32 * 64);
    for (int k = 0; k < 32; ++k)
        for (int i = 0; i < 64; ++i)
            m[k * 64 + i] = f32(std::cos(double(f32((i - 16) * (2 * k + 1) * std::numbers::pi / 64))));

    std::vector<std::vector<float>> v(granules, std::vector<float>(64));
    for (uint32_t g = 0; g < granules; ++g) {
        const test_block& b = blocks[g / 16];
        for (int i = 0; i < 64; ++i) {
            float acc = 0;
            for (int k = 0; k < 32; ++k) {
                double s = b.kind[k] == silent ? 0.0 : (b.q[g % 16][k] + 0.5) * std::ldexp(1.0, class_shift(b.kind[k]));
                acc = f32(acc + double(f32(s)) * double(m[k * 64 + i]));
            }
            v[g][i] = acc;
        }
    }
    model_output out{w, m, {}, {}};
    for (uint32_t g = 0; g < granules; ++g)
        for (int t = 0; t < 32; ++t) {
            float acc = 0;
            for (int back = 15; back >= 0; --back) {
                if (back > int(g))
                    continue;
                int j = 511 - t - 32 * back;
                acc = f32(acc + double(w[j]) * double(v[g - back][j % 64]));
            }
            out.emitted.push_back(acc);
            double r = std::nearbyint(double(acc));
            if (g * 32 + t >= 480)
                out.bytes.push_back(int8_t(std::clamp(r, -128.0, 127.0)));
        }
    return out;
}

}  // namespace

TEST(CodecDecoder, ValueClassesAndSubbandSizes)
{
    // A last block of 5 granules: a 4-bit subband takes 3 bytes (its last 4
    // bits skipped), a 2-bit subband 2 bytes, and each starts on a fresh byte.
    test_block b;
    b.n = 5;
    b.kind[0] = a_b;     // 4 bits, shift 4
    b.kind[1] = c_only;  // 2 bits, shift 0
    b.kind[2] = a_c;     // 4 bits, shift 3
    b.kind[3] = b_only;  // 2 bits, shift 1
    for (int g = 0; g < 5; ++g) {
        b.q[g][0] = -8;  // the nibble 0x8
        b.q[g][1] = 1;   // the pair 0b01
        b.q[g][2] = 7;
        b.q[g][3] = -2;
    }
    b.q[4][0] = 3;
    std::vector<uint8_t> bytes = make_stream(5, {b});
    static codec_state state;
    EXPECT_EQ(unpack_block(&state, bytes.data() + 4, 5), 12u + 3 + 2 + 3 + 2);
    EXPECT_EQ(bytes.size(), 4u + 12 + 3 + 2 + 3 + 2);
    for (int g = 0; g < 4; ++g)
        EXPECT_EQ(state.subband_samples[g][0], -120.0f);
    EXPECT_EQ(state.subband_samples[4][0], 56.0f);
    for (int g = 0; g < 5; ++g) {
        EXPECT_EQ(state.subband_samples[g][1], 1.5f);
        EXPECT_EQ(state.subband_samples[g][2], 60.0f);
        EXPECT_EQ(state.subband_samples[g][3], -3.0f);
        for (int band = 4; band < 32; ++band)
            EXPECT_EQ(state.subband_samples[g][band], 0.0f);
    }
    // With A and B set, C changes nothing.
    b.kind[0] = a_b_c;
    bytes = make_stream(5, {b});
    EXPECT_EQ(unpack_block(&state, bytes.data() + 4, 5), 22u);
    EXPECT_EQ(state.subband_samples[0][0], -120.0f);
    EXPECT_EQ(state.subband_samples[0][2], 60.0f);
}

TEST(CodecDecoder, SilentBlockIsTwelveBytesAndTheOverlapDrains)
{
    std::vector<test_block> blocks = random_blocks(48, 7, true);
    for (int i = 1; i < 3; ++i)
        blocks[i] = test_block{};
    std::vector<uint8_t> stream = make_stream(48, blocks);
    static codec_state state;
    uint32_t first = unpack_block(&state, stream.data() + 4, 16);
    EXPECT_EQ(unpack_block(&state, stream.data() + 4 + first, 16), 12u);
    EXPECT_EQ(stream.size(), 4 + first + 24);

    std::vector<int8_t> out = decode(stream);
    ASSERT_EQ(out.size(), 48u * 32 - 480);
    // Emitted granules 16 to 30 still carry the loud block's tail; from
    // granule 31 on every overlapping granule is silent.
    bool tail = false;
    for (size_t i = 16 * 32 - 480; i < 31 * 32 - 480; ++i)
        tail |= out[i] != 0;
    EXPECT_TRUE(tail);
    for (size_t i = 31 * 32 - 480; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0) << "sample " << i;
}

TEST(CodecDecoder, OutputClipsAndRoundsTiesToEven)
{
    EXPECT_EQ(codec_sample_to_byte(200.4f), 127);
    EXPECT_EQ(codec_sample_to_byte(-130.6f), -128);
    EXPECT_EQ(codec_sample_to_byte(2.5f), 2);
    EXPECT_EQ(codec_sample_to_byte(3.5f), 4);
    EXPECT_EQ(codec_sample_to_byte(-2.5f), -2);
    EXPECT_EQ(codec_sample_to_byte(127.5f), 127);
    EXPECT_EQ(codec_sample_to_byte(-128.5f), -128);
    EXPECT_EQ(codec_sample_to_byte(1e30f), 127);
    EXPECT_EQ(codec_sample_to_byte(-1e30f), -128);
}

TEST(CodecDecoder, GranulesGiveExactlyThirtyTwoBytesEachLessTheDelay)
{
    for (uint32_t granules : {15u, 16u, 17u, 31u, 32u, 33u, 37u}) {
        std::vector<uint8_t> stream = make_stream(granules, random_blocks(granules, granules, false));
        uint32_t written = 0;
        std::vector<int8_t> out = decode(stream, &written);
        EXPECT_EQ(written, granules * 32 - 480) << granules << " granules";
    }
    // Below the delay there is nothing to give; the decoder writes nothing.
    std::vector<uint8_t> short_stream = make_stream(14, random_blocks(14, 1, false));
    int8_t guard[4] = {1, 2, 3, 4};
    static codec_state state;
    EXPECT_EQ(decode_sample_stream(&state, short_stream.data(), guard), 0u);
    EXPECT_EQ(guard[0], 1);
}

TEST(CodecDecoder, OutputMatchesAStraightforwardModelBitForBit)
{
    for (bool loud : {false, true}) {
        const uint32_t granules = 37;  // blocks of 16, 16 and 5
        std::vector<test_block> blocks = random_blocks(granules, loud ? 99 : 5, loud);
        model_output model = model_decode(granules, blocks);
        std::vector<uint8_t> stream = make_stream(granules, blocks);

        // The single-precision values themselves, bit for bit: the tables,
        // then the top of the overlap buffer as each granule is emitted.
        static codec_state state;
        build_codec_tables(&state);
        for (int i = 0; i < 512; ++i)
            ASSERT_EQ(std::bit_cast<uint32_t>(state.window[i]), std::bit_cast<uint32_t>(model.window[i])) << i;
        for (int k = 0; k < 32; ++k)
            for (int i = 0; i < 64; ++i)
                ASSERT_EQ(std::bit_cast<uint32_t>(state.matrix[k][i]), std::bit_cast<uint32_t>(model.matrix[k * 64 + i]));
        const uint8_t* block = stream.data() + 4;
        for (uint32_t g = 0; g < granules; ++g) {
            if (g % 16 == 0)
                block += unpack_block(&state, block, int(std::min<uint32_t>(16, granules - g)));
            synthesise_granule(&state, state.subband_samples[g % 16]);
            for (int t = 0; t < 32; ++t)
                ASSERT_EQ(std::bit_cast<uint32_t>(state.overlap[511 - t]),
                          std::bit_cast<uint32_t>(model.emitted[g * 32 + t])) << "granule " << g << " sample " << t;
            std::memmove(state.overlap + 32, state.overlap, 480 * sizeof(float));
            std::fill(state.overlap, state.overlap + 32, 0.0f);
        }

        // And the bytes of the whole decoder.
        const std::vector<int8_t>& expected = model.bytes;
        std::vector<int8_t> got = decode(stream);
        ASSERT_EQ(got.size(), expected.size());
        int clipped = 0;
        for (size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(got[i], expected[i]) << "sample " << i << (loud ? " (loud)" : "");
            clipped += got[i] == 127 || got[i] == -128;
        }
        if (loud) {
            EXPECT_GT(clipped, 0) << "the loud stream should reach the clipping";
        }
    }
}

TEST(CodecDecoder, CheckerRefusesStreamsShorterThanTheirBlocks)
{
    std::vector<uint8_t> stream = make_stream(37, random_blocks(37, 3, false));
    const char* error = nullptr;
    EXPECT_EQ(codec_check_stream(stream.data(), stream.size(), &error), 37 * 32 - 480);
    for (size_t size = 0; size < stream.size(); ++size) {
        std::vector<uint8_t> cut(stream.begin(), stream.begin() + long(size));
        error = nullptr;
        EXPECT_EQ(codec_check_stream(cut.data(), cut.size(), &error), -1) << size << " bytes";
        EXPECT_NE(error, nullptr);
    }
    // Fewer than 15 granules, and a huge count behind a few bytes.
    std::vector<uint8_t> few = make_stream(14, random_blocks(14, 4, false));
    EXPECT_EQ(codec_check_stream(few.data(), few.size(), &error), -1);
    std::vector<uint8_t> huge = stream;
    huge[0] = huge[1] = huge[2] = huge[3] = 0xFF;
    EXPECT_EQ(codec_check_stream(huge.data(), huge.size(), &error), -1);
    // Bytes after the last block are allowed (a stream may sit inside a larger block).
    stream.resize(stream.size() + 10);
    EXPECT_EQ(codec_check_stream(stream.data(), stream.size(), &error), 37 * 32 - 480);
}
