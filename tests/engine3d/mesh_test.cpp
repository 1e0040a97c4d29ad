// Meshes into objects: the stored format, normals, feature edges, the stored meshes, setup_objects' textures.
#include "engine3d/mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <set>

#include "data/blocks.h"
#include "director/precalc.h"
#include "tests/engine3d/engine_support.h"
#include "tests/support/helpers.h"

namespace {

double length(vec3 v)
{
    return std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
}

std::vector<std::pair<int, int>> edge_pairs(const object3d& o)
{
    std::vector<std::pair<int, int>> out;
    for (int i = 0; i < o.edge_count; ++i)
        out.push_back({o.edges[i].a, o.edges[i].b});
    return out;
}

int edge_count_of(const std::vector<std::array<int, 3>>& vertices, const std::vector<std::array<int, 3>>& faces)
{
    object3d o = object_from(vertices, faces);
    build_edge_list(o, 256);
    const int count = o.edge_count;
    release_object(o);
    return count;
}

}  // namespace

TEST(LoadMesh, ReadsSignedLittleEndianCountsVerticesAndFaces)
{
    object3d o = object_from({{-820, 716, -1}, {32767, -32768, 0}, {1, 2, 3}}, {{0, 1, 2}, {2, 1, 0}});
    EXPECT_EQ(o.vertex_count, 3);
    EXPECT_EQ(o.face_count, 2);
    EXPECT_EQ(o.base_vertices[0].x, -820);
    EXPECT_EQ(o.base_vertices[0].y, 716);
    EXPECT_EQ(o.base_vertices[0].z, -1);
    EXPECT_EQ(o.base_vertices[1].x, 32767);
    EXPECT_EQ(o.base_vertices[1].y, -32768);
    EXPECT_EQ(o.vertices[2].z, 3);  // the current vertices start as loaded
    EXPECT_EQ(o.faces[1].a, 2);
    EXPECT_EQ(o.faces[1].c, 0);
    EXPECT_EQ(o.face_order[0].order, 0);
    EXPECT_EQ(o.face_order[1].order, 1);
    EXPECT_EQ(o.edge_count, 0);
    EXPECT_EQ(o.angle_x, 0);
    EXPECT_EQ(o.pos_z, 0);
    release_object(o);
}

TEST(Normals, HaveLength256AndVanishForCollinearCorners)
{
    // A flat square in z = 0 made of two triangles, winding towards -z, a fold
    // face towards +x, and a collinear face on a vertex of its own.
    object3d o = object_from({{0, 0, 0}, {0, 100, 0}, {100, 0, 0}, {100, 100, 0}, {0, 0, 100},
                              {200, 200, 200}, {300, 300, 300}, {400, 400, 400}},
                             {{0, 1, 2}, {2, 1, 3}, {0, 4, 1}, {5, 6, 7}});
    // The squares are rounded before the sum (312.5^2 to 97656), so the length is a hair over 256.
    EXPECT_NEAR(o.base_face_normals[0].z, -256.0003, 1e-4);
    EXPECT_NEAR(o.base_face_normals[1].z, -256.0003, 1e-4);
    EXPECT_NEAR(o.base_face_normals[2].x, -256, 1e-3);
    EXPECT_EQ(o.base_face_normals[3].x, 0);
    EXPECT_EQ(o.base_face_normals[3].y, 0);
    EXPECT_EQ(o.base_face_normals[3].z, 0);
    for (int v : {5, 6, 7})
        EXPECT_EQ(length(o.base_vertex_normals[v]), 0);
    // A vertex on the fold averages its faces' normals.
    EXPECT_NEAR(o.base_vertex_normals[0].x, -181.019, 1e-2);
    EXPECT_NEAR(o.base_vertex_normals[0].z, -181.019, 1e-2);
    EXPECT_NEAR(length(o.base_vertex_normals[3]), 256, 1e-3);
    // The per-frame variant does the same on the current vertices.
    for (int v = 0; v < 8; ++v)
        o.vertices[v] = {o.base_vertices[v].x, o.base_vertices[v].z, o.base_vertices[v].y};  // swap y and z
    compute_frame_normals(o);
    EXPECT_NEAR(o.face_normals[0].y, 256.0003, 1e-4);
    release_object(o);
}

