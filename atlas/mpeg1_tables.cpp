// The fixed tables of MPEG-1 intra pictures and their direct-lookup forms, derived at compile time (portable).
// Sources: ISO/IEC 11172-2 Annex B and 2.4.4; DC sizes 9 to 11 from ISO/IEC 13818-2 Tables B.12 and B.13.
#include "atlas/mpeg1_tables.h"

#include <cstddef>

namespace {

// A code written as the standard prints it: '0' and '1' with spaces between groups.
struct code_text {
    const char* bits;
    uint8_t run;
    uint8_t value;
};

constexpr mpeg_vlc_code to_code(code_text text)
{
    mpeg_vlc_code code{0, 0, text.run, text.value};
    for (const char* p = text.bits; *p; ++p) {
        if (*p == ' ')
            continue;
        code.bits = static_cast<uint16_t>((code.bits << 1) | (*p == '1'));
        ++code.length;
    }
    return code;
}

// dct_coeff_next (Table B.5c with B.5d), one row per run; the sign bit that
// follows every run/level code is not part of it.
constexpr code_text dct_coeff_next_text[mpeg_dct_coeff_code_count] = {
    // run 0, levels 1 to 40
    {"11", 0, 1}, {"0100", 0, 2}, {"0010 1", 0, 3}, {"0000 110", 0, 4},
    {"0010 0110", 0, 5}, {"0010 0001", 0, 6}, {"0000 0010 10", 0, 7}, {"0000 0001 1101", 0, 8},
    {"0000 0001 1000", 0, 9}, {"0000 0001 0011", 0, 10}, {"0000 0001 0000", 0, 11},
    {"0000 0000 1101 0", 0, 12}, {"0000 0000 1100 1", 0, 13}, {"0000 0000 1100 0", 0, 14},
    {"0000 0000 1011 1", 0, 15}, {"0000 0000 0111 11", 0, 16}, {"0000 0000 0111 10", 0, 17},
    {"0000 0000 0111 01", 0, 18}, {"0000 0000 0111 00", 0, 19}, {"0000 0000 0110 11", 0, 20},
    {"0000 0000 0110 10", 0, 21}, {"0000 0000 0110 01", 0, 22}, {"0000 0000 0110 00", 0, 23},
    {"0000 0000 0101 11", 0, 24}, {"0000 0000 0101 10", 0, 25}, {"0000 0000 0101 01", 0, 26},
    {"0000 0000 0101 00", 0, 27}, {"0000 0000 0100 11", 0, 28}, {"0000 0000 0100 10", 0, 29},
    {"0000 0000 0100 01", 0, 30}, {"0000 0000 0100 00", 0, 31}, {"0000 0000 0011 000", 0, 32},
    {"0000 0000 0010 111", 0, 33}, {"0000 0000 0010 110", 0, 34}, {"0000 0000 0010 101", 0, 35},
    {"0000 0000 0010 100", 0, 36}, {"0000 0000 0010 011", 0, 37}, {"0000 0000 0010 010", 0, 38},
    {"0000 0000 0010 001", 0, 39}, {"0000 0000 0010 000", 0, 40},
    // run 1, levels 1 to 18
    {"011", 1, 1}, {"0001 10", 1, 2}, {"0010 0101", 1, 3}, {"0000 0011 00", 1, 4},
    {"0000 0001 1011", 1, 5}, {"0000 0000 1011 0", 1, 6}, {"0000 0000 1010 1", 1, 7},
    {"0000 0000 0011 111", 1, 8}, {"0000 0000 0011 110", 1, 9}, {"0000 0000 0011 101", 1, 10},
    {"0000 0000 0011 100", 1, 11}, {"0000 0000 0011 011", 1, 12}, {"0000 0000 0011 010", 1, 13},
    {"0000 0000 0011 001", 1, 14}, {"0000 0000 0001 0011", 1, 15}, {"0000 0000 0001 0010", 1, 16},
    {"0000 0000 0001 0001", 1, 17}, {"0000 0000 0001 0000", 1, 18},
    // run 2, levels 1 to 5
    {"0101", 2, 1}, {"0000 100", 2, 2}, {"0000 0010 11", 2, 3}, {"0000 0001 0100", 2, 4},
    {"0000 0000 1010 0", 2, 5},
    // run 3, levels 1 to 4
    {"0011 1", 3, 1}, {"0010 0100", 3, 2}, {"0000 0001 1100", 3, 3}, {"0000 0000 1001 1", 3, 4},
    // runs 4 to 6, levels 1 to 3
    {"0011 0", 4, 1}, {"0000 0011 11", 4, 2}, {"0000 0001 0010", 4, 3},
    {"0001 11", 5, 1}, {"0000 0010 01", 5, 2}, {"0000 0000 1001 0", 5, 3},
    {"0001 01", 6, 1}, {"0000 0001 1110", 6, 2}, {"0000 0000 0001 0100", 6, 3},
    // runs 7 to 16, levels 1 and 2
    {"0001 00", 7, 1}, {"0000 0001 0101", 7, 2},
    {"0000 111", 8, 1}, {"0000 0001 0001", 8, 2},
    {"0000 101", 9, 1}, {"0000 0000 1000 1", 9, 2},
    {"0010 0111", 10, 1}, {"0000 0000 1000 0", 10, 2},
    {"0010 0011", 11, 1}, {"0000 0000 0001 1010", 11, 2},
    {"0010 0010", 12, 1}, {"0000 0000 0001 1001", 12, 2},
    {"0010 0000", 13, 1}, {"0000 0000 0001 1000", 13, 2},
    {"0000 0011 10", 14, 1}, {"0000 0000 0001 0111", 14, 2},
    {"0000 0011 01", 15, 1}, {"0000 0000 0001 0110", 15, 2},
    {"0000 0010 00", 16, 1}, {"0000 0000 0001 0101", 16, 2},
    // runs 17 to 31, level 1
    {"0000 0001 1111", 17, 1}, {"0000 0001 1010", 18, 1}, {"0000 0001 1001", 19, 1},
    {"0000 0001 0111", 20, 1}, {"0000 0001 0110", 21, 1}, {"0000 0000 1111 1", 22, 1},
    {"0000 0000 1111 0", 23, 1}, {"0000 0000 1110 1", 24, 1}, {"0000 0000 1110 0", 25, 1},
    {"0000 0000 1101 1", 26, 1}, {"0000 0000 0001 1111", 27, 1}, {"0000 0000 0001 1110", 28, 1},
    {"0000 0000 0001 1101", 29, 1}, {"0000 0000 0001 1100", 30, 1}, {"0000 0000 0001 1011", 31, 1},
    // escape (6-bit run and 8- or 16-bit level follow) and end of block
    {"0000 01", mpeg_run_escape, 0}, {"10", mpeg_run_end_of_block, 0},
};

// dct_dc_size_luminance (Table B.5a, sizes 9 to 11 from 13818-2 Table B.12), by size.
constexpr code_text dc_luminance_text[12] = {
    {"100", 0, 0}, {"00", 0, 1}, {"01", 0, 2}, {"101", 0, 3},                      // sizes 0 to 3
    {"110", 0, 4}, {"1110", 0, 5}, {"1111 0", 0, 6}, {"1111 10", 0, 7},            // sizes 4 to 7
    {"1111 110", 0, 8}, {"1111 1110", 0, 9}, {"1111 1111 0", 0, 10}, {"1111 1111 1", 0, 11},  // 8 to 11
};
// dct_dc_size_chrominance (Table B.5b, sizes 9 to 11 from 13818-2 Table B.13), by size.
constexpr code_text dc_chrominance_text[12] = {
    {"00", 0, 0}, {"01", 0, 1}, {"10", 0, 2}, {"110", 0, 3},                       // sizes 0 to 3
    {"1110", 0, 4}, {"1111 0", 0, 5}, {"1111 10", 0, 6}, {"1111 110", 0, 7},       // sizes 4 to 7
    {"1111 1110", 0, 8}, {"1111 1111 0", 0, 9}, {"1111 1111 10", 0, 10}, {"1111 1111 11", 0, 11},  // 8 to 11
};

template <std::size_t n>
constexpr std::array<mpeg_vlc_code, n> to_codes(const code_text (&text)[n])
{
    std::array<mpeg_vlc_code, n> list{};
    for (std::size_t i = 0; i < n; ++i)
        list[i] = to_code(text[i]);
    return list;
}

// The one code that starts with the `resolution`-bit value `prefix`, or
// -1 when none does or when a longer code shares the prefix (the lookup
// could not tell them apart).
template <std::size_t n>
constexpr int find_code(const std::array<mpeg_vlc_code, n>& list, uint32_t prefix, int resolution)
{
    int found = -1;
    for (std::size_t i = 0; i < n; ++i) {
        const mpeg_vlc_code& code = list[i];
        if (code.length > resolution) {
            if ((uint32_t(code.bits) >> (code.length - resolution)) == prefix)
                return -1;
        } else if ((prefix >> (resolution - code.length)) == code.bits) {
            if (found >= 0)
                return -1;
            found = int(i);
        }
    }
    return found;
}

// A lookup table is complete when every entry resolves to exactly one code;
// incomplete tables are left with an entry of length 0, which the
// static_asserts below refuse.
template <std::size_t entries, std::size_t n>
constexpr std::array<dc_size_entry, entries> make_dc_table(const std::array<mpeg_vlc_code, n>& list,
                                                           uint32_t first_prefix, int resolution)
{
    std::array<dc_size_entry, entries> table{};
    for (std::size_t i = 0; i < entries; ++i) {
        int found = find_code(list, first_prefix + uint32_t(i), resolution);
        if (found >= 0)
            table[i] = {list[std::size_t(found)].value, list[std::size_t(found)].length};
    }
    return table;
}

template <typename table_type>
constexpr bool complete(const table_type& table)
{
    for (const auto& entry : table)
        if (entry.length == 0)
            return false;
    return true;
}

// The eight sections of dct_coeff_table: where each starts, how many
// entries it has, how many leading bits it resolves and the value of those
// bits at its first entry.
struct coeff_section {
    int offset, count, resolution;
    uint32_t first_prefix;
};
constexpr coeff_section coeff_sections[8] = {
    {0, 12, 4, 4},      // c >= 16384: (c >> 12) - 4
    {12, 60, 8, 4},     // c >= 1024: (c >> 8) - 4
    {72, 8, 10, 8},     // c >= 512: (c >> 6) - 8
    {80, 16, 12, 16},   // c >= 256: (c >> 4) - 16
    {96, 16, 13, 16},   // c >= 128: (c >> 3) - 16
    {112, 16, 14, 16},  // c >= 64: (c >> 2) - 16
    {128, 16, 15, 16},  // c >= 32: (c >> 1) - 16
    {144, 16, 16, 16},  // c >= 16: c - 16
};

constexpr std::array<dct_coeff_entry, dct_coeff_table_size> make_coeff_table(
    const std::array<mpeg_vlc_code, mpeg_dct_coeff_code_count>& list)
{
    std::array<dct_coeff_entry, dct_coeff_table_size> table{};
    for (const coeff_section& section : coeff_sections) {
        for (int i = 0; i < section.count; ++i) {
            int found = find_code(list, section.first_prefix + uint32_t(i), section.resolution);
            if (found >= 0) {
                const mpeg_vlc_code& code = list[std::size_t(found)];
                table[std::size_t(section.offset + i)] = {code.run, code.value, code.length};
            }
        }
    }
    return table;
}

}  // namespace

