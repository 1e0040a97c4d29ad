// Conversion between XM songs and our modules: import into the song model and module writer, export from a checked module (portable; tool side).
#include "base/memory.h"
#include "music/module.h"
#include "music/player.h"
#include "tools/song/codec_encoder.h"
#include "tools/song/song.h"
#include "tools/xm/xm.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <set>

namespace {

std::string format(const char* text, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* text, ...)
{
    char line[320];
    va_list args;
    va_start(args, text);
    std::vsnprintf(line, sizeof line, text, args);
    va_end(args);
    return line;
}

// The tracker's name of an effect type: 0-9, then A-Z.
char effect_letter(int type) { return char(type < 10 ? '0' + type : 'A' + type - 10); }

// Effect numbers of our module that matter here.
constexpr uint8_t fx_arpeggio = 0, fx_jump = 11, fx_break = 13, fx_extended = 14, fx_speed = 15, fx_x = 33;
constexpr uint8_t fx_e0 = 36;  // Exy is 36 + x with parameter y
constexpr uint8_t fx_none = 0xFF;

// XM's auto-vibrato types (sine, square, ramp down, ramp up) and our
// waveform tables (sine, rising saw, square, falling saw).  Our player
// lowers the period by the table's value, so XM's ramp down (a falling
// period, rising pitch) is our falling saw; checked against libopenmpt.
const uint8_t vibrato_to_table[4] = {0, 2, 3, 1};
const uint8_t table_to_vibrato[4] = {0, 3, 1, 2};

// Our player's vibrato position moves by half the speed each tick where
// FT2's moves by the whole speed: import doubles vibrato speeds (effect 4,
// volume column Ax) and export halves them, so the vibrato keeps its rate.
constexpr int vibrato_speed_factor = 2;
constexpr uint8_t fx_vibrato = 4;

// The empty stream: 15 silent granules decode to no PCM at all.
const uint8_t empty_stream[16] = {15};

// Collects warnings, each said once.
struct warner {
    xm_warnings* out;
    std::set<std::string> seen;
    void operator()(const std::string& line)
    {
        if (seen.insert(line).second)
            out->push_back(line);
    }
};

// ---------------------------------------------------------------------------
// Import.

song_cell import_cell(const xm_cell& x, int pattern, int row, int channel, int instruments, warner& warn)
{
    std::string where = format("pattern %d, row %d, channel %d", pattern, row, channel + 1);
    song_cell cell;
    cell.note = x.note;
    cell.instrument = x.instrument;
    if (x.instrument > instruments)
        warn(where + format(": instrument %d does not exist; our player keeps the channel's instrument where FT2 "
                            "plays nothing", x.instrument));
    if (x.volume >= 0x10 && x.volume <= 0x50)
        cell.volume = x.volume;
    else if (x.volume > 0x50 && x.volume < 0x60)
        warn(where + format(": volume column byte %02X is not a command; left out", x.volume));
    else if (x.volume >= 0x60)
        cell.volume = x.volume;
    if ((x.volume >> 4) == 0xA) {
        int speed = vibrato_speed_factor * (x.volume & 15);
        if (speed > 15)
            warn(where + format(": vibrato speed %X in the volume column is faster than our player's fastest (%d); "
                                "that is used", x.volume & 15, 15 / vibrato_speed_factor));
        cell.volume = uint8_t(0xA0 | std::min(speed, 15));
    }
    if (x.volume >= 0xC0 && x.volume < 0xD0 && (x.volume & 15))
        warn(where + format(": panning %X in the volume column sets %d where FT2 sets %d", x.volume & 15,
                            17 * (x.volume & 15), 16 * (x.volume & 15)));

    int type = x.effect, p = x.parameter, h = p >> 4, y = p & 15;
    if (type == fx_arpeggio && p == 0)
        return cell;  // no effect
    if (type > 35) {
        warn(where + format(": effect type %d does not exist in XM; left out", type));
        return cell;
    }
    cell.effect = uint8_t(type);
    cell.parameter = uint8_t(p);
    std::string name = format(": effect %c%02X", effect_letter(type), p);
    if (type == fx_vibrato && h) {
        int speed = vibrato_speed_factor * h;
        if (speed > 15)
            warn(where + name + format(": vibrato speed %X is faster than our player's fastest (%d); that is used", h,
                                       15 / vibrato_speed_factor));
        cell.parameter = uint8_t(std::min(speed, 15) << 4 | y);
    } else if (type == fx_extended) {
        cell.effect = uint8_t(fx_e0 + h);
        cell.parameter = uint8_t(y);
        name = format(": effect E%X%X", h, y);
        if ((h == 4 || h == 7) && (y & 3) == 3)
            warn(where + name + format(": the random %s waveform has no counterpart; our player uses its falling "
                                       "sawtooth",
                                       h == 4 ? "vibrato" : "tremolo"));
        if ((h == 4 || h == 7) && (y & 4))
            warn(where + name + ": our player restarts the waveform with every note");
        if (h == 5)
            warn(where + name + ": set finetune is not played by our player");
    } else if (type == fx_speed && p == 0) {
        warn(where + name + ": speed 0 is ignored by our player");
    } else if (type == fx_x && h != 1 && h != 2 && p) {
        warn(where + name + ": only X1 and X2 (extra fine portamento) are played");
    } else if (type == 18 || type == 19 || type == 22 || type == 23 || type == 24 || type == 26 || type == 30 ||
               type == 31 || type == 34 || type == 35) {
        warn(where + name + ": not an FastTracker 2 effect; not played by our player");
    }
    return cell;
}

void import_envelope(const xm_envelope& x, int instrument, const char* kind, song_envelope* out, warner& warn)
{
    *out = song_envelope{};
    if (!(x.flags & xm_envelope_on))
        return;
    std::string where = format("instrument %d: %s envelope", instrument, kind);
    if (x.points.empty()) {
        warn(where + ": switched on without points; left out");
        return;
    }
    int last_tick = -1;
    for (size_t p = 0; p < x.points.size(); ++p) {
        int tick = x.points[p].first, value = x.points[p].second;
        if (tick <= last_tick) {
            warn(where + format(": point %zu does not come after the one before it; moved to tick %d", p,
                                last_tick + 1));
            tick = last_tick + 1;
        }
        if (value > 64) {
            warn(where + format(": point %zu has value %d; 64 is the most", p, value));
            value = 64;
        }
        out->points.push_back({tick, value});
        last_tick = tick;
    }
    // A lone point would read as "no envelope" (a key-off would cut the
    // note at once); a second point of the same value keeps it held.
    if (out->points.size() == 1)
        out->points.push_back({out->points[0].first + 1, out->points[0].second});
    int last = int(x.points.size()) - 1;
    if (x.flags & xm_envelope_sustain) {
        if (x.sustain <= last)
            out->sustain = x.sustain;
        else
            warn(where + format(": sustain point %d of %d points; left out", x.sustain, last + 1));
    }
    if (x.flags & xm_envelope_loop) {
        if (x.loop_start > x.loop_end || x.loop_end > last) {
            warn(where + format(": loop from point %d to %d of %d points; left out", x.loop_start, x.loop_end,
                                last + 1));
        } else {
            out->loop_start = x.loop_start;
            out->loop_end = x.loop_end;
            if (x.loop_end == last && last > 0)
                warn(where + ": its loop ends at the last point; our player holds the last point instead of looping");
        }
    }
}

// The frames of an XM sample that can be heard: a looped sample ends at its loop end.
void import_sample(const xm_sample& x, song_sample* out, bool raw)
{
    int mode = (x.type & xm_loop_pingpong) ? 2 : (x.type & xm_loop_forward) ? 1 : 0;
    if (x.loop_length == 0)
        mode = 0;
    size_t frames = mode ? size_t(x.loop_start) + x.loop_length : x.pcm.size();
    out->loop_mode = mode;
    out->loop_start = mode ? x.loop_start : 0;
    out->loop_end = mode ? uint32_t(frames) : 0;
    bool wide = x.type & xm_sample_16bit;
    out->sixteen_bit = raw && wide;
    if (out->sixteen_bit)
        out->pcm16.assign(x.pcm.begin(), x.pcm.begin() + long(frames));
    else
        for (size_t i = 0; i < frames; ++i)  // the codec takes 8-bit values; 16-bit ones are rounded to them
            out->pcm.push_back(int8_t(wide ? std::clamp((x.pcm[i] + 128) >> 8, -128, 127) : x.pcm[i]));
}

// Two frames behind a raw sample, which the mixer's interpolation reads:
// what follows the loop end in play (the loop start, or the frames before
// the end of a ping-pong loop), or silence.
void append_raw_sample(const song_sample& s, std::vector<uint8_t>* pool, std::vector<uint32_t>* starts)
{
    if (s.sixteen_bit && pool->size() % 2)
        pool->push_back(0);
    starts->push_back(uint32_t(pool->size()));
    size_t frames = s.sixteen_bit ? s.pcm16.size() : s.pcm.size();
    auto value = [&](size_t i) { return s.sixteen_bit ? int(s.pcm16[i]) : int(s.pcm[i]); };
    auto put = [&](int v) {
        if (s.sixteen_bit) {
            pool->push_back(uint8_t(v));
            pool->push_back(uint8_t(v >> 8));
        } else {
            pool->push_back(uint8_t(v));
        }
    };
    for (size_t i = 0; i < frames; ++i)
        put(value(i));
    for (size_t g = 0; g < 2; ++g) {
        int v = 0;
        if (s.loop_mode == 1 && frames)
            v = value(std::min<size_t>(s.loop_start + g, frames - 1));
        else if (s.loop_mode == 2 && frames)
            v = value(frames - 1 - std::min(g, frames - 1));
        put(v);
    }
}

// The row a pattern break sends play to when it is above the target
// pattern's last row: FT2 starts that pattern at row 0.
void check_breaks(song_source* song, warner& warn)
{
    int length = int(song->orders.size());
    for (int o = 0; o < length; ++o) {
        song_pattern& pattern = song->patterns[size_t(song->orders[size_t(o)])];
        for (int r = 0; r < pattern.rows; ++r) {
            int target_order = o + 1;
            for (int c = 0; c < song->channels; ++c) {
                const song_cell& cell = pattern.cells[size_t(r) * song->channels + c];
                if (cell.effect == fx_jump)
                    target_order = cell.parameter;
            }
            if (target_order >= length)
                target_order = song->restart;
            int rows = song->patterns[size_t(song->orders[size_t(target_order)])].rows;
            for (int c = 0; c < song->channels; ++c) {
                song_cell& cell = pattern.cells[size_t(r) * song->channels + c];
                if (cell.effect != fx_break)
                    continue;
                int target = 10 * (cell.parameter >> 4) + (cell.parameter & 15);
                if (target >= rows) {
                    warn(format("pattern %d, row %d, channel %d: pattern break to row %d of a %d-row pattern; "
                                "breaks to row 0",
                                song->orders[size_t(o)], r, c + 1, target, rows));
                    cell.parameter = 0;
                }
            }
        }
    }
}

// A delayed note (EDx) that names an instrument gets its sample's volume
// in FT2 when it starts; our player keeps the channel's volume for it.  An
// empty volume column is given that volume, set on the row's first tick.
void give_delayed_notes_their_volume(const xm_song& xm, song_source* song)
{
    for (song_pattern& pattern : song->patterns)
        for (song_cell& cell : pattern.cells) {
            if (cell.effect != fx_e0 + 0xD || cell.parameter == 0 || cell.volume != 0 || cell.note == 0 ||
                cell.note >= xm_key_off || cell.instrument == 0 || cell.instrument > xm.instruments.size())
                continue;
            const xm_instrument& in = xm.instruments[cell.instrument - 1u];
            uint8_t k = in.note_map[cell.note - 1];
            if (k < in.samples.size())
                cell.volume = uint8_t(0x10 + std::min<int>(in.samples[k].volume, 64));
        }
}

// ---------------------------------------------------------------------------
// Export.

// The XM vibrato speed that keeps the rate of our speed (see
// vibrato_speed_factor); an odd one has none and is rounded up.
uint8_t export_vibrato_speed(int speed, const std::string& where, warner& warn)
{
    if (speed % vibrato_speed_factor)
        warn(where + format(" %X has no XM equal; %X is a little faster", speed,
                            (speed + vibrato_speed_factor - 1) / vibrato_speed_factor));
    return uint8_t((speed + vibrato_speed_factor - 1) / vibrato_speed_factor);
}

// Reads the patterns of a checked module; patterns outside the order list
// were not checked, so every read is bounded here.
bool export_pattern(const uint8_t* image, uint32_t module_size, uint32_t number, int channels, xm_pattern* out,
                    warner& warn)
{
    uint32_t offset = read_u32(image + header_pattern_offsets + 4 * number);
    if (offset < module_header_size || uint64_t(offset) + 4 > module_size)
        return false;
    uint32_t rows = read_u32(image + offset);
    if (rows == 0)
        return false;
    if (rows > uint32_t(xm_max_rows))
        warn(format("pattern %u: %u rows; an XM pattern has at most 256, the rest is left out", number, rows));
    out->rows = int(std::min<uint32_t>(rows, xm_max_rows));
    out->cells.assign(size_t(out->rows) * channels, xm_cell{});
    uint64_t at = uint64_t(offset) + 4;
    for (uint32_t row = 0; row < uint32_t(out->rows); ++row) {
        for (;;) {
            if (at >= module_size)
                return false;
            uint8_t head = image[at++];
            if (head == 0)
                break;
            int c = head & entry_channel_mask;
            uint8_t note = 0, instrument = 0, volume = 0, effect = fx_none, parameter = 0;
            uint64_t size = ((head & entry_note) ? 2 : 0) + ((head & entry_volume) ? 1 : 0) +
                            ((head & entry_effect) ? 2 : 0);
            if (at + size > module_size || c >= channels)
                return false;
            if (head & entry_note)
                note = image[at++], instrument = image[at++];
            if (head & entry_volume)
                volume = image[at++];
            if (head & entry_effect)
                effect = image[at++], parameter = image[at++];
            if (note > xm_key_off)
                return false;
            xm_cell& x = out->cells[size_t(row) * channels + c];
            std::string where = format("pattern %u, row %u, channel %d", number, row, c + 1);
            x.note = note;
            x.instrument = instrument;
            x.volume = volume >= 0x10 ? volume : 0;
            if (volume > 0x50 && volume < 0x60)
                x.volume = 0x50;  // our player reads these as volume 64
            if ((volume >> 4) == 0xA)
                x.volume = export_vibrato_speed(volume & 15, where + ": vibrato speed in the volume column", warn) |
                           0xA0;
            if (effect == fx_vibrato && (parameter >> 4)) {
                x.effect = effect;
                x.parameter = uint8_t(export_vibrato_speed(parameter >> 4, where + ": vibrato speed", warn) << 4 |
                                      (parameter & 15));
            } else if (effect < fx_e0) {
                x.effect = effect;
                x.parameter = parameter;
            } else if (effect < effect_count) {
                x.effect = fx_extended;
                x.parameter = uint8_t((effect - fx_e0) << 4 | (parameter & 15));
                if (parameter > 15)
                    warn(where + format(": effect E%X with parameter %u; XM keeps its low 4 bits", effect - fx_e0,
                                        parameter));
            }
        }
    }
    return true;
}

void export_envelope(const uint8_t* e, int neutral, int instrument, const char* kind, xm_envelope* out, warner& warn)
{
    *out = xm_envelope{};
    uint32_t last = e[envelope_last];
    if (last == 0) {
        if (read_u16(e + envelope_points + 2) != uint32_t(neutral))
            warn(format("instrument %d: its %s envelope holds %u without points; XM has no such envelope", instrument,
                        kind, read_u16(e + envelope_points + 2)));
        return;
    }
    out->flags = xm_envelope_on;
    int tick = 0;
    for (uint32_t p = 0; p <= last; ++p) {
        out->points.push_back({tick, read_u16(e + envelope_points + 4 * p + 2)});
        tick += read_u16(e + envelope_points + 4 * p);
    }
    if (e[envelope_sustain] <= last) {
        out->flags |= xm_envelope_sustain;
        out->sustain = e[envelope_sustain];
    }
    if (e[envelope_loop_end] <= last) {
        out->flags |= xm_envelope_loop;
        out->loop_start = e[envelope_loop_start];
        out->loop_end = e[envelope_loop_end];
        if (e[envelope_loop_end] == last)
            warn(format("instrument %d: its %s envelope's loop ends at its last point, which our player holds; an XM "
                        "player loops it",
                        instrument, kind));
    }
}

}  // namespace

