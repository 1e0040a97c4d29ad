// The fixed tables of MPEG-1 intra pictures and their direct-lookup forms (portable).
#pragma once

#include <array>
#include <cstdint>

// One variable-length code as the standard prints it: `bits` holds the code
// in its low `length` bits (sign bit of a coefficient not included).
struct mpeg_vlc_code {
    uint16_t bits;
    uint8_t length;
    uint8_t run;    // dct_coeff_next: zero run, or the markers below; DC sizes: unused
    uint8_t value;  // dct_coeff_next: level; DC sizes: the size
};

constexpr uint8_t mpeg_run_end_of_block = 64;  // code 10
constexpr uint8_t mpeg_run_escape = 65;        // code 0000 01

constexpr int mpeg_dct_coeff_code_count = 113;  // 111 run/level pairs, escape, end of block
extern const std::array<mpeg_vlc_code, mpeg_dct_coeff_code_count> mpeg_dct_coeff_codes;
extern const std::array<mpeg_vlc_code, 12> mpeg_dc_size_luminance_codes;    // index = size
extern const std::array<mpeg_vlc_code, 12> mpeg_dc_size_chrominance_codes;  // index = size

// Scan position to natural index (row x 8 + column).
extern const uint8_t mpeg_zigzag[64];
// The default intra quantiser matrix, indexed by scan position.
extern const uint8_t mpeg_default_intra_matrix[64];

struct dc_size_entry {
    uint8_t size;
    uint8_t length;
};
struct dct_coeff_entry {
    uint8_t run;  // 0..31, or mpeg_run_end_of_block / mpeg_run_escape
    uint8_t level;
    uint8_t length;
};

// The direct-lookup tables.  DC sizes: luminance 31 entries by the first 5
// bits when they are not 11111, else 16 by the first 9 bits minus 496;
// chrominance 31 by the first 5 bits, else 32 by the first 10 bits minus 992.
extern const std::array<dc_size_entry, 31> dc_size_luminance_short;
extern const std::array<dc_size_entry, 16> dc_size_luminance_long;
extern const std::array<dc_size_entry, 31> dc_size_chrominance_short;
extern const std::array<dc_size_entry, 32> dc_size_chrominance_long;
// dct_coeff_next in eight sections of one array, chosen by the magnitude of
// the next 16 bits (see dct_coeff_lookup).
constexpr int dct_coeff_table_size = 160;
extern const std::array<dct_coeff_entry, dct_coeff_table_size> dct_coeff_table;

// `next10` = the next 10 bits of the stream.
inline dc_size_entry dc_size_luminance(uint32_t next10)
{
    return (next10 >> 5) != 31 ? dc_size_luminance_short[next10 >> 5]
                               : dc_size_luminance_long[(next10 >> 1) - 496];
}
inline dc_size_entry dc_size_chrominance(uint32_t next10)
{
    return (next10 >> 5) != 31 ? dc_size_chrominance_short[next10 >> 5]
                               : dc_size_chrominance_long[next10 - 992];
}

// `c` = the next 16 bits of the stream, at least 16 (smaller values start
// no valid code).  Each section resolves as many leading bits as its longest code.
inline dct_coeff_entry dct_coeff_lookup(uint32_t c)
{
    if (c >= 16384) return dct_coeff_table[(c >> 12) - 4];         // 4 bits
    if (c >= 1024) return dct_coeff_table[12 + (c >> 8) - 4];      // 8 bits
    if (c >= 512) return dct_coeff_table[72 + (c >> 6) - 8];       // 10 bits
    if (c >= 256) return dct_coeff_table[80 + (c >> 4) - 16];      // 12 bits
    if (c >= 128) return dct_coeff_table[96 + (c >> 3) - 16];      // 13 bits
    if (c >= 64) return dct_coeff_table[112 + (c >> 2) - 16];      // 14 bits
    if (c >= 32) return dct_coeff_table[128 + (c >> 1) - 16];      // 15 bits
    return dct_coeff_table[144 + c - 16];                          // 16 bits
}

