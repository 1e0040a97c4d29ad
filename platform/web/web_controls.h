// The browser backend's own controls, for the page's entry points (emscripten builds only).
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Queues a key or close event for platform_poll_event (at most 64 wait).
void web_push_event(platform_event event);
// Runs every periodic task that is due by the page's clock, each at most
// once, and hands the worklet what the streaming step has made final.
void web_run_due_tasks();
// Forgets the largest gap between two streaming steps measured so far.
void web_reset_tick_gap();
// Tells the page that the module is running: it shows its start overlay or
// begins the offline mode its address asks for.
void web_page_ready();
