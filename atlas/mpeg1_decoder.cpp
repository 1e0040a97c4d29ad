// The MPEG-1 intra-picture decoder that unpacks the texture atlas (portable).
#include "atlas/mpeg1_decoder.h"

#include "atlas/bit_reader.h"
#include "atlas/mpeg1_tables.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <bit>
#include <cstring>

#include "base/cpu_features.h"

mpeg_decoder_state mpeg_decoder;

namespace {

constexpr uint32_t sequence_header_code = 0x000001B3;
constexpr uint32_t group_start_code = 0x000001B8;
constexpr uint32_t user_data_start_code = 0x000001B2;
constexpr uint32_t picture_start_code = 0x00000100;
constexpr uint32_t first_slice_code = 0x00000101;
constexpr uint32_t last_slice_code = 0x000001AF;

// A stream cannot move the DC predictor outside what 11-bit DC sizes can
// reach, so predictor x 8 never overflows.
constexpr int32_t dc_predictor_limit = 2047;

int32_t clamp(int32_t value, int32_t low, int32_t high)
{
    return value < low ? low : value > high ? high : value;
}

// The IDCT computes in unsigned 32-bit words, which wrap exactly like the
// signed machine arithmetic they stand for: identical results whenever
// nothing overflows (every stream made from a picture), and defined results
// when a damaged stream makes the products overflow.
inline uint32_t sar(uint32_t value, int shift)
{
    return uint32_t(int32_t(value) >> shift);
}

void build_colour_tables()
{
    for (int32_t i = -512; i < 512; ++i) {
        mpeg_decoder.cr_to_r[i + 512] = (11485 * i) >> 13;  // 1.40198
        mpeg_decoder.cb_to_g[i + 512] = (-11 * i) >> 5;     // -0.34375
        mpeg_decoder.cr_to_g[i + 512] = (-2925 * i) >> 12;  // -0.71411
        mpeg_decoder.cb_to_b[i + 512] = (3629 * i) >> 11;   // 1.77197
    }
}

bool parse_headers()
{
    if (bits_read(32) != sequence_header_code)
        return false;
    mpeg_decoder.picture_width = int32_t(bits_read(12));
    mpeg_decoder.picture_height = int32_t(bits_read(12));
    bits_skip(38);  // aspect ratio, picture rate, bit rate, marker, VBV buffer size, constrained flag
    if (bits_read1())
        for (int32_t& weight : mpeg_decoder.quant_matrix)  // stream order is scan order
            weight = int32_t(bits_read(8));
    if (bits_read1())
        bits_skip(512);  // the non-intra matrix is not used
    mpeg_decoder.mb_width = (mpeg_decoder.picture_width + 15) >> 4;
    mpeg_decoder.mb_height = (mpeg_decoder.picture_height + 15) >> 4;

    for (;;) {
        if (!next_start_code())
            return false;
        uint32_t code = bits_read(32);
        if (code == picture_start_code)
            break;
        if (code == group_start_code)
            bits_skip(27);  // time code, closed GOP, broken link
        else if (code != user_data_start_code)
            return false;  // extension start codes are not supported
    }
    bits_skip(10);  // temporal reference
    if (bits_read(3) != 1)
        return false;  // not an I picture
    bits_skip(16);  // VBV delay
    while (bits_read1())
        bits_skip(8);  // extra information
    for (;;) {
        if (!next_start_code())
            return false;
        if (bits_peek(32) != user_data_start_code)
            break;
        bits_skip(32);
    }
    return true;
}

// One pixel from a luminance sample and the colour terms of its chroma.
inline uint32_t ycc_pixel(int32_t y, int32_t r_term, int32_t g_term, int32_t b_term)
{
    int32_t base = y + 128;
    return (uint32_t(clamp(base + r_term, 0, 255)) << 16) | (uint32_t(clamp(base + g_term, 0, 255)) << 8) |
           uint32_t(clamp(base + b_term, 0, 255));
}

void store_planes(int32_t mb_x, int32_t mb_y)
{
    const mpeg_sample_planes& p = *mpeg_decoder.planes;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            p.luma[(mb_y * 16 + y) * p.luma_stride + mb_x * 16 + x] =
                uint8_t(clamp(mpeg_decoder.luminance[y * 16 + x] + 128, 0, 255));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            int32_t at = (mb_y * 8 + y) * p.chroma_stride + mb_x * 8 + x;
            p.cb[at] = uint8_t(clamp(mpeg_decoder.cb[y * 8 + x] + 128, 0, 255));
            p.cr[at] = uint8_t(clamp(mpeg_decoder.cr[y * 8 + x] + 128, 0, 255));
        }
}

