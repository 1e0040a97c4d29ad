// The sound side: the song loaded from the stored data, and its streaming into the platform's looping buffer (portable).
#pragma once

#include <cstdint>

#include "music/player.h"

struct platform_task;

// Frames one streaming step may render: the whole ring.
constexpr uint32_t sound_mix_frames = 16384;
// How often the streaming step runs.
constexpr uint32_t sound_stream_period_ms = 20;

// Everything the sound side keeps; one instance, `sound_output`.
struct sound_output_record {
    platform_task* thread = nullptr;  // the streaming step, every sound_stream_period_ms
    bool silent = false;              // no sound device: a silent ring plays instead
    uint32_t play_cursor = 0;         // last one read
    uint32_t write_position = 0;      // the ring has been refilled up to here
    player_state player = {};         // the show's player, rendered by the streaming step
    int32_t mix_buffer[sound_mix_frames * 2] = {};
};

extern sound_output_record sound_output;

// Builds the music image from the stored song: the module, then its decoded
// samples right behind it.
uint8_t* load_music();

// Initialises the player from `image`, opens the looping buffer (silent when
// no device can be had), starts it playing and starts the streaming step.
// Returns all bits set, or 0 when not even a silent buffer could be opened.
uint32_t sound_start(uint8_t* image);

// Stops the streaming step (waiting at most 1,000 ms for it) and closes the
// buffer.  A step that did not end in time keeps everything it uses.  Safe
// to call twice.
void sound_shutdown();

// One wake-up of the streaming thread: renders exactly the span of the ring
// played since the last one (whole 32-byte units) and writes it there.
void stream_thread();
