// Display set-up and presentation: the frame buffer, converted to the display's format every frame (portable).
#pragma once

#include <cstdint>


// The display's state.  The first three are the user's choices (the options
// of the command line); the rest is filled in by display_setup.
struct display_state {
    int32_t display_depth = 32;      // 32, 24, 16 or 15 bits per pixel
    int32_t display_scale = 1;       // 1, or 2 for a doubled picture
    bool display_windowed = false;   // a window instead of the full screen
    int32_t present_width = 0;       // the frame buffer's size, as handed to set-up
    int32_t present_height = 0;
    int32_t present_depth = 0;       // selects the conversion
    int32_t present_doubled = 0;     // 1 at scale 2
    bool display_open = false;       // the platform's display is set up
    uint32_t* frame_buffer = nullptr;  // present_width x present_height pixels 0x00RRGGBB
    char failure[256] = {};          // why the last set-up failed
};
extern display_state display;

// Sets the display up for a frame buffer of width x height at the chosen
// depth and scale.  0 on success; 1 on failure, after writing "DDraw Error",
// releasing everything and leaving the reason in display.failure.
int display_setup(int32_t width, int32_t height);
// The width x height frame buffer of 0x00RRGGBB pixels (null before set-up).
uint32_t* display_frame_buffer();
// Converts the frame buffer into the back buffer and flips.
void display_present();
// Leaves the display and frees the frame buffer; nothing to do after a failed set-up.
void display_release();
