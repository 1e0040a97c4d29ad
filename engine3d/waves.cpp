// The three wave deformations that bend a posed mesh along its normals (portable).
#include "engine3d/waves.h"

#include "base/maths.h"

namespace {
constexpr double k1 = 0.0030627871362940277;  // 1 / 326.5
constexpr double k2 = 0.0026560424966799467;  // 1 / 376.5
constexpr double k3 = 0.0029717682020802376;  // 1 / 336.5
constexpr double k4 = 0.005089058524173028;   // 1 / 196.5

double base_sum(const vec3& b)
{
    return double(b.x) + b.y + b.z;
}
}  // namespace

void wave_along_normals(object3d& object, float t)
{
    for (int32_t i = 0; i < object.vertex_count; ++i) {
        const double s = real_sin((base_sum(object.base_vertices[i]) + t) * k1);
        const vec3& n = object.vertex_normals[i];
        vec3& v = object.vertices[i];
        v = {float(v.x + s * n.x), float(v.y + s * n.y), float(v.z + s * n.z)};
    }
}

void wave_along_normals_scaled(object3d& object, float amplitude, float t)
{
    for (int32_t i = 0; i < object.vertex_count; ++i) {
        const double s = real_sin((base_sum(object.base_vertices[i]) + t) * k4);
        const vec3& n = object.vertex_normals[i];
        vec3& v = object.vertices[i];
        v = {float(v.x + s * n.x * amplitude), float(v.y + s * n.y * amplitude), float(v.z + s * n.z * amplitude)};
    }
}

void wave_per_axis(object3d& object, float amplitude, float t)
{
    for (int32_t i = 0; i < object.vertex_count; ++i) {
        const vec3& b = object.base_vertices[i];
        const vec3& n0 = object.base_vertex_normals[i];
        const vec3& n = object.vertex_normals[i];
        vec3& v = object.vertices[i];
        const double px = 0.13 * b.x + 0.15 * b.y - 0.16 * b.z + 4.3 * n0.x + t;
        const double py = 0.14 * b.x - 0.1 * b.y - 0.18 * b.z + 4.1 * n0.y + t;
        const double pz = -0.152 * b.x + 0.122 * b.y + 0.11 * b.z + 4.7 * n0.z + t;
        v.x = float(v.x + real_sin(px * k1) * n.x * amplitude);
        v.y = float(v.y + real_sin(py * k2) * n.y * amplitude);
        v.z = float(v.z + real_sin(pz * k3) * n.z * amplitude);
    }
}