// A face so large that its rounded squares pass 32 bits still gets its normal.
TEST(Normals, LargeFacesStillGetLength256)
{
    object3d o = object_from({{-30000, -30000, 0}, {30000, -30000, 0}, {-30000, 30000, 0}}, {{0, 1, 2}});
    EXPECT_EQ(o.base_face_normals[0].x, 0);
    EXPECT_EQ(o.base_face_normals[0].z, 256);
    release_object(o);
}

TEST(NormalsClose, MeansASquaredDistanceBelow256AtThreshold256)
{
    const vec3 up = {0, 0, 256};
    EXPECT_TRUE(normals_close(up, {15, 5, 256 + 2.2360679f}, 256));  // 225 + 25 + 5 = 255
    EXPECT_FALSE(normals_close(up, {16, 0, 256}, 256));              // 256
    EXPECT_FALSE(normals_close(up, {0, 0, -256}, 256));
    EXPECT_TRUE(normals_close(up, {0, 0, -256}, 0));
    EXPECT_FALSE(normals_close(up, {1, 0, 256}, 65536));
}

TEST(BuildEdgeList, KeepsCreasesOnceAndDropsFlatJoins)
{
    // A single triangle: all three edges, in face order.
    object3d single = object_from({{0, 0, 0}, {0, 100, 0}, {100, 0, 0}}, {{0, 1, 2}});
    build_edge_list(single, 256);
    EXPECT_EQ(edge_pairs(single), (std::vector<std::pair<int, int>>{{0, 1}, {1, 2}, {2, 0}}));
    release_object(single);
    // Coplanar pair: the shared edge is smooth.
    EXPECT_EQ(edge_count_of({{0, 0, 0}, {0, 100, 0}, {100, 0, 0}, {100, 100, 0}}, {{0, 1, 2}, {2, 1, 3}}), 4);
    // Folded at 90 degrees: the shared edge once.
    EXPECT_EQ(edge_count_of({{0, 0, 0}, {0, 100, 0}, {100, 0, 0}, {0, 0, 100}}, {{0, 1, 2}, {0, 3, 1}}), 5);
    // Separate vertices at one position are one point: the pair below shares
    // an edge through four distinct vertices and still joins flat.
    EXPECT_EQ(edge_count_of({{0, 0, 0}, {0, 100, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 0}, {100, 0, 0}},
                            {{0, 1, 2}, {5, 4, 3}}),
              4);
    // Folded by a few degrees the pair still joins flat at threshold 256 but
    // not at a threshold that makes any difference count.
    const std::vector<std::array<int, 3>> slight = {{0, 0, 0}, {0, 100, 0}, {100, 0, 0}, {100, 100, 3}};
    EXPECT_EQ(edge_count_of(slight, {{0, 1, 2}, {2, 1, 3}}), 4);
    object3d pair = object_from(slight, {{0, 1, 2}, {2, 1, 3}});
    build_edge_list(pair, 65536);
    EXPECT_EQ(pair.edge_count, 5);
    release_object(pair);
}

// Positions compare after rounding: 10.4 and 9.6 meet at 10.  (Loaded meshes
// hold integers, so the test moves base vertices by hand.)
TEST(BuildEdgeList, ComparesRoundedPositions)
{
    object3d o = object_from({{0, 0, 0}, {0, 100, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 0}, {100, 0, 0}},
                             {{0, 1, 2}, {5, 4, 3}});
    o.base_vertices[4].x = 0.4f;
    o.base_vertices[5].y = -0.49f;
    o.base_vertices[1].x = -0.5f;  // ties to even: still 0
    compute_base_normals(o);
    build_edge_list(o, 256);
    EXPECT_EQ(o.edge_count, 4);
    EXPECT_TRUE(same_edge(o, {1, 2}, {5, 4}));
    EXPECT_FALSE(same_edge(o, {1, 2}, {5, 3}));
    release_object(o);
}

