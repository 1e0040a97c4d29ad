// The show clock and the music position published to the frame loop (portable).
#pragma once

#include <cstdint>

// The music position as the clock publishes it; order 0, row 0 until the
// clock and timer run.
extern int32_t music_order;
extern int32_t music_row;
