// The facts of the stored texture atlas, for `oddball-tool info` (portable; tools only).
#pragma once

#include <cstdio>

// Prints the stored atlas stream's size, picture size, slices and
// macroblocks, as decoded by the show's decoder.  Returns 0, or 1 when the
// stored stream does not decode.
int print_atlas_info(FILE* out);
