// The MPEG-1 intra decoder on small streams built here, the stored atlas stream, and damaged streams.
#include "atlas/mpeg1_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "atlas/atlas.h"
#include "atlas/bit_reader.h"
#include "atlas/mpeg1_tables.h"
#include "data/blocks.h"
#include "tests/atlas/stream_builder.h"

namespace {

// A stream of one slice from the macroblocks' DC differences.
std::vector<uint8_t> dc_stream(int width, int height, const std::vector<std::vector<int>>& macroblocks)
{
    stream_builder s;
    s.headers(width, height);
    s.slice(1, 5);
    for (const auto& mb : macroblocks)
        s.dc_macroblock(mb.data());
    s.end();
    return s.bytes;
}

uint32_t grey(uint32_t v) { return v * 0x010101u; }

// Decodes into a w x h picture first filled with `fill`.
std::vector<uint32_t> decode(const std::vector<uint8_t>& stream, int w, int h, int filter_rows, mpeg_result* result,
                             uint32_t fill = 0xDEADBEEF)
{
    std::vector<uint32_t> pixels(size_t(w) * h, fill);
    *result = decode_atlas_picture(stream.data(), uint32_t(stream.size()), image{w, h, pixels.data()}, filter_rows);
    return pixels;
}

TEST(BitReader, ReadsMostSignificantBitFirstAndZerosPastTheEnd)
{
    guarded_memory memory(3);
    uint8_t* data = memory.data();
    data[0] = 0xA5;
    data[1] = 0x0F;
    data[2] = 0x80;
    bits_start(data, 3);
    EXPECT_EQ(bits_peek(4), 0xAu);
    EXPECT_EQ(bits_read(3), 0x5u);
    EXPECT_EQ(bits_read1(), 0u);
    EXPECT_EQ(bits_read(12), 0x50Fu);
    EXPECT_EQ(bits_peek(32), 0x80000000u);  // the last byte, then zeros: nothing read past it
    bits_skip(40);
    EXPECT_EQ(bits_peek(32), 0u);
    EXPECT_TRUE(bits_exhausted());
}

TEST(BitReader, NextStartCodeAlignsAndStopsAtTheEnd)
{
    guarded_memory memory(9);
    const uint8_t bytes[9] = {0xFF, 0x00, 0x00, 0x00, 0x01, 0xB3, 0x00, 0x00, 0x01};
    std::memcpy(memory.data(), bytes, 9);
    bits_start(memory.data(), 9);
    bits_skip(3);
    ASSERT_TRUE(next_start_code());
    EXPECT_EQ(bit_reader.bit_position, 16);  // the zero byte before it is passed over
    EXPECT_EQ(bits_read(32), 0x000001B3u);
    ASSERT_TRUE(next_start_code());  // 00 00 01 as the last three bytes
    EXPECT_EQ(bit_reader.bit_position, 48);
    bits_skip(8);
    EXPECT_FALSE(next_start_code());
}

TEST(MpegDecoder, DcOnlyBlocksGiveGrey128AndNeedsTheEndOfPicture)
{
    mpeg_result result;
    std::vector<uint32_t> pixels = decode(dc_stream(16, 16, {{0, 0, 0, 0, 0, 0}}), 16, 16, 16, &result);
    EXPECT_EQ(result, mpeg_finished);
    EXPECT_EQ(mpeg_decoder.mb_total, 1);
    EXPECT_EQ(mpeg_decoder.slices, 1);
    for (uint32_t p : pixels)
        ASSERT_EQ(p, 0x808080u);
}

TEST(MpegDecoder, ColourConversionOfFlatChroma)
{
    // Y = 0, Cb = 16, Cr = -24: R = 128 + floor(1.40198 x -24), G = 128 + floor(-0.34375 x 16)
    // + floor(-0.71411 x -24), B = 128 + floor(1.77197 x 16).
    mpeg_result result;
    std::vector<uint32_t> pixels = decode(dc_stream(16, 16, {{0, 0, 0, 0, 16, -24}}), 16, 16, 0, &result);
    ASSERT_EQ(result, mpeg_finished);
    const uint32_t r = 128 - 34, g = 128 - 6 + 17, b = 128 + 28;
    for (uint32_t p : pixels)
        ASSERT_EQ(p, (r << 16) | (g << 8) | b);
}

// Block DCs 96, 160 / 160, 96 (Y = -32, +32): the smoothing's worked numbers.
TEST(MpegDecoder, EdgeSmoothingMovesBothSidesAQuarterAndOnlyTheRightPixelOfVerticalEdges)
{
    // DC differences -32, +64, 0, -64: luminance samples -32, 32, 32, -32
    const std::vector<std::vector<int>> mb = {{-32, 64, 0, -64, 0, 0}};
    mpeg_result result;
    std::vector<uint32_t> raw = decode(dc_stream(16, 16, mb), 16, 16, 0, &result);
    ASSERT_EQ(result, mpeg_finished);
    EXPECT_EQ(raw[0], grey(96));
    EXPECT_EQ(raw[8], grey(160));
    EXPECT_EQ(raw[8 * 16], grey(160));
    EXPECT_EQ(raw[8 * 16 + 8], grey(96));

    std::vector<uint32_t> smooth = decode(dc_stream(16, 16, mb), 16, 16, 16, &result);
    ASSERT_EQ(result, mpeg_finished);
    auto at = [&](int x, int y) { return smooth[size_t(y) * 16 + x]; };
    EXPECT_EQ(at(0, 7), grey(112));   // 96 above 160: 48 + half(48 + 80)
    EXPECT_EQ(at(0, 8), grey(144));   // 80 + 64
    EXPECT_EQ(at(7, 0), grey(96));    // left of a vertical edge: kept
    EXPECT_EQ(at(8, 0), grey(144));   // right of it: 80 + half(48 + 80)
    EXPECT_EQ(at(8, 7), grey(136));   // after the horizontal pass made 112 | 144
    EXPECT_EQ(at(3, 3), grey(96));    // inside a block: untouched
    EXPECT_EQ(at(15, 15), grey(96));

    // filter_rows 8: the edge at row 8 and vertical edges below row 8 stay as decoded.
    std::vector<uint32_t> top = decode(dc_stream(16, 16, mb), 16, 16, 8, &result);
    EXPECT_EQ(top[7 * 16], grey(96));
    EXPECT_EQ(top[8 * 16 + 8], grey(96));
    EXPECT_EQ(top[8], grey(144));
}

TEST(MpegDecoder, EscapeLevelsAndDequantisation)
{
    stream_builder s;
    s.dc(0, 0);
    s.put("0000 01");  // escape, run 0, 0x80 0x01: -255 at scan position 1
    s.put(0, 6);
    s.put(0x8001, 16);
    s.put("0000 01");  // escape, run 0, 0x00 0xC8: +200 at position 2
    s.put(0, 6);
    s.put(0x00C8, 16);
    s.put("0000 01");  // escape, run 1, 0x81: -127 at position 4
    s.put(1, 6);
    s.put(0x81, 8);
    s.put("0100");     // run 0 level 2, sign +: position 5
    s.put(0, 1);
    s.put("011");      // run 1 level 1, sign -: position 7
    s.put(1, 1);
    s.end_of_block();
    bits_start(s.bytes.data(), uint32_t(s.bytes.size()));
    for (int i = 0; i < 64; ++i)
        mpeg_decoder.quant_matrix[i] = mpeg_default_intra_matrix[i];
    mpeg_decoder.quantiser_scale = 5;
    mpeg_decoder.dc_predictor[0] = 3;
    ASSERT_TRUE(mpeg_decode_block(0));
    const int32_t* c = mpeg_decoder.coefficients;
    EXPECT_EQ(c[0], 24);                          // predictor 3, difference 0
    EXPECT_EQ(c[mpeg_zigzag[1]], -2549);          // (255 x 5 x 16) >> 3 = 2550, minus 1, made odd
    EXPECT_EQ(c[mpeg_zigzag[2]], 1999);           // 200 x 5 x 16 / 8 - 1
    EXPECT_EQ(c[mpeg_zigzag[3]], 0);
    EXPECT_EQ(c[mpeg_zigzag[4]], -1269);          // weight 16: 1270 - 1
    EXPECT_EQ(c[mpeg_zigzag[5]], 23);             // 2 x 5 x 19 / 8 = 23, odd already
    EXPECT_EQ(c[mpeg_zigzag[6]], 0);
    EXPECT_EQ(c[mpeg_zigzag[7]], -13);            // 1 x 5 x 22 / 8 = 13, minus 1, made odd
}

TEST(MpegDecoder, ACoefficientPastPosition63FailsTheBlock)
{
    auto block = [](int escape_run, bool one_more) {
        stream_builder s;
        s.dc(0, 0);
        s.put("0000 01");
        s.put(uint32_t(escape_run), 6);
        s.put(5, 8);
        if (one_more)
            s.put("110");  // run 0 level 1: the next position
        s.end_of_block();
        bits_start(s.bytes.data(), uint32_t(s.bytes.size()));
        mpeg_decoder.quantiser_scale = 5;
        mpeg_decoder.dc_predictor[0] = 0;
        return mpeg_decode_block(0);
    };
    EXPECT_TRUE(block(62, false));  // position 63, the last one
    EXPECT_FALSE(block(62, true));  // then position 64
    EXPECT_FALSE(block(63, false)); // position 64 at once
}

TEST(MpegDecoder, MacroblockOtherThanTheNextIntraOneStopsWithoutSmoothing)
{
    // address increment 2, stuffing, macroblock type 00
    for (const char* header : {"011 1", "0000 0001 111 1 1", "1 00"}) {
        stream_builder s;
        s.headers(32, 16);
        s.slice(1, 5);
        const int first[6] = {-32, 64, 0, -64, 0, 0};
        s.dc_macroblock(first);
        s.put(header);
        for (int b = 0; b < 6; ++b) {
            s.dc(b < 4 ? 0 : b - 3, 0);
            s.end_of_block();
        }
        s.end();
        mpeg_result result;
        std::vector<uint32_t> pixels = decode(s.bytes, 32, 16, 16, &result);
        EXPECT_EQ(result, mpeg_bad_macroblock) << header;
        EXPECT_EQ(mpeg_decoder.macroblock, 1);
        EXPECT_EQ(pixels[7 * 32], grey(96)) << "no smoothing";
        EXPECT_EQ(pixels[8], grey(160)) << "no smoothing";
        EXPECT_EQ(pixels[16], 0xDEADBEEFu) << "the second macroblock is not written";
    }
}

TEST(MpegDecoder, BadHeadersWriteNothing)
{
    std::vector<uint8_t> good = dc_stream(16, 16, {{0, 0, 0, 0, 0, 0}});
    std::vector<std::vector<uint8_t>> bad;
    bad.push_back(good);
    bad.back()[3] = 0xB8;  // a group of pictures before any sequence header
    bad.push_back(good);    // an extension start code after the sequence header
    const uint8_t extension_code[8] = {0, 0, 1, 0xB5, 0x14, 0, 0, 0};
    bad.back().insert(bad.back().begin() + 12, extension_code, extension_code + 8);
    stream_builder p_picture;
    p_picture.headers(16, 16);
    p_picture.bytes[p_picture.bytes.size() - 3] = 0x10;  // picture coding type 2 instead of 1
    bad.push_back(p_picture.bytes);
    bad.push_back(std::vector<uint8_t>(good.begin(), good.begin() + 10));  // ends in the sequence header
    for (const auto& stream : bad) {
        mpeg_result result;
        std::vector<uint32_t> pixels = decode(stream, 16, 16, 16, &result);
        EXPECT_EQ(result, mpeg_bad_header);
        EXPECT_EQ(mpeg_decoder.mb_total, 0);
        for (uint32_t p : pixels)
            ASSERT_EQ(p, 0xDEADBEEFu);
    }
    // A picture larger than the destination is refused before anything is written.
    mpeg_result result;
    std::vector<uint32_t> pixels = decode(dc_stream(32, 16, {{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}}), 16, 16, 0,
                                          &result);
    EXPECT_EQ(result, mpeg_too_large);
    EXPECT_EQ(pixels[0], 0xDEADBEEFu);
}

TEST(MpegDecoder, UserDataAndSlicesOnLaterRows)
{
    // User data after the picture header, then one slice per macroblock row.
    stream_builder s;
    s.headers(16, 32);
    s.start_code(0x1B2);
    s.put(0x12345678, 32);
    s.slice(1, 5);
    const int top[6] = {16, 0, 0, 0, 0, 0};
    s.dc_macroblock(top);
    s.slice(2, 5);
    const int bottom[6] = {-16, 0, 0, 0, 0, 0};  // predictors restart at 0
    s.dc_macroblock(bottom);
    s.end();
    mpeg_result result;
    std::vector<uint32_t> pixels = decode(s.bytes, 16, 32, 0, &result);
    ASSERT_EQ(result, mpeg_finished);
    EXPECT_EQ(mpeg_decoder.slices, 2);
    EXPECT_EQ(pixels[0], grey(144));
    EXPECT_EQ(pixels[8], grey(144));
    EXPECT_EQ(pixels[16 * 16], grey(112));
}

// The exact inverse DCT of the standard, for comparison.
void exact_idct(const int32_t coefficients[64], double out[64])
{
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double sum = 0;
            for (int v = 0; v < 8; ++v)
                for (int u = 0; u < 8; ++u) {
                    double cu = u ? 1 : std::sqrt(0.5), cv = v ? 1 : std::sqrt(0.5);
                    sum += cu * cv / 4 * coefficients[v * 8 + u] * std::cos((2 * x + 1) * u * M_PI / 16) *
                           std::cos((2 * y + 1) * v * M_PI / 16);
                }
            out[y * 8 + x] = sum;
        }
}