bool xm_import(const xm_song& xm, const xm_import_options& options, xm_import_result* result, xm_warnings* warnings,
               std::string* error)
{
    warner warn{warnings, {}};
    song_source song;
    song.name = xm.name;
    song.channels = xm.channels;
    song.speed = xm.speed;
    song.tempo = xm.tempo;
    if (song.speed < 1 || song.speed > 31) {
        warn(format("the song's speed %d is not 1 to 31; 6 is used", song.speed));
        song.speed = 6;
    }
    if (song.tempo < 32 || song.tempo > 255) {
        warn(format("the song's tempo %d is not 32 to 255; 125 is used", song.tempo));
        song.tempo = 125;
    }
    song.linear = xm.linear;
    if (!xm.linear) {
        // Periods of the Amiga table: 6,848 for C-4; FT2's range, in our unit.
        song.lowest_period = 4 * 28;
        song.highest_period = 4 * 32000;
    }
    for (int& p : song.panning)
        p = 128;
    song.orders.assign(xm.orders.begin(), xm.orders.end());
    song.restart = xm.restart;
    if (song.restart >= int(song.orders.size())) {
        warn(format("restart position %d is past the song's %zu order positions; 0 is used", song.restart,
                    song.orders.size()));
        song.restart = 0;
    }

    int instruments = int(xm.instruments.size());
    size_t pattern_count = xm.patterns.size();
    for (uint8_t p : xm.orders)
        if (p >= xm.patterns.size()) {
            warn(format("the order list names pattern %u, which the file lacks; it plays as 64 empty rows", p));
            pattern_count = std::max<size_t>(pattern_count, size_t(p) + 1);
        }
    song.patterns.resize(pattern_count);
    for (size_t p = 0; p < pattern_count; ++p) {
        song_pattern& out = song.patterns[p];
        out.rows = p < xm.patterns.size() ? xm.patterns[p].rows : 64;
        out.cells.assign(size_t(out.rows) * song.channels, song_cell{});
        if (p >= xm.patterns.size())
            continue;
        for (int r = 0; r < out.rows; ++r)
            for (int c = 0; c < song.channels; ++c)
                out.cells[size_t(r) * song.channels + c] =
                    import_cell(xm.patterns[p].cells[size_t(r) * song.channels + c], int(p), r, c, instruments, warn);
    }
    check_breaks(&song, warn);
    give_delayed_notes_their_volume(xm, &song);

    std::vector<song_sample> samples;
    for (int i = 0; i < instruments; ++i) {
        const xm_instrument& x = xm.instruments[size_t(i)];
        song_instrument in;
        in.number = i + 1;
        in.name = x.name;
        in.mapped = true;
        std::memcpy(in.note_map, x.note_map, 96);
        in.fadeout = x.fadeout;
        if (x.fadeout > 32768) {
            warn(format("instrument %d: fadeout %u; 32,768 is the most", i + 1, x.fadeout));
            in.fadeout = 32768;
        }
        in.vibrato_waveform = x.vibrato_type < 4 ? vibrato_to_table[x.vibrato_type] : 0;
        if (x.vibrato_type > 3)
            warn(format("instrument %d: auto-vibrato type %u does not exist; sine is used", i + 1, x.vibrato_type));
        in.vibrato_sweep = std::min<int>(x.vibrato_sweep, 127);
        in.vibrato_depth = std::min<int>(x.vibrato_depth, 31);
        in.vibrato_rate = x.vibrato_rate;
        if (x.vibrato_sweep > 127 || x.vibrato_depth > 31)
            warn(format("instrument %d: auto-vibrato sweep %u and depth %u are kept within 127 and 31", i + 1,
                        x.vibrato_sweep, x.vibrato_depth));
        import_envelope(x.volume_envelope, i + 1, "volume", &in.volume_envelope, warn);
        import_envelope(x.panning_envelope, i + 1, "panning", &in.panning_envelope, warn);
        for (size_t s = 0; s < x.samples.size(); ++s) {
            const xm_sample& xs = x.samples[s];
            song_instrument_sample header;
            header.volume = std::min<int>(xs.volume, 64);
            if (xs.volume > 64)
                warn(format("instrument %d, sample %zu: volume %u; 64 is the most", i + 1, s + 1, xs.volume));
            header.panning = xs.panning;
            // XM's finetune is in 1/128 semitone, ours in 1/256.
            header.relative_pitch = 256 * xs.relative_note + 2 * xs.finetune;
            song_sample imported;
            import_sample(xs, &imported, options.raw);
            // A sample that another header already has is stored once.
            auto same = std::find_if(samples.begin(), samples.end(), [&](const song_sample& o) {
                return o.pcm == imported.pcm && o.pcm16 == imported.pcm16 && o.sixteen_bit == imported.sixteen_bit &&
                       o.loop_mode == imported.loop_mode && o.loop_start == imported.loop_start &&
                       o.loop_end == imported.loop_end;
            });
            header.sample = int(same - samples.begin());
            if (same == samples.end())
                samples.push_back(std::move(imported));
            in.sample_headers.push_back(header);
            if (!options.raw && (xs.type & xm_sample_16bit))
                warn(format("instrument %d, sample %zu: 16-bit sample coded as 8-bit (use --raw to keep 16 bits)",
                            i + 1, s + 1));
        }
        song.instruments.push_back(in);
    }
    if (samples.size() > module_max_samples) {
        *error = format("the song has %zu samples; a module holds at most 2,048", samples.size());
        return false;
    }

    std::vector<uint32_t> starts;
    if (options.raw) {
        std::vector<uint8_t> pool;
        for (const song_sample& s : samples)
            append_raw_sample(s, &pool, &starts);
        result->module = song_write_module(song, samples, starts, &pool);
        result->stream.assign(empty_stream, empty_stream + sizeof empty_stream);
        result->pcm_bytes = 0;
        result->snr_db = 0;
    } else {
        std::vector<std::vector<float>> pcm(samples.size());
        std::vector<codec_input> inputs;
        for (size_t s = 0; s < samples.size(); ++s) {
            pcm[s] = song_codec_input(samples[s]);
            inputs.push_back({pcm[s].data(), uint32_t(pcm[s].size())});
        }
        starts.resize(samples.size());
        uint64_t length = inputs.empty() ? 0 : codec_layout(inputs.data(), int(inputs.size()), starts.data());
        result->module = song_write_module(song, samples, starts);
        if (length + result->module.size() + music_read_margin > music_image_size) {
            *error = format("the samples take %llu bytes decoded; with the module they do not fit the 1 MB music image",
                            static_cast<unsigned long long>(length));
            return false;
        }
        if (inputs.empty()) {
            result->stream.assign(empty_stream, empty_stream + sizeof empty_stream);
            result->pcm_bytes = 0;
        } else {
            if (options.max_bytes && options.max_bytes < codec_smallest_size(length)) {
                *error = format("--max-bytes %u is below the smallest stream for these samples (%llu bytes)",
                                options.max_bytes, static_cast<unsigned long long>(codec_smallest_size(length)));
                return false;
            }
            codec_encoding coded;
            const char* why = nullptr;
            if (!codec_encode(inputs.data(), int(inputs.size()), options.max_bytes, &coded, &why)) {
                *error = format("the samples cannot be coded: %s", why);
                return false;
            }
            result->stream.assign(coded.stream, coded.stream + coded.size);
            result->pcm_bytes = coded.samples;
            result->snr_db = coded.snr_db;
            mem_free(coded.stream);
        }
    }
    uint64_t used = uint64_t(result->module.size()) + result->pcm_bytes;
    if (used + music_read_margin > music_image_size) {
        *error = format("the module and its samples take %llu bytes; the music image holds 1,048,576",
                        static_cast<unsigned long long>(used));
        return false;
    }
    return true;
}