// half(p): each colour byte halved, alpha cleared.
inline uint32_t half(uint32_t p)
{
    return (p >> 1) & 0x7F7F7F;
}

}  // namespace

void mpeg_convert_macroblock_plain(uint32_t* out, int32_t stride)
{
    const mpeg_decoder_state& d = mpeg_decoder;
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) {
            // Values outside the tables (never in a stream made from a picture) are clamped.
            int32_t cb = clamp(d.cb[r * 8 + c], -512, 511) + 512;
            int32_t cr = clamp(d.cr[r * 8 + c], -512, 511) + 512;
            int32_t r_term = d.cr_to_r[cr];
            int32_t g_term = d.cb_to_g[cb] + d.cr_to_g[cr];
            int32_t b_term = d.cb_to_b[cb];
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    int y = 2 * r + dy, x = 2 * c + dx;
                    out[y * stride + x] = ycc_pixel(d.luminance[y * 16 + x], r_term, g_term, b_term);
                }
        }
    }
}

void mpeg_convert_macroblock(uint32_t* out, int32_t stride)
{
#if defined(__SSE2__)
    // A chroma row (eight samples) and its two luminance rows at a time, in
    // 16-bit lanes.  The colour terms are the tables' products, (k x i) >> n
    // with i clamped to -512..511, taken as 32-bit products of 16-bit lanes.
    // Luminance is saturated to 16 bits and the sums saturate too: any value
    // that saturates lies far outside 0..255 either way, so the clamped
    // results are those of the 32-bit sums.
    const mpeg_decoder_state& d = mpeg_decoder;
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_set1_epi16(-512), high = _mm_set1_epi16(511), bias = _mm_set1_epi16(128);
    auto load8 = [&](const int32_t* at) {
        __m128i v = _mm_packs_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 4)));
        return v;
    };
    // (k x i) >> n for eight i of -512..511 in 16-bit lanes: the high half
    // of (i << (16 - n)) x k, with i << (16 - n) still inside 16 bits.
    auto term = [](__m128i i, int16_t k, int n) {
        return _mm_mulhi_epi16(_mm_slli_epi16(i, 16 - n), _mm_set1_epi16(k));
    };
    for (int r = 0; r < 8; ++r) {
        const __m128i cb = _mm_min_epi16(_mm_max_epi16(load8(d.cb + 8 * r), low), high);
        const __m128i cr = _mm_min_epi16(_mm_max_epi16(load8(d.cr + 8 * r), low), high);
        const __m128i r_term = term(cr, 11485, 13);
        // -11 x cb fits 16 bits, so its term is a product and a shift.
        const __m128i g_term =
            _mm_add_epi16(_mm_srai_epi16(_mm_mullo_epi16(cb, _mm_set1_epi16(-11)), 5), term(cr, -2925, 12));
        const __m128i b_term = term(cb, 3629, 11);
        // Each chroma sample serves two luminance columns.
        const __m128i r_terms[2] = {_mm_unpacklo_epi16(r_term, r_term), _mm_unpackhi_epi16(r_term, r_term)};
        const __m128i g_terms[2] = {_mm_unpacklo_epi16(g_term, g_term), _mm_unpackhi_epi16(g_term, g_term)};
        const __m128i b_terms[2] = {_mm_unpacklo_epi16(b_term, b_term), _mm_unpackhi_epi16(b_term, b_term)};
        for (int dy = 0; dy < 2; ++dy) {
            const int y = 2 * r + dy;
            __m128i red[2], green[2], blue[2];
            for (int half = 0; half < 2; ++half) {
                const __m128i base = _mm_adds_epi16(load8(d.luminance + 16 * y + 8 * half), bias);
                red[half] = _mm_adds_epi16(base, r_terms[half]);
                green[half] = _mm_adds_epi16(base, g_terms[half]);
                blue[half] = _mm_adds_epi16(base, b_terms[half]);
            }
            const __m128i reds = _mm_packus_epi16(red[0], red[1]);
            const __m128i greens = _mm_packus_epi16(green[0], green[1]);
            const __m128i blues = _mm_packus_epi16(blue[0], blue[1]);
            const __m128i blue_green[2] = {_mm_unpacklo_epi8(blues, greens), _mm_unpackhi_epi8(blues, greens)};
            const __m128i red_zero[2] = {_mm_unpacklo_epi8(reds, zero), _mm_unpackhi_epi8(reds, zero)};
            auto* row = reinterpret_cast<__m128i*>(out + y * stride);
            _mm_storeu_si128(row, _mm_unpacklo_epi16(blue_green[0], red_zero[0]));
            _mm_storeu_si128(row + 1, _mm_unpackhi_epi16(blue_green[0], red_zero[0]));
            _mm_storeu_si128(row + 2, _mm_unpacklo_epi16(blue_green[1], red_zero[1]));
            _mm_storeu_si128(row + 3, _mm_unpackhi_epi16(blue_green[1], red_zero[1]));
        }
    }
