// Writing the song as a module: header, instruments, patterns, the sample pool's first byte (portable; tool side).
#include "tools/song/song.h"

#include <cstring>

namespace {

constexpr uint32_t header_size = 0x2750;

void put16(std::vector<uint8_t>& m, size_t at, uint32_t v)
{
    m[at] = uint8_t(v);
    m[at + 1] = uint8_t(v >> 8);
}

void put32(std::vector<uint8_t>& m, size_t at, uint32_t v)
{
    put16(m, at, v & 0xFFFF);
    put16(m, at + 2, v >> 16);
}

// The module keeps an envelope as its last point's index, sustain, loop and
// 12 points of (segment length to the next point, value).
void put_envelope(std::vector<uint8_t>& m, size_t at, const song_envelope& e, int neutral)
{
    if (e.points.empty()) {
        m[at] = 0;
        m[at + 1] = 255;
        m[at + 2] = 0;
        m[at + 3] = 255;
        put16(m, at + 4, 0);
        put16(m, at + 6, uint32_t(neutral));
        return;
    }
    m[at] = uint8_t(e.points.size() - 1);
    m[at + 1] = uint8_t(e.sustain);
    m[at + 2] = uint8_t(e.loop_start);
    m[at + 3] = uint8_t(e.loop_end);
    for (size_t p = 0; p < e.points.size(); ++p) {
        uint32_t length = p + 1 < e.points.size() ? uint32_t(e.points[p + 1].first - e.points[p].first) : 0;
        put16(m, at + 4 + 4 * p, length);
        put16(m, at + 6 + 4 * p, uint32_t(e.points[p].second));
    }
}

void append_pattern(std::vector<uint8_t>& m, const song_pattern& pattern, int channels)
{
    size_t count_at = m.size();
    m.resize(m.size() + 4);
    put32(m, count_at, uint32_t(pattern.rows));
    for (int r = 0; r < pattern.rows; ++r) {
        for (int c = 0; c < channels; ++c) {
            const song_cell& cell = pattern.cells[size_t(r) * channels + c];
            uint8_t head = uint8_t(c);
            if (cell.note || cell.instrument)
                head |= 0x20;
            if (cell.volume)
                head |= 0x40;
            if (cell.effect != song_no_effect)
                head |= 0x80;
            if (head == c)
                continue;  // an empty cell is left out
            m.push_back(head);
            if (head & 0x20) {
                m.push_back(cell.note);
                m.push_back(cell.instrument);
            }
            if (head & 0x40)
                m.push_back(cell.volume);
            if (head & 0x80) {
                m.push_back(cell.effect);
                m.push_back(cell.parameter);
            }
        }
        m.push_back(0);
    }
}

}  // namespace

std::vector<uint8_t> song_write_module(const song_source& song, const std::vector<song_sample>& samples,
                                       const std::vector<uint32_t>& pcm_starts, const std::vector<uint8_t>* raw_pcm)
{
    std::vector<uint8_t> m(header_size, 0);
    std::memcpy(m.data(), "MXM", 4);
    put32(m, 0x04, uint32_t(song.orders.size()));
    put32(m, 0x08, uint32_t(song.restart));
    put32(m, 0x0C, uint32_t(song.channels));
    put32(m, 0x10, uint32_t(song.patterns.size()));
    put32(m, 0x14, uint32_t(song.instruments.size()));
    m[0x18] = uint8_t(song.speed);
    m[0x19] = uint8_t(song.tempo);
    put16(m, 0x1A, song.linear ? 1 : 0);
    // lowest and highest period: nine octaves around note 49 in linear mode
    put32(m, 0x28, uint32_t(int32_t(song.lowest_period)));
    put32(m, 0x2C, uint32_t(int32_t(song.highest_period)));
    for (int c = 0; c < song_max_channels; ++c)
        m[0x30 + c] = uint8_t(song.panning[c]);
    for (size_t o = 0; o < song.orders.size(); ++o)
        m[0x50 + o] = uint8_t(song.orders[o]);

    for (size_t i = 0; i < song.instruments.size(); ++i) {
        const song_instrument& in = song.instruments[i];
        std::vector<song_instrument_sample> headers = in.sample_headers;
        if (!in.mapped)
            headers = {{int(i), in.volume, in.panning, in.relative_pitch}};
        size_t at = m.size();
        put32(m, 0x150 + 4 * i, uint32_t(at));
        m.resize(at + 0x100 + 16 * headers.size(), 0);
        put32(m, at, uint32_t(headers.size()));
        if (in.mapped)
            std::memcpy(&m[at + 4], in.note_map, 96);  // otherwise every note maps to header 0
        put16(m, at + 0x64, uint32_t(in.fadeout));
        m[at + 0x66] = uint8_t(in.vibrato_waveform);
        m[at + 0x67] = uint8_t(in.vibrato_sweep);
        m[at + 0x68] = uint8_t(in.vibrato_depth);
        m[at + 0x69] = uint8_t(in.vibrato_rate);
        put_envelope(m, at + 0x6A, in.volume_envelope, 64);
        put_envelope(m, at + 0x9E, in.panning_envelope, 32);
        for (size_t k = 0; k < headers.size(); ++k) {
            const song_instrument_sample& header = headers[k];
            const song_sample& sample = samples[size_t(header.sample)];
            size_t h = at + 0x100 + 16 * k;
            bool looped = sample.loop_mode != 0;
            uint32_t frames = uint32_t(sample.sixteen_bit ? sample.pcm16.size() : sample.pcm.size());
            put32(m, h + 0x0, looped ? sample.loop_start : 0);
            put32(m, h + 0x4, looped ? sample.loop_end : frames);
            m[h + 0x8] = uint8_t((sample.loop_mode == 1 ? 0x08 : sample.loop_mode == 2 ? 0x10 : 0) |
                                 (sample.sixteen_bit ? 0x04 : 0));
            m[h + 0x9] = uint8_t(header.volume);
            m[h + 0xA] = uint8_t(header.panning);
            put16(m, h + 0xB, uint32_t(uint16_t(int16_t(header.relative_pitch))));
            put16(m, h + 0xD, uint32_t(header.sample));
        }
    }

    for (size_t p = 0; p < song.patterns.size(); ++p) {
        put32(m, 0x350 + 4 * p, uint32_t(m.size()));
        append_pattern(m, song.patterns[p], song.channels);
    }

    // The sample pool starts at the module's last byte, a zero; the decoded
    // PCM continues it right behind the module.
    m.push_back(0);
    uint32_t module_size = uint32_t(m.size());
    put32(m, 0x1C, module_size - 1);
    for (size_t i = 0; i < pcm_starts.size(); ++i)
        put32(m, 0x750 + 4 * i, module_size + pcm_starts[i]);
    if (raw_pcm)
        m.insert(m.end(), raw_pcm->begin(), raw_pcm->end());
    return m;
}
