// The mixer: sample-exact ticks, 32 voices mixed into 32-bit stereo, and conversion to clipped 16-bit PCM (portable).
//
// Output is 44,100 frames per second, stereo, left first.  All integer: 32.32
// voice positions, 6.10 steps, 16-bit interpolation weights, gains once per
// voice and call; runs between loop boundaries are measured in advance, so no
// frame tests a boundary.  Reading ahead (interpolation, whole-vector loads),
// the mixer may touch up to 15 bytes past the last frame of a sample: the
// music image keeps music_read_margin bytes after its used part for that.
#pragma once

#include "music/player.h"

#include <cstdint>

// Output frames per second.
constexpr uint32_t mix_rate = 44100;
// Accumulated values are clipped to this, not to 32,767.
constexpr int32_t pcm_clip = 32500;

// Writes `frames` stereo frames of two int32 values at `out`, running a tick
// of `player` whenever its tick countdown runs out; zeros while its song is
// stopped.
void mixer_render(player_state& player, uint32_t frames, int32_t* out);

// Sets `frames` stereo frames at `out` to the sum of the player's active
// voices (all 32 channels) and returns the address after them.
int32_t* mix_voices(player_state& player, uint32_t frames, int32_t* out);

// The same mix, one frame at a time with a boundary test per frame: the
// plain rule that the run-measuring mixer must match exactly.
int32_t* mix_voices_reference(player_state& player, uint32_t frames, int32_t* out);

// Clips each of `destination_bytes` / 2 values to -32,500 to 32,500 and
// stores it as signed 16-bit.
void convert_to_pcm16(const int32_t* source, int16_t* destination, uint32_t destination_bytes);
