// The player's records: one per channel and one for the player, shared by the player, its effects and the mixer (portable).
#pragma once

#include <atomic>
#include <cstdint>

#include "music/module.h"

constexpr uint32_t no_jump = 0xFFFFFFFF;            // jump order: none pending
constexpr uint32_t no_start_position = 0xFFFFFFFF;  // voice start position: none
constexpr uint8_t no_tick_effect = 255;

// One channel.  The first group is the voice the mixer plays; the rest is the
// player's.
struct channel_record {
    // The voice.
    uint8_t active;
    const uint8_t* sample;    // first PCM value
    uint32_t end;             // forward play wraps or stops here; the loop start while playing backwards
    uint32_t loop_start;      // the other boundary; the end while playing backwards
    uint8_t sample_flags;     // bits 2, 3, 4 of the sample header; bit 5 = playing backwards
    uint32_t start_position;  // frame the mixer restarts from at its next call, or no_start_position
    uint16_t step;            // frames per output frame, 6.10 fixed point
    uint16_t voice_volume;    // 0 to 128
    uint8_t voice_panning;    // 0 (left) to 255 (right)
    int64_t position;         // frame in 32.32 fixed point

    // The player's.
    uint8_t volume;  // 0 to 64, kept from tick to tick
    uint8_t tick_volume;
    uint8_t panning;
    uint8_t tick_panning;
    int32_t period;
    int32_t tick_period;
    uint8_t instrument_number;  // 0 = none yet
    const uint8_t* instrument;  // record of the last note that carried an instrument
    int16_t relative_pitch;     // of the current sample, 1/256 semitone
    uint8_t key_held;
    uint16_t fade_level;  // 32,768 at note start
    uint8_t auto_vibrato_position;
    uint8_t auto_vibrato_sweep;
    uint32_t volume_envelope_point;
    uint16_t volume_envelope_tick;
    uint32_t panning_envelope_point;
    uint16_t panning_envelope_tick;
    uint8_t sample_volume;
    uint8_t sample_panning;
    uint8_t tick_effect;     // effect run on every tick of the row, or no_tick_effect
    uint8_t volume_command;  // high nibble of the volume byte
    int32_t portamento_target;
    int32_t portamento_speed;

    // Effect memories.
    uint8_t volume_slide_memory;         // A, 5, 6
    uint8_t global_slide_memory;         // H
    uint8_t volume_column_slide;         // volume column 6x, 7x, Dx, Ex
    uint8_t panning_slide_memory;        // P
    uint8_t fine_volume_up_memory;       // EA
    uint8_t fine_volume_down_memory;     // EB
    int32_t portamento_up_speed;         // 1: 16 x parameter
    int32_t portamento_down_speed;       // 2
    uint8_t fine_portamento_up_memory;   // E1
    uint8_t fine_portamento_down_memory; // E2
    uint8_t extra_fine_up_memory;        // X1
    uint8_t extra_fine_down_memory;      // X2
    uint8_t vibrato_speed, vibrato_position, vibrato_waveform, vibrato_depth;
    uint8_t tremolo_speed, tremolo_position, tremolo_waveform, tremolo_depth;
    uint8_t loop_count, loop_row;  // E6
    uint8_t arpeggio_index;
    uint8_t arpeggio_offsets[3];
    uint8_t tick_parameter;  // K, E9, EC, ED
    uint8_t retrigger_counter, retrigger_interval, retrigger_volume_code;
    uint8_t last_note;
    uint8_t sample_offset_memory;
    uint8_t glissando;
    uint8_t tremor_counter, tremor_period, tremor_on_time;
};

struct player_state {
    uint8_t global_volume;  // 0 to 64
    uint8_t master_volume;  // 64 = unity
    std::atomic<uint8_t> sync_byte;  // read by the timer thread
    uint8_t tick;                    // within the row, 0 to speed - 1
    uint8_t speed;                   // ticks per row
    uint8_t row_tick;                // 1 during the tick that read a row
    uint32_t row;
    const uint8_t* read_position;  // next byte of pattern data
    uint32_t pattern_rows;
    uint32_t order;
    uint32_t jump_order;  // no_jump = none pending
    uint32_t jump_row;
    uint8_t pattern_delay;
    // The cell being processed: note, instrument, volume byte (then its low
    // nibble), effect, parameter.
    uint8_t cell_note, cell_instrument, cell_volume, cell_effect, cell_parameter;
    uint8_t delayed_trigger;  // 1 while a note delay re-triggers a cell
    uint32_t tempo;           // beats per minute
    uint8_t portamento_cell, key_off_cell;  // scratch of process_cell
    module_header header;
    channel_record channels[module_max_channels];
    int8_t waveform_tables[4][256];  // sine, rising saw, square, falling saw
    // Render fields (mixer.h).
    uint32_t frames_left;
    uint32_t tick_countdown;  // frames until the next tick, 24.8 fixed point
    // Published to other threads: the playing flag (set last by
    // player_start) and the position word, written whole at each row read so
    // that no reader pairs a new order with an old row.
    std::atomic<uint8_t> playing;
    std::atomic<uint16_t> position_word;
};
