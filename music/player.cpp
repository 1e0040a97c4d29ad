// The tracker player: ticks, rows, note starts, pitch, the volume stage, envelopes and auto-vibrato (portable).
#include "music/player.h"

#include <cstring>

#include "music/effects.h"
#include "music/pitch.h"

// ---------------------------------------------------------------------------
// Set-up.

bool player_init(player_state& s, uint8_t* image)
{
    s.global_volume = 0;
    s.master_volume = 64;
    s.sync_byte.store(0, std::memory_order_relaxed);
    s.tick = s.speed = s.row_tick = 0;
    s.row = 0;
    s.read_position = nullptr;
    s.pattern_rows = s.order = s.jump_order = s.jump_row = 0;
    s.pattern_delay = 0;
    s.cell_note = s.cell_instrument = s.cell_volume = s.cell_effect = s.cell_parameter = 0;
    s.delayed_trigger = 0;
    s.tempo = 0;
    s.portamento_cell = s.key_off_cell = 0;
    s.header = module_header{};
    s.frames_left = s.tick_countdown = 0;
    s.position_word.store(0, std::memory_order_relaxed);

    if (!module_prepare(image, s.header)) {
        s.playing.store(0, std::memory_order_release);
        return false;
    }
    build_waveforms(s.waveform_tables);
    s.playing.store(0, std::memory_order_release);
    return true;
}

// ---------------------------------------------------------------------------
// Start, stop and what other threads read.

void player_start(player_state& s, uint32_t order)
{
    if (s.playing.load(std::memory_order_relaxed) || std::memcmp(s.header.magic, "MXM", 4) != 0)
        return;
    s.jump_order = s.order = order;
    s.row = 0;
    for (uint32_t c = 0; c < module_max_channels; ++c) {
        s.channels[c] = channel_record{};
        s.channels[c].panning = s.header.initial_panning[c];
    }
    s.global_volume = 64;
    s.jump_row = 0;
    s.sync_byte.store(0, std::memory_order_relaxed);
    s.speed = s.header.initial_speed;
    s.tick = uint8_t(s.speed - 1);  // so the first tick reads a row
    s.tempo = s.header.initial_tempo;
    s.position_word.store(uint16_t((order & 0xFF) << 8), std::memory_order_relaxed);
    s.playing.store(1, std::memory_order_release);  // last: the streaming thread may now tick
}

void player_stop(player_state& s)
{
    s.playing.store(0, std::memory_order_release);
}

uint8_t player_sync_value(const player_state& s)
{
    return s.sync_byte.load(std::memory_order_relaxed);
}

uint16_t player_position(const player_state& s)
{
    return s.position_word.load(std::memory_order_acquire);
}

// ---------------------------------------------------------------------------
// Rows and notes.

namespace {

const uint8_t* instrument_record(const player_state& s, uint32_t number)
{
    return s.header.instruments[number - 1];
}

// Parses one row without acting on it: entry heads and their bytes up to the
// zero that ends the row.
const uint8_t* skip_row(const uint8_t* at)
{
    while (uint8_t head = *at++)
        at += ((head & entry_note) ? 2 : 0) + ((head & entry_volume) ? 1 : 0) + ((head & entry_effect) ? 2 : 0);
    return at;
}

// Moves to the pending jump's order position and row.
void enter_pattern(player_state& s)
{
    if (s.jump_order != s.order)
        for (channel_record& c : s.channels)
            c.loop_count = c.loop_row = 0;
    s.order = s.jump_order < s.header.song_length ? s.jump_order : s.header.restart_position;
    s.row = s.jump_row;
    s.jump_order = no_jump;
    const uint8_t* pattern = s.header.patterns[s.header.orders[s.order & 0xFF]];
    s.pattern_rows = read_u32(pattern);
    s.read_position = pattern + 4;
    // A jump row outside the pattern (a break or loop row beyond its end)
    // starts it at row 0, so the skip never leaves the pattern's rows.
    if (s.row >= s.pattern_rows)
        s.row = 0;
    for (uint32_t r = 0; r < s.row; ++r)
        s.read_position = skip_row(s.read_position);
}

void read_row(player_state& s)
{
    s.row_tick = 1;
    ++s.row;
    if (s.jump_order == no_jump) {
        if (s.row >= s.pattern_rows) {
            s.jump_order = s.order + 1;
            s.jump_row = 0;
        }
    }
    if (s.jump_order != no_jump)
        enter_pattern(s);
    // One store of the whole word: a reader never pairs a new order with an old row.
    s.position_word.store(uint16_t((s.order & 0xFF) << 8 | (s.row & 0xFF)), std::memory_order_release);

    const uint8_t* at = s.read_position;
    for (uint32_t c = 0; c < s.header.channel_count; ++c) {
        channel_record& channel = s.channels[c];
        s.cell_note = s.cell_instrument = s.cell_volume = s.cell_effect = s.cell_parameter = 0;
        channel.tick_effect = no_tick_effect;
        channel.volume_command = 0;
        uint8_t head = *at;
        if (head == 0 || (head & entry_channel_mask) != c)
            continue;
        ++at;
        if (head & entry_note) {
            s.cell_note = at[0];
            s.cell_instrument = at[1];
            at += 2;
        }
        if (head & entry_volume)
            s.cell_volume = *at++;
        if (head & entry_effect) {
            s.cell_effect = at[0];
            s.cell_parameter = at[1];
            at += 2;
        }
        s.delayed_trigger = 0;
        process_cell(s, channel);
        channel.volume_command = uint8_t(s.cell_volume >> 4);
        s.cell_volume &= 0x0F;
        volume_row_handlers[channel.volume_command](s, channel);
        if (s.cell_effect < effect_count) {
            channel.tick_effect = s.cell_effect;
            effect_row_handlers[s.cell_effect](s, channel);
        }
    }
    s.read_position = at + 1;  // the zero that ends the row
}

}  // namespace

