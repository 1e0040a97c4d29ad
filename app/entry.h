// The program's spine: start-up, the frame loop, shut-down, the quit flag,
// the window procedure and the message pump (portable).
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Set to 1 by Escape, a close request or the end of the show; the frame
// loop ends when it is not 0.
extern int32_t quit_requested;

// What the last frame loop did, for a report at exit.
struct frame_loop_stats {
    uint32_t frames = 0;        // frames presented
    uint32_t milliseconds = 0;  // from the first frame's start to the loop's end (platform clock)
    uint32_t last_frame_ms = 0; // the show clock of the last frame
    uint64_t precalc_us = 0;    // real time the precalculation took
};
extern frame_loop_stats loop_stats;

// Brings the show up, runs frames until quit_requested, brings it down.
// Returns the exit status: 0, or 1 when the display could not be set up.
int program_entry();
// The same in three parts, for hosts that hand out frames one at a time (a
// browser's animation callback): program_start does the start-up (its status
// as program_entry's, 1 having released everything), program_frame one pass
// of the frame loop, program_finish the shut-down after the last pass.
int program_start();
void program_frame();
void program_finish();

// Escape and a close request set quit_requested; everything else does nothing.
void window_proc(platform_event event);
// Handles at most one waiting event, without waiting.
void pump_one_message();
// The song's end: order 27, row 62 or later.
// The published position went back (order << 8 | row below the last one):
// the song has passed its end and started again.
bool song_has_come_round(int32_t previous_word, int32_t order, int32_t row);
