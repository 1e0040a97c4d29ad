// The page's window and canvas: the frame is handed to the page at each flip, key events come from it (emscripten).
#include <emscripten.h>

#include "platform/web/web_controls.h"
#include "platform/web/web_parts.h"

// clang-format off
EM_JS(void, page_present, (const uint8_t* pixels, int width, int height, int pitch), {
    ob.present(pixels, width, height, pitch);
});
EM_JS(void, page_show_cursor, (int visible), { ob.showCursor(visible); });
// clang-format on

bool web_window_create(const char*)
{
    web_world.event_count = 0;
    return true;
}

platform_event web_poll_event()
{
    if (web_world.event_count == 0)
        return platform_event::none;
    platform_event event = web_world.events[web_world.event_first];
    web_world.event_first = (web_world.event_first + 1) % web_event_queue_size;
    --web_world.event_count;
    return event;
}

void web_window_destroy() {}

void web_show_cursor(bool visible)
{
    page_show_cursor(visible);
}

bool web_display_open(const platform_display_mode& mode, char* why, int why_size)
{
    if (mode.depth != 32 || mode.width <= 0 || mode.height <= 0 || mode.width > 640 || mode.height > 480) {
        // No printf in the module: it would bring its floating-point formatting along.
        why[0] = 0;
        std::strncat(why, "the page shows 32-bit pictures up to 640 x 480", size_t(why_size) - 1);
        return false;
    }
    if (!web_world.back_buffer)
        web_world.back_buffer = new uint8_t[640 * 480 * 4]();
    web_world.mode = mode;
    web_world.display_open = true;
    return true;
}

bool web_display_lock(uint8_t** pixels, int* pitch)
{
    if (!web_world.display_open)
        return false;
    *pixels = web_world.back_buffer;
    *pitch = web_world.mode.width * 4;
    return true;
}

bool web_display_unlock()
{
    return web_world.display_open;
}

// The page shows the picture at its next paint; the animation callback that
// called the frame loop is what paces it.
bool web_display_flip()
{
    if (!web_world.display_open)
        return false;
    page_present(web_world.back_buffer, web_world.mode.width, web_world.mode.height, web_world.mode.width * 4);
    return true;
}

void web_display_close()
{
    web_world.display_open = false;
}

void web_push_event(platform_event event)
{
    if (web_world.event_count == web_event_queue_size)
        return;
    web_world.events[(web_world.event_first + web_world.event_count) % web_event_queue_size] = event;
    ++web_world.event_count;
}
