// Stored meshes into objects: loading, normals, feature edges, the start-up step (portable).
#include "engine3d/mesh.h"

#include <algorithm>
#include <cmath>

#include "base/memory.h"
#include "data/blocks.h"
#include "engine3d/rounding.h"

engine3d_state engine3d = {};

namespace {

template <typename T>
T* alloc_array(int32_t count)
{
    return static_cast<T*>(mem_alloc(sizeof(T) * size_t(count > 0 ? count : 0)));
}

int32_t read_s16(const uint8_t* at)
{
    return int16_t(uint16_t(at[0] | (at[1] << 8)));
}

vec3 scaled_to_256(double x, double y, double z, double length)
{
    const double k = 1.0 / length;
    return {float(x * 256.0 * k), float(y * 256.0 * k), float(z * 256.0 * k)};
}

// Shared by the base and the per-frame normals.
void compute_normals(const vec3* points, const face* faces, int32_t face_count, int32_t vertex_count,
                     vec3* face_normals, vec3* vertex_normals)
{
    for (int32_t f = 0; f < face_count; ++f) {
        const vec3& pa = points[faces[f].a];
        const vec3& pb = points[faces[f].b];
        const vec3& pc = points[faces[f].c];
        const vec3 e1 = {pb.x - pa.x, pb.y - pa.y, pb.z - pa.z};
        const vec3 e2 = {pc.x - pa.x, pc.y - pa.y, pc.z - pa.z};
        const vec3 n = {float((double(e1.y) * e2.z - double(e1.z) * e2.y) * 0.03125),
                        float((double(e1.z) * e2.x - double(e1.x) * e2.z) * 0.03125),
                        float((double(e1.x) * e2.y - double(e1.y) * e2.x) * 0.03125)};
        // Each square is rounded to an integer before the sum.  The integers
        // are summed in double precision, exactly for any face of the show: a
        // 32-bit sum would overflow for faces above about 740,000 square units
        // and leave them without a usable normal.
        const double squares = std::nearbyint(double(n.x) * n.x) + std::nearbyint(double(n.y) * n.y) +
                               std::nearbyint(double(n.z) * n.z);
        const float length = float(std::sqrt(squares));
        face_normals[f] = length == 0.0f ? vec3{0, 0, 0} : scaled_to_256(n.x, n.y, n.z, length);
    }
    // Each vertex sums the normals of its faces in face order, in single precision.
    for (int32_t v = 0; v < vertex_count; ++v)
        vertex_normals[v] = {0, 0, 0};
    auto add = [&](int32_t v, const vec3& n) {
        vec3& s = vertex_normals[v];
        s = {s.x + n.x, s.y + n.y, s.z + n.z};
    };
    for (int32_t f = 0; f < face_count; ++f) {
        const face& fc = faces[f];
        add(fc.a, face_normals[f]);
        if (fc.b != fc.a)
            add(fc.b, face_normals[f]);
        if (fc.c != fc.a && fc.c != fc.b)
            add(fc.c, face_normals[f]);
    }
    for (int32_t v = 0; v < vertex_count; ++v) {
        const vec3 s = vertex_normals[v];
        const double length = std::sqrt(double(s.x) * s.x + double(s.y) * s.y + double(s.z) * s.z);
        vertex_normals[v] = length == 0.0 ? vec3{0, 0, 0} : scaled_to_256(s.x, s.y, s.z, length);
    }
}

struct rounded_point {
    int32_t x, y, z;
    bool operator==(const rounded_point&) const = default;
    bool operator<(const rounded_point& o) const
    {
        return x != o.x ? x < o.x : y != o.y ? y < o.y : z < o.z;
    }
};

rounded_point rounded(const vec3& p)
{
    return {round_or_indefinite(p.x), round_or_indefinite(p.y), round_or_indefinite(p.z)};
}

edge face_edge(const face& f, int k)
{
    return k == 0 ? edge{f.a, f.b} : k == 1 ? edge{f.b, f.c} : edge{f.c, f.a};
}

// Copies the kept edges into the object's own block of exactly their number.
void store_edges(object3d& object, const edge* kept, int32_t count)
{
    object.edge_count = count;
    object.edges = alloc_array<edge>(count);
    std::copy(kept, kept + count, object.edges);
}

}  // namespace

