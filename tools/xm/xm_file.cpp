// The XM file: a checked reader for files from outside and a writer (portable; tool side).
#include "tools/xm/xm.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr char xm_magic[] = "Extended Module: ";
constexpr size_t xm_magic_size = 17;
constexpr uint32_t xm_header_size = 276;      // from offset 60: 20 bytes of fields and 256 orders
constexpr uint32_t xm_instrument_size = 263;  // the instrument header with its sample table part
constexpr uint32_t xm_sample_header_size = 40;

std::string format(const char* text, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* text, ...)
{
    char line[256];
    va_list args;
    va_start(args, text);
    std::vsnprintf(line, sizeof line, text, args);
    va_end(args);
    return line;
}

// Reads the file front to back; every read is checked against its end.
struct reader {
    const uint8_t* bytes;
    size_t size;
    std::string* error;

    bool fail(const std::string& why)
    {
        *error = why;
        return false;
    }
    bool has(uint64_t at, uint64_t count) const { return at <= size && count <= size - at; }
    uint8_t u8(size_t at) const { return bytes[at]; }
    uint16_t u16(size_t at) const { return uint16_t(bytes[at] | bytes[at + 1] << 8); }
    uint32_t u32(size_t at) const { return uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16; }
    std::string text(size_t at, size_t count) const
    {
        std::string s(reinterpret_cast<const char*>(bytes + at), count);
        s = s.substr(0, s.find('\0'));
        while (!s.empty() && s.back() == ' ')
            s.pop_back();
        return s;
    }

    bool pattern(uint64_t* at, int number, int channels, xm_pattern* out)
    {
        if (!has(*at, 9))
            return fail(format("the file ends inside the header of pattern %d", number));
        uint32_t header = u32(*at);
        if (header < 9)
            return fail(format("pattern %d: its header is %u bytes (at least 9)", number, header));
        if (!has(*at, header))
            return fail(format("the file ends inside the header of pattern %d", number));
        if (u8(*at + 4) != 0)
            return fail(format("pattern %d: packing type %u (only 0 exists)", number, u8(*at + 4)));
        int rows = u16(*at + 5);
        uint32_t packed = u16(*at + 7);
        if (rows < 1 || rows > xm_max_rows)
            return fail(format("pattern %d has %d rows (1 to 256)", number, rows));
        uint64_t data = *at + header;
        if (!has(data, packed))
            return fail(format("the file ends inside the data of pattern %d", number));
        out->rows = rows;
        out->cells.assign(size_t(rows) * channels, xm_cell{});
        uint64_t p = data, end = data + packed;
        if (packed) {
            for (int r = 0; r < rows; ++r)
                for (int c = 0; c < channels; ++c) {
                    if (p >= end)
                        return fail(format("pattern %d: its data ends in row %d", number, r));
                    uint8_t head = u8(p++);
                    uint8_t mask = (head & 0x80) ? head : 0x1F;
                    uint8_t field[5] = {};
                    if (!(head & 0x80))
                        field[0] = head;
                    for (int f = (head & 0x80) ? 0 : 1; f < 5; ++f)
                        if (mask & (1 << f)) {
                            if (p >= end)
                                return fail(format("pattern %d: its data ends in row %d", number, r));
                            field[f] = u8(p++);
                        }
                    if (field[0] > xm_key_off)
                        return fail(format("pattern %d, row %d, channel %d: note %u (1 to 97)", number, r, c + 1,
                                           field[0]));
                    out->cells[size_t(r) * channels + c] = {field[0], field[1], field[2], field[3], field[4]};
                }
        }
        *at = end;
        return true;
    }

    void envelope(size_t points_at, uint8_t count, uint8_t sustain, uint8_t loop_start, uint8_t loop_end,
                  uint8_t flags, xm_envelope* out)
    {
        out->flags = flags & 7;
        out->sustain = sustain;
        out->loop_start = loop_start;
        out->loop_end = loop_end;
        out->points.clear();
        for (int p = 0; p < std::min<int>(count, xm_max_envelope_points); ++p)
            out->points.push_back({u16(points_at + 4 * p), u16(points_at + 4 * p + 2)});
    }

