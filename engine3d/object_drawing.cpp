// From a posed object to primitives: depth sort, visibility, environment mapping, drawing loops (portable).
#include "engine3d/object_drawing.h"

#include <utility>

#include "engine3d/rasterisers.h"
#include "engine3d/rounding.h"

namespace {
constexpr float near_z = 10.0f;  // faces and edges with a corner nearer than this are dropped
}

namespace {
// Hoare's partition with the middle element as pivot; the left part
// recursively, the right part by looping.  i and j stop on keys equal to the
// pivot and swap them, which decides the order of ties.
void quicksort_range(face_order_entry* e, int32_t lo, int32_t hi)
{
    auto key = [e](int32_t k) { return e[e[k].order].key; };
    for (;;) {
        int32_t i = lo, j = hi;
        const int32_t pivot = key((lo + hi) / 2);
        do {
            while (key(i) < pivot)
                ++i;
            while (pivot < key(j))
                --j;
            if (i <= j) {
                std::swap(e[i].order, e[j].order);
                ++i;
                --j;
            }
        } while (i <= j);
        if (lo < j)
            quicksort_range(e, lo, j);
        if (i >= hi)
            return;
        lo = i;
    }
}
}  // namespace

void sort_by_key(face_order_entry* entries, int32_t count)
{
    if (count > 0)
        quicksort_range(entries, 0, count - 1);
}

void sort_faces(object3d& object)
{
    for (int32_t f = 0; f < object.face_count; ++f) {
        const face& fc = object.faces[f];
        const double z_sum = double(object.vertices[fc.a].z) + object.vertices[fc.b].z + object.vertices[fc.c].z;
        object.face_order[f] = {f, round_or_indefinite(-z_sum)};
    }
    sort_by_key(object.face_order, object.face_count);
}

int is_front_facing(screen_point a, screen_point b, screen_point c)
{
    const double w = (double(b.y) - a.y) * (double(c.x) - b.x) - (double(b.x) - a.x) * (double(c.y) - b.y);
    return w > 0 ? 1 : 0;
}

envmap_uv envmap_coordinates(vec3 normal)
{
    return {round_or_indefinite(double(normal.x) + 255) >> 1, round_or_indefinite(double(normal.y) + 255) >> 1};
}

void draw_envmapped_faces(const object3d& object, const uint32_t* texture, uint32_t* destination)
{
    for (int32_t k = 0; k < object.face_count; ++k) {
        const face& f = object.faces[object.face_order[k].order];
        if (!(object.vertices[f.a].z >= near_z && object.vertices[f.b].z >= near_z && object.vertices[f.c].z >= near_z))
            continue;
        const screen_point& a = object.screen_points[f.a];
        const screen_point& b = object.screen_points[f.b];
        const screen_point& c = object.screen_points[f.c];
        if (!is_front_facing(a, b, c))
            continue;
        const envmap_uv ta = envmap_coordinates(object.vertex_normals[f.a]);
        const envmap_uv tb = envmap_coordinates(object.vertex_normals[f.b]);
        const envmap_uv tc = envmap_coordinates(object.vertex_normals[f.c]);
        draw_textured_triangle({a.x, a.y, ta.u, ta.v}, {b.x, b.y, tb.u, tb.v}, {c.x, c.y, tc.u, tc.v}, texture,
                               destination);
    }
}

void draw_feature_edges(const object3d& object, uint32_t* destination, uint32_t colour)
{
    for (int32_t k = 0; k < object.edge_count; ++k) {
        const edge& e = object.edges[k];
        if (!(object.vertices[e.a].z >= near_z && object.vertices[e.b].z >= near_z))
            continue;
        const screen_point& a = object.screen_points[e.a];
        const screen_point& b = object.screen_points[e.b];
        draw_line_clipped(float(a.x), float(a.y), float(b.x), float(b.y), colour, destination);
    }
}

void draw_vertex_sprites(const object3d& object, const uint32_t* const sprites[4], uint32_t* destination)
{
    const float inverse_35 = 0.02857142873108387f;
    for (int32_t i = 0; i < object.vertex_count; ++i) {
        const float z = object.vertices[i].z;
        if (z < 0)
            continue;
        const int32_t size = round_or_indefinite(30.0 - double(z) * inverse_35);
        draw_sprite_additive(object.screen_points[i].x, object.screen_points[i].y, sprites[i % 4], size,
                             destination);
    }
}

void draw_vertex_dots(const object3d& object, const uint32_t* dot, uint32_t* destination)
{
    for (int32_t i = 0; i < object.vertex_count; ++i)
        if (!(object.vertices[i].z < 0))
            draw_sprite_additive(object.screen_points[i].x, object.screen_points[i].y, dot, 7,
                                 destination);
}
