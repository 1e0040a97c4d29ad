// Prints what the stored meshes hold: counts, extents, radii, feature edges (portable; tool code).
#pragma once

#include <cstdio>

// One block per stored mesh, as `oddball-tool info-meshes` shows it.
void print_mesh_info(FILE* out);
