// Lookup tables of the 2D effects, built once during precalculation (portable).
#include "imaging/tables.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "base/maths.h"
#include "base/memory.h"

int8_t* sine_table = nullptr;
uint8_t* angle_table = nullptr;
uint8_t* distance_table = nullptr;
int32_t* zoomer_column_term = nullptr;
warp_grid_arrays warp_grid = {};
int32_t* blob_table = nullptr;
int32_t* lens_depth = nullptr;

namespace {

// Running precalculation twice reuses the blocks instead of leaking them.
template <typename T>
void allocate_once(T*& block, size_t bytes)
{
    if (!block)
        block = static_cast<T*>(mem_alloc(bytes));
}

uint8_t angle_of(int32_t dx, int32_t dy)
{
    // Straight above and below the centre the divisor is 0.1, not 0, so those
    // columns read 60 and 196 rather than 64 and 192.
    double divisor = dx == 0 ? 0.1 : double(dx);
    double offset = dx < 0 ? 3.141592654 : 0.0;
    double angle = std::atan(dy / divisor) + offset;
    // Negative angles wrap to 192..255 through the low byte.
    return uint8_t(int64_t(std::nearbyint(angle * 40.7437)));
}

}  // namespace

void polar_tables()
{
    allocate_once(sine_table, 256);
    allocate_once(angle_table, size_t(frame_pixels) * 4);  // four times what it uses
    allocate_once(distance_table, size_t(frame_pixels));
    allocate_once(zoomer_column_term, size_t(screen_width + 8) * 4);
    allocate_once(warp_grid.u, size_t(warp_grid_entries) * 2);
    allocate_once(warp_grid.v, size_t(warp_grid_entries) * 2);
    allocate_once(warp_grid.shade, size_t(warp_grid_entries) * 2);

    for (int i = 0; i < 256; ++i)
        sine_table[i] = int8_t(uint8_t(round_to_int(127 * real_sin(i * 0.02454369260708903))));

    for (int32_t y = 0; y < screen_height; ++y) {
        int32_t dy = y - screen_height / 2;
        int32_t dy2 = dy * dy;
        for (int32_t x = 0; x < screen_width; ++x) {
            int32_t dx = x - screen_width / 2;
            int32_t at = y * screen_width + x;
            distance_table[at] = uint8_t(round_to_int(std::sqrt(double(dx * dx + dy2))));
            angle_table[at] = angle_of(dx, dy);
        }
    }
}

void warp_grids_clear()
{
    for (int16_t* grid : {warp_grid.u, warp_grid.v, warp_grid.shade})
        std::memset(grid, 0, size_t(warp_grid_entries) * 2);
}

void blob_table_setup()
{
    allocate_once(lens_depth, size_t(frame_pixels) * 4);
    allocate_once(blob_table, 256 * 256 * 4);
    for (int32_t i = 0; i < 256; ++i)
        for (int32_t j = 0; j < 256; ++j) {
            int32_t dist = round_to_int(std::sqrt(double((j - 128) * (j - 128) + (i - 128) * (i - 128))));
            int32_t v = 255 - dist * dist / 60;
            blob_table[i * 256 + j] = v < 0 ? 0 : v / 4;
        }
}