void process_cell(player_state& s, channel_record& ch)
{
    uint8_t note = s.cell_note;
    uint8_t instrument = s.cell_instrument;
    uint8_t effect = s.cell_effect;
    uint8_t parameter = s.cell_parameter;

    s.portamento_cell = effect == 3 || effect == 5 || s.cell_volume >= 0xF0;
    s.key_off_cell = 0;
    if (effect == 20 && parameter == 0) {
        s.key_off_cell = 1;
        ch.key_held = 0;
    } else if (note == note_key_off) {
        note = 0;
        s.key_off_cell = 1;
        ch.key_held = 0;
    }
    if (instrument >= 1 && instrument <= s.header.instrument_count)
        ch.instrument_number = instrument;
    if (ch.instrument_number == 0)
        return;

    if (note != 0) {
        if (instrument != 0)
            ch.key_held = 1;
        ch.last_note = note;
        if (effect == 49 && parameter != 0)
            return;  // the note waits for the note delay
        uint32_t semitone = note - 1u;
        if (s.portamento_cell) {
            ch.portamento_target = note_period(s, semitone, ch.relative_pitch);
        } else {
            const uint8_t* record = instrument_record(s, ch.instrument_number);
            uint32_t k = record[instrument_note_map + semitone];
            if (k >= read_u32(record + instrument_sample_count))
                return;
            const uint8_t* header = record + instrument_sample_headers + sample_header_size * k;
            ch.active = 1;
            ch.sample = s.header.samples[read_u16(header + sample_number) % module_max_samples];
            ch.loop_start = read_u32(header + sample_loop_start);
            ch.end = read_u32(header + sample_end);
            ch.sample_flags = header[sample_flags] & (sample_16bit | sample_forward_loop | sample_pingpong_loop);
            if (instrument != 0) {
                ch.instrument = record;
                ch.sample_volume = header[sample_volume];
                ch.sample_panning = header[sample_panning];
            }
            ch.relative_pitch = int16_t(read_u16(header + sample_relative_pitch));
            ch.period = ch.tick_period = ch.portamento_target = note_period(s, semitone, ch.relative_pitch);
            if (effect == 9) {
                if (parameter != 0)
                    ch.sample_offset_memory = parameter;
                ch.start_position = 256u * ch.sample_offset_memory;
            } else {
                ch.start_position = 0;
            }
            ch.vibrato_position = ch.tremolo_position = ch.arpeggio_index = 0;
            ch.retrigger_counter = ch.tremor_counter = 0;
        }
    }

    if (ch.key_held && instrument != 0) {
        if (!s.delayed_trigger) {
            ch.volume = ch.tick_volume = ch.sample_volume;
            if (!(s.header.flags & module_keep_panning))
                ch.panning = ch.tick_panning = ch.sample_panning;
        }
        ch.fade_level = 32768;
        ch.auto_vibrato_position = ch.auto_vibrato_sweep = 0;
        ch.volume_envelope_point = ch.panning_envelope_point = 0;
        ch.volume_envelope_tick = ch.panning_envelope_tick = 0;
    }
    if (s.key_off_cell && instrument == 0 && ch.instrument &&
        ch.instrument[instrument_volume_envelope + envelope_last] == 0)
        ch.fade_level = 0;
}

