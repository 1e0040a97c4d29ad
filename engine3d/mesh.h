// Stored meshes into objects: loading, normals, feature edges, the start-up step (portable).
#pragma once

#include "engine3d/vectors.h"

// Stored mesh: V and F as signed 16-bit, then V vertices (x, y, z) and F faces
// (a, b, c), all signed 16-bit little-endian, read byte by byte.  The stored
// meshes are trusted: counts and indices are not checked.
void load_mesh(const uint8_t* mesh_data, object3d& object);

// Face normals from the cross product / 32 (squares rounded to integers),
// vertex normals as the normalised sum of their faces'; all of length 256.
void compute_base_normals(object3d& object);   // from base_vertices
void compute_frame_normals(object3d& object);  // from vertices

// Both edges join the same two rounded positions, in either direction.
bool same_edge(const object3d& object, edge first, edge second);
// Normals n1 and n2 (length 256) are close when (d * threshold) >> 16 is 0,
// d the rounded squared distance.
bool normals_close(vec3 n1, vec3 n2, int32_t threshold);

// Feature edges: each distinct edge once, in order of discovery, leaving out
// those between two faces whose base normals are close.  The program passes 256.
void build_edge_list(object3d& object, int32_t threshold);
// The same list by the literal search (every kept edge, every edge of every
// other face), quadratic in the face count; the tests compare the two.
void build_edge_list_plain(object3d& object, int32_t threshold);

// Start-up: the three objects with their edge lists, `environment` as the
// four-neighbour average of `bubbles`, and the alpha byte of `clouds` as a
// height field (the environment's blue).  The show's slots 7, 24 and 6.
void setup_objects(const uint32_t* bubbles, uint32_t* environment, uint32_t* clouds);
// The two texture steps of setup_objects on their own.
void average_four_neighbours(const uint32_t* source, uint32_t* destination);
void copy_height_to_alpha(const uint32_t* heights, uint32_t* texture);

// Gives an object's blocks back and leaves it empty; the show keeps its
// objects for the whole run, tests and tools load and drop their own.
void release_object(object3d& object);