// The sorted search and the literal one give the same list in the same
// order, on the stored meshes and on random soups with duplicate positions,
// degenerate faces and nearly flat joins.
TEST(BuildEdgeList, FastSearchMatchesTheLiteralOne)
{
    for (const unsigned char* block : {embedded_outline_mesh_bin, embedded_ball_mesh_bin, embedded_sphere_mesh_bin}) {
        object3d a{}, b{};
        load_mesh(block, a);
        load_mesh(block, b);
        build_edge_list_plain(a, 256);
        build_edge_list(b, 256);
        EXPECT_EQ(edge_pairs(a), edge_pairs(b));
        release_object(a);
        release_object(b);
    }
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        const int v_count = 3 + int(random() % 12), f_count = 1 + int(random() % 30);
        std::vector<std::array<int, 3>> vertices, faces;
        for (int v = 0; v < v_count; ++v) {
            if (v > 0 && random() % 4 == 0)
                vertices.push_back(vertices[random() % v]);  // a second vertex at a known position
            else
                vertices.push_back({int(random() % 5) * 40, int(random() % 5) * 40, int(random() % 3) * (random() % 2 ? 1 : 40)});
        }
        for (int f = 0; f < f_count; ++f)
            faces.push_back({int(random() % v_count), int(random() % v_count), int(random() % v_count)});
        object3d a = object_from(vertices, faces), b = object_from(vertices, faces);
        const int32_t threshold = random() % 3 == 0 ? int32_t(random() % 70000) : 256;
        build_edge_list_plain(a, threshold);
        build_edge_list(b, threshold);
        ASSERT_EQ(edge_pairs(a), edge_pairs(b)) << "round " << round;
        release_object(a);
        release_object(b);
    }
}

namespace {

struct mesh_facts {
    int vertices, faces, feature_edges;
    double low[3], high[3], nearest, farthest;
    bool closed_and_consistent;  // every edge in exactly two faces, once each way
    double volume;               // positive when the faces wind outwards
};

mesh_facts facts_of(const unsigned char* block)
{
    object3d o{};
    load_mesh(block, o);
    build_edge_list(o, 256);
    mesh_facts m{o.vertex_count, o.face_count, o.edge_count, {1e9, 1e9, 1e9}, {-1e9, -1e9, -1e9}, 1e9, 0, true, 0};
    for (int i = 0; i < o.vertex_count; ++i) {
        const vec3& v = o.base_vertices[i];
        const double c[3] = {v.x, v.y, v.z};
        for (int k = 0; k < 3; ++k)
            m.low[k] = std::min(m.low[k], c[k]), m.high[k] = std::max(m.high[k], c[k]);
        m.nearest = std::min(m.nearest, length(v));
        m.farthest = std::max(m.farthest, length(v));
    }
    std::map<std::pair<int, int>, int> directed;
    for (int f = 0; f < o.face_count; ++f) {
        const face& fc = o.faces[f];
        for (auto [p, q] : {std::pair{fc.a, fc.b}, std::pair{fc.b, fc.c}, std::pair{fc.c, fc.a}})
            ++directed[{p, q}];
        const vec3 &a = o.base_vertices[fc.a], &b = o.base_vertices[fc.b], &c = o.base_vertices[fc.c];
        m.volume += (double(a.x) * (double(b.y) * c.z - double(b.z) * c.y) - double(a.y) * (double(b.x) * c.z - double(b.z) * c.x) +
                     double(a.z) * (double(b.x) * c.y - double(b.y) * c.x)) / 6;
    }
    for (const auto& [e, count] : directed)
        if (count != 1 || directed.count({e.second, e.first}) != 1)
            m.closed_and_consistent = false;
    release_object(o);
    return m;
}

}  // namespace

TEST(StoredMeshes, HaveTheirCountsExtentsWindingAndFeatureEdges)
{
    const mesh_facts outline = facts_of(embedded_outline_mesh_bin);
    EXPECT_EQ(outline.vertices, 80);
    EXPECT_EQ(outline.faces, 156);
    EXPECT_EQ(outline.feature_edges, 120);
    EXPECT_EQ(outline.low[0], -820);
    EXPECT_EQ(outline.high[0], 716);
    EXPECT_EQ(outline.low[1], -743);
    EXPECT_EQ(outline.high[1], 539);
    EXPECT_EQ(outline.low[2], -138);
    EXPECT_EQ(outline.high[2], 140);
    EXPECT_TRUE(outline.closed_and_consistent);
    EXPECT_GT(outline.volume, 0);
    EXPECT_EQ(embedded_outline_mesh_bin_size, 1420u);

    const mesh_facts ball = facts_of(embedded_ball_mesh_bin);
    EXPECT_EQ(ball.vertices, 120);
    EXPECT_EQ(ball.faces, 236);
    EXPECT_EQ(ball.feature_edges, 180);  // 354 edges, 174 of them between nearly coplanar faces
    EXPECT_GE(ball.nearest, 562);
    EXPECT_LE(ball.farthest, 572);
    EXPECT_TRUE(ball.closed_and_consistent);
    EXPECT_GT(ball.volume, 0);
    EXPECT_EQ(embedded_ball_mesh_bin_size, 2140u);

    const mesh_facts sphere = facts_of(embedded_sphere_mesh_bin);
    EXPECT_EQ(sphere.vertices, 252);
    EXPECT_EQ(sphere.faces, 500);
    EXPECT_EQ(sphere.feature_edges, 750);  // every edge
    EXPECT_GE(sphere.nearest, 508);
    EXPECT_LE(sphere.farthest, 516);
    EXPECT_TRUE(sphere.closed_and_consistent);
    EXPECT_GT(sphere.volume, 0);
    EXPECT_EQ(embedded_sphere_mesh_bin_size, 4516u);
}

