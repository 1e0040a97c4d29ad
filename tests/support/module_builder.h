// Writes small tracker modules in memory for the music tests and benchmarks: header, instruments, patterns, raw PCM.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace module_builder {

// One channel entry of a pattern row; -1 leaves a group out.
struct cell {
    int channel = 0;
    int note = -1;  // with the note group: note (0 none, 1 to 96, 97 key off) and instrument
    int instrument = 0;
    int volume = -1;  // volume byte
    int effect = -1;  // effect number and parameter
    int parameter = 0;
};

inline cell note(int channel, int note, int instrument = 1) { return {channel, note, instrument, -1, -1, 0}; }
inline cell effect(int channel, int effect, int parameter) { return {channel, -1, 0, -1, effect, parameter}; }

struct pattern {
    std::vector<std::vector<cell>> rows;
    explicit pattern(uint32_t row_count = 64) : rows(row_count) {}
    pattern& at(uint32_t row, cell c)
    {
        rows[row].push_back(c);
        return *this;
    }
};

struct envelope {
    uint8_t last = 0, sustain = 255, loop_start = 0, loop_end = 255;
    std::vector<std::pair<uint16_t, uint16_t>> points;  // length in ticks, value
};

struct sample_header {
    uint32_t loop_start = 0, end = 0;
    uint8_t flags = 0, volume = 64, panning = 128;
    int16_t relative_pitch = 0;
    uint16_t sample_number = 0;
};

struct instrument {
    std::vector<sample_header> headers;
    uint8_t note_map[96] = {};
    uint16_t fadeout = 0;
    uint8_t vibrato_waveform = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;
    envelope volume{0, 255, 0, 255, {{0, 64}}};
    envelope panning{0, 255, 0, 255, {{0, 32}}};
};

struct module {
    uint32_t restart = 0, channels = 4, pattern_count = 0;
    uint8_t speed = 6, tempo = 125;
    uint16_t flags = 1;  // linear frequency mode
    int32_t lowest_period = -18432, highest_period = 24576;
    uint8_t panning[32];
    std::vector<uint8_t> orders{0};
    std::vector<pattern> patterns;
    std::vector<instrument> instruments;
    std::vector<std::vector<uint8_t>> sample_data;  // PCM bytes, indexed by sample number
    uint32_t delta_bytes = 0, delta_values = 0;

    module() { std::fill(std::begin(panning), std::end(panning), uint8_t(128)); }

    // An instrument of one sample of raw PCM; gives its instrument number.
    int add_sample_instrument(const std::vector<uint8_t>& pcm, sample_header header)
    {
        header.sample_number = uint16_t(sample_data.size());
        sample_data.push_back(pcm);
        instrument in;
        in.headers.push_back(header);
        instruments.push_back(in);
        return int(instruments.size());
    }

    std::vector<uint8_t> build() const
    {
        std::vector<uint8_t> m(10064, 0);
        auto put8 = [&](size_t at, uint32_t v) { m[at] = uint8_t(v); };
        auto put16 = [&](size_t at, uint32_t v) {
            m[at] = uint8_t(v);
            m[at + 1] = uint8_t(v >> 8);
        };
        auto put32 = [&](size_t at, uint32_t v) {
            for (int i = 0; i < 4; ++i)
                m[at + i] = uint8_t(v >> (8 * i));
        };
        std::memcpy(m.data(), "MXM", 4);
        put32(0x04, uint32_t(orders.size()));
        put32(0x08, restart);
        put32(0x0C, channels);
        put32(0x10, pattern_count ? pattern_count : uint32_t(patterns.size()));
        put32(0x14, uint32_t(instruments.size()));
        put8(0x18, speed);
        put8(0x19, tempo);
        put16(0x1A, flags);
        put32(0x20, delta_bytes);
        put32(0x24, delta_values);
        put32(0x28, uint32_t(lowest_period));
        put32(0x2C, uint32_t(highest_period));
        for (int c = 0; c < 32; ++c)
            put8(0x30 + c, panning[c]);
        for (size_t o = 0; o < orders.size(); ++o)
            put8(0x50 + o, orders[o]);
        for (size_t k = 0; k < instruments.size(); ++k) {
            const instrument& in = instruments[k];
            size_t at = m.size();
            put32(0x150 + 4 * k, uint32_t(at));
            m.resize(at + 256 + 16 * in.headers.size(), 0);
            put32(at, uint32_t(in.headers.size()));
            for (int s = 0; s < 96; ++s)
                put8(at + 4 + s, in.note_map[s]);
            put16(at + 0x64, in.fadeout);
            put8(at + 0x66, in.vibrato_waveform);
            put8(at + 0x67, in.vibrato_sweep);
            put8(at + 0x68, in.vibrato_depth);
            put8(at + 0x69, in.vibrato_rate);
            auto put_envelope = [&](size_t e, const envelope& env) {
                put8(e, env.last);
                put8(e + 1, env.sustain);
                put8(e + 2, env.loop_start);
                put8(e + 3, env.loop_end);
                for (size_t p = 0; p < env.points.size() && p < 12; ++p) {
                    put16(e + 4 + 4 * p, env.points[p].first);
                    put16(e + 6 + 4 * p, env.points[p].second);
                }
            };
            put_envelope(at + 0x6A, in.volume);
            put_envelope(at + 0x9E, in.panning);
            for (size_t h = 0; h < in.headers.size(); ++h) {
                const sample_header& sh = in.headers[h];
                size_t s = at + 256 + 16 * h;
                put32(s, sh.loop_start);
                put32(s + 4, sh.end);
                put8(s + 8, sh.flags);
                put8(s + 9, sh.volume);
                put8(s + 10, sh.panning);
                put16(s + 11, uint16_t(sh.relative_pitch));
                put16(s + 13, sh.sample_number);
            }
        }
        for (size_t p = 0; p < patterns.size(); ++p) {
            size_t at = m.size();
            put32(0x350 + 4 * p, uint32_t(at));
            m.resize(at + 4);
            put32(at, uint32_t(patterns[p].rows.size()));
            for (std::vector<cell> row : patterns[p].rows) {
                std::sort(row.begin(), row.end(), [](const cell& a, const cell& b) { return a.channel < b.channel; });
                for (const cell& c : row) {
                    uint8_t head = uint8_t(c.channel & 31);
                    if (c.note >= 0)
                        head |= 0x20;
                    if (c.volume >= 0)
                        head |= 0x40;
                    if (c.effect >= 0)
                        head |= 0x80;
                    m.push_back(head);
                    if (c.note >= 0) {
                        m.push_back(uint8_t(c.note));
                        m.push_back(uint8_t(c.instrument));
                    }
                    if (c.volume >= 0)
                        m.push_back(uint8_t(c.volume));
                    if (c.effect >= 0) {
                        m.push_back(uint8_t(c.effect));
                        m.push_back(uint8_t(c.parameter));
                    }
                }
                m.push_back(0);
            }
        }
        put32(0x1C, uint32_t(m.size()));  // the sample pool
        for (size_t s = 0; s < sample_data.size(); ++s) {
            put32(0x750 + 4 * s, uint32_t(m.size()));
            m.insert(m.end(), sample_data[s].begin(), sample_data[s].end());
        }
        return m;
    }
};

}  // namespace module_builder