#else
    mpeg_convert_macroblock_plain(out, stride);
#endif
}

void idct_column_pass(int32_t* block)
{
    for (int column = 0; column < 8; ++column) {
        int32_t* v = block + column;
        uint32_t x0 = uint32_t(v[0]), x1 = uint32_t(v[8]), x2 = uint32_t(v[16]), x3 = uint32_t(v[24]);
        uint32_t x4 = uint32_t(v[32]), x5 = uint32_t(v[40]), x6 = uint32_t(v[48]), x7 = uint32_t(v[56]);
        uint32_t p = (x6 + x2) * 2217u;
        uint32_t d = x2 * 3135u + p;
        uint32_t s0 = ((x0 + x4) << 12) + 16u;
        uint32_t s1 = ((x0 - x4) << 12) + 16u;
        uint32_t q = (x1 + x7) * 1130u;
        uint32_t e1 = x1 * 4551u + q;
        uint32_t r = (x5 + x3) * 4816u;
        uint32_t e5 = r - x5 * 1598u;
        uint32_t q2 = q - x7 * 6811u;
        uint32_t r2 = r - x3 * 8034u;
        uint32_t p2 = p - x6 * 7569u;
        uint32_t t = sar((q2 + e1 - r2 - e5) * 181u + 128u, 8);
        uint32_t u = sar((e1 + r2 - e5 - q2) * 181u + 128u, 8);
        v[0] = int32_t(sar(s0 + d + e1 + e5, 5));
        v[8] = int32_t(sar(s1 + p2 + t, 5));
        v[16] = int32_t(sar(s1 - p2 + u, 5));
        v[24] = int32_t(sar(s0 - d + q2 + r2, 5));
        v[32] = int32_t(sar(s0 - d - q2 - r2, 5));
        v[40] = int32_t(sar(s1 - p2 - u, 5));
        v[48] = int32_t(sar(s1 + p2 - t, 5));
        v[56] = int32_t(sar(s0 + d - e1 - e5, 5));
    }
}

