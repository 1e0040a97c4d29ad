// The subband sample codec's decoder: tables, block unpacking, synthesis and the whole stream (portable; SSE2 or AVX2 synthesis where available).
#include "music/codec.h"

#include "base/maths.h"
#include "base/memory.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "base/cpu_features.h"

codec_state codec_work;

const codec_class codec_classes[8] = {
    {0, 0},  // A B C = 0 0 0: silent
    {2, 0},  // 0 0 1
    {2, 1},  // 0 1 0
    {4, 2},  // 0 1 1
    {2, 2},  // 1 0 0
    {4, 3},  // 1 0 1
    {4, 4},  // 1 1 0
    {4, 4},  // 1 1 1: C does not matter once A and B are set
};

namespace {

// The prototype window is a sum of eight cosines with these weights.
constexpr float window_weights[8] = {
    0.124996f,   // j = 0
    -0.25f,      // j = 1
    0.249061f,   // j = 2
    -0.234831f,  // j = 3
    0.176782f,   // j = 4
    -0.085736f,  // j = 5
    0.021643f,   // j = 6
    -0.001933f,  // j = 7
};
static_assert(std::bit_cast<uint32_t>(window_weights[0]) == 0x3DFFFDE7);
static_assert(std::bit_cast<uint32_t>(window_weights[1]) == 0xBE800000);
static_assert(std::bit_cast<uint32_t>(window_weights[2]) == 0x3E7F09D9);
static_assert(std::bit_cast<uint32_t>(window_weights[3]) == 0xBE70778A);
static_assert(std::bit_cast<uint32_t>(window_weights[4]) == 0x3E350657);
static_assert(std::bit_cast<uint32_t>(window_weights[5]) == 0xBDAF965B);
static_assert(std::bit_cast<uint32_t>(window_weights[6]) == 0x3CB14CA9);
static_assert(std::bit_cast<uint32_t>(window_weights[7]) == 0xBAFD5CB8);

// The single nearest to pi / 256: the window's angle step.
constexpr float window_angle_step = 0.0122718466f;
static_assert(std::bit_cast<uint32_t>(window_angle_step) == 0x3C490FDB);

constexpr double pi = 3.14159265358979323846;

uint32_t read_u32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int class_index(uint32_t a, uint32_t b, uint32_t c, int band)
{
    return int((a >> band & 1) << 2 | (b >> band & 1) << 1 | (c >> band & 1));
}

// Bytes one coded subband takes: its values start on a fresh byte.
uint32_t subband_bytes(int bits, int n)
{
    return uint32_t(n * bits + 7) / 8;
}

}  // namespace

void build_codec_tables(codec_state* state)
{
    for (int i = 0; i < 512; ++i) {
        float sum = 0.0f;
        for (int j = 0; j < 8; ++j) {
            float angle = float(double(i * j) * double(window_angle_step));
            float cosine = float(real_cos(double(angle)));
            sum = float(double(sum) + double(cosine) * double(window_weights[j]));
        }
        // The sign flips every 64 taps, matching the matrix's 64-periodic rows.
        state->window[i] = (i & 64) ? -sum : sum;
    }
    for (int k = 0; k < 32; ++k)
        for (int i = 0; i < 64; ++i) {
            float angle = float(double((i - 16) * (2 * k + 1)) * pi * (1.0 / 64.0));
            state->matrix[k][i] = float(real_cos(double(angle)));
        }
    std::memset(state->overlap, 0, sizeof state->overlap);
}

uint32_t codec_block_size(uint32_t mask_a, uint32_t mask_b, uint32_t mask_c, int n)
{
    uint32_t size = 12;
    for (int band = 0; band < 32; ++band)
        size += subband_bytes(codec_classes[class_index(mask_a, mask_b, mask_c, band)].bits, n);
    return size;
}