void integer_idct(const int32_t coefficients[64], int32_t out[64])
{
    int32_t block[64];
    std::memcpy(block, coefficients, sizeof block);
    idct_column_pass(block);
    idct_row_pass(block, out, 8);
}

TEST(MpegIdct, DcOnlyBlocksDecodeToTheirValueEverywhere)
{
    for (int n = -2048; n < 2048; ++n) {
        int32_t coefficients[64] = {n * 8};
        int32_t out[64];
        integer_idct(coefficients, out);
        for (int32_t v : out)
            ASSERT_EQ(v, n) << "DC " << n * 8;
    }
}

TEST(MpegIdct, StaysWithinOneOfTheExactTransformOnPictureBlocks)
{
    // Coefficients of random 8-bit blocks (centred), rounded as a stream holds them.
    std::mt19937 random(8);
    for (int trial = 0; trial < 2000; ++trial) {
        double samples[64];
        int spread = 1 + int(random() % 128);
        int base = int(random() % 256) - 128;
        for (double& s : samples)
            s = std::clamp(base + int(random() % (2 * spread + 1)) - spread, -128, 127);
        int32_t coefficients[64];
        for (int v = 0; v < 8; ++v)
            for (int u = 0; u < 8; ++u) {
                double sum = 0;
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x)
                        sum += samples[y * 8 + x] * std::cos((2 * x + 1) * u * M_PI / 16) *
                               std::cos((2 * y + 1) * v * M_PI / 16);
                double cu = u ? 1 : std::sqrt(0.5), cv = v ? 1 : std::sqrt(0.5);
                coefficients[v * 8 + u] = int32_t(std::lround(cu * cv / 4 * sum));
            }
        double exact[64];
        int32_t mine[64];
        exact_idct(coefficients, exact);
        integer_idct(coefficients, mine);
        for (int i = 0; i < 64; ++i)
            ASSERT_LE(std::fabs(mine[i] - exact[i]), 1.0) << "trial " << trial << " sample " << i;
    }
}

