// The player's effects and volume-column commands, dispatched through four handler tables (portable).
#include "music/effects.h"

#include "music/pitch.h"
#include "music/player.h"

namespace {

uint8_t parameter(const player_state& s) { return s.cell_parameter; }
uint8_t high_nibble(const player_state& s) { return uint8_t(s.cell_parameter >> 4); }
uint8_t low_nibble(const player_state& s) { return uint8_t(s.cell_parameter & 15); }
bool later_tick(const player_state& s) { return s.row_tick == 0; }

uint8_t limit(int32_t value, int32_t low, int32_t high)
{
    return uint8_t(value < low ? low : value > high ? high : value);
}

void nothing(player_state&, channel_record&) {}

// ---------------------------------------------------------------------------
// Shared tick rules.

// A, 5, 6: the high nibble of the memory slides up, else the low one down.
void volume_slide(player_state& s, channel_record& ch)
{
    if (later_tick(s)) {
        uint8_t m = ch.volume_slide_memory;
        ch.volume = (m >> 4) ? limit(ch.volume + (m >> 4), 0, 64) : limit(ch.volume - m, 0, 64);
    }
    ch.tick_volume = ch.volume;
}

// The period of the semitone of the current sample's scale closest to p.
int32_t glissando_period(const player_state& s, const channel_record& ch, int32_t p)
{
    int32_t r = ch.relative_pitch;
    if (s.header.flags & module_linear_frequencies)
        return ((p + r + 128) & ~0xFF) - r;
    int32_t best = 0;
    int64_t best_distance = -1;
    for (int32_t k = -48; k <= 47; ++k) {
        int32_t candidate = int32_t(pitch_to_period(int16_t(256 * k + r)));
        int64_t distance = candidate > p ? int64_t(candidate) - p : int64_t(p) - candidate;
        if (best_distance < 0 || distance < best_distance) {  // the first k wins a tie
            best = candidate;
            best_distance = distance;
        }
    }
    return best;
}

// 3, 5 and volume column Fx: the period moves toward the target without
// passing it; glissando rounds only what is heard.
void tone_portamento(player_state& s, channel_record& ch)
{
    int32_t p = ch.period;
    if (later_tick(s) && p != ch.portamento_target) {
        if (p < ch.portamento_target) {
            p += ch.portamento_speed;
            if (p > ch.portamento_target)
                p = ch.portamento_target;
        } else {
            p -= ch.portamento_speed;
            if (p < ch.portamento_target)
                p = ch.portamento_target;
        }
    }
    ch.period = p;
    if (ch.glissando)
        p = glissando_period(s, ch, p);
    ch.tick_period = p;
}

// The waveform a vibrato or tremolo reads: the one E4x or E7x selected.
const int8_t* waveform(const player_state& s, uint8_t selection)
{
    return s.waveform_tables[selection & 3];
}

// 4, 6 and volume column Bx.
void vibrato(player_state& s, channel_record& ch)
{
    int32_t delta = (waveform(s, ch.vibrato_waveform)[ch.vibrato_position] * int32_t(ch.vibrato_depth)) >> 3;
    ch.tick_period = clamp_period(s, ch.tick_period + delta);
    if (later_tick(s))
        ch.vibrato_position = uint8_t(ch.vibrato_position + ch.vibrato_speed / 2);
}

// 7.
void tremolo(player_state& s, channel_record& ch)
{
    int32_t delta = (waveform(s, ch.tremolo_waveform)[ch.tremolo_position] * int32_t(ch.tremolo_depth)) >> 6;
    ch.tick_volume = limit(ch.tick_volume + delta, 0, 64);
    if (later_tick(s))
        ch.tremolo_position = uint8_t(ch.tremolo_position + ch.tremolo_speed);
}

// R: counting from the row tick, the first retrigger falls on the tick the
// interval names and the next every interval + 1 ticks.
void retrigger(player_state&, channel_record& ch)
{
    uint8_t c = ch.retrigger_counter;
    ch.retrigger_counter = uint8_t(c + 1);
    if (c != ch.retrigger_interval)
        return;
    ch.retrigger_counter = 0;
    ch.start_position = 0;
    int32_t v = ch.volume;
    switch (ch.retrigger_volume_code) {
    case 1: v -= 1; break;
    case 2: v -= 2; break;
    case 3: v -= 4; break;
    case 4: v -= 8; break;
    case 5: v -= 16; break;
    case 6: v = (v + v / 4) / 2; break;
    case 7: v = v / 2; break;
    case 9: v += 1; break;
    case 10: v += 2; break;
    case 11: v += 4; break;
    case 12: v += 8; break;
    case 13: v += 16; break;
    case 14: v = v + v / 2; break;
    case 15: v = 2 * v; break;
    default: break;  // 0 and 8: no change
    }
    ch.volume = ch.tick_volume = limit(v, 0, 64);
}

// L: walks from point 0 through the segments; the first longer than what
// remains of `ticks` gets the remainder, the last point gets tick 0.
void set_envelope_position(const uint8_t* env, uint32_t ticks, uint32_t& point, uint16_t& tick)
{
    uint32_t last = env[envelope_last];
    uint32_t p = 0;
    uint32_t remaining = ticks;
    while (p != last) {
        uint32_t length = read_u16(env + envelope_points + 4 * p);
        if (length > remaining)
            break;
        remaining -= length;
        ++p;
    }
    point = p;
    tick = uint16_t(p == last ? 0 : remaining);
}

// ---------------------------------------------------------------------------
// Volume column (command = high nibble of the volume byte, x = its low nibble,
// which process_cell left in the cell).

uint8_t volume_x(const player_state& s) { return s.cell_volume; }

void volume_set(player_state& s, channel_record& ch)
{
    ch.volume = ch.tick_volume = uint8_t((ch.volume_command - 1) * 16 + volume_x(s));
}
void volume_full(player_state&, channel_record& ch) { ch.volume = ch.tick_volume = 64; }
void volume_slide_amount(player_state& s, channel_record& ch) { ch.volume_column_slide = volume_x(s); }
void volume_slide_down(player_state& s, channel_record& ch)
{
    if (later_tick(s))
        ch.volume = limit(ch.volume - ch.volume_column_slide, 0, 64);
    ch.tick_volume = ch.volume;
}
void volume_slide_up(player_state& s, channel_record& ch)
{
    if (later_tick(s))
        ch.volume = limit(ch.volume + ch.volume_column_slide, 0, 64);
    ch.tick_volume = ch.volume;
}
void volume_fine_down(player_state& s, channel_record& ch)
{
    ch.volume = ch.tick_volume = limit(ch.volume - volume_x(s), 0, 64);
}
void volume_fine_up(player_state& s, channel_record& ch)
{
    ch.volume = ch.tick_volume = limit(ch.volume + volume_x(s), 0, 64);
}
void volume_vibrato_speed(player_state& s, channel_record& ch)
{
    if (volume_x(s))
        ch.vibrato_speed = uint8_t(4 * volume_x(s));
}
void volume_vibrato_depth(player_state& s, channel_record& ch)
{
    if (volume_x(s))
        ch.vibrato_depth = uint8_t(4 * volume_x(s));
}
void volume_panning(player_state& s, channel_record& ch) { ch.panning = ch.tick_panning = uint8_t(17 * volume_x(s)); }
void volume_panning_left(player_state& s, channel_record& ch)
{
    if (later_tick(s))
        ch.panning = limit(ch.panning - ch.volume_column_slide, 0, 255);
    ch.tick_panning = ch.panning;
}
void volume_panning_right(player_state& s, channel_record& ch)
{
    if (later_tick(s))
        ch.panning = limit(ch.panning + ch.volume_column_slide, 0, 255);
    ch.tick_panning = ch.panning;
}
void volume_portamento_speed(player_state& s, channel_record& ch)
{
    if (volume_x(s))
        ch.portamento_speed = 256 * volume_x(s);
}

// ---------------------------------------------------------------------------
// Effects: row handlers.

void arpeggio_row(player_state& s, channel_record& ch)
{
    ch.arpeggio_offsets[0] = 0;
    ch.arpeggio_offsets[1] = high_nibble(s);
    ch.arpeggio_offsets[2] = low_nibble(s);
    if (parameter(s) == 0)
        ch.tick_effect = no_tick_effect;
}
void portamento_up_row(player_state& s, channel_record& ch)
{
    if (parameter(s))
        ch.portamento_up_speed = 16 * parameter(s);
}
void portamento_down_row(player_state& s, channel_record& ch)
{
    if (parameter(s))
        ch.portamento_down_speed = 16 * parameter(s);
}
void tone_portamento_row(player_state& s, channel_record& ch)
{
    if (parameter(s))
        ch.portamento_speed = 16 * parameter(s);
}
void vibrato_row(player_state& s, channel_record& ch)
{
    if (low_nibble(s))
        ch.vibrato_depth = uint8_t(4 * low_nibble(s));
    if (high_nibble(s))
        ch.vibrato_speed = uint8_t(4 * high_nibble(s));
}
void volume_slide_row(player_state& s, channel_record& ch)  // A, 5, 6
{
    if (parameter(s))
        ch.volume_slide_memory = parameter(s);
}
void tremolo_row(player_state& s, channel_record& ch)
{
    if (low_nibble(s))
        ch.tremolo_depth = uint8_t(4 * low_nibble(s));
    if (high_nibble(s))
        ch.tremolo_speed = uint8_t(4 * high_nibble(s));
}
void set_panning(player_state& s, channel_record& ch) { ch.panning = ch.tick_panning = parameter(s); }
void position_jump(player_state& s, channel_record&)
{
    s.jump_order = parameter(s);
    s.jump_row = 0;
}
void set_volume(player_state& s, channel_record& ch) { ch.volume = ch.tick_volume = limit(parameter(s), 0, 64); }
void pattern_break(player_state& s, channel_record&)
{
    if (s.jump_order == no_jump)
        s.jump_order = s.order + 1;
    s.jump_row = 10u * high_nibble(s) + low_nibble(s);  // the digits are not checked
}
void speed_and_tempo(player_state& s, channel_record&)
{
    uint8_t x = parameter(s);
    if (x >= 32)
        s.tempo = x;
    else if (x != 0)
        s.speed = x;
}
void global_volume(player_state& s, channel_record&) { s.global_volume = limit(parameter(s), 0, 64); }
void global_slide_row(player_state& s, channel_record& ch)
{
    if (parameter(s))
        ch.global_slide_memory = parameter(s);
}
void set_tick_parameter(player_state& s, channel_record& ch) { ch.tick_parameter = parameter(s); }  // K, E9, EC, ED
void envelope_position(player_state& s, channel_record& ch)
{
    if (!ch.instrument)
        return;
    set_envelope_position(ch.instrument + instrument_volume_envelope, parameter(s), ch.volume_envelope_point,
                          ch.volume_envelope_tick);
    set_envelope_position(ch.instrument + instrument_panning_envelope, parameter(s), ch.panning_envelope_point,
                          ch.panning_envelope_tick);
}
void panning_slide_row(player_state& s, channel_record& ch)
{
    if (parameter(s))
        ch.panning_slide_memory = parameter(s);
}
void retrigger_row(player_state& s, channel_record& ch)
{
    if (!parameter(s))
        return;
    ch.retrigger_interval = low_nibble(s);
    ch.retrigger_volume_code = high_nibble(s);
    ch.retrigger_counter = 0;
}
void sync(player_state& s, channel_record&) { s.sync_byte.store(parameter(s), std::memory_order_relaxed); }  // S, W, EF
void tremor_row(player_state& s, channel_record& ch)
{
    if (!parameter(s))
        return;
    ch.tremor_on_time = uint8_t(high_nibble(s) + 1);
    ch.tremor_period = uint8_t(high_nibble(s) + low_nibble(s) + 2);
    ch.tremor_counter = 0;
}
void extra_fine_portamento(player_state& s, channel_record& ch)
{
    if (high_nibble(s) == 1) {
        if (low_nibble(s))
            ch.extra_fine_up_memory = low_nibble(s);
        ch.period = ch.tick_period = clamp_period(s, ch.period - 4 * ch.extra_fine_up_memory);
    } else if (high_nibble(s) == 2) {
        if (low_nibble(s))
            ch.extra_fine_down_memory = low_nibble(s);
        ch.period = ch.tick_period = clamp_period(s, ch.period + 4 * ch.extra_fine_down_memory);
    }
}
// The extended commands Exy carry y as their whole parameter.
void fine_portamento_up(player_state& s, channel_record& ch)
{
    if (parameter(s))
        ch.fine_portamento_up_memory = parameter(s);
    ch.period = ch.tick_period = clamp_period(s, ch.period - 16 * ch.fine_portamento_up_memory);
}
void fine_portamento_down(player_state& s, channel_record& ch)
{
    if (parameter(s))
        ch.fine_portamento_down_memory = parameter(s);
    ch.period = ch.tick_period = clamp_period(s, ch.period + 16 * ch.fine_portamento_down_memory);
}
void set_glissando(player_state& s, channel_record& ch) { ch.glissando = parameter(s); }
void vibrato_waveform(player_state& s, channel_record& ch) { ch.vibrato_waveform = parameter(s) & 3; }
void pattern_loop(player_state& s, channel_record& ch)
{
    uint8_t y = parameter(s);
    if (y == 0) {
        ch.loop_row = uint8_t(s.row);
        return;
    }
    ++ch.loop_count;
    if (ch.loop_count <= y) {
        s.jump_order = s.order;
        s.jump_row = ch.loop_row;
    } else {
        ch.loop_count = 0;
        ch.loop_row = uint8_t(s.row + 1);
    }
}
void tremolo_waveform(player_state& s, channel_record& ch) { ch.tremolo_waveform = parameter(s) & 3; }
void coarse_panning(player_state& s, channel_record& ch) { ch.panning = ch.tick_panning = uint8_t(17 * parameter(s)); }
void fine_volume_up(player_state& s, channel_record& ch)
{
    if (parameter(s))
        ch.fine_volume_up_memory = parameter(s);
    ch.volume = ch.tick_volume = limit(ch.volume + ch.fine_volume_up_memory, 0, 64);
}
void fine_volume_down(player_state& s, channel_record& ch)
{
    if (parameter(s))
        ch.fine_volume_down_memory = parameter(s);
    ch.volume = ch.tick_volume = limit(ch.volume - ch.fine_volume_down_memory, 0, 64);
}
void pattern_delay(player_state& s, channel_record&) { s.pattern_delay = parameter(s); }

// ---------------------------------------------------------------------------
// Effects: tick handlers.

void arpeggio_tick(player_state& s, channel_record& ch)
{
    uint32_t offset = ch.arpeggio_offsets[ch.arpeggio_index];
    int32_t p;
    if (s.header.flags & module_linear_frequencies)
        p = ch.tick_period - int32_t(256 * offset);
    else
        p = int32_t((int64_t(ch.tick_period) * pitch_semitone_factors[offset & 15]) >> 15);
    ch.tick_period = clamp_period(s, p);
    ch.arpeggio_index = uint8_t((ch.arpeggio_index + 1) % 3);
}
void portamento_up_tick(player_state& s, channel_record& ch)
{
    if (later_tick(s))
        ch.period = clamp_period(s, ch.period - ch.portamento_up_speed);
    ch.tick_period = ch.period;
}
void portamento_down_tick(player_state& s, channel_record& ch)
{
    if (later_tick(s))
        ch.period = clamp_period(s, ch.period + ch.portamento_down_speed);
    ch.tick_period = ch.period;
}
void tone_portamento_and_slide(player_state& s, channel_record& ch)
{
    tone_portamento(s, ch);
    volume_slide(s, ch);
}
void vibrato_and_slide(player_state& s, channel_record& ch)
{
    vibrato(s, ch);
    volume_slide(s, ch);
}
void global_slide_tick(player_state& s, channel_record& ch)
{
    if (!later_tick(s))
        return;
    uint8_t m = ch.global_slide_memory;
    s.global_volume = (m >> 4) ? limit(s.global_volume + (m >> 4), 0, 64) : limit(s.global_volume - m, 0, 64);
}
void key_off_tick(player_state& s, channel_record& ch)
{
    if (!later_tick(s) || s.tick != ch.tick_parameter)
        return;
    ch.key_held = 0;
    if (ch.instrument && ch.instrument[instrument_volume_envelope + envelope_last] == 0)
        ch.fade_level = 0;
}
void panning_slide_tick(player_state& s, channel_record& ch)
{
    if (later_tick(s)) {
        uint8_t m = ch.panning_slide_memory;
        ch.panning = (m >> 4) ? limit(ch.panning - (m >> 4), 0, 255) : limit(ch.panning + (m & 15), 0, 255);
    }
    ch.tick_panning = ch.panning;
}
void tremor_tick(player_state& s, channel_record& ch)
{
    if (ch.tremor_counter >= ch.tremor_on_time)
        ch.tick_volume = 0;
    if (later_tick(s)) {
        ch.tremor_counter = uint8_t(ch.tremor_counter + 1);
        if (ch.tremor_counter == ch.tremor_period)
            ch.tremor_counter = 0;
    }
}
void retrigger_every(player_state& s, channel_record& ch)  // E9
{
    if (ch.tick_parameter != 0 && s.tick % ch.tick_parameter == 0)
        ch.start_position = 0;
}
void note_cut_tick(player_state& s, channel_record& ch)
{
    if (later_tick(s) && s.tick == ch.tick_parameter)
        ch.volume = ch.tick_volume = 0;
}
void note_delay_tick(player_state& s, channel_record& ch)
{
    if (!later_tick(s) || s.tick != ch.tick_parameter)
        return;
    s.delayed_trigger = 1;
    s.cell_note = ch.last_note;
    s.cell_instrument = ch.instrument_number;
    s.cell_volume = 0;
    s.cell_effect = no_tick_effect;
    s.cell_parameter = 0;
    process_cell(s, ch);
}

}  // namespace

