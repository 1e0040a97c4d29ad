// The MPEG-1 tables against the standard, and every lookup against a plain bit-by-bit decoder.
#include "atlas/mpeg1_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The zig-zag scan walks the anti-diagonals, alternating direction.
TEST(MpegTables, ZigZagWalksTheAntiDiagonals)
{
    std::vector<int> expected;
    for (int s = 0; s <= 14; ++s) {
        if (s % 2 == 0)
            for (int row = std::min(s, 7); row >= std::max(0, s - 7); --row)
                expected.push_back(row * 8 + (s - row));
        else
            for (int row = std::max(0, s - 7); row <= std::min(s, 7); ++row)
                expected.push_back(row * 8 + (s - row));
    }
    ASSERT_EQ(expected.size(), 64u);
    for (int p = 0; p < 64; ++p)
        EXPECT_EQ(mpeg_zigzag[p], expected[size_t(p)]) << "scan position " << p;
}

TEST(MpegTables, DefaultIntraMatrixInScanOrder)
{
    // The matrix as the standard prints it, in natural order.
    const int natural[64] = {
        8,  16, 19, 22, 26, 27, 29, 34,  //
        16, 16, 22, 24, 27, 29, 34, 37,  //
        19, 22, 26, 27, 29, 34, 34, 38,  //
        22, 22, 26, 27, 29, 34, 37, 40,  //
        22, 26, 27, 29, 32, 35, 40, 48,  //
        26, 27, 29, 32, 35, 40, 48, 58,  //
        26, 27, 29, 34, 38, 46, 56, 69,  //
        27, 29, 35, 38, 46, 56, 69, 83,  //
    };
    for (int p = 0; p < 64; ++p)
        EXPECT_EQ(mpeg_default_intra_matrix[p], natural[mpeg_zigzag[p]]) << "scan position " << p;
    const int first[6] = {8, 16, 16, 19, 16, 19};
    for (int p = 0; p < 6; ++p)
        EXPECT_EQ(mpeg_default_intra_matrix[p], first[p]);
    EXPECT_EQ(mpeg_default_intra_matrix[63], 83);
}

struct plain_code {
    uint32_t bits;
    int length;
    int run, level;
};

// The plain decoder: the code of `list` that is a prefix of the `width`-bit value.
const plain_code* match(const std::vector<plain_code>& list, uint32_t value, int width)
{
    for (const plain_code& code : list)
        if (code.length <= width && (value >> (width - code.length)) == code.bits)
            return &code;
    return nullptr;
}

TEST(MpegTables, DcSizeLookupsMatchThePlainDecoderForEvery10BitValue)
{
    // Sizes 0 to 11, code value and length.
    const std::vector<plain_code> luminance = {
        {0x4, 3, 0, 0},   {0x0, 2, 0, 1},   {0x1, 2, 0, 2},    {0x5, 3, 0, 3},
        {0x6, 3, 0, 4},   {0xE, 4, 0, 5},   {0x1E, 5, 0, 6},   {0x3E, 6, 0, 7},
        {0x7E, 7, 0, 8},  {0xFE, 8, 0, 9},  {0x1FE, 9, 0, 10}, {0x1FF, 9, 0, 11},
    };
    const std::vector<plain_code> chrominance = {
        {0x0, 2, 0, 0},    {0x1, 2, 0, 1},    {0x2, 2, 0, 2},     {0x6, 3, 0, 3},
        {0xE, 4, 0, 4},    {0x1E, 5, 0, 5},   {0x3E, 6, 0, 6},    {0x7E, 7, 0, 7},
        {0xFE, 8, 0, 8},   {0x1FE, 9, 0, 9},  {0x3FE, 10, 0, 10}, {0x3FF, 10, 0, 11},
    };
    for (uint32_t v = 0; v < 1024; ++v) {
        const plain_code* l = match(luminance, v, 10);
        const plain_code* c = match(chrominance, v, 10);
        ASSERT_TRUE(l && c);
        dc_size_entry le = dc_size_luminance(v), ce = dc_size_chrominance(v);
        EXPECT_EQ(le.size, l->level) << "luminance " << v;
        EXPECT_EQ(le.length, l->length) << "luminance " << v;
        EXPECT_EQ(ce.size, c->level) << "chrominance " << v;
        EXPECT_EQ(ce.length, c->length) << "chrominance " << v;
    }
    for (int size = 0; size < 12; ++size) {
        EXPECT_EQ(mpeg_dc_size_luminance_codes[size].bits, luminance[size].bits);
        EXPECT_EQ(mpeg_dc_size_luminance_codes[size].length, luminance[size].length);
        EXPECT_EQ(mpeg_dc_size_chrominance_codes[size].bits, chrominance[size].bits);
        EXPECT_EQ(mpeg_dc_size_chrominance_codes[size].length, chrominance[size].length);
    }
}