    bool instrument(uint64_t* at, int number, xm_instrument* out)
    {
        if (!has(*at, 4))
            return fail(format("the file ends inside instrument %d", number));
        uint64_t header = u32(*at);
        if (!has(*at, header))
            return fail(format("the file ends inside the header of instrument %d", number));
        // Writers shorten the header of an empty instrument; missing fields are zero.
        uint8_t fields[xm_instrument_size] = {};
        std::memcpy(fields, bytes + *at, size_t(std::min<uint64_t>(header, xm_instrument_size)));
        reader f{fields, sizeof fields, error};
        out->name = f.text(4, 22);
        int samples = header >= 29 ? f.u16(27) : 0;
        if (samples > xm_max_samples)
            return fail(format("instrument %d has %d samples (at most 16)", number, samples));
        uint64_t p = *at + header;
        if (samples == 0) {
            *at = p;
            return true;
        }
        uint32_t sample_header = f.u32(29);
        if (sample_header < xm_sample_header_size)
            sample_header = xm_sample_header_size;  // some writers leave it 0
        std::memcpy(out->note_map, fields + 33, 96);
        for (uint8_t& k : out->note_map)
            if (k >= samples)
                return fail(format("instrument %d: its note map names sample %u of %d", number, k, samples));
        if (f.u8(225) > xm_max_envelope_points || f.u8(226) > xm_max_envelope_points)
            return fail(format("instrument %d: an envelope of %u points (at most 12)", number,
                               std::max(f.u8(225), f.u8(226))));
        f.envelope(129, f.u8(225), f.u8(227), f.u8(228), f.u8(229), f.u8(233), &out->volume_envelope);
        f.envelope(177, f.u8(226), f.u8(230), f.u8(231), f.u8(232), f.u8(234), &out->panning_envelope);
        out->vibrato_type = f.u8(235);
        out->vibrato_sweep = f.u8(236);
        out->vibrato_depth = f.u8(237);
        out->vibrato_rate = f.u8(238);
        out->fadeout = f.u16(239);

        out->samples.assign(size_t(samples), xm_sample{});
        std::vector<uint32_t> lengths(static_cast<size_t>(samples), 0u);
        for (int s = 0; s < samples; ++s) {
            if (!has(p, sample_header))
                return fail(format("the file ends inside sample header %d of instrument %d", s + 1, number));
            xm_sample& x = out->samples[size_t(s)];
            lengths[size_t(s)] = u32(p);
            uint32_t loop_start = u32(p + 4), loop_length = u32(p + 8);
            x.volume = u8(p + 12);
            x.finetune = int8_t(u8(p + 13));
            x.type = u8(p + 14);
            x.panning = u8(p + 15);
            x.relative_note = int8_t(u8(p + 16));
            if (u8(p + 17) == 0xAD)
                return fail(format("instrument %d, sample %d: ADPCM-packed sample data is not supported", number,
                                   s + 1));
            if (x.type & 0x20)
                return fail(format("instrument %d, sample %d: stereo samples are not supported", number, s + 1));
            x.name = text(p + 18, 22);
            int width = (x.type & xm_sample_16bit) ? 2 : 1;
            uint32_t frames = lengths[size_t(s)] / width;
            loop_start /= width;
            loop_length /= width;
            // A loop reaching past the sample is cut to its end.
            x.loop_start = std::min(loop_start, frames);
            x.loop_length = std::min(loop_length, frames - x.loop_start);
            x.type &= xm_loop_forward | xm_loop_pingpong | xm_sample_16bit;
            p += sample_header;
        }
        for (int s = 0; s < samples; ++s) {
            xm_sample& x = out->samples[size_t(s)];
            uint32_t length = lengths[size_t(s)];
            if (!has(p, length))
                return fail(format("the file ends inside the data of sample %d of instrument %d", s + 1, number));
            // Stored as differences of successive values.
            if (x.type & xm_sample_16bit) {
                x.pcm.resize(length / 2);
                int16_t sum = 0;
                for (size_t i = 0; i < x.pcm.size(); ++i)
                    x.pcm[i] = sum = int16_t(sum + int16_t(u16(p + 2 * i)));
            } else {
                x.pcm.resize(length);
                int8_t sum = 0;
                for (size_t i = 0; i < length; ++i)
                    x.pcm[i] = sum = int8_t(sum + int8_t(u8(p + i)));
            }
            p += length;
        }
        *at = p;
        return true;
    }

