// How the rendered song sounds, by numbers: spectral shares, centroid, width,
// clicks, repeats and the ending, over 16-bit stereo at 44,100 frames a second.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

struct song_measures {
    double below_60 = 0, below_250 = 0, above_2k = 0, above_6k = 0;  // shares of the power
    double median_centroid = 0;      // Hz, power-weighted, of the 1 s windows (those over -50 dBFS)
    double correlation = 0;          // left against right, mean over the 1 s windows
    double mono_loss_db = 0;         // power of (L + R) / 2 under the mean power of L and R
    std::vector<double> clicks;      // seconds
    std::vector<double> ending_db;   // RMS in dBFS of the 30 windows of 100 ms that make the last 3 s
    int near_twins = 0, identical = 0;  // 64-row blocks with a twin of similarity >= 0.90, and >= 0.9999
};

namespace song_measure_detail {

inline void fft(std::vector<std::complex<double>>& a)
{
    size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        std::complex<double> w = std::polar(1.0, -2 * M_PI / double(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> z = 1;
            for (size_t k = 0; k < len / 2; ++k, z *= w) {
                auto u = a[i + k], v = a[i + k + len / 2] * z;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

}  // namespace song_measure_detail

// `block_starts`: the first frame of each 16-beat block (an order position)
// and, last, the end of the last one, for the repeat measure.
inline song_measures measure_song(const std::vector<int16_t>& pcm, const std::vector<double>& block_starts)
{
    using namespace song_measure_detail;
    constexpr size_t N = 4096;
    constexpr double rate = 44100, bin = rate / N;
    song_measures m;
    size_t frames = pcm.size() / 2, frames_n = frames / N;
    // Power spectra of 4096-frame Hann frames, left and right together.
    std::vector<std::vector<double>> spectra(frames_n, std::vector<double>(N / 2));
    std::vector<std::complex<double>> a(N);
    for (size_t f = 0; f < frames_n; ++f)
        for (int c = 0; c < 2; ++c) {
            for (size_t i = 0; i < N; ++i)
                a[i] = pcm[2 * (f * N + i) + c] * (0.5 - 0.5 * std::cos(2 * M_PI * double(i) / N));
            fft(a);
            for (size_t k = 0; k < N / 2; ++k)
                spectra[f][k] += std::norm(a[k]);
        }
    double total = 0, low60 = 0, low250 = 0, high2k = 0, high6k = 0;
    for (auto& s : spectra)
        for (size_t k = 1; k < N / 2; ++k) {
            double hz = k * bin;
            total += s[k];
            low60 += hz < 60 ? s[k] : 0;
            low250 += hz < 250 ? s[k] : 0;
            high2k += hz >= 2000 ? s[k] : 0;
            high6k += hz >= 6000 ? s[k] : 0;
        }
    m.below_60 = low60 / total, m.below_250 = low250 / total, m.above_2k = high2k / total, m.above_6k = high6k / total;
    // Centroid and correlation over 1 s windows (the centroid of the summed
    // power spectra of the frames inside).
    std::vector<double> centroids;
    double correlations = 0;
    int windows = 0;
    for (size_t w = 0; (w + 1) * 44100 <= frames; ++w) {
        double ll = 0, rr = 0, lr = 0;
        for (size_t i = w * 44100; i < (w + 1) * 44100; ++i) {
            double l = pcm[2 * i], r = pcm[2 * i + 1];
            ll += l * l, rr += r * r, lr += l * r;
        }
        if (ll + rr < 44100.0 * 2 * 100 * 100)  // under -50 dBFS: no opinion
            continue;
        correlations += lr / std::sqrt(ll * rr + 1e-9), ++windows;
        double sum = 0, weighted = 0;
        for (size_t k = 1; k < N / 2; ++k) {
            double p = 0;
            for (size_t f = w * 44100 / N; f < std::min(frames_n, (w + 1) * 44100 / N); ++f)
                p += spectra[f][k];
            sum += p, weighted += p * k * bin;
        }
        centroids.push_back(weighted / sum);
    }
    m.correlation = correlations / std::max(windows, 1);
    std::sort(centroids.begin(), centroids.end());
    m.median_centroid = centroids.empty() ? 0 : centroids[centroids.size() / 2];
    double stereo = 0, mono = 0;
    for (size_t i = 0; i < frames; ++i) {
        double l = pcm[2 * i], r = pcm[2 * i + 1];
        stereo += (l * l + r * r) / 2, mono += (l + r) * (l + r) / 4;
    }
    m.mono_loss_db = 10 * std::log10(stereo / mono);
    // Clicks: a second difference that stands out 10 times over the RMS of the
    // second differences of the 10 ms before and of the 10 ms after it (so
    // the start of a noisy drum does not count) and is at least 1.5 % of full
    // scale; detections within 10 ms are one click.
    double last = -1;
    constexpr size_t span = 441;
    for (int c = 0; c < 2; ++c) {
        std::vector<double> d(frames);
        for (size_t i = 2; i < frames; ++i)
            d[i] = double(pcm[2 * i + c]) - 2.0 * pcm[2 * (i - 1) + c] + pcm[2 * (i - 2) + c];
        std::vector<double> energy(frames + 1);  // running sum of d squared
        for (size_t i = 0; i < frames; ++i)
            energy[i + 1] = energy[i] + d[i] * d[i];
        for (size_t i = span + 2; i + span + 3 < frames; ++i) {
            if (std::fabs(d[i]) < 0.015 * 32768)
                continue;
            double before = std::sqrt((energy[i - 1] - energy[i - 1 - span]) / span);
            double after = std::sqrt((energy[i + 3 + span] - energy[i + 3]) / span);
            if (std::fabs(d[i]) > 10 * std::max(before, after) && i / rate > last + 0.01) {
                m.clicks.push_back(i / rate);
                last = i / rate;
            }
        }
        if (c == 0)
            last = -1;
    }
    std::sort(m.clicks.begin(), m.clicks.end());
    m.clicks.erase(std::unique(m.clicks.begin(), m.clicks.end(), [](double x, double y) { return y - x < 0.01; }),
                   m.clicks.end());
    auto rms_db = [&](size_t from, size_t n) {
        double s = 0;
        for (size_t i = from; i < from + n; ++i)
            s += (double(pcm[2 * i]) * pcm[2 * i] + double(pcm[2 * i + 1]) * pcm[2 * i + 1]) / 2;
        return 10 * std::log10(s / n / 32768.0 / 32768.0 + 1e-12);
    };
    for (size_t w = 30; w > 0; --w)
        m.ending_db.push_back(rms_db(frames - w * 4410, 4410));
    // Repeats: each 64-row block as a sequence of 16 steps of 24 log-spaced
    // band levels (dB, 60 Hz to 16 kHz); two blocks are twins when the
    // correlation of their sequences is at least 0.90.
    std::vector<std::vector<double>> blocks;
    for (size_t i = 0; i + 1 < block_starts.size(); ++i) {
        double start = block_starts[i], block_frames = block_starts[i + 1] - start;
        std::vector<double> v;
        for (int step = 0; step < 16; ++step) {
            size_t from = size_t((start + step * block_frames / 16) / N), to = size_t((start + (step + 1) * block_frames / 16) / N);
            for (int b = 0; b < 24; ++b) {
                double lo = 60 * std::pow(16000.0 / 60, b / 24.0), hi = 60 * std::pow(16000.0 / 60, (b + 1) / 24.0);
                double p = 1;
                for (size_t f = from; f < to && f < frames_n; ++f)
                    for (size_t k = size_t(lo / bin); k < size_t(hi / bin) + 1; ++k)
                        p += spectra[f][k];
                v.push_back(10 * std::log10(p));
            }
        }
        blocks.push_back(v);
    }
    auto similarity = [](const std::vector<double>& x, const std::vector<double>& y) {
        double mx = 0, my = 0;
        for (size_t i = 0; i < x.size(); ++i)
            mx += x[i] / x.size(), my += y[i] / y.size();
        double xy = 0, xx = 0, yy = 0;
        for (size_t i = 0; i < x.size(); ++i)
            xy += (x[i] - mx) * (y[i] - my), xx += (x[i] - mx) * (x[i] - mx), yy += (y[i] - my) * (y[i] - my);
        return xy / std::sqrt(xx * yy + 1e-12);
    };
    for (size_t i = 0; i < blocks.size(); ++i) {
        double best = -1;
        for (size_t j = 0; j < blocks.size(); ++j)
            if (j != i)
                best = std::max(best, similarity(blocks[i], blocks[j]));
        m.near_twins += best >= 0.90;
        m.identical += best >= 0.9999;
    }
    return m;
}