void idct_row_pass(const int32_t* block, int32_t* out, int32_t out_stride)
{
    for (int row = 0; row < 8; ++row) {
        const int32_t* v = block + row * 8;
        int32_t* o = out + row * out_stride;
        uint32_t x0 = uint32_t(v[0]), x1 = uint32_t(v[1]), x2 = uint32_t(v[2]), x3 = uint32_t(v[3]);
        uint32_t x4 = uint32_t(v[4]), x5 = uint32_t(v[5]), x6 = uint32_t(v[6]), x7 = uint32_t(v[7]);
        uint32_t s0 = x0 + x4;
        uint32_t s1 = x0 - x4;
        uint32_t p = (x6 + x2) * 2217u + 2048u;
        uint32_t d = sar(x2 * 3135u + p, 12);
        uint32_t p2 = sar(p - x6 * 7569u, 12);
        uint32_t q = (x1 + x7) * 1130u + 2048u;
        uint32_t e1 = sar(x1 * 4551u + q, 12);
        uint32_t q2 = sar(q - x7 * 6811u, 12);
        uint32_t r = (x5 + x3) * 4816u + 2048u;
        uint32_t e5 = sar(r - x5 * 1598u, 12);
        uint32_t r2 = sar(r - x3 * 8034u, 12);
        uint32_t t = sar((e1 + q2 - e5 - r2) * 181u + 128u, 8);
        uint32_t u = sar((e1 + r2 - e5 - q2) * 181u + 128u, 8);
        o[0] = int32_t(sar(s0 + d + e1 + e5 + 512u, 10));
        o[1] = int32_t(sar(s1 + p2 + t + 512u, 10));
        o[2] = int32_t(sar(s1 - p2 + u + 512u, 10));
        o[3] = int32_t(sar(s0 - d + q2 + r2 + 512u, 10));
        o[4] = int32_t(sar(s0 - d - q2 - r2 + 512u, 10));
        o[5] = int32_t(sar(s1 - p2 - u + 512u, 10));
        o[6] = int32_t(sar(s1 + p2 - t + 512u, 10));
        o[7] = int32_t(sar(s0 + d - e1 - e5 + 512u, 10));
    }
}

void idct_block_plain(int32_t* block, int32_t* out, int32_t out_stride)
{
    idct_column_pass(block);
    idct_row_pass(block, out, out_stride);
}

#if defined(__x86_64__)
namespace {

__attribute__((target("avx2"))) inline __m256i k(int32_t c) { return _mm256_set1_epi32(c); }
__attribute__((target("avx2"))) inline __m256i mul(__m256i a, int32_t c)
{
    return _mm256_mullo_epi32(a, _mm256_set1_epi32(c));
}
__attribute__((target("avx2"))) inline __m256i add(__m256i a, __m256i b) { return _mm256_add_epi32(a, b); }
__attribute__((target("avx2"))) inline __m256i sub(__m256i a, __m256i b) { return _mm256_sub_epi32(a, b); }

// The eight rows of an 8 x 8 block of 32-bit lanes become its columns.
__attribute__((target("avx2"))) inline void transpose8(__m256i& m0, __m256i& m1, __m256i& m2, __m256i& m3,
                                                         __m256i& m4, __m256i& m5, __m256i& m6, __m256i& m7)
{
    const __m256i a0 = _mm256_unpacklo_epi32(m0, m1), a1 = _mm256_unpackhi_epi32(m0, m1);
    const __m256i a2 = _mm256_unpacklo_epi32(m2, m3), a3 = _mm256_unpackhi_epi32(m2, m3);
    const __m256i a4 = _mm256_unpacklo_epi32(m4, m5), a5 = _mm256_unpackhi_epi32(m4, m5);
    const __m256i a6 = _mm256_unpacklo_epi32(m6, m7), a7 = _mm256_unpackhi_epi32(m6, m7);
    const __m256i b0 = _mm256_unpacklo_epi64(a0, a2), b1 = _mm256_unpackhi_epi64(a0, a2);
    const __m256i b2 = _mm256_unpacklo_epi64(a1, a3), b3 = _mm256_unpackhi_epi64(a1, a3);
    const __m256i b4 = _mm256_unpacklo_epi64(a4, a6), b5 = _mm256_unpackhi_epi64(a4, a6);
    const __m256i b6 = _mm256_unpacklo_epi64(a5, a7), b7 = _mm256_unpackhi_epi64(a5, a7);
    m0 = _mm256_permute2x128_si256(b0, b4, 0x20);
    m1 = _mm256_permute2x128_si256(b1, b5, 0x20);
    m2 = _mm256_permute2x128_si256(b2, b6, 0x20);
    m3 = _mm256_permute2x128_si256(b3, b7, 0x20);
    m4 = _mm256_permute2x128_si256(b0, b4, 0x31);
    m5 = _mm256_permute2x128_si256(b1, b5, 0x31);
    m6 = _mm256_permute2x128_si256(b2, b6, 0x31);
    m7 = _mm256_permute2x128_si256(b3, b7, 0x31);
}

}  // namespace

