// The subband sample codec's encoder: analysis filter bank, class choice within a byte budget, packing (portable).
#include "tools/song/codec_encoder.h"

#include "base/memory.h"
#include "music/codec.h"

#include <cmath>
#include <cstring>

namespace {

// Classes 0 to 6 of the decoder's table; 7 (A, B and C) codes exactly like 6.
constexpr int class_count = 7;

// The decoder's output is 32 times the energy of its subband samples
// (the synthesis bank's filters are orthogonal with gain 32), so a squared
// error in the subbands costs 32 times as much in the decoded samples.
constexpr double synthesis_gain = 32.0;

// The default choice is the smallest stream whose decoded quality is within
// this many dB of the best the format reaches for the input: more bytes
// would improve it by less than anyone can hear.
constexpr double default_margin_db = 0.25;

struct encoder_work {
    uint32_t length = 0;        // decoded samples wanted (whole granules)
    uint32_t granules = 0;      // coded granules: length / 32 + 15
    uint32_t blocks = 0;
    double* signal = nullptr;   // the inputs laid out back to back
    double* subband = nullptr;  // granules x 32 analysis values
    double* distortion = nullptr;  // blocks x 32 x class_count squared errors
    uint8_t* choice = nullptr;     // blocks x 32 chosen classes
};

int block_granules(const encoder_work& work, uint32_t block)
{
    uint32_t left = work.granules - block * codec_block_granules;
    return left < uint32_t(codec_block_granules) ? int(left) : codec_block_granules;
}

uint32_t class_bytes(int kind, int n)
{
    return uint32_t(n * codec_classes[kind].bits + 7) / 8;
}

// The nearest value a class can give s: values stand for (q + 0.5) x 2^shift.
int quantise(double s, int kind)
{
    const codec_class c = codec_classes[kind];
    int top = (1 << (c.bits - 1)) - 1;
    double q = std::floor(s / double(1 << c.shift));
    if (q > top)
        return top;
    if (q < -top - 1)
        return -top - 1;
    return int(q);
}

double dequantise(int q, int kind)
{
    return (q + 0.5) * double(1 << codec_classes[kind].shift);
}

// s[g][k] = sum over 512 taps of the synthesis filter of band k times the
// input, read forwards where the synthesis writes backwards, and scaled by
// 1/32: the decoder then gives back x delayed by exactly 480 samples.
void analyse(encoder_work& work)
{
    static codec_state tables;
    build_codec_tables(&tables);
    auto* filter = static_cast<double*>(mem_alloc(32 * 512 * sizeof(double)));
    for (int k = 0; k < 32; ++k)
        for (int n = 0; n < 512; ++n) {
            int j = 511 - n;
            filter[k * 512 + n] = double(tables.window[j]) * double(tables.matrix[k][j % 64]) / synthesis_gain;
        }
    for (uint32_t g = 0; g < work.granules; ++g) {
        // Taps that fall before the start or after the end read silence.
        int64_t first = int64_t(g) * 32 - codec_delay_samples;
        int n_from = first < 0 ? int(-first) : 0;
        int64_t last = first + 511;
        int n_to = last >= int64_t(work.length) ? int(int64_t(work.length) - first) : 512;
        for (int k = 0; k < 32; ++k) {
            double sum = 0;
            const double* f = filter + k * 512;
            for (int n = n_from; n < n_to; ++n)
                sum += f[n] * work.signal[first + n];
            work.subband[size_t(g) * 32 + size_t(k)] = sum;
        }
    }
    mem_free(filter);
}

void measure_classes(encoder_work& work)
{
    for (uint32_t b = 0; b < work.blocks; ++b) {
        int n = block_granules(work, b);
        for (int k = 0; k < 32; ++k) {
            double* d = work.distortion + (size_t(b) * 32 + size_t(k)) * class_count;
            for (int kind = 0; kind < class_count; ++kind) {
                double sum = 0;
                for (int g = 0; g < n; ++g) {
                    double s = work.subband[(size_t(b) * codec_block_granules + size_t(g)) * 32 + size_t(k)];
                    double e = kind == 0 ? s : s - dequantise(quantise(s, kind), kind);
                    sum += e * e;
                }
                d[kind] = sum;
            }
        }
    }
}

// For a price `lambda` per byte, each subband of each block takes the class
// with the least squared error plus price (the fewer bytes on a tie).
// Gives the stream size and the summed subband error.
uint64_t choose_classes(encoder_work& work, double lambda, double* distortion)
{
    uint64_t size = 4 + uint64_t(work.blocks) * 12;
    double total = 0;
    for (uint32_t b = 0; b < work.blocks; ++b) {
        int n = block_granules(work, b);
        for (int k = 0; k < 32; ++k) {
            const double* d = work.distortion + (size_t(b) * 32 + size_t(k)) * class_count;
            int best = 0;
            double best_cost = d[0];
            for (int kind = 1; kind < class_count; ++kind) {
                double cost = d[kind] + lambda * class_bytes(kind, n);
                if (cost < best_cost || (cost == best_cost && class_bytes(kind, n) < class_bytes(best, n))) {
                    best = kind;
                    best_cost = cost;
                }
            }
            work.choice[size_t(b) * 32 + size_t(k)] = uint8_t(best);
            size += class_bytes(best, n);
            total += d[best];
        }
    }
    *distortion = total;
    return size;
}

// Spends bytes left under a hard limit on the upgrades that remove the most
// error per byte, one at a time.
uint64_t fill_budget(encoder_work& work, uint64_t size, uint64_t max_bytes)
{
    for (;;) {
        double best_gain = 0;
        size_t best_at = 0;
        int best_kind = -1;
        for (uint32_t b = 0; b < work.blocks; ++b) {
            int n = block_granules(work, b);
            for (int k = 0; k < 32; ++k) {
                size_t at = size_t(b) * 32 + size_t(k);
                const double* d = work.distortion + at * class_count;
                int now = work.choice[at];
                for (int kind = 0; kind < class_count; ++kind) {
                    if (class_bytes(kind, n) <= class_bytes(now, n) || d[kind] >= d[now])
                        continue;
                    uint32_t extra = class_bytes(kind, n) - class_bytes(now, n);
                    if (size + extra > max_bytes)
                        continue;
                    double gain = (d[now] - d[kind]) / extra;
                    if (gain > best_gain) {
                        best_gain = gain;
                        best_at = at;
                        best_kind = kind;
                    }
                }
            }
        }
        if (best_kind < 0)
            return size;
        int n = block_granules(work, uint32_t(best_at / 32));
        size += class_bytes(best_kind, n) - class_bytes(work.choice[best_at], n);
        work.choice[best_at] = uint8_t(best_kind);
    }
}

uint8_t* pack_stream(const encoder_work& work, uint32_t size)
{
    auto* stream = static_cast<uint8_t*>(mem_alloc(size));
    uint8_t* p = stream;
    auto put_u32 = [&p](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            *p++ = uint8_t(v >> (8 * i));
    };
    put_u32(work.granules);
    for (uint32_t b = 0; b < work.blocks; ++b) {
        int n = block_granules(work, b);
        const uint8_t* choice = work.choice + size_t(b) * 32;
        uint32_t masks[3] = {};
        for (int k = 0; k < 32; ++k)
            for (int m = 0; m < 3; ++m)
                masks[m] |= uint32_t(choice[k] >> (2 - m) & 1) << k;
        for (uint32_t m : masks)
            put_u32(m);
        for (int k = 0; k < 32; ++k) {
            int kind = choice[k];
            int bits = codec_classes[kind].bits;
            if (!bits)
                continue;
            uint32_t mask = (1u << bits) - 1;
            for (int g = 0; g < n; ++g) {
                double s = work.subband[(size_t(b) * codec_block_granules + size_t(g)) * 32 + size_t(k)];
                int bit = g * bits;
                p[bit / 8] |= uint8_t((uint32_t(quantise(s, kind)) & mask) << (8 - bits - bit % 8));
            }
            p += class_bytes(kind, n);
        }
    }
    return stream;
}

// The decoded quality of the current choice, measured by decoding it.
double decoded_snr_db(const encoder_work& work, uint32_t size, const float* original, uint8_t** stream)
{
    *stream = pack_stream(work, size);
    uint32_t samples = work.granules * 32 - codec_delay_samples;
    auto* decoded = static_cast<int8_t*>(mem_alloc(samples));
    auto* state = static_cast<codec_state*>(mem_alloc(sizeof(codec_state)));
    decode_sample_stream(state, *stream, decoded);
    double snr = codec_snr_db(original, decoded, work.length);
    mem_free(state);
    mem_free(decoded);
    return snr;
}

// The default: the best quality the format reaches (the finest choices,
// at a vanishing price per byte), then by bisection on the price's
// logarithm the smallest stream that stays within the margin of it.
double default_price(encoder_work& work, const float* original)
{
    double distortion = 0;
    double low = -6, high = 12;
    uint8_t* stream = nullptr;
    double best = decoded_snr_db(work, uint32_t(choose_classes(work, std::pow(10.0, low), &distortion)), original, &stream);
    mem_free(stream);
    if (!(best < INFINITY))  // coded exactly: nothing to trade
        return std::pow(10.0, low);
    for (int i = 0; i < 40; ++i) {
        double mid = (low + high) / 2;
        uint32_t size = uint32_t(choose_classes(work, std::pow(10.0, mid), &distortion));
        double snr = decoded_snr_db(work, size, original, &stream);
        mem_free(stream);
        (snr >= best - default_margin_db ? low : high) = mid;
    }
    return std::pow(10.0, low);
}

}  // namespace

