// The records the 3D engine shares: vectors, screen points, faces, edges, objects, the camera (portable).
#pragma once

#include <cstdint>

// Coordinates: x to the right, y downwards on screen, z away from the viewer.
struct vec3 {
    float x, y, z;
};

struct screen_point {
    int32_t x, y;  // pixel column and row
};

// (b - a) x (c - a) points out of the object; the back-face test relies on it.
struct face {
    int32_t a, b, c;
};

struct edge {
    int32_t a, b;
};

// Entry k: `order` is the index of the k-th face to draw, `key` the depth key of face k.
struct face_order_entry {
    int32_t order;
    int32_t key;
};

// One 3D object; every array is its own block from mem_alloc, made once by
// load_mesh and kept for the whole run.
struct object3d {
    int32_t edge_count;
    int32_t vertex_count;
    int32_t face_count;
    float angle_x, angle_y, angle_z;  // rounded when used; n means n / 65536 radian
    float pos_x, pos_y, pos_z;        // rounded when used
    vec3* base_vertex_normals;        // vertex_count, length 256, of the mesh as loaded
    vec3* vertex_normals;             // vertex_count, rotated (renormalised after a wave)
    vec3* base_face_normals;          // face_count, length 256
    vec3* face_normals;               // face_count, rotated (or rebuilt after a wave)
    vec3* base_vertices;              // vertex_count, the mesh as loaded
    face* faces;                      // face_count
    vec3* vertices;                   // vertex_count, posed (and deformed) for this frame
    screen_point* screen_points;      // vertex_count, projected for this frame
    face_order_entry* face_order;     // face_count
    edge* edges;                      // edge_count feature edges for line drawing
};

struct camera {
    float focal;  // projection scale, set by each render mode before projecting
};

// The engine's process-wide state: its three objects and the camera.
struct engine3d_state {
    object3d outline_object;  // drawn by render_wire_outline
    object3d ball_object;     // drawn by render_wire_dots
    object3d sphere_object;   // drawn by render_blob and render_sprite_sphere
    ::camera camera;
};
extern engine3d_state engine3d;