// The outline's feature edges are its two outlines and the 40 edges along
// the extrusion: every kept edge either stays in one plane along the
// outline or joins the two planes at one (x, y).
TEST(StoredMeshes, OutlineKeepsOutlinesAndExtrusionEdges)
{
    object3d o{};
    load_mesh(embedded_outline_mesh_bin, o);
    build_edge_list(o, 256);
    int across = 0;
    for (int i = 0; i < o.edge_count; ++i) {
        const vec3 a = o.base_vertices[o.edges[i].a], b = o.base_vertices[o.edges[i].b];
        if (a.z != b.z) {
            EXPECT_EQ(a.x, b.x);
            EXPECT_EQ(a.y, b.y);
            ++across;
        }
    }
    EXPECT_EQ(across, 40);
    release_object(o);
}

TEST(StoredMeshes, SphereIsAGeodesicIcosahedron)
{
    object3d o{};
    load_mesh(embedded_sphere_mesh_bin, o);
    std::vector<std::set<int>> neighbours(size_t(o.vertex_count));
    for (int f = 0; f < o.face_count; ++f) {
        const face& fc = o.faces[f];
        neighbours[size_t(fc.a)].insert({fc.b, fc.c});
        neighbours[size_t(fc.b)].insert({fc.a, fc.c});
        neighbours[size_t(fc.c)].insert({fc.a, fc.b});
    }
    int fives = 0, sixes = 0;
    for (const auto& n : neighbours)
        fives += n.size() == 5, sixes += n.size() == 6;
    EXPECT_EQ(fives, 12);
    EXPECT_EQ(sixes, 240);
    release_object(o);
}

// data/ holds exactly what the generator makes from content/meshes/.
TEST(StoredMeshes, AreWhatTheirParametersBuild)
{
    const command_result r = run_command(binary_path("oddball-tool") + " build-data --check --root " + source_path(""));
    EXPECT_EQ(r.status, 0) << r.errors;
}

TEST(SetupObjects, AveragesSlot7IntoSlot24AndPutsItsBlueIntoSlot6Alpha)
{
    std::vector<uint32_t> source(65536, 0), averaged(65536, 0xDEADBEEF);
    source[0] = 0xFFFFFFFF;  // its four neighbours wrap round the texture
    source[1000] = 0x04080C11;
    average_four_neighbours(source.data(), averaged.data());
    for (int i : {256, 1, 65535, 65280})
        EXPECT_EQ(averaged[i], 0x3F3F3F3Fu) << i;
    EXPECT_EQ(averaged[0], 0u);  // the centre is not included
    for (int i : {1000 - 256, 999, 1001, 1000 + 256})
        EXPECT_EQ(averaged[i], 0x01020304u) << i;  // quarters floor per byte
    std::vector<uint32_t> uniform(65536, 0x04080C10), uniform_out(65536);
    average_four_neighbours(uniform.data(), uniform_out.data());
    EXPECT_EQ(uniform_out[12345], 0x04080C10u);

    std::vector<uint32_t> texture(65536, 0x11223344);
    copy_height_to_alpha(averaged.data(), texture.data());
    EXPECT_EQ(texture[256], 0x3F223344u);
    EXPECT_EQ(texture[999], 0x04223344u);
    EXPECT_EQ(texture[5], 0x00223344u);

    ready_engine();
    EXPECT_EQ(engine3d.outline_object.edge_count, 120);
    EXPECT_EQ(engine3d.ball_object.edge_count, 180);
    EXPECT_EQ(engine3d.sphere_object.edge_count, 750);
    for (int i = 0; i < 65536; i += 257)
        ASSERT_EQ(texture_slots[slot_clouds][i] >> 24, texture_slots[slot_environment][i] & 255) << i;
}
