// The show's precalculation, run once for every benchmark that draws whole scenes (portable).
#pragma once

#include "director/precalc.h"

// Textures, tables and captions as the show has them.  No display is set up:
// scenes draw into buffers of the benchmark's own.
inline void show_precalc_once()
{
    static bool done = false;
    if (!done)
        precalc_all();
    done = true;
}
