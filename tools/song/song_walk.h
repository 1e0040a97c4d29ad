// Playing a song once through the player and mixer, row by row: for traces, reports and tests (portable; tool side).
#pragma once

#include <cstdint>
#include <vector>

#include "music/player.h"

struct song_row_event {
    uint64_t frame;  // output frame at which the tick that read the row starts
    uint32_t order;
    uint32_t row;
    uint8_t sync;    // the sync byte after the row's handlers ran
};

struct song_walk {
    std::vector<song_row_event> rows;
    std::vector<int16_t> pcm;  // 16-bit stereo, when asked for
    uint64_t frames = 0;       // rendered
    bool returned = false;     // stopped where the song came back to its restart position
};

// Plays the started song in `state` (after player_init and player_start)
// until it first comes back to its restart position, or for `limit_frames`
// when that is not 0.  With `keep_pcm` the output is kept as 16-bit PCM.
song_walk walk_song(player_state& state, uint64_t limit_frames, bool keep_pcm);