// dct_coeff_next as (code value, length) for levels 1, 2, ... of each run.
std::vector<plain_code> dct_coeff_next()
{
    const std::vector<std::vector<std::pair<uint32_t, int>>> runs = {
        // run 0
        {{0x3, 2},   {0x4, 4},   {0x5, 5},   {0x6, 7},   {0x26, 8},  {0x21, 8},  {0xA, 10},  {0x1D, 12},
         {0x18, 12}, {0x13, 12}, {0x10, 12}, {0x1A, 13}, {0x19, 13}, {0x18, 13}, {0x17, 13}, {0x1F, 14},
         {0x1E, 14}, {0x1D, 14}, {0x1C, 14}, {0x1B, 14}, {0x1A, 14}, {0x19, 14}, {0x18, 14}, {0x17, 14},
         {0x16, 14}, {0x15, 14}, {0x14, 14}, {0x13, 14}, {0x12, 14}, {0x11, 14}, {0x10, 14}, {0x18, 15},
         {0x17, 15}, {0x16, 15}, {0x15, 15}, {0x14, 15}, {0x13, 15}, {0x12, 15}, {0x11, 15}, {0x10, 15}},
        // run 1
        {{0x3, 3},   {0x6, 6},   {0x25, 8},  {0xC, 10},  {0x1B, 12}, {0x16, 13}, {0x15, 13}, {0x1F, 15},
         {0x1E, 15}, {0x1D, 15}, {0x1C, 15}, {0x1B, 15}, {0x1A, 15}, {0x19, 15}, {0x13, 16}, {0x12, 16},
         {0x11, 16}, {0x10, 16}},
        {{0x5, 4}, {0x4, 7}, {0xB, 10}, {0x14, 12}, {0x14, 13}},  // run 2
        {{0x7, 5}, {0x24, 8}, {0x1C, 12}, {0x13, 13}},           // run 3
        {{0x6, 5}, {0xF, 10}, {0x12, 12}},                        // run 4
        {{0x7, 6}, {0x9, 10}, {0x12, 13}},                        // run 5
        {{0x5, 6}, {0x1E, 12}, {0x14, 16}},                       // run 6
        {{0x4, 6}, {0x15, 12}},                                   // run 7
        {{0x7, 7}, {0x11, 12}},                                   // run 8
        {{0x5, 7}, {0x11, 13}},                                   // run 9
        {{0x27, 8}, {0x10, 13}},                                  // run 10
        {{0x23, 8}, {0x1A, 16}},                                  // run 11
        {{0x22, 8}, {0x19, 16}},                                  // run 12
        {{0x20, 8}, {0x18, 16}},                                  // run 13
        {{0xE, 10}, {0x17, 16}},                                  // run 14
        {{0xD, 10}, {0x16, 16}},                                  // run 15
        {{0x8, 10}, {0x15, 16}},                                  // run 16
        {{0x1F, 12}}, {{0x1A, 12}}, {{0x19, 12}}, {{0x17, 12}}, {{0x16, 12}},  // runs 17 to 21
        {{0x1F, 13}}, {{0x1E, 13}}, {{0x1D, 13}}, {{0x1C, 13}}, {{0x1B, 13}},  // runs 22 to 26
        {{0x1F, 16}}, {{0x1E, 16}}, {{0x1D, 16}}, {{0x1C, 16}}, {{0x1B, 16}},  // runs 27 to 31
    };
    std::vector<plain_code> list;
    for (size_t run = 0; run < runs.size(); ++run)
        for (size_t level = 0; level < runs[run].size(); ++level)
            list.push_back({runs[run][level].first, runs[run][level].second, int(run), int(level + 1)});
    list.push_back({0x1, 6, mpeg_run_escape, 0});
    list.push_back({0x2, 2, mpeg_run_end_of_block, 0});
    return list;
}

TEST(MpegTables, DctCoeffLookupMatchesThePlainDecoderForEvery16BitValue)
{
    const std::vector<plain_code> list = dct_coeff_next();
    ASSERT_EQ(list.size(), size_t(mpeg_dct_coeff_code_count));
    for (uint32_t c = 0; c < 16; ++c)
        EXPECT_EQ(match(list, c, 16), nullptr) << "no code starts with twelve zeros";
    for (uint32_t c = 16; c < 65536; ++c) {
        const plain_code* code = match(list, c, 16);
        ASSERT_NE(code, nullptr) << c;
        dct_coeff_entry entry = dct_coeff_lookup(c);
        ASSERT_EQ(entry.run, code->run) << "value " << c;
        ASSERT_EQ(entry.level, code->level) << "value " << c;
        ASSERT_EQ(entry.length, code->length) << "value " << c;
    }
    // The list the encoder writes from is the same table.
    for (const plain_code& code : list) {
        bool found = false;
        for (const mpeg_vlc_code& mine : mpeg_dct_coeff_codes)
            found |= mine.bits == code.bits && mine.length == code.length && mine.run == code.run &&
                     mine.value == code.level;
        EXPECT_TRUE(found) << "run " << code.run << " level " << code.level;
    }
}

}  // namespace
