// Lookup tables of the 2D effects: sines, polar angle and distance of every screen pixel, the warp grids, the lens dome and depth buffer (portable).
#pragma once

#include <cstdint>

#include "base/frame.h"  // the tables are laid out for the frame

// round(127 sin(i x 2 pi / 256)) for i = 0..255.
extern int8_t* sine_table;
// Angle of each screen pixel around the screen centre, 256 units per turn:
// 0 to the right of the centre, growing downwards.  frame_pixels entries.
extern uint8_t* angle_table;
// Distance of each screen pixel from the screen centre, rounded (at most 200).
extern uint8_t* distance_table;
// Scratch of build_zoomer_grid: one plane term per column, screen_width + 8 entries.
extern int32_t* zoomer_column_term;

// The coarse grids of the warp-grid effects: one value per corner of an
// 8 x 8 pixel block, grid point (gx, gy) at index gy x warp_grid_stride + gx
// belonging to screen pixel (8 gx, 8 gy).  Each array holds
// warp_grid_entries signed 16-bit values, zero at start.
struct warp_grid_arrays {
    int16_t* u;      // texture column at the grid point (low 8 bits of the texel index)
    int16_t* v;      // texture row
    int16_t* shade;  // brightness 0..127, for the shaded expander only
};
extern warp_grid_arrays warp_grid;
constexpr int32_t warp_grid_stride = 64;
constexpr int32_t warp_grid_entries = (screen_height / 8) * 128 + 128;

// Dome heights 0..63 over 256 x 256 entries (row x 256 + column): 63 at the
// centre (128, 128), 0 from radius 123 outward.
extern int32_t* blob_table;
// Per-frame depth buffer of lens_blobs, frame_pixels signed values.
extern int32_t* lens_depth;

// Allocates the sine, angle, distance, column-term and grid buffers (once) and
// fills the sine, angle and distance tables.
void polar_tables();

// Zeroes the warp grids, which the effects carry from frame to frame (the
// zoomer leaves the grid points behind its horizon as the last frame set them).
void warp_grids_clear();

// Allocates lens_depth and blob_table (once) and fills blob_table.
void blob_table_setup();
