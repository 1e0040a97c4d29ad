// Posing points in the world and projecting an object to the screen (portable).
#pragma once

#include "engine3d/vectors.h"

// Rotates about y, then z, then x, and translates: count points from source
// to destination (which may be the same array).  Angles are in 1/65536 radian.
void transform_points(int32_t angle_x, int32_t angle_y, int32_t angle_z, int32_t tx, int32_t ty, int32_t tz,
                      const vec3* source, vec3* destination, int32_t count);

// The object's pose fields, each rounded to the nearest integer (ties to even).
// base_vertices -> vertices (rotated and moved), base_face_normals ->
// face_normals and base_vertex_normals -> vertex_normals (rotated only).
void transform_object(object3d& object);

// screen_points from vertices: scale focal / z (0 when z is either zero), no flip of y.
void project_object(object3d& object, const camera& view, int32_t centre_x, int32_t centre_y);
