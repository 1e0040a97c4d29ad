// The player's effects: the four handler tables for the volume column and the 52 effects (portable).
//
// A row handler runs once when the row is read; a tick handler on every tick
// of the row, the row tick included (right after the row handlers).  Each
// takes the player and the channel being processed and reads the current
// cell from the player (the parameter, and for the volume column its low
// nibble).  Handlers that act on "later ticks" act only while the player's
// row_tick is 0.  The note delay runs the row parser's process_cell
// (player.h) again on its tick.
#pragma once

#include "music/player_state.h"

using channel_handler = void (*)(player_state& player, channel_record& channel);

// Indexed by effect number 0 to 51 (tracker letters 0 to 9, A to Z, then
// Exy as 36 + x with parameter y).
extern const channel_handler effect_row_handlers[effect_count];
extern const channel_handler effect_tick_handlers[effect_count];
// Indexed by the volume command, the high nibble of the volume byte.
extern const channel_handler volume_row_handlers[16];
extern const channel_handler volume_tick_handlers[16];
