// From a posed object to primitives: depth sort, visibility, environment mapping, drawing loops (portable).
#pragma once

#include "engine3d/vectors.h"

// Faces farthest first by key round(-(z_a + z_b + z_c)), with a fixed
// quicksort whose order of equal keys is part of the picture.
void sort_faces(object3d& object);
// The same quicksort on any key array: order[0..count) sorted by key[order[k]].
void sort_by_key(face_order_entry* entries, int32_t count);

// 1 when the projected corners turn so that the face's outside looks at the
// viewer (with y downwards), 0 otherwise (also for collinear corners).
int is_front_facing(screen_point a, screen_point b, screen_point c);

// Texture position of a rotated normal of length 256: (127, 127) straight at
// the viewer, the texture's border at the silhouette.
struct envmap_uv {
    int32_t u, v;
};
envmap_uv envmap_coordinates(vec3 normal);

// Faces in face_order, each drawn when all three corners have z >= 10 and it is front-facing.
void draw_envmapped_faces(const object3d& object, const uint32_t* texture, uint32_t* destination);
// Every feature edge with both ends at z >= 10, as a subtractive line; no depth test.
void draw_feature_edges(const object3d& object, uint32_t* destination, uint32_t colour);
// An additive sprite per vertex with z >= 0: sprites[i mod 4], sized by depth.
void draw_vertex_sprites(const object3d& object, const uint32_t* const sprites[4], uint32_t* destination);
// An additive `dot` of size 7 per vertex with z >= 0.
void draw_vertex_dots(const object3d& object, const uint32_t* dot, uint32_t* destination);