TEST(MpegDecoder, StoredAtlasDecodesWholeInOneSliceAndIsSmoothed)
{
    std::vector<uint32_t> smoothed(size_t(atlas_size) * atlas_size), raw(smoothed.size());
    EXPECT_EQ(decode_atlas_picture(embedded_atlas_m1v, uint32_t(embedded_atlas_m1v_size),
                                   image{atlas_size, atlas_size, raw.data()}, 0),
              mpeg_finished);
    EXPECT_EQ(decode_atlas_picture(embedded_atlas_m1v, uint32_t(embedded_atlas_m1v_size),
                                   image{atlas_size, atlas_size, smoothed.data()}, atlas_filter_rows),
              mpeg_finished);
    EXPECT_EQ(mpeg_decoder.picture_width, 256);
    EXPECT_EQ(mpeg_decoder.picture_height, 192);
    EXPECT_EQ(mpeg_decoder.mb_total, 192);
    EXPECT_EQ(mpeg_decoder.slices, 1);
    EXPECT_LE(embedded_atlas_m1v_size, 12u * 1024);
    int changed_top = 0, changed_below = 0;
    for (int y = 0; y < atlas_size; ++y)
        for (int x = 0; x < atlas_size; ++x) {
            bool changed = smoothed[size_t(y) * atlas_size + x] != raw[size_t(y) * atlas_size + x];
            (y < atlas_filter_rows ? changed_top : changed_below) += changed;
            if (y >= atlas_picture_height) {
                ASSERT_EQ(raw[size_t(y) * atlas_size + x], 0u) << "rows below the picture stay black";
            }
        }
    EXPECT_GT(changed_top, 1000);
    EXPECT_EQ(changed_below, 0);
}