bool xm_export(const uint8_t* image, uint32_t module_size, uint32_t pcm_size, xm_song* song, xm_warnings* warnings,
               std::string* error)
{
    warner warn{warnings, {}};
    char why[200];
    if (!module_check(image, module_size, pcm_size, why, sizeof why)) {
        *error = why;
        return false;
    }
    *song = xm_song{};
    uint32_t length = read_u32(image + header_song_length);
    uint16_t flags = read_u16(image + header_flags);
    song->channels = int(read_u32(image + header_channel_count));
    song->restart = int(read_u32(image + header_restart_position));
    song->speed = image[header_speed];
    song->tempo = image[header_tempo];
    song->linear = flags & module_linear_frequencies;
    if (song->speed > 31)
        warn(format("the song's speed %d is above XM's 31", song->speed));
    if (song->tempo < 32)
        warn(format("the song's tempo %d is below XM's 32", song->tempo));
    if (flags & module_keep_panning)
        warn("the song keeps channel panning at note starts; XM always takes the sample's");
    int32_t lowest = int32_t(read_u32(image + header_lowest_period));
    int32_t highest = int32_t(read_u32(image + header_highest_period));
    if (song->linear ? (lowest != -18432 || highest != 24576) : (lowest != 4 * 28 || highest != 4 * 32000))
        warn(format("the song's period limits %d and %d are not the ones an XM player uses", lowest, highest));
    for (int c = 0; c < song->channels; ++c)
        if (image[header_panning + c] != 128) {
            warn("the song's initial channel panning is lost: XM channels start at the centre");
            break;
        }
    song->orders.assign(image + header_orders, image + header_orders + length);

    // Delta-coded samples are integrated in a copy of the image.
    std::vector<uint8_t> pool(image, image + module_size + pcm_size);
    if (flags & module_delta_samples) {
        uint32_t at = read_u32(image + header_sample_data_offset);
        uint8_t sum8 = 0;
        for (uint32_t i = 0; i < read_u32(image + header_delta_bytes); ++i, ++at)
            pool[at] = sum8 = uint8_t(sum8 + pool[at]);
        uint16_t sum16 = 0;
        for (uint32_t i = 0; i < read_u32(image + header_delta_values); ++i, at += 2) {
            sum16 = uint16_t(sum16 + read_u16(&pool[at]));
            pool[at] = uint8_t(sum16);
            pool[at + 1] = uint8_t(sum16 >> 8);
        }
    }

    uint32_t patterns = read_u32(image + header_pattern_count);
    for (uint32_t o = 0; o < length; ++o)
        patterns = std::max<uint32_t>(patterns, image[header_orders + o] + 1u);
    patterns = std::min<uint32_t>(patterns, module_max_patterns);
    song->patterns.resize(patterns);
    for (uint32_t p = 0; p < patterns; ++p)
        if (!export_pattern(image, module_size, p, song->channels, &song->patterns[p], warn)) {
            warn(format("pattern %u cannot be read; it becomes 64 empty rows", p));
            song->patterns[p] = xm_pattern{};
            song->patterns[p].cells.assign(size_t(64) * song->channels, xm_cell{});
        }

    uint32_t instruments = read_u32(image + header_instrument_count);
    for (uint32_t k = 1; k <= instruments; ++k) {
        const uint8_t* record = image + read_u32(image + header_instrument_offsets + 4 * (k - 1));
        xm_instrument in;
        uint32_t count = read_u32(record + instrument_sample_count);
        if (count > uint32_t(xm_max_samples)) {
            warn(format("instrument %u has %u sample headers; XM keeps the first 16", k, count));
            count = xm_max_samples;
        }
        for (int s = 0; s < 96; ++s) {
            in.note_map[s] = record[instrument_note_map + s];
            if (in.note_map[s] >= count) {
                if (count)
                    warn(format("instrument %u: note %d plays nothing in our player; in XM it plays sample 1", k,
                                s + 1));
                in.note_map[s] = 0;
            }
        }
        in.fadeout = read_u16(record + instrument_fadeout);
        in.vibrato_type = table_to_vibrato[record[instrument_vibrato_waveform] & 3];
        in.vibrato_sweep = record[instrument_vibrato_sweep];
        in.vibrato_depth = record[instrument_vibrato_depth];
        in.vibrato_rate = record[instrument_vibrato_rate];
        if (in.vibrato_depth > 15)
            warn(format("instrument %u: auto-vibrato depth %u is above the 15 trackers offer", k, in.vibrato_depth));
        export_envelope(record + instrument_volume_envelope, 64, int(k), "volume", &in.volume_envelope, warn);
        export_envelope(record + instrument_panning_envelope, 32, int(k), "panning", &in.panning_envelope, warn);
        for (uint32_t s = 0; s < count; ++s) {
            const uint8_t* h = record + instrument_sample_headers + sample_header_size * s;
            xm_sample x;
            uint8_t sample_flags_byte = h[sample_flags];
            bool wide = sample_flags_byte & sample_16bit;
            uint32_t end = read_u32(h + sample_end), loop = read_u32(h + sample_loop_start);
            uint32_t offset = read_u32(image + header_sample_offsets + 4 * read_u16(h + sample_number));
            uint64_t width = wide ? 2 : 1;
            if (uint64_t(offset) + end * width > uint64_t(module_size) + pcm_size) {
                // Only headers that notes reach were checked; this one is never heard.
                warn(format("instrument %u, sample %u lies outside the module; exported empty", k, s + 1));
                end = 0;
            }
            x.type = wide ? xm_sample_16bit : 0;
            if (sample_flags_byte & sample_pingpong_loop)
                x.type |= xm_loop_pingpong;
            else if (sample_flags_byte & sample_forward_loop)
                x.type |= xm_loop_forward;
            if ((x.type & 3) && loop < end) {
                x.loop_start = loop;
                x.loop_length = end - loop;
            } else {
                x.type &= xm_sample_16bit;
            }
            for (uint32_t i = 0; i < end; ++i)
                x.pcm.push_back(wide ? int16_t(read_u16(&pool[offset + 2 * i])) : int8_t(pool[offset + i]));
            x.volume = h[sample_volume];
            x.panning = h[sample_panning];
            // Ours is in 1/256 semitone, XM's finetune in 1/128: the nearest
            // relative note and an even remainder.
            int pitch = int16_t(read_u16(h + sample_relative_pitch));
            int note = (pitch + 128 + 256 * 128) / 256 - 128;
            x.relative_note = int8_t(note);
            x.finetune = int8_t((pitch - 256 * note) / 2);
            if ((pitch - 256 * note) % 2)
                warn(format("instrument %u, sample %u: relative pitch %d loses 1/256 semitone", k, s + 1, pitch));
            in.samples.push_back(std::move(x));
        }
        song->instruments.push_back(std::move(in));
    }
    return true;
}