// clang-format off
const channel_handler volume_row_handlers[16] = {
    nothing,                  // 0x0x: nothing
    volume_set,               // 0x1x: volume 0x00 to 0x0F
    volume_set,               // 0x2x: volume 0x10 to 0x1F
    volume_set,               // 0x3x: volume 0x20 to 0x2F
    volume_set,               // 0x4x: volume 0x30 to 0x3F
    volume_full,              // 0x5x: volume 64
    volume_slide_amount,      // 0x6x: volume slide down
    volume_slide_amount,      // 0x7x: volume slide up
    volume_fine_down,         // 0x8x: fine volume down
    volume_fine_up,           // 0x9x: fine volume up
    volume_vibrato_speed,     // 0xAx: vibrato speed
    volume_vibrato_depth,     // 0xBx: vibrato depth
    volume_panning,           // 0xCx: panning 17x
    volume_slide_amount,      // 0xDx: panning slide left
    volume_slide_amount,      // 0xEx: panning slide right
    volume_portamento_speed,  // 0xFx: tone portamento
};

const channel_handler volume_tick_handlers[16] = {
    nothing,               // 0x0x
    nothing,               // 0x1x
    nothing,               // 0x2x
    nothing,               // 0x3x
    nothing,               // 0x4x
    nothing,               // 0x5x
    volume_slide_down,     // 0x6x: later ticks
    volume_slide_up,       // 0x7x: later ticks
    nothing,               // 0x8x
    nothing,               // 0x9x
    nothing,               // 0xAx
    vibrato,               // 0xBx: vibrato as effect 4
    nothing,               // 0xCx
    volume_panning_left,   // 0xDx: later ticks
    volume_panning_right,  // 0xEx: later ticks
    tone_portamento,       // 0xFx: as effect 3
};

