// The subband sample codec's encoder: PCM to a coded stream that the decoder turns back into it (portable).
//
// The analysis filter bank is the decoder's synthesis bank read backwards
// (32 bands, 512 taps), so decoding reproduces the input after the 480
// samples the decoder drops.  Per block of up to 16 granules and per subband
// a class (silent, or 2 or 4 bits at a scale shift) is chosen to minimise the
// squared error of the decoded samples for the bytes it costs.
#pragma once

#include <cstdint>

// One piece of sound: samples on the 8-bit scale (-128 to 127; fractions allowed).
struct codec_input {
    const float* samples;
    uint32_t length;
};

// Silence put between two inputs of one stream so that neither one's coding
// noise, which the filter bank spreads over 512 samples, reaches the other.
constexpr uint32_t codec_input_gap = 480;

// The most decoded samples the encoder takes in one stream (four times the
// music image; its working memory grows by about 20 bytes per sample).
constexpr uint32_t codec_max_samples = 1u << 22;

struct codec_encoding {
    uint8_t* stream = nullptr;   // from mem_alloc: the caller gives it back with mem_free
    uint32_t size = 0;           // stream bytes
    uint32_t granules = 0;
    uint32_t samples = 0;        // decoded samples: granules x 32 - 480
    double bits_per_sample = 0;  // stream bits per decoded sample
    double snr_db = 0;           // decoded result against the input (gaps and padding included)
};

// Where each of `count` inputs starts in the decoded PCM when they are coded
// back to back: on granule boundaries, with codec_input_gap samples of
// silence between neighbours.  Gives the decoded length (which may exceed
// codec_max_samples; then the inputs cannot be coded as one stream).
uint64_t codec_layout(const codec_input* inputs, int count, uint32_t* starts);

// The smallest stream that gives `samples` decoded samples: every subband of
// every block silent.
uint64_t codec_smallest_size(uint64_t samples);

// Codes the inputs back to back (starts as codec_layout gives them).  With
// max_bytes = 0 it gives the smallest stream whose quality no longer improves
// noticeably; otherwise the best stream of at most max_bytes bytes.  False
// with a sentence in *error when nothing fits.
bool codec_encode(const codec_input* inputs, int count, uint32_t max_bytes, codec_encoding* result,
                  const char** error);

// The signal-to-noise ratio in dB of `decoded` against `original` over
// `length` samples (infinite when they are equal).
double codec_snr_db(const float* original, const int8_t* decoded, uint32_t length);
