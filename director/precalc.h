// The shared buffers of the show and the precalculation that fills them (portable).
#pragma once

#include <cstdint>

#include "director/pictures.h"
#include "imaging/image.h"

extern uint32_t* work_buffer;         // one frame-sized work buffer
extern image work_image;

// Builds every buffer, texture, table and caption the show draws from, in
// the fixed order in which later steps read what earlier ones made.
void precalc_all();