void load_mesh(const uint8_t* mesh_data, object3d& object)
{
    const int32_t v_count = read_s16(mesh_data);
    const int32_t f_count = read_s16(mesh_data + 2);
    object = {};
    object.vertex_count = v_count;
    object.face_count = f_count;
    object.base_vertices = alloc_array<vec3>(v_count);
    object.vertices = alloc_array<vec3>(v_count);
    object.base_vertex_normals = alloc_array<vec3>(v_count);
    object.vertex_normals = alloc_array<vec3>(v_count);
    object.screen_points = alloc_array<screen_point>(v_count);
    object.faces = alloc_array<face>(f_count);
    object.face_order = alloc_array<face_order_entry>(f_count);
    object.base_face_normals = alloc_array<vec3>(f_count);
    object.face_normals = alloc_array<vec3>(f_count);
    const uint8_t* at = mesh_data + 4;
    for (int32_t i = 0; i < v_count; ++i, at += 6) {
        const vec3 p = {float(read_s16(at)), float(read_s16(at + 2)), float(read_s16(at + 4))};
        object.base_vertices[i] = p;
        object.vertices[i] = p;
    }
    for (int32_t k = 0; k < f_count; ++k, at += 6) {
        object.face_order[k].order = k;
        object.faces[k] = {read_s16(at), read_s16(at + 2), read_s16(at + 4)};
    }
    compute_base_normals(object);
}

void release_object(object3d& object)
{
    mem_free(object.base_vertex_normals);
    mem_free(object.vertex_normals);
    mem_free(object.base_face_normals);
    mem_free(object.face_normals);
    mem_free(object.base_vertices);
    mem_free(object.faces);
    mem_free(object.vertices);
    mem_free(object.screen_points);
    mem_free(object.face_order);
    mem_free(object.edges);
    object = {};
}

void compute_base_normals(object3d& object)
{
    compute_normals(object.base_vertices, object.faces, object.face_count, object.vertex_count,
                    object.base_face_normals, object.base_vertex_normals);
}

void compute_frame_normals(object3d& object)
{
    compute_normals(object.vertices, object.faces, object.face_count, object.vertex_count, object.face_normals,
                    object.vertex_normals);
}

bool same_edge(const object3d& object, edge first, edge second)
{
    const rounded_point p = rounded(object.base_vertices[first.a]), q = rounded(object.base_vertices[first.b]);
    const rounded_point r = rounded(object.base_vertices[second.a]), s = rounded(object.base_vertices[second.b]);
    return (p == r && q == s) || (p == s && q == r);
}

bool normals_close(vec3 n1, vec3 n2, int32_t threshold)
{
    const double dx = double(n1.x) - n2.x, dy = double(n1.y) - n2.y, dz = double(n1.z) - n2.z;
    const int32_t d = round_or_indefinite(dx * dx + dy * dy + dz * dz);
    return (wrap_mul(d, threshold) >> 16) == 0;
}

void build_edge_list_plain(object3d& object, int32_t threshold)
{
    edge* kept = alloc_array<edge>(3 * object.face_count);
    int32_t kept_count = 0;
    for (int32_t f = 0; f < object.face_count; ++f) {
        for (int k = 0; k < 3; ++k) {
            const edge e = face_edge(object.faces[f], k);
            bool duplicate = false;
            for (int32_t i = 0; i < kept_count && !duplicate; ++i)
                duplicate = same_edge(object, e, kept[i]);
            if (duplicate)
                continue;
            bool smooth = false;
            for (int32_t g = 0; g < object.face_count && !smooth; ++g) {
                if (g == f)
                    continue;
                for (int m = 0; m < 3 && !smooth; ++m)
                    smooth = same_edge(object, e, face_edge(object.faces[g], m)) &&
                             normals_close(object.base_face_normals[f], object.base_face_normals[g], threshold);
            }
            if (!smooth)
                kept[kept_count++] = e;
        }
    }
    store_edges(object, kept, kept_count);
    mem_free(kept);
}

