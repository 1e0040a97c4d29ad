// The tracker player: its one state record, ticks, rows, notes, pitch, volume, envelopes and auto-vibrato (portable).
//
// There is exactly one player: its state is one player_state record reached
// through current_player, which player_init sets.  player_tick runs on the
// streaming thread only (called by mixer_render, mixer.h); player_start and
// player_stop on the main thread; player_sync_value and player_position may
// be read from any thread at any time.
#pragma once

#include <cstdint>

#include "music/player_state.h"

// Takes the module of the music image at `image` into `state` and makes it
// the current player: header copy with offsets turned into addresses, delta
// samples integrated in place (once), waveform tables.  False for a wrong
// magic (the song then never starts).
bool player_init(player_state* state, uint8_t* image);

// Starts the song at `order`; does nothing while it plays or when
// player_init failed.
void player_start(uint32_t order);
// Stops the song; position and channels stay as they are.
void player_stop();
// The sync byte: the parameter of the last sync command (S, W, EF).
uint8_t player_sync_value();
// (order mod 256) x 256 + (row mod 256), as published at the last row read.
uint16_t player_position();

// One tick (mixer_render calls it while playing).
void player_tick();
// The first-tick handling of one channel's cell in current_player's cell fields.
void process_cell(channel_record& channel);

