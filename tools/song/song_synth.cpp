// The song's instruments, synthesised from the parameters in content/song/instruments.txt (portable; tool side).
//
// Drums are one-shot sounds made at the rate they play at (note C-4 with the
// instrument's relative pitch).  Melodic instruments are loops of whole
// waveform cycles whose partials are all whole multiples of the loop's
// frequency, so every loop joins without a click; detuned voices become
// partials a few loop-frequencies apart, which gives a slow chorus.
#include "tools/song/song.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr size_t loop_head = 128;  // frames before a loop

struct parameters {
    const song_instrument& instrument;
    std::string* error;
    bool ok = true;

    double number(const std::string& key, double fallback)
    {
        auto it = instrument.synth.find(key);
        if (it == instrument.synth.end())
            return fallback;
        char* end = nullptr;
        double v = std::strtod(it->second.c_str(), &end);
        if (*end || !std::isfinite(v)) {
            *error = instrument.file + ":" + std::to_string(instrument.line) + ": instrument " + instrument.name +
                     ": " + key + " is not a number";
            ok = false;
            return fallback;
        }
        return v;
    }
};

// A small seeded generator, so the same parameters always give the same bytes.
struct noise_source {
    uint32_t state;
    double next()  // -1 .. 1
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return double(state) / 2147483648.0 - 1.0;
    }
};

// Scales to the 8-bit range with some headroom, with a gentle saturation for `drive` > 1.
std::vector<int8_t> to_pcm(const std::vector<double>& wave, double drive, double peak_level)
{
    double peak = 1e-9;
    for (double v : wave)
        peak = std::max(peak, std::fabs(v));
    std::vector<int8_t> pcm(wave.size());
    for (size_t i = 0; i < wave.size(); ++i) {
        double v = wave[i] / peak;
        if (drive > 1.0)
            v = std::tanh(v * drive) / std::tanh(drive);
        pcm[i] = int8_t(std::lround(std::clamp(v * peak_level, -127.0, 127.0)));
    }
    return pcm;
}

// Kick: a sine whose pitch falls fast from `start_hz` to `end_hz`, a short click on top.
std::vector<double> make_kick(parameters& p, int length, double rate)
{
    double start = p.number("start_hz", 160), end = p.number("end_hz", 48);
    double sweep = p.number("sweep_ms", 40) / 1000, decay = p.number("decay_ms", 260) / 1000;
    double click = p.number("click", 0.3);
    noise_source noise{0x1234567u};
    std::vector<double> w(static_cast<size_t>(length));
    double phase = 0;
    for (int i = 0; i < length; ++i) {
        double t = i / rate;
        double f = end + (start - end) * std::exp(-t / sweep);
        phase += 2 * pi * f / rate;
        double body = std::sin(phase) * std::exp(-t / decay);
        double tick = click * noise.next() * std::exp(-t / 0.003);
        w[size_t(i)] = body + tick;
    }
    return w;
}

// Snare: two damped drum-head tones and a band of noise with its own decay.
std::vector<double> make_snare(parameters& p, int length, double rate)
{
    double tone1 = p.number("tone1_hz", 185), tone2 = p.number("tone2_hz", 330);
    double tone_decay = p.number("tone_decay_ms", 60) / 1000, noise_decay = p.number("noise_decay_ms", 140) / 1000;
    double noise_level = p.number("noise", 0.8), brightness = p.number("brightness", 0.6);
    noise_source noise{0xBADC0DEu};
    std::vector<double> w(static_cast<size_t>(length));
    double low = 0, high_prev = 0;
    for (int i = 0; i < length; ++i) {
        double t = i / rate;
        double tones = (std::sin(2 * pi * tone1 * t) + 0.6 * std::sin(2 * pi * tone2 * t)) * std::exp(-t / tone_decay);
        double n = noise.next();
        low += (n - low) * brightness;  // one-pole low-pass: how bright the rattle is
        double band = low - high_prev * 0.7;
        high_prev = low;
        w[size_t(i)] = tones * 0.7 + noise_level * band * std::exp(-t / noise_decay);
    }
    return w;
}

// Hi-hat: high-passed noise with a fast decay.
std::vector<double> make_hat(parameters& p, int length, double rate)
{
    double decay = p.number("decay_ms", 35) / 1000;
    noise_source noise{0x5EEDu};
    std::vector<double> w(static_cast<size_t>(length));
    double prev = 0;
    for (int i = 0; i < length; ++i) {
        double n = noise.next();
        double high = n - prev;  // first difference: only the top of the spectrum stays
        prev = n;
        w[size_t(i)] = high * std::exp(-i / rate / decay);
    }
    return w;
}