const channel_handler effect_row_handlers[effect_count] = {
    arpeggio_row,           //  0  0 arpeggio
    portamento_up_row,      //  1  1 portamento up
    portamento_down_row,    //  2  2 portamento down
    tone_portamento_row,    //  3  3 tone portamento
    vibrato_row,            //  4  4 vibrato
    volume_slide_row,       //  5  5 tone portamento and volume slide
    volume_slide_row,       //  6  6 vibrato and volume slide
    tremolo_row,            //  7  7 tremolo
    set_panning,            //  8  8 set panning
    nothing,                //  9  9 sample offset (acts in process_cell)
    volume_slide_row,       // 10  A volume slide
    position_jump,          // 11  B position jump
    set_volume,             // 12  C set volume
    pattern_break,          // 13  D pattern break
    nothing,                // 14  E
    speed_and_tempo,        // 15  F speed and tempo
    global_volume,          // 16  G global volume
    global_slide_row,       // 17  H global volume slide
    nothing,                // 18  I
    nothing,                // 19  J
    set_tick_parameter,     // 20  K key off
    envelope_position,      // 21  L envelope position
    nothing,                // 22  M
    nothing,                // 23  N
    nothing,                // 24  O
    panning_slide_row,      // 25  P panning slide
    nothing,                // 26  Q
    retrigger_row,          // 27  R multi-retrigger
    sync,                   // 28  S sync
    tremor_row,             // 29  T tremor
    nothing,                // 30  U
    nothing,                // 31  V
    sync,                   // 32  W sync
    extra_fine_portamento,  // 33  X extra fine portamento
    nothing,                // 34  Y
    nothing,                // 35  Z
    nothing,                // 36  E0
    fine_portamento_up,     // 37  E1 fine portamento up
    fine_portamento_down,   // 38  E2 fine portamento down
    set_glissando,          // 39  E3 glissando
    vibrato_waveform,       // 40  E4 vibrato waveform
    nothing,                // 41  E5
    pattern_loop,           // 42  E6 pattern loop
    tremolo_waveform,       // 43  E7 tremolo waveform
    coarse_panning,         // 44  E8 coarse panning
    set_tick_parameter,     // 45  E9 retrigger
    fine_volume_up,         // 46  EA fine volume slide up
    fine_volume_down,       // 47  EB fine volume slide down
    set_tick_parameter,     // 48  EC note cut
    set_tick_parameter,     // 49  ED note delay
    pattern_delay,          // 50  EE pattern delay
    sync,                   // 51  EF sync
};

