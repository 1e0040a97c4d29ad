// The render modes: poses and camera from t, the outline face-on and edge-on, the bump texture, the border, golden frames.
#include "engine3d/render_modes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "director/precalc.h"
#include "engine3d/mesh.h"
#include "engine3d/transform.h"
#include "media/media_files.h"
#include "tests/engine3d/engine_support.h"
#include "tests/support/helpers.h"

namespace {

struct box {
    int left = 320, top = 240, right = -1, bottom = -1;
};

box changed_box(const std::vector<uint32_t>& frame, uint32_t fill)
{
    box b;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            if (frame[y * 320 + x] != fill)
                b = {std::min(b.left, x), std::min(b.top, y), std::max(b.right, x), std::max(b.bottom, y)};
    return b;
}

}  // namespace

TEST(RenderBlob, SetsFocalAndPoseFromT)
{
    ready_engine();
    std::vector<uint32_t> frame(320 * 240, 0);
    render_blob(0, 0, 0.4f, 0, texture_slots[slot_clouds], texture_slots[slot_swirl], texture_slots[slot_environment], frame.data());
    EXPECT_EQ(engine3d.camera.focal, 160);
    EXPECT_EQ(engine3d.sphere_object.pos_z, 1200);
    EXPECT_EQ(engine3d.sphere_object.pos_x, 0);
    render_blob(1, 54321, 0.4f, 100, texture_slots[slot_clouds], texture_slots[slot_swirl], texture_slots[slot_environment], frame.data());
    EXPECT_EQ(engine3d.camera.focal, 140);
    EXPECT_EQ(engine3d.sphere_object.angle_z, 100);
    EXPECT_FLOAT_EQ(engine3d.sphere_object.angle_x, 123.6f);
    render_blob(0, 20000, 0.4f, 10, texture_slots[slot_clouds], texture_slots[slot_swirl], texture_slots[slot_environment], frame.data());
    EXPECT_FLOAT_EQ(engine3d.camera.focal, float(140 + 20 * std::cos(20000 / 39545.5)));
    EXPECT_FLOAT_EQ(engine3d.sphere_object.pos_z, float(1200 - 200 * std::sin(20000 / 43343.5)));
    EXPECT_GT(changed_box(frame, 0).right, 0);
}

// Amplitude 0 leaves the per-axis variant undeformed; the two-wave variant's
// first wave has no amplitude and still bends the sphere.
TEST(RenderBlob, AmplitudeZeroDeformsOnlyTheTwoWaveVariant)
{
    ready_engine();
    std::vector<uint32_t> frame(320 * 240, 0);
    object3d& sphere = engine3d.sphere_object;
    auto undeformed_differs = [&] {
        std::vector<vec3> deformed(sphere.vertices, sphere.vertices + sphere.vertex_count);
        transform_object(sphere);
        for (int i = 0; i < sphere.vertex_count; ++i)
            if (deformed[i].x != sphere.vertices[i].x || deformed[i].y != sphere.vertices[i].y ||
                deformed[i].z != sphere.vertices[i].z)
                return true;
        return false;
    };
    render_blob(0, 3000, 0, 70, texture_slots[slot_clouds], texture_slots[slot_swirl], texture_slots[slot_environment], frame.data());
    EXPECT_FALSE(undeformed_differs());
    render_blob(1, 3000, 0, 70, texture_slots[slot_clouds], texture_slots[slot_swirl], texture_slots[slot_environment], frame.data());
    EXPECT_TRUE(undeformed_differs());
}

