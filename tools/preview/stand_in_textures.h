// Deterministic stand-ins for the textures the render modes read, for previews, tests and benchmarks (portable).
#pragma once

#include <cstdint>

// Allocates any missing texture slot, fills the slots the 3D engine reads
// (sprites 0 to 3, colour 6, heights 7, light 15) with fixed patterns and
// redoes setup_objects' texture steps (slot 24 and slot 6's heights).  With
// `only_empty` it leaves alone a slot that already holds a picture.
// Returns a bit mask of the slots it filled.  The show never calls it.
uint32_t fill_stand_in_textures(bool only_empty);