// A loop of `cycles` cycles of `cycle` frames: `voices` detuned saws (each
// partial a whole multiple of the loop frequency), their harmonics rolled off
// above `bright` (the harmonic number where they are halved), plus a sine
// one octave down for weight.
std::vector<double> make_loop(parameters& p, int cycle, int cycles)
{
    int voices = int(p.number("voices", 1));
    double detune = p.number("detune_cycles", 1);  // spread, in loop frequencies
    double bright = p.number("bright", 8), sub = p.number("sub", 0), pulse = p.number("pulse", 0);
    int length = cycle * cycles;
    int harmonics = std::max(1, int(p.number("harmonics", cycle / 3)));
    std::vector<double> w(static_cast<size_t>(length), 0.0);
    for (int v = 0; v < voices; ++v) {
        double spread = voices > 1 ? (2.0 * v / (voices - 1) - 1.0) : 0.0;
        double phase0 = 2 * pi * (v * 0.37);
        for (int h = 1; h <= harmonics; ++h) {
            // Harmonic h of this voice, rounded to a whole number of loop periods.
            int m = int(std::lround(h * (cycles + spread * detune)));
            if (m <= 0 || m >= length / 2)
                continue;
            double amplitude = 1.0 / h / (1.0 + std::pow(h / bright, 2));
            if (pulse > 0 && h % 2 == 0)
                amplitude *= 1.0 - pulse;  // hollower, towards a square
            for (int i = 0; i < length; ++i)
                w[size_t(i)] += amplitude * std::sin(2 * pi * m * double(i) / length + phase0 * h);
        }
    }
    if (sub > 0 && cycles % 2 == 0)
        for (int i = 0; i < length; ++i)
            w[size_t(i)] += sub * std::sin(2 * pi * (cycles / 2) * double(i) / length);
    return w;
}

}  // namespace

bool song_synthesise(const song_instrument& instrument, song_sample* sample, std::string* error)
{
    parameters p{instrument, error};
    auto kind = instrument.synth.find("kind");
    if (kind == instrument.synth.end()) {
        *error = instrument.file + ":" + std::to_string(instrument.line) + ": instrument " + instrument.name +
                 " has no kind";
        return false;
    }
    double rate = p.number("rate", 16710);
    double level = p.number("level", 120), drive = p.number("drive", 1);
    std::vector<double> wave;
    *sample = song_sample{};
    if (kind->second == "kick" || kind->second == "snare" || kind->second == "hat") {
        int length = int(p.number("length", 4000)), attack = int(p.number("attack", 16));
        if (length < 16 || length > 32768) {
            *error = instrument.file + ": instrument " + instrument.name + ": length must be 16 to 32768";
            return false;
        }
        wave = kind->second == "kick"    ? make_kick(p, length, rate)
               : kind->second == "snare" ? make_snare(p, length, rate)
                                         : make_hat(p, length, rate);
        // The first frames rise from silence and the last fade to it, so the
        // one-shot starts and ends without a click.
        for (int i = 0; i < 64 && i < length; ++i) {
            wave[size_t(length - 1 - i)] *= i / 64.0;
            if (i < attack)
                wave[size_t(i)] *= double(i) / attack;
        }
    } else if (kind->second == "loop") {
        int cycle = int(p.number("cycle", 128)), cycles = int(p.number("cycles", 16));
        if (cycle < 8 || cycles < 1 || cycle * cycles > 32768) {
            *error = instrument.file + ": instrument " + instrument.name + ": cycle x cycles must be 8 to 32768";
            return false;
        }
        // The loop follows a head that rises from silence, so a note starts
        // without a click.
        std::vector<double> loop = make_loop(p, cycle, cycles);
        size_t length = loop.size();
        wave.resize(loop_head + length);
        for (size_t i = 0; i < wave.size(); ++i)
            wave[i] = loop[i % length] * std::min(1.0, double(i) / loop_head);
        sample->loop_mode = 1;
        sample->loop_start = loop_head;
        sample->loop_end = uint32_t(loop_head + length);
    } else {
        *error = instrument.file + ":" + std::to_string(instrument.line) + ": instrument " + instrument.name +
                 ": unknown kind '" + kind->second + "' (kick, snare, hat or loop)";
        return false;
    }
    if (!p.ok)
        return false;
    sample->pcm = to_pcm(wave, drive, level);
    return true;
}

std::vector<float> song_codec_input(const song_sample& sample)
{
    std::vector<float> input(sample.pcm.begin(), sample.pcm.end());
    if (sample.loop_mode == 1 && sample.loop_end == input.size() && sample.loop_start < sample.loop_end)
        for (uint32_t i = 0; i < song_loop_coded_tail; ++i) {
            float fade = std::min(1.0f, float(song_loop_coded_tail - i) / 64);
            input.push_back(float(sample.pcm[sample.loop_start + i % (sample.loop_end - sample.loop_start)]) * fade);
        }
    return input;
}