// The same decisions as the literal search, found through sorting: vertices
// at one rounded position share a point number, every face edge gets the key
// of its unordered pair of point numbers, and the face edges sorted by key put
// all faces along one edge side by side.  An edge is a duplicate when its key
// was kept before, and smooth when another face with the same key has a close
// normal, exactly what the pairwise comparisons decide.
void build_edge_list(object3d& object, int32_t threshold)
{
    const int32_t v_count = object.vertex_count, f_count = object.face_count;
    const int32_t e_count = 3 * f_count;
    int32_t* by_position = alloc_array<int32_t>(v_count);
    int32_t* point_of = alloc_array<int32_t>(v_count);
    rounded_point* positions = alloc_array<rounded_point>(v_count);
    for (int32_t v = 0; v < v_count; ++v) {
        by_position[v] = v;
        positions[v] = rounded(object.base_vertices[v]);
    }
    std::sort(by_position, by_position + v_count,
              [&](int32_t a, int32_t b) { return positions[a] < positions[b]; });
    for (int32_t i = 0, point = -1; i < v_count; ++i) {
        if (i == 0 || !(positions[by_position[i]] == positions[by_position[i - 1]]))
            ++point;
        point_of[by_position[i]] = point;
    }

    uint64_t* keys = alloc_array<uint64_t>(e_count);
    int32_t* by_key = alloc_array<int32_t>(e_count);  // face edge numbers (3 f + k), sorted by key
    for (int32_t i = 0; i < e_count; ++i) {
        const edge e = face_edge(object.faces[i / 3], i % 3);
        const uint32_t p = uint32_t(point_of[e.a]), q = uint32_t(point_of[e.b]);
        keys[i] = p < q ? uint64_t(p) << 32 | q : uint64_t(q) << 32 | p;
        by_key[i] = i;
    }
    std::sort(by_key, by_key + e_count, [&](int32_t a, int32_t b) { return keys[a] < keys[b]; });
    int32_t* group_start = alloc_array<int32_t>(e_count);  // per face edge: where its key's run begins in by_key
    uint8_t* group_kept = alloc_array<uint8_t>(e_count);   // per run start: its edge has been kept
    for (int32_t i = 0; i < e_count; ++i)
        group_start[by_key[i]] = (i > 0 && keys[by_key[i]] == keys[by_key[i - 1]]) ? group_start[by_key[i - 1]] : i;

    edge* kept = alloc_array<edge>(e_count);
    int32_t kept_count = 0;
    for (int32_t i = 0; i < e_count; ++i) {
        const int32_t start = group_start[i];
        if (group_kept[start])
            continue;
        const int32_t f = i / 3;
        bool smooth = false;
        for (int32_t j = start; j < e_count && keys[by_key[j]] == keys[i] && !smooth; ++j) {
            const int32_t g = by_key[j] / 3;
            smooth = g != f && normals_close(object.base_face_normals[f], object.base_face_normals[g], threshold);
        }
        if (smooth)
            continue;
        group_kept[start] = 1;
        kept[kept_count++] = face_edge(object.faces[f], i % 3);
    }
    store_edges(object, kept, kept_count);
    mem_free(by_position);
    mem_free(point_of);
    mem_free(positions);
    mem_free(keys);
    mem_free(by_key);
    mem_free(group_start);
    mem_free(group_kept);
    mem_free(kept);
}

void average_four_neighbours(const uint32_t* source, uint32_t* destination)
{
    // Per-byte quarters (floored) of the texels above, left, right and below;
    // indices wrap over the whole texture, so the row ends continue into the
    // neighbouring rows and the top and bottom rows meet.
    for (uint32_t i = 0; i < 65536; ++i)
        destination[i] = ((source[(i - 256) & 0xFFFF] >> 2) & 0x3F3F3F3F) + ((source[(i - 1) & 0xFFFF] >> 2) & 0x3F3F3F3F) +
                         ((source[(i + 1) & 0xFFFF] >> 2) & 0x3F3F3F3F) + ((source[(i + 256) & 0xFFFF] >> 2) & 0x3F3F3F3F);
}

void copy_height_to_alpha(const uint32_t* heights, uint32_t* texture)
{
    for (int i = 0; i < 65536; ++i)
        texture[i] = (texture[i] & 0x00FFFFFF) | (heights[i] << 24);
}

void setup_objects(const uint32_t* bubbles, uint32_t* environment, uint32_t* clouds)
{
    load_mesh(embedded_outline_mesh_bin, engine3d.outline_object);
    build_edge_list(engine3d.outline_object, 256);
    load_mesh(embedded_ball_mesh_bin, engine3d.ball_object);
    build_edge_list(engine3d.ball_object, 256);
    load_mesh(embedded_sphere_mesh_bin, engine3d.sphere_object);
    build_edge_list(engine3d.sphere_object, 256);
    average_four_neighbours(bubbles, environment);
    copy_height_to_alpha(environment, clouds);
}