TEST(RenderWireOutline, FaceOnAtZeroAndEdgeOnAfterAQuarterTurn)
{
    ready_engine();
    const object3d& outline = engine3d.outline_object;
    std::vector<uint32_t> face_on(320 * 240, 0xFFFFFF);
    render_wire_outline(0, face_on.data());
    EXPECT_EQ(engine3d.camera.focal, 170);
    for (int i = 0; i < outline.vertex_count; ++i) {
        EXPECT_EQ(outline.vertices[i].x, outline.base_vertices[i].x);
        EXPECT_EQ(outline.vertices[i].z, outline.base_vertices[i].z + 1100);
    }
    const box wide = changed_box(face_on, 0xFFFFFF);
    // x -820..716 on the nearer plane (z = 962) reaches 160 - 145 and 160 + 127.
    EXPECT_NEAR(wide.left, 15, 1);
    EXPECT_NEAR(wide.right, 287, 2);

    std::vector<uint32_t> edge_on(320 * 240, 0xFFFFFF);
    render_wire_outline(102944, edge_on.data());
    for (int i = 0; i < outline.vertex_count; ++i) {
        EXPECT_NEAR(outline.vertices[i].x, outline.base_vertices[i].z, 0.05);  // depth became width
        EXPECT_NEAR(outline.vertices[i].z, 1100 - outline.base_vertices[i].x, 0.05);
    }
    const box thin = changed_box(edge_on, 0xFFFFFF);
    EXPECT_LT(thin.right - thin.left, 130);
    EXPECT_GT(thin.bottom - thin.top, 100);
    EXPECT_EQ(changed_box(edge_on, 0xFFFFFF).right < 318, true);
}

TEST(MakeBumpEnvmap, FlatHeightsGiveTheMirroredShiftedSum)
{
    std::mt19937 random(5);
    std::vector<uint32_t> source(65536), light(65536), out(65536);
    for (int i = 0; i < 65536; ++i) {
        source[i] = 0x40000000u | (random() & 0xFFFFFF);
        light[i] = random();
    }
    const int a = 3, b = -7, c = 300, d = -1000;
    make_bump_envmap(a, b, c, d, source.data(), light.data(), out.data());
    for (int i = 0; i < 256; ++i)
        for (int j = 0; j < 256; ++j) {
            const uint32_t colour = source[((i - b) & 255) * 256 + ((256 - j - a) & 255)];
            const uint32_t lit = light[((i - d) & 255) * 256 + ((256 - j - c) & 255)];
            uint32_t want = 0;
            for (int s = 0; s < 32; s += 8)
                want |= std::min(255u, ((colour >> s) & 255) + ((lit >> s) & 255)) << s;
            ASSERT_EQ(out[i * 256 + j], want) << i << " " << j;
        }
    // A single bump: the texel mirrored onto column 255 - m sees the height
    // difference of columns m and m + 2 as a shift of the colour it reads.
    std::vector<uint32_t> flat(65536, 0), black(65536, 0);
    for (int i = 0; i < 65536; ++i)
        flat[i] = uint32_t(i & 255);  // colour names its column, heights 0
    flat[10 * 256 + 100] |= 5u << 24;  // height 5 at row 10, column 100
    make_bump_envmap(0, 0, 0, 0, flat.data(), black.data(), out.data());
    EXPECT_EQ(out[10 * 256 + 155] & 255, uint32_t((256 - 155 + 5) & 255));  // m = 100: gx = 5
    EXPECT_EQ(out[10 * 256 + 157] & 255, uint32_t((256 - 157 - 5) & 255));  // m = 98: gx = -5
    EXPECT_EQ(out[10 * 256 + 156] & 255, uint32_t(256 - 156));             // m = 99: flat
}

TEST(MakeBumpEnvmap, RowPointerVersionMatchesTheLiteralRule)
{
    std::mt19937 random(9);
    std::vector<uint32_t> source(65536), light(65536), fast(65536), plain(65536);
    for (int i = 0; i < 65536; ++i)
        source[i] = random(), light[i] = random();
    const int32_t offsets[][4] = {{0, 0, 0, 0}, {27, -44, -33, 12}, {INT32_MIN, INT32_MAX, -1, 256},
                                  {1000001, -999999, 65537, -65535}};
    for (const auto& o : offsets) {
        make_bump_envmap(o[0], o[1], o[2], o[3], source.data(), light.data(), fast.data());
        make_bump_envmap_plain(o[0], o[1], o[2], o[3], source.data(), light.data(), plain.data());
        ASSERT_TRUE(fast == plain) << o[0];
    }
}

TEST(ClearBorder, BlackensOnlyTheOutermostPixels)
{
    std::vector<uint32_t> frame(320 * 240, 0xFFABCDEF);
    clear_border(frame.data());
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const bool border = x == 0 || y == 0 || x == 319 || y == 239;
            ASSERT_EQ(frame[y * 320 + x], border ? 0u : 0xFFABCDEFu) << x << "," << y;
        }
}

