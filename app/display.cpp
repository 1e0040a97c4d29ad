// Display set-up and presentation: lock, convert, unlock, flip, with the
// debug strings at each failure (portable; the display itself is the platform's).
#include "app/display.h"

#include "app/present.h"
#include "base/format.h"
#include "base/memory.h"
#include "platform/platform.h"

display_state display;

namespace {

// Releases in the fixed order: the display (back buffer, primary, mode), then the frame buffer.
void release_all()
{
    if (display.display_open)
        platform_display_close();
    display.display_open = false;
    mem_free(display.frame_buffer);
    display.frame_buffer = nullptr;
}

int setup_failed()
{
    platform_debug_string("DDraw Error");
    release_all();
    return 1;
}

}  // namespace

int display_setup(int32_t width, int32_t height)
{
    display.present_width = width;
    display.present_height = height;
    display.failure[0] = 0;
    // The mode dialog's choices arrive as options, already in display_depth and display_scale.

    // From here on the platform's display may be half set up: a failure
    // releases whatever there is.
    display.display_open = true;
    int32_t display_width = width, display_height = height;
    if (display.display_scale == 1) {
        display.present_doubled = 0;
    } else if (display.display_scale == 2) {
        display.present_doubled = 1;
        display_width = 2 * width;
        display_height = 2 * height;
    } else {
        format_text(display.failure, sizeof display.failure, "scale %d is not 1 or 2", int(display.display_scale));
        return setup_failed();
    }
    int32_t depth = display.display_depth;
    if (depth != 15 && depth != 16 && depth != 24 && depth != 32) {
        format_text(display.failure, sizeof display.failure, "depth %d is not 15, 16, 24 or 32", int(depth));
        return setup_failed();
    }
    display.present_depth = depth;
    platform_display_mode mode = {display_width, display_height, depth, !display.display_windowed};
    if (!platform_display_open(mode, display.failure, sizeof display.failure))
        return setup_failed();
    // mem_alloc ends the program when memory runs out, so this cannot come back null.
    display.frame_buffer = static_cast<uint32_t*>(mem_alloc(size_t(width) * size_t(height) * 4));
    return 0;
}

uint32_t* display_frame_buffer()
{
    return display.frame_buffer;
}

void display_present()
{
    uint8_t* surface = nullptr;
    int pitch = 0;
    // A failed lock skips the conversion: the previous back buffer is flipped again.
    if (platform_display_lock(&surface, &pitch)) {
        present_convert(display.frame_buffer, display.present_width, display.present_height, display.present_depth,
                        display.present_doubled != 0, surface, pitch);
        if (!platform_display_unlock())
            platform_debug_string("BackBuffer->Unlock() Failed!");
    }
    if (!platform_display_flip())
        platform_debug_string("FrontBuffer->Flip() Failed!");
}

void display_release()
{
    release_all();
}
