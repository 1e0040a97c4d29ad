// The MPEG-1 intra-picture encoder that makes atlas streams, and the decoding helper of the tools (portable; tools only).
#include "tools/picture/mpeg1_encoder.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "atlas/bit_reader.h"
#include "atlas/mpeg1_decoder.h"
#include "atlas/mpeg1_tables.h"

namespace {

class bit_writer {
public:
    void put(uint32_t value, int length)
    {
        for (int i = length - 1; i >= 0; --i) {
            accumulator_ = (accumulator_ << 1) | ((value >> i) & 1);
            if (++filled_ == 8) {
                bytes_.push_back(uint8_t(accumulator_));
                accumulator_ = 0;
                filled_ = 0;
            }
        }
    }
    void put_code(const mpeg_vlc_code& code) { put(code.bits, code.length); }
    // Zero bits up to the next byte, then the 32-bit start code.
    void start_code(uint32_t code)
    {
        align();
        put(code, 32);
    }
    void align()
    {
        while (filled_)
            put(0, 1);
    }
    std::vector<uint8_t>& bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    uint32_t accumulator_ = 0;
    int filled_ = 0;
};

// Inverse of the decoder's colour conversion (R = Y + 1.40198 Cr,
// G = Y - 0.34375 Cb - 0.71411 Cr, B = Y + 1.77197 Cb), so that the
// decoded colours come as close to the source as the format allows.
struct colour_matrix {
    double m[3][3];
};

colour_matrix rgb_to_ycc()
{
    const double a[3][3] = {{1, 0, 1.40198}, {1, -0.34375, -0.71411}, {1, 1.77197, 0}};
    double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                 a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    colour_matrix inv{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            inv.m[r][c] = (a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1]) / det;
        }
    return inv;  // rows: Y, Cb, Cr from (R, G, B)
}

struct dct_basis {
    double c[8][8];  // c[u][x] = C(u)/2 cos((2x + 1) u pi / 16)
    dct_basis()
    {
        for (int u = 0; u < 8; ++u)
            for (int x = 0; x < 8; ++x)
                c[u][x] = (u == 0 ? std::sqrt(0.5) : 1.0) * 0.5 * std::cos((2 * x + 1) * u * M_PI / 16);
    }
};

// The exact forward DCT of the standard: coefficient 0 is 8 x the mean.
void forward_dct(const double samples[64], double out[64])
{
    static const dct_basis basis;
    double temp[64];
    for (int y = 0; y < 8; ++y)
        for (int u = 0; u < 8; ++u) {
            double s = 0;
            for (int x = 0; x < 8; ++x)
                s += basis.c[u][x] * samples[y * 8 + x];
            temp[y * 8 + u] = s;
        }
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double s = 0;
            for (int y = 0; y < 8; ++y)
                s += basis.c[v][y] * temp[y * 8 + u];
            out[v * 8 + u] = s;
        }
}

// The decoder's reconstruction of a level's magnitude.
int32_t reconstruct(int32_t magnitude, int qscale, int weight)
{
    if (magnitude == 0)
        return 0;
    int32_t v = (((magnitude * qscale * weight) >> 3) - 1) | 1;
    return v < 0 ? -v : v;
}

// The level whose reconstruction is nearest to the coefficient.
int32_t quantise(double coefficient, int qscale, int weight)
{
    double magnitude = std::fabs(coefficient);
    int32_t guess = std::min(int32_t(magnitude * 8 / (qscale * weight)), 254);  // levels stop at 255
    int32_t best = 0;
    double best_error = magnitude;
    for (int32_t candidate = std::max(1, guess - 1); candidate <= guess + 1 && candidate <= 255; ++candidate) {
        double error = std::fabs(magnitude - reconstruct(candidate, qscale, weight));
        if (error < best_error) {
            best_error = error;
            best = candidate;
        }
    }
    return coefficient < 0 ? -best : best;
}

// The samples the decoder makes of a block's levels.
void decode_block(const int32_t levels[64], int qscale, int32_t out[64])
{
    int32_t coefficients[64];
    coefficients[0] = levels[0] * 8;
    for (int p = 1; p < 64; ++p) {
        int32_t level = levels[mpeg_zigzag[p]];
        int32_t v = reconstruct(std::abs(level), qscale, mpeg_default_intra_matrix[p]);
        coefficients[mpeg_zigzag[p]] = level < 0 ? -v : v;
    }
    idct_column_pass(coefficients);
    idct_row_pass(coefficients, out, 8);
}

