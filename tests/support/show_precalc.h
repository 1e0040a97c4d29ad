// The show's precalculation for the scene tests, run once per test program.
#pragma once

#include <cstdint>

// Runs precalc_all once with a frame-sized buffer of its own as the frame
// buffer (screen_pixels) and returns that buffer.
uint32_t* precalculated_show();
