// A small FastTracker 2 XM writer for tests: unpacked patterns, one header layout, samples delta-coded.
#include "tests/support/xm_builder.h"

#include <cstring>
#include <stdexcept>

int test_xm_song::add_pattern(int rows)
{
    pattern_rows.push_back(rows);
    cells.emplace_back(size_t(rows) * channels * 5, 0);
    return int(pattern_rows.size()) - 1;
}

void test_xm_song::set(int pattern, int row, int channel, int note, int instrument, int volume, int effect,
                       int parameter)
{
    uint8_t* c = &cells.at(size_t(pattern)).at((size_t(row) * channels + channel) * 5);
    c[0] = uint8_t(note);
    c[1] = uint8_t(instrument);
    c[2] = uint8_t(volume);
    c[3] = uint8_t(effect);
    c[4] = uint8_t(parameter);
}

int xm_note(const std::string& name)
{
    if (name == "==")
        return 97;
    static const char* names[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};
    for (int n = 0; n < 12; ++n)
        if (name.size() == 3 && name.compare(0, 2, names[n]) == 0)
            return (name[2] - '0') * 12 + n + 1;
    throw std::invalid_argument("bad note " + name);
}

namespace {

struct bytes_out {
    std::vector<uint8_t> b;
    void u8(int v) { b.push_back(uint8_t(v)); }
    void u16(int v) { u8(v & 255), u8((v >> 8) & 255); }
    void u32(uint32_t v) { u16(int(v & 0xFFFF)), u16(int(v >> 16)); }
    void pad(const char* text, size_t n)
    {
        size_t len = std::strlen(text);
        for (size_t i = 0; i < n; ++i)
            u8(i < len ? text[i] : 0);
    }
};

}  // namespace

std::vector<uint8_t> test_xm_bytes(const test_xm_song& song)
{
    bytes_out o;
    o.pad("Extended Module: ", 17);
    o.pad("test song", 20);
    o.u8(0x1A);
    o.pad("test builder", 20);
    o.u16(0x0104);
    o.u32(276);
    o.u16(int(song.orders.size()));
    o.u16(song.restart);
    o.u16(song.channels);
    o.u16(int(song.pattern_rows.size()));
    o.u16(int(song.instruments.size()));
    o.u16(song.linear ? 1 : 0);
    o.u16(song.speed);
    o.u16(song.tempo);
    for (int i = 0; i < 256; ++i)
        o.u8(i < int(song.orders.size()) ? song.orders[size_t(i)] : 0);
    for (size_t p = 0; p < song.pattern_rows.size(); ++p) {
        o.u32(9);
        o.u8(0);
        o.u16(song.pattern_rows[p]);
        o.u16(int(song.cells[p].size()));
        o.b.insert(o.b.end(), song.cells[p].begin(), song.cells[p].end());
    }
    for (const test_xm_instrument& in : song.instruments) {
        o.u32(263);
        o.pad("instrument", 22);
        o.u8(0);
        o.u16(int(in.samples.size()));
        o.u32(40);
        for (uint8_t k : in.note_map)
            o.u8(k);
        for (const test_xm_envelope* e : {&in.volume, &in.panning})
            for (int p = 0; p < 12; ++p) {
                bool real = p < int(e->points.size());
                o.u16(real ? e->points[size_t(p)].first : 0);
                o.u16(real ? e->points[size_t(p)].second : 0);
            }
        o.u8(int(in.volume.points.size()));
        o.u8(int(in.panning.points.size()));
        for (const test_xm_envelope* e : {&in.volume, &in.panning}) {
            o.u8(e->sustain < 0 ? 0 : e->sustain);
            o.u8(e->loop_start < 0 ? 0 : e->loop_start);
            o.u8(e->loop_end < 0 ? 0 : e->loop_end);
        }
        for (const test_xm_envelope* e : {&in.volume, &in.panning})
            o.u8((e->points.empty() ? 0 : 1) | (e->sustain >= 0 ? 2 : 0) | (e->loop_end >= 0 ? 4 : 0));
        o.u8(in.vibrato_type);
        o.u8(in.vibrato_sweep);
        o.u8(in.vibrato_depth);
        o.u8(in.vibrato_rate);
        o.u16(in.fadeout);
        o.u16(0);
        for (int i = 0; i < 263 - 243; ++i)  // the header's reserved tail
            o.u8(0);
        for (const test_xm_sample& s : in.samples) {
            int w = s.sixteen_bit ? 2 : 1;
            o.u32(uint32_t(s.pcm.size() * w));
            o.u32(s.loop_start * w);
            o.u32(s.loop_length * w);
            o.u8(s.volume);
            o.u8(s.finetune & 255);
            o.u8(s.loop_type | (s.sixteen_bit ? 16 : 0));
            o.u8(s.panning);
            o.u8(s.relative_note & 255);
            o.u8(0);
            o.pad("sample", 22);
        }
        for (const test_xm_sample& s : in.samples) {
            int last = 0;
            for (int16_t v : s.pcm) {
                if (s.sixteen_bit)
                    o.u16((v - last) & 0xFFFF);
                else
                    o.u8((v - last) & 255);
                last = v;
            }
        }
    }
    return o.b;
}
