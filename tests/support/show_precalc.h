// The show's precalculation for the scene tests, run once per test program.
#pragma once

#include <cstdint>

// Runs precalc_all once and returns a frame-sized buffer of its own to draw into.
uint32_t* precalculated_show();
