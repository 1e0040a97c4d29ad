// Painter's order, visibility, environment mapping and the drawing loops of an object.
#include "engine3d/object_drawing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "director/precalc.h"
#include "tests/engine3d/engine_support.h"

namespace {

std::vector<int32_t> sorted_order(const std::vector<int32_t>& keys)
{
    std::vector<face_order_entry> entries(keys.size());
    for (size_t k = 0; k < keys.size(); ++k)
        entries[k] = {int32_t(k), keys[k]};
    sort_by_key(entries.data(), int32_t(entries.size()));
    std::vector<int32_t> order;
    for (const auto& e : entries)
        order.push_back(e.order);
    return order;
}

// One face whose corners the test places by hand, and a frame to draw it on.
struct one_face {
    object3d object = object_from({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {{0, 1, 2}});
    std::vector<uint32_t> frame = std::vector<uint32_t>(320 * 240, 0);
    std::vector<uint32_t> texture = std::vector<uint32_t>(65536, 0xFF00FF00);

    one_face(float za, float zb, float zc, screen_point a, screen_point b, screen_point c)
    {
        object.vertices[0].z = za;
        object.vertices[1].z = zb;
        object.vertices[2].z = zc;
        object.screen_points[0] = a;
        object.screen_points[1] = b;
        object.screen_points[2] = c;
    }
    ~one_face() { release_object(object); }
    int drawn() const { return int(std::count(frame.begin(), frame.end(), 0xFF00FF00u)); }
};

}  // namespace

TEST(SortFaces, OrdersByKeyWithTheQuicksortsOwnTies)
{
    // Equal keys: i and j stop on each and swap, so three ties come out reversed.
    EXPECT_EQ(sorted_order({5, 5, 5}), (std::vector<int32_t>{2, 1, 0}));
    EXPECT_EQ(sorted_order({7}), (std::vector<int32_t>{0}));
    EXPECT_EQ(sorted_order({3, 1, 2}), (std::vector<int32_t>{1, 2, 0}));
    EXPECT_EQ(sorted_order({2, 1, 2, 1}), (std::vector<int32_t>{3, 1, 0, 2}));
    std::mt19937 random(3);
    for (int round = 0; round < 200; ++round) {
        std::vector<int32_t> keys(1 + random() % 600);
        for (auto& k : keys)
            k = int32_t(random() % 40) - 20;
        const auto order = sorted_order(keys);
        std::vector<int32_t> seen = order;
        std::sort(seen.begin(), seen.end());
        for (size_t k = 0; k < seen.size(); ++k)
            ASSERT_EQ(seen[k], int32_t(k));
        for (size_t k = 1; k < order.size(); ++k)
            ASSERT_LE(keys[order[k - 1]], keys[order[k]]);
    }

    // Faces: the largest z sum is the smallest key and comes first.
    object3d o = object_from({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {{0, 1, 2}, {1, 2, 3}, {0, 1, 3}});
    const float z[4] = {100, 200, 300, 1000};
    for (int v = 0; v < 4; ++v)
        o.vertices[v].z = z[v];
    sort_faces(o);
    EXPECT_EQ(o.face_order[0].order, 1);  // 1500
    EXPECT_EQ(o.face_order[1].order, 2);  // 1300
    EXPECT_EQ(o.face_order[2].order, 0);  // 600
    EXPECT_EQ(o.face_order[1].key, -1500);  // keys stay with their faces
    release_object(o);
}

TEST(EnvmapCoordinates, MapNormalsToTheTextureAroundItsCentre)
{
    EXPECT_EQ(envmap_coordinates({0, 0, -256}).u, 127);
    EXPECT_EQ(envmap_coordinates({0, 0, -256}).v, 127);
    EXPECT_EQ(envmap_coordinates({256, 0, 0}).u, 255);
    EXPECT_EQ(envmap_coordinates({256, 0, 0}).v, 127);
    EXPECT_EQ(envmap_coordinates({-256, 0, 0}).u, -1);  // the arithmetic shift of -1; the rasteriser wraps it
    EXPECT_EQ(envmap_coordinates({0, -256, 0}).v, -1);
    EXPECT_EQ(envmap_coordinates({0.5f, 0.6f, 0}).u, 128);  // 255.5 rounds to 256, not down to 255
    EXPECT_EQ(envmap_coordinates({0.5f, 0.4f, 0}).v, 127);
}

TEST(DrawEnvmappedFaces, DropsNearBackFacingAndCollinearFaces)
{
    const screen_point a = {100, 100}, b = {100, 140}, c = {140, 100};  // front-facing with y downwards
    EXPECT_EQ(is_front_facing(a, b, c), 1);
    EXPECT_EQ(is_front_facing(a, c, b), 0);
    EXPECT_EQ(is_front_facing({0, 0}, {10, 10}, {20, 20}), 0);
    {
        one_face f(10.0f, 500, 500, a, b, c);
        sort_faces(f.object);
        draw_envmapped_faces(f.object, f.texture.data(), f.frame.data());
        EXPECT_GT(f.drawn(), 700);
    }
    {
        one_face f(500, 9.99f, 500, a, b, c);
        sort_faces(f.object);
        draw_envmapped_faces(f.object, f.texture.data(), f.frame.data());
        EXPECT_EQ(f.drawn(), 0);
    }
    {
        one_face f(500, 500, 500, a, c, b);
        sort_faces(f.object);
        draw_envmapped_faces(f.object, f.texture.data(), f.frame.data());
        EXPECT_EQ(f.drawn(), 0);
    }
    {
        one_face f(500, 500, 500, {10, 10}, {50, 50}, {30, 30});
        sort_faces(f.object);
        draw_envmapped_faces(f.object, f.texture.data(), f.frame.data());
        EXPECT_EQ(f.drawn(), 0);
    }
}

TEST(DrawFeatureEdges, SkipsEdgesWithAnEndNearerThan10)
{
    object3d o = object_from({{0, 0, 0}, {100, 0, 0}, {0, 100, 0}}, {{0, 1, 2}});
    build_edge_list(o, 256);
    ASSERT_EQ(o.edge_count, 3);  // (0,1), (1,2), (2,0)
    o.screen_points[0] = {20, 20};
    o.screen_points[1] = {200, 20};
    o.screen_points[2] = {20, 200};
    o.vertices[0].z = 10.0f;
    o.vertices[1].z = 9.99f;
    o.vertices[2].z = 400;
    std::vector<uint32_t> frame(320 * 240, 0xFFFFFF);
    draw_feature_edges(o, frame.data(), 0x777777);
    EXPECT_NE(frame[100 * 320 + 20], 0xFFFFFFu);  // edge 2-0 drawn
    EXPECT_EQ(frame[20 * 320 + 100], 0xFFFFFFu);  // edge 0-1 not
    EXPECT_EQ(frame[110 * 320 + 110], 0xFFFFFFu);  // edge 1-2 not
    release_object(o);
}

TEST(DrawVertexSprites, SizeFollowsDepthAndSlotFollowsIndex)
{
    ready_engine();
    object3d o = object_from({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {{0, 1, 2}});
    const float z[4] = {0, 1000, -1, 600};
    const screen_point at[4] = {{160, 120}, {40, 40}, {280, 40}, {60, 200}};
    for (int v = 0; v < 4; ++v) {
        o.vertices[v].z = z[v];
        o.screen_points[v] = at[v];
    }
    std::vector<uint32_t> frame(320 * 240, 0);
    draw_vertex_sprites(o, texture_slots, frame.data());
    // z = 0: size 30 at the centre, x and y from 145 to 174.
    int left = 320, right = -1;
    for (int x = 0; x < 320; ++x)
        if (frame[120 * 320 + x] && x > 100 && x < 220)
            left = std::min(left, x), right = std::max(right, x);
    EXPECT_GE(left, 145);
    EXPECT_LE(right, 174);
    EXPECT_EQ(frame[120 * 320 + 160], texture_slots[slot_glow][127 * 256 + 127]);  // column 15 of 30 samples texel 127
    // z = 1000 rounds to size 1 and z < 0 is skipped: nothing near them.
    for (int y = 20; y < 60; ++y)
        for (int x : {40, 280})
            EXPECT_EQ(frame[y * 320 + x], 0u);
    // z = 600: size round(30 - 17.14) = 13 from slot 3, pixel 6 of the box sampling texel 118.
    EXPECT_EQ(frame[200 * 320 + 60], texture_slots[slot_rings_quarter][118 * 256 + 118]);
    EXPECT_EQ(frame[200 * 320 + 53], 0u);
    EXPECT_EQ(frame[193 * 320 + 60], 0u);

    std::vector<uint32_t> dots(320 * 240, 0);
    draw_vertex_dots(o, texture_slots[slot_glow], dots.data());
    int lit = 0;
    for (int y = 190; y < 210; ++y)
        for (int x = 50; x < 70; ++x)
            lit += dots[y * 320 + x] != 0;
    EXPECT_LE(lit, 36);  // one 6 x 6 dot
    EXPECT_GT(lit, 0);
    EXPECT_NE(dots[40 * 320 + 40], 0u);   // dots do not depend on depth
    EXPECT_EQ(dots[40 * 320 + 280], 0u);  // but not behind the eye
    release_object(o);
}