    bool song(xm_song* out)
    {
        if (!has(0, 80))
            return fail("the file is too short for an XM module");
        for (size_t i = 0; i < xm_magic_size; ++i)
            if (std::tolower(bytes[i]) != std::tolower(static_cast<unsigned char>(xm_magic[i])))
                return fail("not an XM module: it does not begin with \"Extended Module: \"");
        uint16_t version = u16(58);
        if (version < 0x0104)
            return fail(format("XM version %x.%02x: only version 1.04 files are read", version >> 8, version & 0xFF));
        uint32_t header = u32(60);
        if (header < 20 || !has(60, header))
            return fail(format("the XM header claims %u bytes, the file has %zu after it", header,
                               size > 60 ? size - 60 : 0));
        out->name = text(17, 20);
        out->tracker = text(38, 20);
        int length = u16(64);
        out->restart = u16(66);
        out->channels = u16(68);
        int patterns = u16(70), instruments = u16(72);
        out->linear = u16(74) & 1;
        out->speed = u16(76);
        out->tempo = u16(78);
        if (length < 1 || length > xm_max_orders)
            return fail(format("song length %d (1 to 256 order positions)", length));
        if (out->channels < 1 || out->channels > xm_max_channels)
            return fail(format("the song has %d channels; at most 32 can be converted", out->channels));
        if (patterns > xm_max_patterns)
            return fail(format("%d patterns (at most 256)", patterns));
        if (instruments > xm_max_instruments)
            return fail(format("%d instruments (at most 128)", instruments));
        if (uint64_t(20) + uint64_t(length) > header)
            return fail(format("the XM header of %u bytes is too short for %d order positions", header, length));
        out->orders.assign(bytes + 80, bytes + 80 + length);

        uint64_t at = 60 + uint64_t(header);
        out->patterns.assign(size_t(patterns), xm_pattern{});
        for (int p = 0; p < patterns; ++p)
            if (!pattern(&at, p, out->channels, &out->patterns[size_t(p)]))
                return false;
        out->instruments.assign(size_t(instruments), xm_instrument{});
        for (int i = 0; i < instruments; ++i)
            if (!instrument(&at, i + 1, &out->instruments[size_t(i)]))
                return false;
        return true;
    }
};

struct writer {
    std::vector<uint8_t> out;
    void u8(uint32_t v) { out.push_back(uint8_t(v)); }
    void u16(uint32_t v) { u8(v), u8(v >> 8); }
    void u32(uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); }
    void text(const std::string& s, size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            u8(i < s.size() ? uint8_t(s[i]) : 0);
    }
    void put32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            out[at + size_t(i)] = uint8_t(v >> (8 * i));
    }
};

}  // namespace

bool xm_read(const uint8_t* bytes, size_t size, xm_song* song, std::string* error)
{
    *song = xm_song{};
    reader r{bytes, size, error};
    return r.song(song);
}