uint64_t codec_layout(const codec_input* inputs, int count, uint32_t* starts)
{
    uint64_t at = 0;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            at += codec_input_gap;
        if (starts)
            starts[i] = uint32_t(at);
        at += (uint64_t(inputs[i].length) + 31) / 32 * 32;
        if (at > codec_max_samples)  // keeps the starts within 32 bits
            return at;
    }
    return at;
}

uint64_t codec_smallest_size(uint64_t samples)
{
    uint64_t granules = (samples + 31) / 32 + codec_min_granules;
    return 4 + (granules + codec_block_granules - 1) / codec_block_granules * 12;
}

double codec_snr_db(const float* original, const int8_t* decoded, uint32_t length)
{
    double signal = 0, noise = 0;
    for (uint32_t i = 0; i < length; ++i) {
        double e = double(original[i]) - decoded[i];
        signal += double(original[i]) * original[i];
        noise += e * e;
    }
    if (noise == 0)
        return INFINITY;
    return 10.0 * std::log10(signal / noise);
}

bool codec_encode(const codec_input* inputs, int count, uint32_t max_bytes, codec_encoding* result,
                  const char** error)
{
    *result = codec_encoding{};
    auto* starts = static_cast<uint32_t*>(mem_alloc(sizeof(uint32_t) * size_t(count > 0 ? count : 1)));
    encoder_work work;
    uint64_t length = count > 0 ? codec_layout(inputs, count, starts) : 0;
    if (length == 0 || length > codec_max_samples) {
        mem_free(starts);
        *error = length == 0 ? "there are no samples to code"
                             : "the samples are too long for one stream (at most 4,194,304)";
        return false;
    }
    work.length = uint32_t(length);
    work.granules = work.length / 32 + codec_min_granules;
    work.blocks = (work.granules + codec_block_granules - 1) / codec_block_granules;

    // The original, on the decoder's output grid, for analysis and for the SNR.
    auto* original = static_cast<float*>(mem_alloc(sizeof(float) * work.length));
    for (int i = 0; i < count; ++i)
        std::memcpy(original + starts[i], inputs[i].samples, sizeof(float) * inputs[i].length);
    mem_free(starts);
    work.signal = static_cast<double*>(mem_alloc(sizeof(double) * work.length));
    double energy = 0;
    for (uint32_t i = 0; i < work.length; ++i) {
        work.signal[i] = original[i];
        energy += work.signal[i] * work.signal[i];
    }
    work.subband = static_cast<double*>(mem_alloc(sizeof(double) * size_t(work.granules) * 32));
    work.distortion = static_cast<double*>(mem_alloc(sizeof(double) * size_t(work.blocks) * 32 * class_count));
    work.choice = static_cast<uint8_t*>(mem_alloc(size_t(work.blocks) * 32));
    analyse(work);
    measure_classes(work);

    uint64_t smallest = codec_smallest_size(work.length);
    bool fits = true;
    double distortion = 0;
    uint64_t size = 0;
    if (max_bytes == 0) {
        size = choose_classes(work, energy > 0 ? default_price(work, original) : 1e300, &distortion);
    } else if (max_bytes < smallest) {
        fits = false;
    } else {
        // The price per byte that just fits, by bisection on its logarithm.
        double low = -6, high = 12;  // log10 of the price
        if (choose_classes(work, std::pow(10.0, low), &distortion) > max_bytes) {
            for (int i = 0; i < 60; ++i) {
                double mid = (low + high) / 2;
                (choose_classes(work, std::pow(10.0, mid), &distortion) > max_bytes ? low : high) = mid;
            }
            size = choose_classes(work, std::pow(10.0, high), &distortion);
            if (size > max_bytes)  // even silence everywhere costs more
                size = choose_classes(work, 1e300, &distortion);
            size = fill_budget(work, size, max_bytes);
        } else {
            size = choose_classes(work, std::pow(10.0, low), &distortion);
        }
    }

    if (fits) {
        result->size = uint32_t(size);
        result->stream = pack_stream(work, result->size);
        result->granules = work.granules;
        result->samples = work.granules * 32 - codec_delay_samples;
        result->bits_per_sample = 8.0 * double(size) / double(result->samples);
        auto* decoded = static_cast<int8_t*>(mem_alloc(result->samples));
        auto* state = static_cast<codec_state*>(mem_alloc(sizeof(codec_state)));
        decode_sample_stream(state, result->stream, decoded);
        result->snr_db = codec_snr_db(original, decoded, work.length);
        mem_free(state);
        mem_free(decoded);
    } else {
        *error = "the byte limit is below the smallest stream (12 bytes per block of 16 granules, plus 4)";
    }
    mem_free(work.choice);
    mem_free(work.distortion);
    mem_free(work.subband);
    mem_free(work.signal);
    mem_free(original);
    return fits;
}