uint32_t unpack_block(codec_state* state, const uint8_t* block, int n)
{
    uint32_t mask_a = read_u32(block);
    uint32_t mask_b = read_u32(block + 4);
    uint32_t mask_c = read_u32(block + 8);
    const uint8_t* p = block + 12;
    for (int band = 0; band < 32; ++band) {
        codec_class kind = codec_classes[class_index(mask_a, mask_b, mask_c, band)];
        if (kind.bits == 0) {
            for (int g = 0; g < n; ++g)
                state->subband_samples[g][band] = 0.0f;
            continue;
        }
        double scale = double(1 << kind.shift) / 256.0;
        for (int g = 0; g < n; ++g) {
            int q;
            if (kind.bits == 4) {
                int nibble = (g & 1) ? p[g >> 1] & 15 : p[g >> 1] >> 4;
                q = nibble - ((nibble & 8) << 1);  // two's complement, -8..7
            } else {
                int pair = p[g >> 2] >> (6 - 2 * (g & 3)) & 3;
                q = pair - ((pair & 2) << 1);  // -2..1
            }
            state->subband_samples[g][band] = float(double(256 * q + 128) * scale);
        }
        p += subband_bytes(kind.bits, n);
    }
    return uint32_t(p - block);
}

#if defined(__x86_64__)
// The synthesis four columns at a time in AVX double lanes, sixteen columns
// per sweep over the subbands; the same operations in the same order as the
// plain loop, so the same floats.
__attribute__((target("avx2"))) void synthesise_granule_avx2(codec_state* state, const float* subband)
{
    alignas(32) float v[64];
    for (int i = 0; i < 64; i += 16) {
        __m256d sums[4] = {_mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd()};
        for (int k = 0; k < 32; ++k) {
            const __m256d s = _mm256_set1_pd(double(subband[k]));
            for (int b = 0; b < 4; ++b) {
                const __m256d m = _mm256_cvtps_pd(_mm_loadu_ps(&state->matrix[k][i + 4 * b]));
                sums[b] = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_add_pd(sums[b], _mm256_mul_pd(s, m))));
            }
        }
        for (int b = 0; b < 4; ++b)
            _mm_store_ps(v + i + 4 * b, _mm256_cvtpd_ps(sums[b]));
    }
    for (int c = 0; c < 8; ++c)
        for (int i = 0; i < 64; i += 4) {
            float* o = state->overlap + 64 * c + i;
            const __m256d window = _mm256_cvtps_pd(_mm_loadu_ps(state->window + 64 * c + i));
            const __m256d values = _mm256_cvtps_pd(_mm_load_ps(v + i));
            const __m256d old = _mm256_cvtps_pd(_mm_loadu_ps(o));
            _mm_storeu_ps(o, _mm256_cvtpd_ps(_mm256_add_pd(old, _mm256_mul_pd(window, values))));
        }
}
#endif

void synthesise_granule(codec_state* state, const float* subband)
{
#if defined(__x86_64__)
    if (cpu_features().avx2) {
        synthesise_granule_avx2(state, subband);
        return;
    }
#endif
    synthesise_granule_sse2_or_plain(state, subband);
}

#if defined(__SSE2__)
namespace {
// Two neighbouring floats widened to two doubles.
inline __m128d two_floats(const float* at)
{
    return _mm_cvtps_pd(_mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(at))));
}
}  // namespace
#endif

void synthesise_granule_sse2_or_plain(codec_state* state, const float* subband)
{
#if defined(__SSE2__)
    // Two columns i at a time in double lanes: every product, sum and
    // rounding to single precision is the one the plain loop makes, in the
    // same order, so the floats are the same bit for bit.
    alignas(16) float v[64];
    for (int i = 0; i < 64; i += 2) {
        __m128d sum = _mm_setzero_pd();
        for (int k = 0; k < 32; ++k) {
            const __m128d m = two_floats(&state->matrix[k][i]);
            sum = _mm_add_pd(sum, _mm_mul_pd(_mm_set1_pd(double(subband[k])), m));
            sum = _mm_cvtps_pd(_mm_cvtpd_ps(sum));  // v is a float after every step
        }
        _mm_storel_pi(reinterpret_cast<__m64*>(v + i), _mm_cvtpd_ps(sum));
    }
    for (int c = 0; c < 8; ++c)
        for (int i = 0; i < 64; i += 2) {
            float* o = state->overlap + 64 * c + i;
            const __m128d window = two_floats(state->window + 64 * c + i);
            const __m128d values = two_floats(v + i);
            const __m128d old = two_floats(o);
            _mm_storel_pi(reinterpret_cast<__m64*>(o), _mm_cvtpd_ps(_mm_add_pd(old, _mm_mul_pd(window, values))));
        }
#else
    synthesise_granule_plain(state, subband);
#endif
}