// The centred luminance that brings a pixel's red, green and blue nearest
// to the source (least squares over the channels that do not clip), given
// the decoded chroma; `fallback` where every channel clips.
double best_luminance(uint32_t pixel, int32_t cb, int32_t cr, double fallback)
{
    cb = std::clamp(cb, -512, 511);
    cr = std::clamp(cr, -512, 511);
    const int32_t terms[3] = {(11485 * cr) >> 13, ((-11 * cb) >> 5) + ((-2925 * cr) >> 12), (3629 * cb) >> 11};
    const double source[3] = {double((pixel >> 16) & 255), double((pixel >> 8) & 255), double(pixel & 255)};
    // Start from the plain mean, then leave out channels whose source sits at
    // 0 or 255 and which the mean already pushes past that end.
    double sum = 0;
    for (int c = 0; c < 3; ++c)
        sum += source[c] - 128 - terms[c];
    double y = sum / 3;
    for (int pass = 0; pass < 2; ++pass) {
        double s = 0;
        int n = 0;
        for (int c = 0; c < 3; ++c) {
            double value = y + 128 + terms[c];
            bool clipped = (source[c] >= 255 && value >= 255) || (source[c] <= 0 && value <= 0);
            if (!clipped) {
                s += source[c] - 128 - terms[c];
                ++n;
            }
        }
        if (n == 0)
            return fallback;
        y = s / n;
    }
    return y;
}

class block_coder {
public:
    block_coder()
    {
        for (const mpeg_vlc_code& code : mpeg_dct_coeff_codes)
            if (code.run < 64)
                run_level_[{code.run, code.value}] = code;
    }

    // Writes one block: DC difference against `predictor`, then the AC levels in scan order.
    void write(bit_writer& out, const int32_t levels[64], int component, int32_t& predictor) const
    {
        int32_t difference = levels[0] - predictor;
        predictor = levels[0];
        int size = 0;
        for (int32_t magnitude = std::abs(difference); magnitude; magnitude >>= 1)
            ++size;
        out.put_code(component == 0 ? mpeg_dc_size_luminance_codes[size] : mpeg_dc_size_chrominance_codes[size]);
        if (size)
            out.put(uint32_t(difference > 0 ? difference : difference + (1 << size) - 1), size);

        int run = 0;
        for (int p = 1; p < 64; ++p) {
            int32_t level = levels[mpeg_zigzag[p]];
            if (level == 0) {
                ++run;
                continue;
            }
            auto found = run_level_.find({run, std::abs(level)});
            if (found != run_level_.end()) {
                out.put_code(found->second);
                out.put(level < 0, 1);
            } else {
                out.put_code(mpeg_dct_coeff_codes[mpeg_dct_coeff_code_count - 2]);  // escape
                out.put(uint32_t(run), 6);
                if (level >= -127 && level <= 127)
                    out.put(uint32_t(level) & 0xFF, 8);
                else if (level > 0)
                    out.put(uint32_t(level), 16);  // 0x00 then 128..255
                else
                    out.put(0x8000u | uint32_t(level + 256), 16);  // 0x80 then level + 256
            }
            run = 0;
        }
        out.put_code(mpeg_dct_coeff_codes[mpeg_dct_coeff_code_count - 1]);  // end of block
    }

private:
    std::map<std::pair<int, int>, mpeg_vlc_code> run_level_;
};

// Quantised levels of one 8 x 8 block of centred samples, natural order;
// levels[0] is the DC value (the decoder's predictor after this block).
void quantise_block(const double samples[64], int qscale, int32_t levels[64])
{
    double coefficients[64];
    forward_dct(samples, coefficients);
    levels[0] = std::clamp(int32_t(std::lround(coefficients[0] / 8)), -128, 127);
    for (int p = 1; p < 64; ++p) {
        int natural = mpeg_zigzag[p];
        levels[natural] = quantise(coefficients[natural], qscale, mpeg_default_intra_matrix[p]);
    }
}

}  // namespace

