// The subband sample codec's decoder: a coded stream of 32-band granules to signed 8-bit PCM (portable).
//
// Stream: u32 granule count G, then blocks of 16 granules (the last one holds
// the rest): three u32 class masks, then the packed values of every subband
// that is not silent.  Decoding is a cosine matrixing and a 512-tap windowed
// overlap-add in single precision; the output bytes are exact.  The first
// 480 samples are the filter bank's delay and are dropped, so G granules give
// G x 32 - 480 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// Samples per granule, granules per block, and the delay the decoder drops.
constexpr int codec_granule_samples = 32;
constexpr int codec_block_granules = 16;
constexpr int codec_delay_samples = 480;
constexpr int codec_min_granules = codec_delay_samples / codec_granule_samples;  // 15

// What the class masks give a subband: bits per value (0 = silent for the
// whole block) and scale shift.  Indexed by A << 2 | B << 1 | C, the mask
// bits of the subband.
struct codec_class {
    uint8_t bits;
    uint8_t shift;
};
extern const codec_class codec_classes[8];

// The decoder's work record; every value is single precision.
struct codec_state {
    float window[512];                // synthesis window w
    float matrix[32][64];             // cosine matrix M[k][i], row k = subband
    float overlap[512];               // overlap-add buffer o
    float subband_samples[16][32];    // s[g][k] of the current block
};

// The one work record of the program (zero-initialised static memory).
extern codec_state codec_work;

// Builds the window and matrix and clears the overlap buffer.
void build_codec_tables(codec_state* state);

// Reads one block of `n` granules into state->subband_samples[0..n-1] and
// returns the number of bytes the block occupies.  Trusted input.
uint32_t unpack_block(codec_state* state, const uint8_t* block, int n);

// Adds one granule (32 subband samples) into the overlap buffer.
void synthesise_granule(codec_state* state, const float* subband);
// The same one column and one product at a time: the reference the faster
// versions (AVX2 when the processor has it, else SSE2) must match bit for bit.
void synthesise_granule_plain(codec_state* state, const float* subband);
// The fallback of synthesise_granule without AVX2: SSE2 where available, else plain.
void synthesise_granule_sse2_or_plain(codec_state* state, const float* subband);

// One output sample: nearest integer (ties to even), clipped to -128..127.
int8_t codec_sample_to_byte(float value);

// Decodes the whole stream at `stream` into G x 32 - 480 signed bytes at
// `output` and returns that count.  The stream is trusted (the program's own
// data); run codec_check_stream first on anything else.  A stream of fewer
// than 15 granules writes nothing and gives 0.
uint32_t decode_sample_stream(codec_state* state, const uint8_t* stream, int8_t* output);

// Checks a stream of `size` bytes from outside before it is decoded: the
// granule count must be at least 15 and every block must lie wholly inside
// the bytes.  Gives the decoded size in bytes, or -1 with a sentence in
// *error saying what is wrong.
int64_t codec_check_stream(const uint8_t* stream, size_t size, const char** error);

// The number of bytes the class masks of one block of `n` granules say the
// block occupies (12 for the masks, then each coded subband's bytes).
uint32_t codec_block_size(uint32_t mask_a, uint32_t mask_b, uint32_t mask_c, int n);
