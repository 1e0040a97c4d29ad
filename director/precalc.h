// The shared buffers of the show and the precalculation that fills them (portable).
#pragma once

#include <cstdint>

#include "base/slots.h"
#include "imaging/image.h"

extern uint32_t* screen_pixels;  // the frame buffer, screen_width x screen_height
extern uint32_t* work_buffer;         // one frame-sized work buffer
extern image work_image;

// Builds every buffer, texture, table and caption the show draws from, in
// the fixed order in which later steps read what earlier ones made.  The
// scenes draw into `frame_buffer` (none for tools and tests that draw into
// buffers of their own).
void precalc_all(uint32_t* frame_buffer = nullptr);