// Every truncation and many damaged copies of the stored stream, in memory
// that ends at an inaccessible page, decode into a destination that does too.
TEST(MpegDecoder, DamagedStreamsNeverReachOutsideTheirBytes)
{
    const std::vector<uint8_t> stored(embedded_atlas_m1v, embedded_atlas_m1v + embedded_atlas_m1v_size);
    guarded_memory destination(size_t(atlas_size) * atlas_size * 4);
    image target{atlas_size, atlas_size, reinterpret_cast<uint32_t*>(destination.data())};
    auto run = [&](const std::vector<uint8_t>& stream) {
        guarded_memory input(stream.size());
        if (!stream.empty())
            std::memcpy(input.data(), stream.data(), stream.size());
        return decode_atlas_picture(input.data(), uint32_t(stream.size()), target, atlas_filter_rows);
    };
    // Cut short by 24 bytes or more, the stream misses whole macroblocks.
    for (size_t length = 0; length + 24 < stored.size(); length += length < 64 || length + 300 > stored.size() ? 1 : 37)
        ASSERT_NE(run(std::vector<uint8_t>(stored.begin(), stored.begin() + long(length))), mpeg_finished) << length;
    std::mt19937 random(1);
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<uint8_t> damaged = stored;
        for (int k = 0; k < 1 + trial % 4; ++k)
            damaged[random() % damaged.size()] = uint8_t(random());
        damaged.resize(damaged.size() - random() % 64);
        run(damaged);
    }
    // A header for a picture far larger than the destination.
    stream_builder big;
    big.headers(4095, 4095);
    big.slice(1, 5);
    EXPECT_EQ(run(big.bytes), mpeg_too_large);
}

}  // namespace
