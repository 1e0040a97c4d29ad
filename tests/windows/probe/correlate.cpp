// correlate REFERENCE.raw PLAYED.raw SECONDS: both 16-bit stereo at 44,100 Hz.
// Finds where REFERENCE's start lies in PLAYED and prints the correlation of
// the next SECONDS of the two (both channels), with that offset.  Status 1
// when the files are too short.  A host tool of the Windows sound test.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

static std::vector<int16_t> read_all(const char* path)
{
    std::vector<int16_t> samples;
    if (FILE* f = std::fopen(path, "rb")) {
        int16_t chunk[8192];
        size_t n;
        while ((n = std::fread(chunk, 2, 8192, f)) > 0)
            samples.insert(samples.end(), chunk, chunk + n);
        std::fclose(f);
    }
    return samples;
}

// Mono, averaged over blocks of `step` frames.
static std::vector<double> coarse(const std::vector<int16_t>& s, size_t step)
{
    std::vector<double> out(s.size() / 2 / step);
    for (size_t i = 0; i < out.size(); ++i) {
        double sum = 0;
        for (size_t k = 0; k < step; ++k)
            sum += s[2 * (i * step + k)] + s[2 * (i * step + k) + 1];
        out[i] = sum;
    }
    return out;
}

static double pearson(const int16_t* a, const int16_t* b, size_t n)
{
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (size_t i = 0; i < n; ++i) {
        sa += a[i], sb += b[i], saa += double(a[i]) * a[i], sbb += double(b[i]) * b[i], sab += double(a[i]) * b[i];
    }
    double cov = sab - sa * sb / n, va = saa - sa * sa / n, vb = sbb - sb * sb / n;
    return va > 0 && vb > 0 ? cov / std::sqrt(va * vb) : 0;
}

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    std::vector<int16_t> ref = read_all(argv[1]), played = read_all(argv[2]);
    size_t frames = size_t(std::atof(argv[3]) * 44100);
    if (ref.size() < 2 * frames || played.size() < 2 * frames)
        return 1;
    // Coarse search for the offset (blocks of 16 frames, a 2 s window), then exact.
    const size_t step = 16, window = 2 * 44100 / step;
    std::vector<double> a = coarse(ref, step), b = coarse(played, step);
    size_t best = 0;
    double best_score = -1e300;
    for (size_t lag = 0; lag + window <= b.size() && lag * step * 2 + 2 * frames <= played.size(); ++lag) {
        double dot = 0, energy = 0;
        for (size_t i = 0; i < window; ++i)
            dot += a[i] * b[lag + i], energy += b[lag + i] * b[lag + i];
        double score = energy > 0 ? dot / std::sqrt(energy) : 0;
        if (score > best_score)
            best_score = score, best = lag;
    }
    double r = -2;
    size_t offset = 0;
    for (size_t fine = best * step > step ? best * step - step : 0; fine <= best * step + step; ++fine) {
        if (2 * (fine + frames) > played.size())
            break;
        double c = pearson(ref.data(), played.data() + 2 * fine, 2 * frames);
        if (c > r)
            r = c, offset = fine;
    }
    std::printf("%.6f %zu\n", r, offset);
    return 0;
}