// Both passes with AVX2, one 32-bit lane per column (then per row): the
// plain passes' wrapping products, sums and arithmetic shifts, eight at once.
__attribute__((target("avx2"))) void idct_block_avx2(int32_t* block, int32_t* out, int32_t out_stride)
{
    const auto* rows = reinterpret_cast<const __m256i*>(block);
    __m256i x0 = _mm256_loadu_si256(rows), x1 = _mm256_loadu_si256(rows + 1), x2 = _mm256_loadu_si256(rows + 2);
    __m256i x3 = _mm256_loadu_si256(rows + 3), x4 = _mm256_loadu_si256(rows + 4), x5 = _mm256_loadu_si256(rows + 5);
    __m256i x6 = _mm256_loadu_si256(rows + 6), x7 = _mm256_loadu_si256(rows + 7);
    {  // columns: x_r is row r
        const __m256i p = mul(add(x6, x2), 2217);
        const __m256i d = add(mul(x2, 3135), p);
        const __m256i s0 = add(_mm256_slli_epi32(add(x0, x4), 12), k(16));
        const __m256i s1 = add(_mm256_slli_epi32(sub(x0, x4), 12), k(16));
        const __m256i q = mul(add(x1, x7), 1130);
        const __m256i e1 = add(mul(x1, 4551), q);
        const __m256i r = mul(add(x5, x3), 4816);
        const __m256i e5 = sub(r, mul(x5, 1598));
        const __m256i q2 = sub(q, mul(x7, 6811));
        const __m256i r2 = sub(r, mul(x3, 8034));
        const __m256i p2 = sub(p, mul(x6, 7569));
        const __m256i t = _mm256_srai_epi32(add(mul(sub(sub(add(q2, e1), r2), e5), 181), k(128)), 8);
        const __m256i u = _mm256_srai_epi32(add(mul(sub(sub(add(e1, r2), e5), q2), 181), k(128)), 8);
        x0 = _mm256_srai_epi32(add(add(add(s0, d), e1), e5), 5);
        x1 = _mm256_srai_epi32(add(add(s1, p2), t), 5);
        x2 = _mm256_srai_epi32(add(sub(s1, p2), u), 5);
        x3 = _mm256_srai_epi32(add(add(sub(s0, d), q2), r2), 5);
        x4 = _mm256_srai_epi32(sub(sub(sub(s0, d), q2), r2), 5);
        x5 = _mm256_srai_epi32(sub(sub(s1, p2), u), 5);
        x6 = _mm256_srai_epi32(sub(add(s1, p2), t), 5);
        x7 = _mm256_srai_epi32(sub(sub(add(s0, d), e1), e5), 5);
    }
    transpose8(x0, x1, x2, x3, x4, x5, x6, x7);
    {  // rows: x_c is column c, one lane per row
        const __m256i s0 = add(x0, x4);
        const __m256i s1 = sub(x0, x4);
        const __m256i p = add(mul(add(x6, x2), 2217), k(2048));
        const __m256i d = _mm256_srai_epi32(add(mul(x2, 3135), p), 12);
        const __m256i p2 = _mm256_srai_epi32(sub(p, mul(x6, 7569)), 12);
        const __m256i q = add(mul(add(x1, x7), 1130), k(2048));
        const __m256i e1 = _mm256_srai_epi32(add(mul(x1, 4551), q), 12);
        const __m256i q2 = _mm256_srai_epi32(sub(q, mul(x7, 6811)), 12);
        const __m256i r = add(mul(add(x5, x3), 4816), k(2048));
        const __m256i e5 = _mm256_srai_epi32(sub(r, mul(x5, 1598)), 12);
        const __m256i r2 = _mm256_srai_epi32(sub(r, mul(x3, 8034)), 12);
        const __m256i t = _mm256_srai_epi32(add(mul(sub(sub(add(e1, q2), e5), r2), 181), k(128)), 8);
        const __m256i u = _mm256_srai_epi32(add(mul(sub(sub(add(e1, r2), e5), q2), 181), k(128)), 8);
        const __m256i round = k(512);
        x0 = _mm256_srai_epi32(add(add(add(add(s0, d), e1), e5), round), 10);
        x1 = _mm256_srai_epi32(add(add(add(s1, p2), t), round), 10);
        x2 = _mm256_srai_epi32(add(add(sub(s1, p2), u), round), 10);
        x3 = _mm256_srai_epi32(add(add(add(sub(s0, d), q2), r2), round), 10);
        x4 = _mm256_srai_epi32(add(sub(sub(sub(s0, d), q2), r2), round), 10);
        x5 = _mm256_srai_epi32(add(sub(sub(s1, p2), u), round), 10);
        x6 = _mm256_srai_epi32(add(sub(add(s1, p2), t), round), 10);
        x7 = _mm256_srai_epi32(add(sub(sub(add(s0, d), e1), e5), round), 10);
    }
    transpose8(x0, x1, x2, x3, x4, x5, x6, x7);
    const __m256i results[8] = {x0, x1, x2, x3, x4, x5, x6, x7};
    for (int r = 0; r < 8; ++r)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + r * out_stride), results[r]);
}
#endif