extern constexpr std::array<mpeg_vlc_code, mpeg_dct_coeff_code_count> mpeg_dct_coeff_codes =
    to_codes(dct_coeff_next_text);
extern constexpr std::array<mpeg_vlc_code, 12> mpeg_dc_size_luminance_codes = to_codes(dc_luminance_text);
extern constexpr std::array<mpeg_vlc_code, 12> mpeg_dc_size_chrominance_codes = to_codes(dc_chrominance_text);

extern constexpr std::array<dc_size_entry, 31> dc_size_luminance_short =
    make_dc_table<31>(mpeg_dc_size_luminance_codes, 0, 5);
extern constexpr std::array<dc_size_entry, 16> dc_size_luminance_long =
    make_dc_table<16>(mpeg_dc_size_luminance_codes, 496, 9);
extern constexpr std::array<dc_size_entry, 31> dc_size_chrominance_short =
    make_dc_table<31>(mpeg_dc_size_chrominance_codes, 0, 5);
extern constexpr std::array<dc_size_entry, 32> dc_size_chrominance_long =
    make_dc_table<32>(mpeg_dc_size_chrominance_codes, 992, 10);
static_assert(complete(dc_size_luminance_short) && complete(dc_size_luminance_long),
              "every luminance DC code resolves in one lookup");
