// Pitch: periods from 1/256-semitone pitches by a four-table product, voice steps and the waveform tables (portable).
#pragma once

#include <cstdint>

#include "music/player_state.h"

// 6,848 x 2^(-x / 3072) by the four-table product (only x mod 65,536 counts).
uint32_t pitch_to_period(int32_t x);
// round(32,768 x 2^(-n/12)) for n = 0 to 15: the factor of n semitones down.
extern const uint32_t pitch_semitone_factors[16];
// Keeps a period within the lowest and highest period of the player's module.
int32_t clamp_period(const player_state& player, int32_t period);
// The period of semitone `semitone` (0 to 95) of a sample with
// `relative_pitch`, in the frequency table of the player's module.
int32_t note_period(const player_state& player, uint32_t semitone, int16_t relative_pitch);
// The voice step (6.10 frames per output frame) of a tick period.
uint16_t period_to_step(const player_state& player, int32_t period);
// Fills the four waveform tables.
void build_waveforms(int8_t tables[4][256]);
