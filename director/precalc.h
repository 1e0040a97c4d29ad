// The shared buffers of the show and the precalculation that fills them (portable).
#pragma once

#include <cstdint>

#include "imaging/image.h"

constexpr int texture_slot_count = 29;
constexpr int texture_size = 256;  // every slot is 256 x 256 texels, (u, v) at v * 256 + u

extern uint32_t* screen_pixels;  // the frame buffer, screen_width x screen_height
extern uint32_t* work_a;         // one frame-sized work buffer
extern uint32_t* texture_slots[texture_slot_count];
extern image screen_image;
extern image work_a_image;
extern uint8_t* zoom_tables;     // 256 bytes, rebuilt by radial_zoom_feedback

// Builds every buffer, texture, table and caption the show draws from, in
// the fixed order in which later steps read what earlier ones made.
void precalc_all();