const channel_handler effect_tick_handlers[effect_count] = {
    arpeggio_tick,              //  0  0 arpeggio
    portamento_up_tick,         //  1  1 portamento up
    portamento_down_tick,       //  2  2 portamento down
    tone_portamento,            //  3  3 tone portamento
    vibrato,                    //  4  4 vibrato
    tone_portamento_and_slide,  //  5  5 tone portamento and volume slide
    vibrato_and_slide,          //  6  6 vibrato and volume slide
    tremolo,                    //  7  7 tremolo
    nothing,                    //  8  8
    nothing,                    //  9  9
    volume_slide,               // 10  A volume slide
    nothing,                    // 11  B
    nothing,                    // 12  C
    nothing,                    // 13  D
    nothing,                    // 14  E
    nothing,                    // 15  F
    nothing,                    // 16  G
    global_slide_tick,          // 17  H global volume slide
    nothing,                    // 18  I
    nothing,                    // 19  J
    key_off_tick,               // 20  K key off
    nothing,                    // 21  L
    nothing,                    // 22  M
    nothing,                    // 23  N
    nothing,                    // 24  O
    panning_slide_tick,         // 25  P panning slide
    nothing,                    // 26  Q
    retrigger,                  // 27  R multi-retrigger
    nothing,                    // 28  S
    tremor_tick,                // 29  T tremor
    nothing,                    // 30  U
    nothing,                    // 31  V
    nothing,                    // 32  W
    nothing,                    // 33  X
    nothing,                    // 34  Y
    nothing,                    // 35  Z
    nothing,                    // 36  E0
    nothing,                    // 37  E1
    nothing,                    // 38  E2
    nothing,                    // 39  E3
    nothing,                    // 40  E4
    nothing,                    // 41  E5
    nothing,                    // 42  E6
    nothing,                    // 43  E7
    nothing,                    // 44  E8
    retrigger_every,            // 45  E9 retrigger
    nothing,                    // 46  EA
    nothing,                    // 47  EB
    note_cut_tick,              // 48  EC note cut
    note_delay_tick,            // 49  ED note delay
    nothing,                    // 50  EE
    nothing,                    // 51  EF
};
// clang-format on