bool encode_intra_picture(const picture& pic, int qscale, std::vector<uint8_t>* stream, std::string* error)
{
    if (pic.width <= 0 || pic.height <= 0 || pic.width % 16 || pic.height % 16 || pic.width > 4080 ||
        pic.height > 4080) {
        *error = "the picture is " + std::to_string(pic.width) + " x " + std::to_string(pic.height) +
                 "; its sides must be multiples of 16 from 16 to 4080";
        return false;
    }
    if (qscale < 1 || qscale > 31) {
        *error = "the quantiser scale must be 1 to 31";
        return false;
    }
    const int width = pic.width, height = pic.height;
    const colour_matrix to_ycc = rgb_to_ycc();
    // Centred planes: luminance at full size, chroma averaged over 2 x 2.
    std::vector<double> luma(size_t(width) * height), cb(size_t(width / 2) * (height / 2)),
        cr(size_t(width / 2) * (height / 2));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t p = pic.pixels[size_t(y) * width + x];
            double rgb[3] = {double((p >> 16) & 255), double((p >> 8) & 255), double(p & 255)};
            double ycc[3];
            for (int r = 0; r < 3; ++r)
                ycc[r] = to_ycc.m[r][0] * rgb[0] + to_ycc.m[r][1] * rgb[1] + to_ycc.m[r][2] * rgb[2];
            luma[size_t(y) * width + x] = ycc[0] - 128;
            size_t c = size_t(y / 2) * (width / 2) + x / 2;
            cb[c] += ycc[1] / 4;
            cr[c] += ycc[2] / 4;
        }

    bit_writer out;
    out.start_code(0x000001B3);  // sequence header
    out.put(uint32_t(width), 12);
    out.put(uint32_t(height), 12);
    out.put(1, 4);        // aspect ratio code: square pixels
    out.put(3, 4);        // picture rate code: 25 per second
    out.put(0x3FFFF, 18); // bit rate: variable
    out.put(1, 1);        // marker
    out.put(20, 10);      // VBV buffer size
    out.put(1, 1);        // constrained parameters
    out.put(0, 1);        // default intra matrix
    out.put(0, 1);        // default non-intra matrix
    out.start_code(0x000001B8);  // group of pictures
    out.put(0, 1);               // drop frame
    out.put(0, 5);               // hours
    out.put(0, 6);               // minutes
    out.put(1, 1);               // marker
    out.put(0, 6);               // seconds
    out.put(0, 6);               // pictures
    out.put(1, 1);               // closed GOP
    out.put(0, 1);               // broken link
    out.start_code(0x00000100);  // picture
    out.put(0, 10);              // temporal reference
    out.put(1, 3);               // I picture
    out.put(0xFFFF, 16);         // VBV delay: variable
    out.put(0, 1);               // no extra information
    out.start_code(0x00000101);  // the one slice, first macroblock row
    out.put(uint32_t(qscale), 5);
    out.put(0, 1);  // no extra information

    static const block_coder coder;
    int32_t predictors[3] = {0, 0, 0};
    const int mb_width = width / 16, mb_height = height / 16;
    for (int mb_y = 0; mb_y < mb_height; ++mb_y)
        for (int mb_x = 0; mb_x < mb_width; ++mb_x) {
            // Chroma first: once its decoded values are known, each luminance
            // sample is chosen to bring red, green and blue nearest the source.
            int32_t levels[6][64];
            int32_t decoded_chroma[2][64];
            for (int k = 0; k < 2; ++k) {
                double samples[64];
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x) {
                        size_t at = size_t(mb_y * 8 + y) * (width / 2) + mb_x * 8 + x;
                        samples[y * 8 + x] = k == 0 ? cb[at] : cr[at];
                    }
                quantise_block(samples, qscale, levels[4 + k]);
                decode_block(levels[4 + k], qscale, decoded_chroma[k]);
            }
            for (int b = 0; b < 4; ++b) {
                double samples[64];
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x) {
                        int py = mb_y * 16 + (b >> 1) * 8 + y, px = mb_x * 16 + (b & 1) * 8 + x;
                        int chroma = ((b >> 1) * 4 + y / 2) * 8 + (b & 1) * 4 + x / 2;
                        samples[y * 8 + x] = best_luminance(pic.pixels[size_t(py) * width + px],
                                                            decoded_chroma[0][chroma], decoded_chroma[1][chroma],
                                                            luma[size_t(py) * width + px]);
                    }
                quantise_block(samples, qscale, levels[b]);
            }
            out.put(1, 1);  // address increment 1
            out.put(1, 1);  // intra, no quantiser change
            for (int b = 0; b < 6; ++b) {
                int component = b < 4 ? 0 : b - 3;
                coder.write(out, levels[b], component, predictors[component]);
            }
        }
    out.start_code(0x000001B7);  // sequence end
    *stream = std::move(out.bytes());
    return true;
}