std::vector<uint8_t> xm_write(const xm_song& song)
{
    writer w;
    w.text(xm_magic, xm_magic_size);
    w.text(song.name, 20);
    w.u8(0x1A);
    w.text(song.tracker, 20);
    w.u16(0x0104);
    w.u32(xm_header_size);
    w.u16(uint32_t(song.orders.size()));
    w.u16(uint32_t(song.restart));
    w.u16(uint32_t(song.channels));
    w.u16(uint32_t(song.patterns.size()));
    w.u16(uint32_t(song.instruments.size()));
    w.u16(song.linear ? 1 : 0);
    w.u16(uint32_t(song.speed));
    w.u16(uint32_t(song.tempo));
    for (int o = 0; o < xm_max_orders; ++o)
        w.u8(o < int(song.orders.size()) ? song.orders[size_t(o)] : 0);

    for (const xm_pattern& pattern : song.patterns) {
        w.u32(9);
        w.u8(0);
        w.u16(uint32_t(pattern.rows));
        size_t size_at = w.out.size();
        w.u16(0);
        size_t data = w.out.size();
        for (const xm_cell& cell : pattern.cells) {
            uint8_t field[5] = {cell.note, cell.instrument, cell.volume, cell.effect, cell.parameter};
            uint8_t mask = 0;
            for (int f = 0; f < 5; ++f)
                if (field[f])
                    mask |= uint8_t(1 << f);
            // A full cell is stored unpacked; any other behind a mask byte.
            if (mask != 0x1F)
                w.u8(0x80 | mask);
            for (int f = 0; f < 5; ++f)
                if (mask & (1 << f))
                    w.u8(field[f]);
        }
        size_t packed = w.out.size() - data;
        w.out[size_at] = uint8_t(packed);
        w.out[size_at + 1] = uint8_t(packed >> 8);
    }

    for (const xm_instrument& in : song.instruments) {
        size_t start = w.out.size();
        w.u32(xm_instrument_size);
        w.text(in.name, 22);
        w.u8(0);
        w.u16(uint32_t(in.samples.size()));
        w.u32(xm_sample_header_size);
        for (uint8_t k : in.note_map)
            w.u8(k);
        for (const xm_envelope* e : {&in.volume_envelope, &in.panning_envelope})
            for (int p = 0; p < xm_max_envelope_points; ++p) {
                bool real = p < int(e->points.size());
                w.u16(real ? uint32_t(e->points[size_t(p)].first) : 0);
                w.u16(real ? uint32_t(e->points[size_t(p)].second) : 0);
            }
        w.u8(uint32_t(in.volume_envelope.points.size()));
        w.u8(uint32_t(in.panning_envelope.points.size()));
        const xm_envelope& v = in.volume_envelope;
        const xm_envelope& pe = in.panning_envelope;
        for (uint32_t b : {v.sustain, v.loop_start, v.loop_end, pe.sustain, pe.loop_start, pe.loop_end, v.flags,
                           pe.flags, in.vibrato_type, in.vibrato_sweep, in.vibrato_depth, in.vibrato_rate})
            w.u8(b);
        w.u16(in.fadeout);
        while (w.out.size() < start + xm_instrument_size)
            w.u8(0);
        for (const xm_sample& s : in.samples) {
            uint32_t width = (s.type & xm_sample_16bit) ? 2 : 1;
            w.u32(uint32_t(s.pcm.size()) * width);
            w.u32(s.loop_start * width);
            w.u32(s.loop_length * width);
            w.u8(s.volume);
            w.u8(uint8_t(s.finetune));
            w.u8(s.type);
            w.u8(s.panning);
            w.u8(uint8_t(s.relative_note));
            w.u8(0);
            w.text(s.name, 22);
        }
        for (const xm_sample& s : in.samples) {
            int16_t last = 0;
            for (int16_t value : s.pcm) {
                if (s.type & xm_sample_16bit)
                    w.u16(uint16_t(int16_t(value - last)));
                else
                    w.u8(uint8_t(int8_t(value - last)));
                last = value;
            }
        }
    }
    return w.out;
}
