// The tracker player: its state record, ticks, rows, notes, pitch, volume, envelopes and auto-vibrato (portable).
//
// A player is one player_state record, handed as a parameter to every
// function here, to the effect handlers (effects.h), to the pitch functions
// that read its module (pitch.h) and to the mixer (mixer.h); the show's one
// player is the sound side's (sound.h).  player_tick runs on the streaming thread only
// (called by mixer_render, mixer.h); player_start and player_stop on the
// main thread; player_sync_value and player_position may be read from any
// thread at any time.
#pragma once

#include <cstdint>

#include "music/player_state.h"

// Takes the module of the music image at `image` into `state`: header copy
// with offsets turned into addresses, delta samples integrated in place
// (once), waveform tables.  False for a wrong magic (the song then never
// starts).
bool player_init(player_state& state, uint8_t* image);

// Starts the song at `order`; does nothing while it plays or when
// player_init failed.
void player_start(player_state& state, uint32_t order);
// Stops the song; position and channels stay as they are.
void player_stop(player_state& state);
// The sync byte: the parameter of the last sync command (S, W, EF).
uint8_t player_sync_value(const player_state& state);
// (order mod 256) x 256 + (row mod 256), as published at the last row read.
uint16_t player_position(const player_state& state);

// One tick (mixer_render calls it while playing).
void player_tick(player_state& state);
// The first-tick handling of one channel's cell in the state's cell fields:
// the row parser runs it for each cell it reads, and a note delay (effects.h)
// runs it again when the note comes.
void process_cell(player_state& state, channel_record& channel);