bool decode_intra_picture(const std::vector<uint8_t>& stream, int filter_rows, picture* pic,
                          std::vector<uint8_t>* planes, std::string* error)
{
    if (stream.size() > bit_reader_max_size) {
        *error = "the stream is too large (" + std::to_string(stream.size()) + " bytes)";
        return false;
    }
    mpeg_parse_headers(stream.data(), uint32_t(stream.size()));
    const mpeg_decoder_state& d = mpeg_decoder;
    if (d.mb_total == 0) {
        if (d.picture_width == 0 && d.picture_height == 0)
            *error = "not an MPEG-1 intra picture (no sequence and I-picture header)";
        else if (d.mb_width == 0 || d.mb_height == 0)
            *error = "the picture has no pixels";
        else
            *error = "not an MPEG-1 intra picture (unsupported or damaged headers)";
        if (bits_exhausted())
            *error = "truncated stream: it ends before its first slice";
        return false;
    }
    const int full_width = d.mb_width * 16, full_height = d.mb_height * 16;
    std::vector<uint32_t> pixels(size_t(full_width) * full_height);
    std::vector<uint8_t> luma(size_t(full_width) * full_height), cb(luma.size() / 4), cr(luma.size() / 4);
    mpeg_sample_planes sample_planes{luma.data(), cb.data(), cr.data(), full_width, full_width / 2};
    mpeg_decoder.planes = &sample_planes;
    mpeg_result result = mpeg_decode_picture(image{full_width, full_height, pixels.data()}, filter_rows);
    mpeg_decoder.planes = nullptr;
    if (result != mpeg_finished) {
        std::string where = "macroblock " + std::to_string(d.macroblock) + " of " + std::to_string(d.mb_total);
        if (bits_exhausted())
            *error = "truncated stream: it ends inside " + where;
        else if (result == mpeg_bad_slice)
            *error = "malformed stream: no slice start code before " + where;
        else if (result == mpeg_bad_macroblock)
            *error = "unsupported stream: " + where + " is not an intra macroblock following the previous one";
        else
            *error = "malformed stream: a bad block in " + where;
        return false;
    }
    const int width = d.picture_width, height = d.picture_height;
    pic->width = width;
    pic->height = height;
    pic->pixels.resize(size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pic->pixels[size_t(y) * width + x] = 0xFF000000u | pixels[size_t(y) * full_width + x];
    if (planes) {
        planes->clear();
        const int chroma_width = (width + 1) / 2, chroma_height = (height + 1) / 2;
        for (int y = 0; y < height; ++y)
            planes->insert(planes->end(), luma.begin() + size_t(y) * full_width,
                           luma.begin() + size_t(y) * full_width + width);
        for (const std::vector<uint8_t>* plane : {&cb, &cr})
            for (int y = 0; y < chroma_height; ++y)
                planes->insert(planes->end(), plane->begin() + size_t(y) * (full_width / 2),
                               plane->begin() + size_t(y) * (full_width / 2) + chroma_width);
    }
    return true;
}

double picture_psnr(const picture& a, const picture& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size() && i < b.pixels.size(); ++i)
        for (int shift = 0; shift <= 16; shift += 8) {
            double d = double((a.pixels[i] >> shift) & 255) - double((b.pixels[i] >> shift) & 255);
            sum += d * d;
        }
    if (sum == 0)
        return 99;
    double mse = sum / (3.0 * double(a.pixels.size()));
    return 10 * std::log10(255.0 * 255.0 / mse);
}
