// Pitch: periods from 1/256-semitone pitches by a four-table product, voice steps and the waveform tables (portable).
#include "music/pitch.h"

namespace {

// pitch_to_period multiplies one entry of each table, picked by the four hex
// digits of x + 32,768; every entry is in 1/32,768 but T3.
// T0[n] = round(32,768 x 2^(-n/3072)): the lowest digit, 1/3072 of an octave.
const uint32_t pitch_table_0[16] = {
    32768, 32761, 32753, 32746, 32738, 32731, 32724, 32716,  // n = 0..7
    32709, 32702, 32694, 32687, 32679, 32672, 32665, 32657,  // n = 8..15
};
// T1[n] = round(32,768 x 2^(-n/192)): 1/16 semitone steps.
const uint32_t pitch_table_1[16] = {
    32768, 32650, 32532, 32415, 32298, 32182, 32066, 31950,  // n = 0..7
    31835, 31720, 31606, 31492, 31379, 31266, 31153, 31041,  // n = 8..15
};
}  // namespace

// T2[n] = round(32,768 x 2^(-n/12)): semitones (also the arpeggio's factors).
extern const uint32_t pitch_semitone_factors[16] = {
    32768, 30929, 29193, 27554, 26008, 24548, 23170, 21870,  // n = 0..7
    20643, 19484, 18390, 17358, 16384, 15464, 14596, 13777,  // n = 8..15
};
namespace {

// T3[n] = round(6,848 x 2^(4 (8 - n) / 3)): 16-semitone steps around 6,848 (n = 8).
const uint32_t pitch_table_3[16] = {
    11131415, 4417505, 1753088, 695713, 276094, 109568, 43482, 17256,  // n = 0..7
    6848,     2718,    1078,    428,    170,    67,     27,    11,     // n = 8..15
};

// round(64 x sin(pi i / 128)) for i = 0..63: the first quarter of the sine.
const int8_t quarter_sine[64] = {
    0,  2,  3,  5,  6,  8,  9,  11, 12, 14, 16, 17, 19, 20, 22, 23,  // i = 0..15
    24, 26, 27, 29, 30, 32, 33, 34, 36, 37, 38, 39, 41, 42, 43, 44,  // i = 16..31
    45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 56, 57, 58, 59,  // i = 32..47
    59, 60, 60, 61, 61, 62, 62, 62, 63, 63, 63, 64, 64, 64, 64, 64,  // i = 48..63
};

}  // namespace

uint32_t pitch_to_period(int32_t x)
{
    uint32_t y = uint32_t(x + 32768) & 0xFFFF;
    uint64_t r = pitch_table_3[y >> 12];
    r = uint32_t((r * pitch_semitone_factors[(y >> 8) & 15]) >> 15);
    r = uint32_t((r * pitch_table_1[(y >> 4) & 15]) >> 15);
    r = uint32_t((r * pitch_table_0[y & 15]) >> 15);
    return uint32_t(r);
}

int32_t clamp_period(const player_state& player, int32_t period)
{
    const module_header& h = player.header;
    if (period < h.lowest_period)
        return h.lowest_period;
    if (period > h.highest_period)
        return h.highest_period;
    return period;
}

int32_t note_period(const player_state& player, uint32_t semitone, int16_t relative_pitch)
{
    int32_t pitch = int32_t(256 * semitone) + relative_pitch;
    if (player.header.flags & module_linear_frequencies)
        return int16_t(12288 - pitch);  // computed in 16 bits
    return int32_t(pitch_to_period(pitch - 12288));
}

uint16_t period_to_step(const player_state& player, int32_t period)
{
    uint32_t step;
    if (player.header.flags & module_linear_frequencies)
        step = pitch_to_period(period) * 14u / 494u;
    else
        step = uint32_t(period) >= 100 ? 1329006u / uint32_t(period) : uint32_t(period);
    return uint16_t(step & ~1u);
}

void build_waveforms(int8_t tables[4][256])
{
    for (int i = 0; i < 256; ++i) {
        int q = i & 127;
        int sine = q < 64 ? quarter_sine[q] : q == 64 ? 64 : quarter_sine[128 - q];
        tables[0][i] = int8_t(i < 128 ? sine : -sine);
        int saw = i == 0 ? 0 : i <= 128 ? (i + 1) / 2 : -((256 - i) / 2);
        tables[1][i] = int8_t(saw);
        tables[2][i] = int8_t(i >= 1 && i <= 128 ? 64 : -64);
        tables[3][i] = int8_t(-saw);
    }
}