void idct_block(int32_t* block, int32_t* out, int32_t out_stride)
{
#if defined(__x86_64__)
    if (cpu_features().avx2) {
        idct_block_avx2(block, out, out_stride);
        return;
    }
#endif
    idct_block_plain(block, out, out_stride);
}

void mpeg_parse_headers(const uint8_t* data, uint32_t size)
{
    build_colour_tables();
    for (int i = 0; i < 64; ++i)
        mpeg_decoder.quant_matrix[i] = mpeg_default_intra_matrix[i];
    mpeg_decoder.mb_total = 0;
    mpeg_decoder.picture_width = mpeg_decoder.picture_height = 0;
    mpeg_decoder.mb_width = mpeg_decoder.mb_height = 0;
    mpeg_decoder.macroblock = 0;
    mpeg_decoder.slices = 0;
    if (size > bit_reader_max_size)
        return;
    bits_start(data, size);
    if (parse_headers())
        mpeg_decoder.mb_total = mpeg_decoder.mb_width * mpeg_decoder.mb_height;
}

namespace {

// Eight bytes as loaded from memory, most significant first.
inline uint64_t load_big_endian(uint64_t loaded)
{
    if constexpr (std::endian::native == std::endian::little)
        return __builtin_bswap64(loaded);
    return loaded;
}

// The block decoder's view of the stream: a 64-bit cache of the next bits
// (the first one in bit 63), `count` of them valid, refilled 32 bits at a
// time from `next_byte`, so a code's length shifts the cache instead of
// going through memory.  Bytes past the end of the stream read as 0, as
// everywhere in the reader.
struct block_bits {
    const uint8_t* data;
    uint32_t size;
    uint32_t next_byte;
    uint64_t cache;
    int32_t count;

    explicit block_bits(uint32_t position) : data(bit_reader.bit_data), size(bit_reader.bit_size)
    {
        next_byte = position >> 3;
        cache = load(8) << (position & 7);
        count = 64 - int32_t(position & 7);
        next_byte += 8;
    }
    // `bytes` (4 or 8) bytes from next_byte, big-endian, in the low bits.
    uint64_t load(int bytes) const
    {
        uint64_t word = 0;
        if (uint64_t(next_byte) + 8 <= size) {
            std::memcpy(&word, data + next_byte, 8);
            return load_big_endian(word) >> (64 - 8 * bytes);
        }
        for (uint32_t i = next_byte; i < next_byte + uint32_t(bytes); ++i)
            word = (word << 8) | (i < size ? data[i] : 0u);
        return word;
    }
    // At least 32 valid bits afterwards.
    void refill()
    {
        if (count < 32) {
            cache |= load(4) << (32 - count);
            next_byte += 4;
            count += 32;
        }
    }
    uint32_t peek(int n) const { return uint32_t(cache >> (64 - n)); }
    void skip(int n)
    {
        cache <<= n;
        count -= n;
    }
    uint32_t read(int n)
    {
        uint32_t value = peek(n);
        skip(n);
        return value;
    }
    uint32_t position() const { return next_byte * 8 - uint32_t(count); }
};

}  // namespace