static_assert(complete(dc_size_chrominance_short) && complete(dc_size_chrominance_long),
              "every chrominance DC code resolves in one lookup");

extern constexpr std::array<dct_coeff_entry, dct_coeff_table_size> dct_coeff_table =
    make_coeff_table(mpeg_dct_coeff_codes);
static_assert(complete(dct_coeff_table), "every 16-bit value from 16 up starts exactly one dct_coeff_next code");

// Scan position to natural index, eight scan positions a row.
extern const uint8_t mpeg_zigzag[64] = {
    0, 1, 8, 16, 9, 2, 3, 10,         // positions 0 to 7
    17, 24, 32, 25, 18, 11, 4, 5,     // 8 to 15
    12, 19, 26, 33, 40, 48, 41, 34,   // 16 to 23
    27, 20, 13, 6, 7, 14, 21, 28,     // 24 to 31
    35, 42, 49, 56, 57, 50, 43, 36,   // 32 to 39
    29, 22, 15, 23, 30, 37, 44, 51,   // 40 to 47
    58, 59, 52, 45, 38, 31, 39, 46,   // 48 to 55
    53, 60, 61, 54, 47, 55, 62, 63,   // 56 to 63
};

// The default intra matrix in scan order (its natural-order rows are
// 8 16 19 22 26 27 29 34 / 16 16 22 24 27 29 34 37 / ... / 27 29 35 38 46 56 69 83).
extern const uint8_t mpeg_default_intra_matrix[64] = {
    8, 16, 16, 19, 16, 19, 22, 22,    // positions 0 to 7
    22, 22, 22, 22, 26, 24, 26, 27,   // 8 to 15
    27, 27, 26, 26, 26, 26, 27, 27,   // 16 to 23
    27, 29, 29, 29, 34, 34, 34, 29,   // 24 to 31
    29, 29, 27, 27, 29, 29, 32, 32,   // 32 to 39
    34, 34, 37, 38, 37, 35, 35, 34,   // 40 to 47
    35, 38, 38, 40, 40, 40, 48, 48,   // 48 to 55
    46, 46, 56, 56, 58, 69, 69, 83,   // 56 to 63
};
