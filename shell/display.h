// Display set-up and presentation: the frame buffer, converted to the display's format every frame (portable).
#pragma once

#include <cstdint>

extern int32_t screen_width;   // 320: every frame-sized buffer has this size
extern int32_t screen_height;  // 240

// The 320 x 240 frame buffer of 0x00RRGGBB pixels.
uint32_t* display_frame_buffer();