// Golden frames of every mode on the stand-in textures; look at them with
// `oddball-tool preview-3d` after any deliberate change.
TEST(RenderModes, GoldenFrames)
{
    ready_engine();
    struct still {
        const char* name;
        uint32_t fill;
        void (*draw)(uint32_t*);
        const char* hash;
    };
    const still stills[] = {
        {"blob0", 0, [](uint32_t* f) { render_blob(0, 45000, 0.7f, 1500, texture_slots[slot_clouds], texture_slots[slot_swirl], texture_slots[slot_environment], f); }, "7f1642d7d7e42844"},
        {"blob1", 0, [](uint32_t* f) { render_blob(1, 30000, 0.4f, 18000, texture_slots[slot_clouds], texture_slots[slot_swirl], texture_slots[slot_environment], f); }, "aae759c185ecfeef"},
        {"wire-dots", 0x808080, [](uint32_t* f) { render_wire_dots(52500, texture_slots[slot_glow], f); }, "1374fa6f343ec929"},
        {"wire-outline", 0xFFFFFF, [](uint32_t* f) { render_wire_outline(1200000, f); }, "c70bce3dbc0e321f"},
        {"sprite-sphere", 0, [](uint32_t* f) { render_sprite_sphere(1234.5f, texture_slots, f); }, "a8bee2f129110a7b"},
        {"sprite-sphere-far", 0, [](uint32_t* f) { render_sprite_sphere(0, texture_slots, f); }, "1b1f8671e5e61571"},
    };
    for (const still& s : stills) {
        std::vector<uint32_t> frame(320 * 240, s.fill);
        s.draw(frame.data());
        EXPECT_EQ(hash_bytes(frame.data(), frame.size() * 4), s.hash) << s.name;
    }
}

// Times, amplitudes and spins the show never reaches still draw inside the frame.
TEST(RenderModes, StayInsideTheFrameForAnyTime)
{
    ready_engine();
    const int guard = 320 * 8;
    std::vector<uint32_t> memory(320 * 240 + 2 * guard, 0x5A5A5A5A);
    uint32_t* frame = memory.data() + guard;
    const float nan = std::nanf(""), inf = INFINITY;
    for (float t : {nan, inf, -inf, 1e30f, -1e30f, 3e9f, -123456.0f, 411775.0f}) {
        render_blob(0, t, 0.5f, t, texture_slots[slot_clouds], texture_slots[slot_swirl], texture_slots[slot_environment], frame);
        render_blob(1, 100, t, 10, texture_slots[slot_clouds], texture_slots[slot_swirl], texture_slots[slot_environment], frame);
        render_blob(2, 100, 1e4f, t, texture_slots[slot_clouds], texture_slots[slot_swirl], texture_slots[slot_environment], frame);
        render_wire_dots(t, texture_slots[slot_glow], frame);
        render_wire_outline(t, frame);
        render_sprite_sphere(t, texture_slots, frame);
    }
    for (int i = 0; i < guard; ++i)
        ASSERT_TRUE(memory[i] == 0x5A5A5A5A && memory[memory.size() - 1 - i] == 0x5A5A5A5A) << i;
}

TEST(ToolCommands, InfoMeshesAndPreview3d)
{
    const std::string tool = binary_path("oddball-tool");
    const command_result info = run_command(tool + " info-meshes");
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.output.find("outline_mesh: 80 vertices, 156 faces"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("feature edges 180"), std::string::npos);
    EXPECT_NE(info.output.find("feature edges 750"), std::string::npos);

    const std::string dir = scratch_dir("preview-3d");
    const command_result ok = run_command(tool + " preview-3d wire-outline 5000 " + dir + "/outline.png");
    EXPECT_EQ(ok.status, 0) << ok.errors;
    picture pic;
    std::string error;
    ASSERT_TRUE(png_read(dir + "/outline.png", &pic, &error)) << error;
    EXPECT_EQ(pic.width, 320);
    EXPECT_EQ(pic.height, 240);
    EXPECT_EQ(run_command(tool + " preview-3d cube 0 " + dir + "/x.png").status, 2);
    EXPECT_EQ(run_command(tool + " preview-3d blob0 soon " + dir + "/x.png").status, 2);
    EXPECT_EQ(run_command(tool + " preview-3d blob0 0 " + dir + "/missing/x.png").status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir + "/x.png"));
}
