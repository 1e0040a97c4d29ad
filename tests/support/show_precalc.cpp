// The show's precalculation for the scene tests, run once per test program.
#include "tests/support/show_precalc.h"

#include "base/frame.h"
#include "base/memory.h"
#include "director/precalc.h"

uint32_t* precalculated_show()
{
    static uint32_t* frame = nullptr;
    if (!frame) {
        frame = static_cast<uint32_t*>(mem_alloc(size_t(frame_pixels) * 4));
        precalc_all();
    }
    return frame;
}
