// Display set-up and presentation (portable; the display itself is the platform's).
#include "shell/display.h"

int32_t screen_width = 320;
int32_t screen_height = 240;

namespace {
uint32_t* frame_buffer = nullptr;
}

uint32_t* display_frame_buffer()
{
    return frame_buffer;
}