bool mpeg_decode_block(int b)
{
    mpeg_decoder_state& d = mpeg_decoder;
    int32_t* coefficients = d.coefficients;
    std::memset(coefficients, 0, sizeof d.coefficients);
    block_bits bits(uint32_t(bit_reader.bit_position));
    bool has_ac = false;
    auto finish = [&](bool result) {
        bit_reader.bit_position = int32_t(bits.position());
        d.block_has_ac = has_ac;
        return result;
    };

    const int k = b < 4 ? 0 : b - 3;
    const uint32_t next10 = bits.peek(10);
    const dc_size_entry dc = k == 0 ? dc_size_luminance(next10) : dc_size_chrominance(next10);
    bits.skip(dc.length);
    bits.refill();
    int32_t difference = 0;
    if (dc.size) {
        difference = int32_t(bits.read(dc.size));
        if (!(difference & (1 << (dc.size - 1))))
            difference -= (1 << dc.size) - 1;
    }
    d.dc_predictor[k] = clamp(d.dc_predictor[k] + difference, -dc_predictor_limit, dc_predictor_limit);
    coefficients[0] = d.dc_predictor[k] * 8;

    int32_t p = 1;
    const int32_t scale = d.quantiser_scale;
    for (;;) {
        bits.refill();  // a code, its sign or its escape fields take at most 28 bits
        const uint32_t c = bits.peek(16);
        if (c < 16)
            return finish(false);
        const dct_coeff_entry entry = dct_coeff_lookup(c);
        int32_t magnitude, negative;  // negative: 0 or -1
        if (entry.run == mpeg_run_end_of_block) {
            bits.skip(entry.length);
            return finish(true);
        }
        if (entry.run == mpeg_run_escape) {
            bits.skip(entry.length);
            p += int32_t(bits.read(6));
            int32_t level = int8_t(bits.read(8));
            if (level == 0)
                level = int32_t(bits.read(8));
            else if (level == -128)
                level = int32_t(bits.read(8)) - 256;
            magnitude = level < 0 ? -level : level;
            negative = level < 0 ? -1 : 0;
        } else {
            // The sign bit follows the code.
            p += entry.run;
            magnitude = entry.level;
            bits.skip(entry.length);
            negative = -int32_t(bits.read(1));
        }
        if (p > 63)
            return finish(false);
        int32_t v = (((magnitude * scale * d.quant_matrix[p]) >> 3) - 1) | 1;
        const int32_t v_sign = v >> 31;
        v = (v ^ v_sign) - v_sign;  // products below 8 give -1: its magnitude 1
        coefficients[mpeg_zigzag[p]] = (v ^ negative) - negative;
        has_ac = true;
        ++p;
    }
}

