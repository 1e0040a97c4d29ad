// Posing and projection: rotation order and directions, angle rounding, the projection's centre and scale.
#include "engine3d/transform.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/engine3d/engine_support.h"

namespace {

vec3 turned(int32_t ax, int32_t ay, int32_t az, vec3 p)
{
    vec3 out;
    transform_points(ax, ay, az, 0, 0, 0, &p, &out, 1);
    return out;
}

void expect_near(vec3 got, vec3 want, float tolerance)
{
    EXPECT_NEAR(got.x, want.x, tolerance);
    EXPECT_NEAR(got.y, want.y, tolerance);
    EXPECT_NEAR(got.z, want.z, tolerance);
}

bool same_bits(vec3 a, vec3 b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

}  // namespace

TEST(TransformPoints, WithoutAnglesOnlyMoves)
{
    const vec3 source[3] = {{1, 2, 3}, {-5.5f, 7.25f, 0}, {-820, 539, -138}};
    vec3 out[3];
    transform_points(0, 0, 0, 0, 0, 1000, source, out, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(out[i].x, source[i].x);
        EXPECT_EQ(out[i].y, source[i].y);
        EXPECT_EQ(out[i].z, source[i].z + 1000);
    }
    // In place works too.
    vec3 in_place[3] = {source[0], source[1], source[2]};
    transform_points(0, 0, 0, 3, -4, 5, in_place, in_place, 3);
    EXPECT_EQ(in_place[2].x, -817);
    EXPECT_EQ(in_place[2].y, 535);
    EXPECT_EQ(in_place[2].z, -133);
}

// The directions of the three quarter turns (65536 pi / 2 rounds to 102944).
TEST(TransformPoints, QuarterTurnsTurnTheWayTheSceneExpects)
{
    expect_near(turned(0, 102944, 0, {1, 0, 0}), {0, 0, 1}, 1e-4f);
    expect_near(turned(0, 102944, 0, {0, 0, 1}), {-1, 0, 0}, 1e-4f);
    expect_near(turned(0, 0, 102944, {1, 0, 0}), {0, -1, 0}, 1e-4f);
    expect_near(turned(102944, 0, 0, {0, 1, 0}), {0, 0, -1}, 1e-4f);
}

// y first, then z, then x: the combined call equals the three single-axis
// calls in that order and differs from any other order.
TEST(TransformPoints, RotatesAboutYThenZThenX)
{
    const int32_t a = 40000, b = 70000, c = -55000;
    const vec3 p = {300, -200, 500};
    const vec3 combined = turned(a, b, c, p);
    const vec3 in_order = turned(a, 0, 0, turned(0, 0, c, turned(0, b, 0, p)));
    expect_near(combined, in_order, 0.01f);
    const vec3 x_first = turned(0, b, 0, turned(0, 0, c, turned(a, 0, 0, p)));
    const vec3 z_first = turned(a, 0, 0, turned(0, b, 0, turned(0, 0, c, p)));
    for (const vec3& other : {x_first, z_first})
        EXPECT_GT(std::fabs(other.x - combined.x) + std::fabs(other.y - combined.y) + std::fabs(other.z - combined.z),
                  50.0f);
}

// The pose fields round to nearest with ties to even; a point far out shows
// a difference of one unit (1/65536 radian) clearly.
TEST(TransformObject, RoundsAnglesAndPositionsTiesToEven)
{
    object3d object = object_from({{30000, 0, 0}, {0, 30000, 0}, {0, 0, 30000}}, {{0, 1, 2}});
    auto pose_x_of_vertex_0 = [&](float angle_y) {
        object.angle_y = angle_y;
        transform_object(object);
        return object.vertices[0];
    };
    auto exact = [&](int32_t angle_y) { return turned(0, angle_y, 0, {30000, 0, 0}); };
    ASSERT_FALSE(same_bits(exact(0), exact(1)));
    EXPECT_TRUE(same_bits(pose_x_of_vertex_0(0.4f), exact(0)));
    EXPECT_TRUE(same_bits(pose_x_of_vertex_0(0.6f), exact(1)));
    EXPECT_TRUE(same_bits(pose_x_of_vertex_0(1.5f), exact(2)));
    EXPECT_TRUE(same_bits(pose_x_of_vertex_0(2.5f), exact(2)));
    EXPECT_TRUE(same_bits(pose_x_of_vertex_0(-0.5f), exact(0)));

    object.angle_y = 0;
    object.pos_x = 0.5f;
    object.pos_y = 1.5f;
    object.pos_z = -2.5f;
    transform_object(object);
    EXPECT_EQ(object.vertices[0].x, 30000);
    EXPECT_EQ(object.vertices[0].y, 2);
    EXPECT_EQ(object.vertices[0].z, -2);
    // Normals turn but never move.
    object.angle_x = 102944;
    transform_object(object);
    expect_near(object.face_normals[0], turned(102944, 0, 0, object.base_face_normals[0]), 0);
    expect_near(object.vertex_normals[1], turned(102944, 0, 0, object.base_vertex_normals[1]), 0);
    release_object(object);
}

TEST(ProjectObject, ScalesByFocalOverDepthAroundTheCentre)
{
    object3d object = object_from({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {{0, 1, 2}});
    object.vertices[0] = {100, -50, 700};
    object.vertices[1] = {37, -12, 0.0f};   // on the eye's plane: the centre
    object.vertices[2] = {37, -12, -0.0f};  // either zero
    object.vertices[3] = {100, -50, -700};  // behind: mirrored through the centre
    object.vertices[4] = {1000, -1000, 1e-30f};  // far beyond the integers: no undefined conversion
    project_object(object, camera{140}, 160, 120);
    EXPECT_EQ(object.screen_points[0].x, 180);
    EXPECT_EQ(object.screen_points[0].y, 110);
    EXPECT_EQ(object.screen_points[1].x, 160);
    EXPECT_EQ(object.screen_points[1].y, 120);
    EXPECT_EQ(object.screen_points[2].x, 160);
    EXPECT_EQ(object.screen_points[2].y, 120);
    EXPECT_EQ(object.screen_points[3].x, 140);
    EXPECT_EQ(object.screen_points[3].y, 130);
    EXPECT_EQ(object.screen_points[4].x, INT32_MIN);
    EXPECT_EQ(object.screen_points[4].y, INT32_MIN);
    release_object(object);
}