// ---------------------------------------------------------------------------
// Volume, envelopes and auto-vibrato.

namespace {

// One envelope step (point p, tick t): gives the value of this tick and
// moves on.
int32_t envelope_value(const uint8_t* env, uint32_t& point, uint16_t& tick, bool key_held)
{
    uint32_t last = env[envelope_last];
    const uint8_t* points = env + envelope_points;
    if (tick != 0 && point == env[envelope_loop_end])
        point = env[envelope_loop_start];
    int32_t value = read_u16(points + 4 * point + 2);
    if (point == last)
        return value;
    int32_t length = read_u16(points + 4 * point);
    int32_t next = read_u16(points + 4 * point + 6);
    int32_t e = value + int32_t(int64_t(next - value) * tick / length);
    if (!(tick == 0 && key_held && point == env[envelope_sustain])) {
        ++tick;
        // At or past: a loop back to a 1-tick loop-start segment enters it
        // at tick 1, which is already its end.
        if (tick >= length) {
            tick = 0;
            ++point;
        }
    }
    return e;
}

void instrument_stage(player_state& s, channel_record& ch)
{
    const uint8_t* record = ch.instrument;

    // Volume stage: master and global volume and the fade level; with all
    // three at full the 0 to 64 volume becomes 0 to 128.
    uint32_t v = uint8_t((uint32_t(ch.tick_volume) * s.master_volume) >> 6);
    ch.tick_volume = uint8_t((v * s.global_volume * ch.fade_level) >> 20);
    if (!ch.key_held) {
        int32_t fade = int32_t(ch.fade_level) - read_u16(record + instrument_fadeout);
        ch.fade_level = uint16_t(fade < 0 ? 0 : fade);
    }

    int32_t e = envelope_value(record + instrument_volume_envelope, ch.volume_envelope_point,
                               ch.volume_envelope_tick, ch.key_held);
    ch.tick_volume = uint8_t((e * ch.tick_volume) >> 6);

    e = envelope_value(record + instrument_panning_envelope, ch.panning_envelope_point, ch.panning_envelope_tick,
                       ch.key_held);
    int32_t pan = ch.tick_panning;
    int32_t room = pan < 128 ? pan : 255 - pan;
    ch.tick_panning = uint8_t(pan + (((e - 32) * room) >> 5));  // floor division by 32

    int32_t sweep = record[instrument_vibrato_sweep];
    int32_t a = (s.waveform_tables[record[instrument_vibrato_waveform] & 3][ch.auto_vibrato_position] *
                 int32_t(record[instrument_vibrato_depth])) >> 4;
    if (ch.auto_vibrato_sweep < sweep) {
        a = a * ch.auto_vibrato_sweep / sweep;
        ++ch.auto_vibrato_sweep;
    }
    ch.tick_period = clamp_period(s, ch.tick_period - a);
    ch.auto_vibrato_position = uint8_t(ch.auto_vibrato_position + record[instrument_vibrato_rate]);
}

}  // namespace

void player_tick(player_state& s)
{
    uint32_t channels = s.header.channel_count;
    s.row_tick = 0;
    for (uint32_t c = 0; c < channels; ++c) {
        channel_record& ch = s.channels[c];
        ch.tick_volume = ch.volume;
        ch.tick_panning = ch.panning;
        ch.tick_period = ch.period;
    }
    s.tick = uint8_t(s.tick + 1);
    if (s.tick == s.speed) {
        s.tick = 0;
        if (s.pattern_delay != 0)
            --s.pattern_delay;  // the row repeats without being read
        else
            read_row(s);
    }
    for (uint32_t c = 0; c < channels; ++c) {
        channel_record& ch = s.channels[c];
        volume_tick_handlers[ch.volume_command](s, ch);
        if (ch.tick_effect < effect_count)
            effect_tick_handlers[ch.tick_effect](s, ch);
        if (ch.instrument)
            instrument_stage(s, ch);
        ch.voice_volume = ch.tick_volume;
        ch.voice_panning = ch.tick_panning;
        ch.step = period_to_step(s, ch.tick_period);
    }
}