mpeg_result mpeg_decode_picture(image destination, int32_t filter_rows)
{
    mpeg_decoder_state& d = mpeg_decoder;
    d.macroblock = 0;
    if (d.mb_total == 0)
        return mpeg_bad_header;
    if (d.mb_width * 16 > destination.width || d.mb_height * 16 > destination.height)
        return mpeg_too_large;
    const int32_t stride = destination.width;
    int32_t mb = 0;
    for (;;) {
        d.macroblock = mb;
        if (bits_peek(23) == 0) {
            if (mb >= d.mb_total)
                break;
            if (!next_start_code())
                return mpeg_bad_slice;
            const uint32_t code = bits_read(32);
            if (code < first_slice_code || code > last_slice_code)
                return mpeg_bad_slice;
            ++d.slices;
            d.quantiser_scale = int32_t(bits_read(5));
            while (bits_read1())
                bits_skip(8);  // extra information
            mb = int32_t(code - first_slice_code) * d.mb_width;
            d.macroblock = mb;
            d.dc_predictor[0] = d.dc_predictor[1] = d.dc_predictor[2] = 0;
        }
        if (mb >= d.mb_total)
            return mpeg_bad_slice;
        if (!bits_read1())
            return mpeg_bad_macroblock;  // address increment other than 1
        if (!bits_read1()) {
            if (!bits_read1())
                return mpeg_bad_macroblock;  // not an intra macroblock
            d.quantiser_scale = int32_t(bits_read(5));
        }
        for (int b = 0; b < 6; ++b) {
            if (!mpeg_decode_block(b))
                return mpeg_bad_block;
            int32_t* out = b < 4 ? d.luminance + (b >> 1) * 8 * 16 + (b & 1) * 8 : b == 4 ? d.cb : d.cr;
            const int32_t out_stride = b < 4 ? 16 : 8;
            if (d.block_has_ac) {
                idct_block(d.coefficients, out, out_stride);
            } else {
                // Only the DC coefficient: both passes give every sample the
                // same value (the odd terms and the rounding terms all vanish).
                const int32_t value = int32_t(sar(sar((uint32_t(d.coefficients[0]) << 12) + 16u, 5) + 512u, 10));
                for (int r = 0; r < 8; ++r)
                    for (int c = 0; c < 8; ++c)
                        out[r * out_stride + c] = value;
            }
        }
        const int32_t mb_x = mb % d.mb_width, mb_y = mb / d.mb_width;
        mpeg_convert_macroblock(destination.pixels + mb_y * 16 * stride + mb_x * 16, stride);
        if (d.planes)
            store_planes(mb_x, mb_y);
        ++mb;
    }
    smooth_block_edges(destination, filter_rows);
    return mpeg_finished;
}

void smooth_block_edges(image destination, int32_t filter_rows)
{
    const int32_t stride = destination.width;
    filter_rows = clamp(filter_rows, 0, destination.height);
    uint32_t* pixels = destination.pixels;
    for (int32_t y = 8; y < filter_rows; y += 8) {
        int32_t x = 0;
#if defined(__SSE2__)
        // Four pixels at a time by the same word rule: halves drop each
        // byte's low bit and the sums of halves never carry out of a byte.
        const __m128i mask = _mm_set1_epi32(0x7F7F7F);
        auto half4 = [mask](__m128i p) { return _mm_and_si128(_mm_srli_epi32(p, 1), mask); };
        for (; x + 4 <= stride; x += 4) {
            auto* above = reinterpret_cast<__m128i*>(pixels + (y - 1) * stride + x);
            auto* below = reinterpret_cast<__m128i*>(pixels + y * stride + x);
            const __m128i ha = half4(_mm_loadu_si128(above)), hb = half4(_mm_loadu_si128(below));
            const __m128i m = half4(_mm_add_epi32(ha, hb));
            _mm_storeu_si128(above, _mm_add_epi32(ha, m));
            _mm_storeu_si128(below, _mm_add_epi32(hb, m));
        }
#endif
        for (; x < stride; ++x) {
            uint32_t& a = pixels[(y - 1) * stride + x];
            uint32_t& b = pixels[y * stride + x];
            uint32_t m = half(half(a) + half(b));
            a = half(a) + m;
            b = half(b) + m;
        }
    }
    for (int32_t y = 0; y < filter_rows; ++y)
        for (int32_t x = 8; x < stride; x += 8) {
            uint32_t a = pixels[y * stride + x - 1];
            uint32_t& b = pixels[y * stride + x];
            b = half(b) + half(half(a) + half(b));
        }
}

mpeg_result decode_atlas_picture(const uint8_t* data, uint32_t size, image destination, int32_t filter_rows)
{
    mpeg_parse_headers(data, size);
    return mpeg_decode_picture(destination, filter_rows);
}
