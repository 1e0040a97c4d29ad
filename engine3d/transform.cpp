// Posing points in the world and projecting an object to the screen (portable).
#include "engine3d/transform.h"

#include "base/maths.h"
#include "engine3d/rounding.h"

void transform_points(int32_t angle_x, int32_t angle_y, int32_t angle_z, int32_t tx, int32_t ty, int32_t tz,
                      const vec3* source, vec3* destination, int32_t count)
{
    // Six sines per call, kept in single precision; no trigonometry per point.
    const double a = angle_x / 65536.0, b = angle_y / 65536.0, c = angle_z / 65536.0;
    const float sa = float(real_sin(a)), ca = float(real_cos(a));
    const float sb = float(real_sin(b)), cb = float(real_cos(b));
    const float sc = float(real_sin(c)), cc = float(real_cos(c));
    for (int32_t i = 0; i < count; ++i) {
        const double x = source[i].x, y = source[i].y, z = source[i].z;
        // The order y, z, x decides the picture; each step is held in single precision.
        const float x1 = float(x * cb - z * sb);
        const float z1 = float(x * sb + z * cb);
        const float y1 = float(y * cc - double(x1) * sc);
        const float x2 = float(double(x1) * cc + y * sc);
        const float y2 = float(double(z1) * sa + double(y1) * ca);
        const float z2 = float(double(z1) * ca - double(y1) * sa);
        destination[i] = {float(double(x2) + tx), float(double(y2) + ty), float(double(z2) + tz)};
    }
}

void transform_object(object3d& object)
{
    const int32_t ax = round_or_indefinite(object.angle_x);
    const int32_t ay = round_or_indefinite(object.angle_y);
    const int32_t az = round_or_indefinite(object.angle_z);
    const int32_t px = round_or_indefinite(object.pos_x);
    const int32_t py = round_or_indefinite(object.pos_y);
    const int32_t pz = round_or_indefinite(object.pos_z);
    transform_points(ax, ay, az, px, py, pz, object.base_vertices, object.vertices, object.vertex_count);
    transform_points(ax, ay, az, 0, 0, 0, object.base_face_normals, object.face_normals, object.face_count);
    transform_points(ax, ay, az, 0, 0, 0, object.base_vertex_normals, object.vertex_normals, object.vertex_count);
}

void project_object(object3d& object, const camera& view, int32_t centre_x, int32_t centre_y)
{
    for (int32_t i = 0; i < object.vertex_count; ++i) {
        const vec3& v = object.vertices[i];
        // A point at z = 0 or -0 lands on the centre; points behind are mirrored
        // through it and left for the drawing loops to reject.
        const double s = v.z != 0.0f ? double(view.focal) / v.z : 0.0;
        object.screen_points[i] = {round_or_indefinite(s * v.x + centre_x), round_or_indefinite(s * v.y + centre_y)};
    }
}
