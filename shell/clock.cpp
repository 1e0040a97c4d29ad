// The show clock and the music position published to the frame loop (portable).
#include "shell/clock.h"

int32_t music_order = 0;
int32_t music_row = 0;
