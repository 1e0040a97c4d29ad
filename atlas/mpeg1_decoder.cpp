// The MPEG-1 intra-picture decoder that unpacks the texture atlas (portable).
#include "atlas/mpeg1_decoder.h"

#include "atlas/bit_reader.h"
#include "atlas/mpeg1_tables.h"

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

void convert_macroblock(uint32_t* out, int32_t stride)
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

bool mpeg_decode_block(int b)
{
    mpeg_decoder_state& d = mpeg_decoder;
    int32_t* coefficients = d.coefficients;
    for (int i = 0; i < 64; ++i)
        coefficients[i] = 0;

    const int k = b < 4 ? 0 : b - 3;
    const dc_size_entry dc = k == 0 ? dc_size_luminance(bits_peek(10)) : dc_size_chrominance(bits_peek(10));
    bits_skip(dc.length);
    int32_t difference = 0;
    if (dc.size) {
        difference = int32_t(bits_read(dc.size));
        if (!(difference & (1 << (dc.size - 1))))
            difference -= (1 << dc.size) - 1;
    }
    d.dc_predictor[k] = clamp(d.dc_predictor[k] + difference, -dc_predictor_limit, dc_predictor_limit);
    coefficients[0] = d.dc_predictor[k] * 8;

    int32_t p = 1;
    for (;;) {
        const uint32_t c = bits_peek(16);
        if (c < 16)
            return false;
        const dct_coeff_entry entry = dct_coeff_lookup(c);
        bits_skip(entry.length);
        int32_t level;
        if (entry.run == mpeg_run_end_of_block)
            return true;
        if (entry.run == mpeg_run_escape) {
            p += int32_t(bits_read(6));
            level = int8_t(bits_read(8));
            if (level == 0)
                level = int32_t(bits_read(8));
            else if (level == -128)
                level = int32_t(bits_read(8)) - 256;
        } else {
            p += entry.run;
            level = entry.level;
            if (bits_read1())
                level = -level;
        }
        if (p > 63)
            return false;
        const int32_t magnitude = level < 0 ? -level : level;
        int32_t v = (((magnitude * d.quantiser_scale * d.quant_matrix[p]) >> 3) - 1) | 1;
        if (v < 0)
            v = -v;  // products below 8 give 1
        coefficients[mpeg_zigzag[p]] = level < 0 ? -v : v;
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
            idct_column_pass(d.coefficients);
            if (b < 4)
                idct_row_pass(d.coefficients, d.luminance + (b >> 1) * 8 * 16 + (b & 1) * 8, 16);
            else
                idct_row_pass(d.coefficients, b == 4 ? d.cb : d.cr, 8);
        }
        const int32_t mb_x = mb % d.mb_width, mb_y = mb / d.mb_width;
        convert_macroblock(destination.pixels + mb_y * 16 * stride + mb_x * 16, stride);
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
    for (int32_t y = 8; y < filter_rows; y += 8)
        for (int32_t x = 0; x < stride; ++x) {
            uint32_t& a = pixels[(y - 1) * stride + x];
            uint32_t& b = pixels[y * stride + x];
            uint32_t m = half(half(a) + half(b));
            a = half(a) + m;
            b = half(b) + m;
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
