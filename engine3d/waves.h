// The three wave deformations that bend a posed mesh along its normals (portable).
#pragma once

#include "engine3d/vectors.h"

// Each runs after transform_object (it adds to vertices along the rotated
// vertex_normals) and before project_object; t is a phase in base units.

// vertices += sin((B.x + B.y + B.z + t) / 326.5) * N: up to 256 units.
void wave_along_normals(object3d& object, float t);
// vertices += sin((B.x + B.y + B.z + t) / 196.5) * N * amplitude.
void wave_along_normals_scaled(object3d& object, float amplitude, float t);
// A separate phase per axis from the base position and base normal.
void wave_per_axis(object3d& object, float amplitude, float t);