void synthesise_granule_plain(codec_state* state, const float* subband)
{
    for (int i = 0; i < 64; ++i) {
        float v = 0.0f;
        for (int k = 0; k < 32; ++k)
            v = float(double(v) + double(subband[k]) * double(state->matrix[k][i]));
        for (int c = 0; c < 8; ++c) {
            float& o = state->overlap[64 * c + i];
            o = float(double(o) + double(state->window[64 * c + i]) * double(v));
        }
    }
}

int8_t codec_sample_to_byte(float value)
{
    // Clip before converting so that no value can overflow the conversion.
    if (value > 127.0f)
        return 127;
    if (value < -128.0f)
        return -128;
    return int8_t(round_to_int(double(value)));
}

uint32_t decode_sample_stream(codec_state* state, const uint8_t* stream, int8_t* output)
{
    uint32_t granules = read_u32(stream);
    // Fewer granules than the delay would leave nothing to copy.
    if (granules < uint32_t(codec_min_granules))
        return 0;
    const uint8_t* block = stream + 4;
    size_t emitted_size = size_t(granules) * codec_granule_samples;
    auto* emitted = static_cast<int8_t*>(mem_alloc(emitted_size));
    build_codec_tables(state);

    int in_block = codec_block_granules;
    for (uint32_t g = 0; g < granules; ++g) {
        if (in_block == codec_block_granules) {
            uint32_t left = granules - g;
            int n = left < uint32_t(codec_block_granules) ? int(left) : codec_block_granules;
            block += unpack_block(state, block, n);
            in_block = 0;
        }
        synthesise_granule(state, state->subband_samples[in_block]);
        int8_t* out = emitted + size_t(g) * codec_granule_samples;
        for (int t = 0; t < 32; ++t)
            out[t] = codec_sample_to_byte(state->overlap[511 - t]);
        std::memmove(state->overlap + 32, state->overlap, 480 * sizeof(float));
        std::memset(state->overlap, 0, 32 * sizeof(float));
        ++in_block;
    }

    uint32_t size = uint32_t(emitted_size) - codec_delay_samples;
    if (size > 0)
        std::memcpy(output, emitted + codec_delay_samples, size);
    mem_free(emitted);
    return size;
}

int64_t codec_check_stream(const uint8_t* stream, size_t size, const char** error)
{
    if (size < 4) {
        *error = "the stream is shorter than its 4-byte granule count";
        return -1;
    }
    uint32_t granules = read_u32(stream);
    if (granules < uint32_t(codec_min_granules)) {
        *error = "the stream has fewer than 15 granules (the decoder's delay)";
        return -1;
    }
    size_t at = 4;
    for (uint32_t g = 0; g < granules; g += codec_block_granules) {
        uint32_t left = granules - g;
        int n = left < uint32_t(codec_block_granules) ? int(left) : codec_block_granules;
        if (size - at < 12) {
            *error = "the stream ends inside a block's class masks";
            return -1;
        }
        uint32_t block = codec_block_size(read_u32(stream + at), read_u32(stream + at + 4),
                                          read_u32(stream + at + 8), n);
        if (size - at < block) {
            *error = "the stream ends before the values its block masks announce";
            return -1;
        }
        at += block;
    }
    return int64_t(granules) * codec_granule_samples - codec_delay_samples;
}
