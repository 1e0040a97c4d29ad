// The composite effects: the rotozoom layer's worked numbers, brightness ends, saturation and safety, its vector row against the plain one, and the tunnel's layers.
#include "director/composite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "base/memory.h"
#include "director/precalc.h"
#include "director/timeline.h"
#include "imaging/effects.h"
#include "imaging/tables.h"
#include "media/media_files.h"
#include "tests/support/helpers.h"

namespace {

constexpr int width = 320;
constexpr int height = 240;

struct random_bits {
    uint32_t state;
    uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

std::vector<uint32_t> random_pixels(size_t count, uint32_t seed)
{
    random_bits bits{seed};
    std::vector<uint32_t> pixels(count);
    for (auto& p : pixels)
        p = bits.next();
    return pixels;
}

// Per byte: min(255, d + (t x g) >> 8), written out byte by byte.
uint32_t added_per_byte(uint32_t texel, uint32_t destination, uint32_t g)
{
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t t = (texel >> shift) & 0xFF;
        uint32_t d = (destination >> shift) & 0xFF;
        result |= std::min(255u, d + ((t * g) >> 8)) << shift;
    }
    return result;
}

// A frame-sized destination inside a larger block whose guard bands must stay untouched.
struct guarded_frame {
    static constexpr int guard = 4096;
    static constexpr uint32_t guard_value = 0xA5A5A5A5;
    std::vector<uint32_t> memory;
    uint32_t* pixels;
    explicit guarded_frame(uint32_t fill) : memory(width * height + 2 * guard, guard_value)
    {
        std::fill(memory.begin() + guard, memory.end() - guard, fill);
        pixels = memory.data() + guard;
    }
    bool guards_intact() const
    {
        return std::all_of(memory.begin(), memory.begin() + guard, [](uint32_t v) { return v == guard_value; }) &&
               std::all_of(memory.end() - guard, memory.end(), [](uint32_t v) { return v == guard_value; });
    }
};

TEST(RotozoomAdd, UnturnedAtFullBrightnessShowsOneTexelPerPixelAndRowsStretched)
{
    const rotozoom_steps steps = rotozoom_steps_for(0.0f, 256.0f);
    EXPECT_EQ(steps.du_x, 256);
    EXPECT_EQ(steps.dv_x, 0);
    EXPECT_EQ(steps.du_y, 0);
    EXPECT_EQ(steps.dv_y, 307);

    const std::vector<uint32_t> texture = random_pixels(256 * 256, 1);
    std::vector<uint32_t> frame(width * height, 0);
    rotozoom_add(0.0f, 256.0f, 0, 0, 0, 0, 255, texture.data(), frame.data());
    for (int y = 0; y < height; ++y) {
        const int row = ((y + 1) * 307 >> 8) % 256;
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(frame[y * width + x], added_per_byte(texture[row * 256 + x % 256], 0, 255))
                << "pixel " << x << "," << y;
    }
}

TEST(RotozoomAdd, QuarterTurnStepsAlongTheTextureRows)
{
    // The angle unit is a little more than a degree, so 90 is just past a
    // quarter turn: the small cosine rounds away.
    const rotozoom_steps steps = rotozoom_steps_for(90.0f, 256.0f);
    EXPECT_EQ(steps.du_x, 0);
    EXPECT_EQ(steps.dv_x, 256);
    EXPECT_EQ(steps.du_y, -307);
    EXPECT_EQ(steps.dv_y, 0);
}

TEST(RotozoomAdd, BrightnessIsHeldTo0Through255AndAddsWithSaturationOnAllFourBytes)
{
    const std::vector<uint32_t> texture = random_pixels(256 * 256, 2);
    const std::vector<uint32_t> start = random_pixels(width * height, 3);

    for (int32_t g : {0, -1, -1000, INT32_MIN}) {
        std::vector<uint32_t> frame = start;
        rotozoom_add(17.0f, 300.0f, 5, 9, 100, 50, g, texture.data(), frame.data());
        ASSERT_EQ(frame, start) << "brightness " << g;
    }

    std::vector<uint32_t> at_255 = start;
    rotozoom_add(17.0f, 300.0f, 5, 9, 100, 50, 255, texture.data(), at_255.data());
    for (int32_t g : {256, 1000, INT32_MAX}) {
        std::vector<uint32_t> frame = start;
        rotozoom_add(17.0f, 300.0f, 5, 9, 100, 50, g, texture.data(), frame.data());
        ASSERT_EQ(frame, at_255) << "brightness " << g;
    }

    // Unturned, so the texel under each pixel is known; random destinations
    // saturate in every byte, the alpha byte included.
    for (int32_t g : {1, 77, 128, 200, 255}) {
        std::vector<uint32_t> frame = start;
        rotozoom_add(0.0f, 256.0f, 0, 0, 0, 0, g, texture.data(), frame.data());
        for (int y = 0; y < height; ++y) {
            const int row = ((y + 1) * 307 >> 8) % 256;
            for (int x = 0; x < width; ++x)
                ASSERT_EQ(frame[y * width + x],
                          added_per_byte(texture[row * 256 + x % 256], start[y * width + x], uint32_t(g)))
                    << "pixel " << x << "," << y << " brightness " << g;
        }
    }
    // A full texel onto a full pixel stays full, alpha too.
    std::vector<uint32_t> white_texture(256 * 256, 0xFFFFFFFFu);
    std::vector<uint32_t> frame(width * height, 0x80808080u);
    rotozoom_add(33.0f, 123.0f, 0, 0, 0, 0, 255, white_texture.data(), frame.data());
    EXPECT_TRUE(std::all_of(frame.begin(), frame.end(), [](uint32_t p) { return p == 0xFFFFFFFFu; }));
}

TEST(RotozoomAdd, ScreenPointAboveTheCentreShowsTheOffsetTexel)
{
    const std::vector<uint32_t> texture = random_pixels(256 * 256, 4);
    struct placing {
        float angle, zoom;
        int32_t u_off, v_off, cx, cy;
    };
    const placing cases[] = {
        {0.0f, 256.0f, 0, 0, 1, 1},      {33.5f, 180.0f, 12, 200, 160, 120}, {-170.0f, 700.0f, -5, -300, 319, 240},
        {256.0f, 40.0f, 1000, 77, 3, 9}, {90.0f, 256.0f, 255, 255, 200, 17},
    };
    for (const placing& c : cases) {
        std::vector<uint32_t> frame(width * height, 0);
        rotozoom_add(c.angle, c.zoom, c.u_off, c.v_off, c.cx, c.cy, 255, texture.data(), frame.data());
        const uint32_t texel = texture[(c.v_off & 255) * 256 + (c.u_off & 255)];
        EXPECT_EQ(frame[(c.cy - 1) * width + c.cx], added_per_byte(texel, 0, 255))
            << "angle " << c.angle << " zoom " << c.zoom;
    }
    // At a quarter turn one pixel to the right is one texel further down the texture.
    std::vector<uint32_t> frame(width * height, 0);
    rotozoom_add(90.0f, 256.0f, 40, 60, 100, 100, 255, texture.data(), frame.data());
    EXPECT_EQ(frame[99 * width + 101], added_per_byte(texture[61 * 256 + 40], 0, 255));
}

TEST(RotozoomAdd, WritesOnlyTheFrameForAnyCentreZoomOrOffset)
{
    const std::vector<uint32_t> texture = random_pixels(256 * 256, 5);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float huge = 1e30f;
    const int32_t far[] = {INT32_MIN, -1000000, -1, 0, 319, 320, 1000000, INT32_MAX};
    for (float zoom : {256.0f, -4096.0f, huge, -huge, nan})
        for (int32_t cx : far)
            for (int32_t cy : far) {
                guarded_frame frame(0x01020304);
                rotozoom_add(45.0f, zoom, cx, ~cy, cx, cy, 255, texture.data(), frame.pixels);
                ASSERT_TRUE(frame.guards_intact()) << "zoom " << zoom << " centre " << cx << "," << cy;
            }
}

TEST(RotozoomRow, VectorRowMatchesThePlainOne)
{
    const std::vector<uint32_t> texture = random_pixels(256 * 256, 6);
    random_bits bits{7};
    for (int trial = 0; trial < 3000; ++trial) {
        const int32_t count = static_cast<int32_t>(bits.next() % 321);
        const uint32_t u = bits.next(), v = bits.next();
        // Small steps as the show uses, and any 32-bit step.
        const bool small = trial % 2;
        const uint32_t du = small ? (bits.next() % 2048) - 1024 : bits.next();
        const uint32_t dv = small ? (bits.next() % 2048) - 1024 : bits.next();
        const uint32_t g = trial < 256 ? uint32_t(trial) : bits.next() % 256;
        std::vector<uint32_t> plain = random_pixels(320, bits.next());
        std::vector<uint32_t> fast = plain;
        rotozoom_row_plain(texture.data(), plain.data(), count, u, v, du, dv, g);
        rotozoom_row(texture.data(), fast.data(), count, u, v, du, dv, g);
        ASSERT_EQ(fast, plain) << "trial " << trial << " count " << count;
    }
}

// Texture slots for the tunnel: the test's own buffers, the show's given back after.
class TunnelTest : public ::testing::Test {
protected:
    std::vector<std::vector<uint32_t>> slots;
    uint32_t* saved[texture_slot_count] = {};
    void SetUp() override
    {
        slots.resize(texture_slot_count);
        for (int i = 0; i < texture_slot_count; ++i) {
            slots[i] = random_pixels(256 * 256, 100 + i);
            saved[i] = texture_slots[i];
            texture_slots[i] = slots[i].data();
        }
    }
    void TearDown() override
    {
        for (int i = 0; i < texture_slot_count; ++i)
            texture_slots[i] = saved[i];
    }
};

TEST_F(TunnelTest, AtPhaseZeroTheFourLayersStandAtTheirDepthsAndBrightnesses)
{
    const int32_t depth[4] = {1024, 768, 512, 256};
    const int32_t brightness[4] = {0, 64, 128, 64};
    const int32_t slot[4] = {9, 6, 15, 6};  // sequence entries 4, 3, 2, 1
    for (int j = 0; j < 4; ++j) {
        const tunnel_layer layer = tunnel_layer_at(0, j, tunnel_texture_sequence);
        EXPECT_EQ(layer.zoom, float(depth[j])) << "layer " << j;
        EXPECT_EQ(layer.brightness, brightness[j]) << "layer " << j;
        EXPECT_EQ(layer.slot, slot[j]) << "layer " << j;
        EXPECT_EQ(layer.u_off, 40 * j);
        EXPECT_EQ(layer.v_off, 55 * j);
        EXPECT_EQ(layer.cx, 160);  // sin 0 = 0
        EXPECT_EQ(layer.cy, 180);  // 120 + 60 cos 0
        EXPECT_EQ(layer.angle, float(150 * j + 90));
    }
    // Plain colours show the brightness sums in every pixel, whatever was there before.
    std::fill(slots[9].begin(), slots[9].end(), 0x00FF0000u);  // layer 0
    std::fill(slots[6].begin(), slots[6].end(), 0x000000FFu);  // layers 1 and 3
    std::fill(slots[15].begin(), slots[15].end(), 0x0000FF00u);  // layer 2
    std::vector<uint32_t> frame = random_pixels(width * height, 8);
    rotozoom_tunnel(0, frame.data());
    const uint32_t expected = ((255 * 64 >> 8) + (255 * 64 >> 8)) | (255 * 128 >> 8) << 8;
    EXPECT_TRUE(std::all_of(frame.begin(), frame.end(), [&](uint32_t p) { return p == expected; }))
        << std::hex << frame[0] << " " << expected;
}

TEST_F(TunnelTest, EachLayerKeepsItsTextureAndOffsetsAsItMovesNearer)
{
    for (int32_t q : {0, 1, 36, 37, 250}) {
        const int32_t phase = 256 * q + 255;
        for (int j = 0; j < 3; ++j) {
            const tunnel_layer before = tunnel_layer_at(phase, j, tunnel_texture_sequence);
            const tunnel_layer after = tunnel_layer_at(phase + 1, j + 1, tunnel_texture_sequence);
            EXPECT_EQ(before.slot, after.slot);
            EXPECT_EQ(before.u_off, after.u_off);
            EXPECT_EQ(before.v_off, after.v_off);
            EXPECT_EQ(before.zoom, after.zoom + 1.0f);
        }
        // The nearest layer has faded out just before it leaves; the new far one starts dark.
        EXPECT_EQ(tunnel_layer_at(phase, 3, tunnel_texture_sequence).brightness, 0);
        EXPECT_EQ(tunnel_layer_at(phase, 3, tunnel_texture_sequence).zoom, 1.0f);
        EXPECT_EQ(tunnel_layer_at(phase + 1, 0, tunnel_texture_sequence).brightness, 0);
        EXPECT_EQ(tunnel_layer_at(phase + 1, 0, tunnel_texture_sequence).slot, tunnel_texture_sequence[(q + 5) % 37]);
    }
    // Negative phases (never shown) still pick entries of the sequence.
    int32_t numbered[37];
    for (int i = 0; i < 37; ++i)
        numbered[i] = 1000 + i;
    for (int32_t phase : {-1, -255, -256, -5000, -100000, INT32_MIN, INT32_MAX})
        for (int j = 0; j < 4; ++j) {
            const int32_t slot = tunnel_layer_at(phase, j, numbered).slot;
            ASSERT_TRUE(slot >= 1000 && slot < 1037) << "phase " << phase << " layer " << j;
        }
}

TEST_F(TunnelTest, OnePassMatchesTheLayersAddedOneByOne)
{
    // Phases with the farthest layer dark (multiples of 256) and lit, over the show's range and beyond.
    std::vector<uint32_t> fast(width * height), plain(width * height);
    for (int32_t phase : {0, 1, 128, 255, 256, 9999, 23456, 40000, 65535, 123457}) {
        rotozoom_tunnel(phase, fast.data());
        rotozoom_tunnel_plain(phase, plain.data());
        ASSERT_EQ(fast, plain) << "phase " << phase;
    }
}

TEST_F(TunnelTest, FramesMatchTheirGoldenHashes)
{
    std::vector<uint32_t> frame(width * height);
    rotozoom_tunnel(23456, frame.data());
    EXPECT_EQ(hash_bytes(frame.data(), frame.size() * 4), "67f1a90ae841e12a");
    std::fill(frame.begin(), frame.end(), 0x10203040u);
    rotozoom_add(-123.25f, 310.0f, 20000 / 5, -20000 / 4, 111, 77, 99, slots[11].data(), frame.data());
    EXPECT_EQ(hash_bytes(frame.data(), frame.size() * 4), "ee80f1107390d01a");
}

}  // namespace

namespace {

// The lens needs the zoom tables and the dome, as precalculation leaves them.
class LensFeedbackTest : public ::testing::Test {
protected:
    std::vector<uint32_t> texture_a = random_pixels(256 * 256, 20);
    std::vector<uint32_t> texture_b = random_pixels(256 * 256, 21);
    void SetUp() override
    {
        blob_table_setup();
    }
};

TEST_F(LensFeedbackTest, AtTimeZeroTheDomeSitsRightOfAndBelowTheMiddle)
{
    // p0 = p1 = p2 = 0: cx = 160 + 64, cy = 120 + 48, z = -290, u_off = 64 + 128, v_off = 0.
    std::vector<uint32_t> scratch = random_pixels(width * height, 22);
    std::vector<uint32_t> frame = random_pixels(width * height, 23);
    std::vector<uint32_t> expected_scratch = scratch;
    std::vector<uint32_t> expected_frame = frame;
    lens_blobs(224, 168, -290.0f, 192, 0, texture_a.data(), texture_b.data(), expected_frame.data(),
               expected_scratch.data());
    radial_zoom_feedback(expected_frame.data(), 224, 168, 248, 0.1f, 2.0f);
    lens_feedback(0.0f, 0.0f, 0.0f, texture_a.data(), texture_b.data(), scratch.data(), frame.data());
    EXPECT_EQ(scratch, expected_scratch);
    EXPECT_EQ(frame, expected_frame);
    EXPECT_NE(scratch, random_pixels(width * height, 22));  // the dome was drawn
}

TEST_F(LensFeedbackTest, FixedInputsMatchTheirGoldenHashes)
{
    // Worked separately from the formulas: centre (51, 145) from 50.68 and
    // 145.28, z = -306, u_off = 167, v_off = -17.
    std::vector<uint32_t> scratch(width * height, 0);
    std::vector<uint32_t> frame(width * height, 0);
    std::vector<uint32_t> expected_scratch = scratch;
    std::vector<uint32_t> expected_frame = frame;
    lens_blobs(51, 145, -306.0f, 167, -17, texture_a.data(), texture_b.data(), expected_frame.data(),
               expected_scratch.data());
    radial_zoom_feedback(expected_frame.data(), 51, 145, 248, 0.1f, 2.0f);
    lens_feedback(12345.6f, 789.0f, 4321.0f, texture_a.data(), texture_b.data(), scratch.data(), frame.data());
    EXPECT_EQ(scratch, expected_scratch);
    EXPECT_EQ(frame, expected_frame);
    EXPECT_EQ(hash_bytes(frame.data(), frame.size() * 4), "4935380c9f35bdf7");
    EXPECT_EQ(hash_bytes(scratch.data(), scratch.size() * 4), "2ecd57495f40406b");
}

TEST_F(LensFeedbackTest, WritesOnlyItsTwoBuffersForAnyPhase)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float p : {0.0f, -1.0f, 1e7f, -1e30f, 1e30f, inf, -inf, nan}) {
        guarded_frame scratch(0x11111111);
        guarded_frame frame(0x22222222);
        lens_feedback(p, p, p, texture_a.data(), texture_b.data(), scratch.pixels, frame.pixels);
        ASSERT_TRUE(scratch.guards_intact()) << p;
        ASSERT_TRUE(frame.guards_intact()) << p;
    }
}

TEST(PreviewComposite, WritesAFramePictureAndRefusesBadArguments)
{
    const std::string dir = scratch_dir("preview_composite");
    const std::string tool = binary_path("oddball-tool");
    for (const char* name : {"rotozoom", "tunnel", "lensfeedback"}) {
        const std::string file = dir + "/" + name + ".png";
        const command_result result = run_command(tool + " preview-composite " + name + " 12345 " + file);
        ASSERT_EQ(result.status, 0) << result.errors;
        picture pic;
        std::string error;
        ASSERT_TRUE(png_read(file, &pic, &error)) << error;
        EXPECT_EQ(pic.width, 320);
        EXPECT_EQ(pic.height, 240);
        EXPECT_TRUE(std::any_of(pic.pixels.begin(), pic.pixels.end(), [](uint32_t p) { return (p & 0xFFFFFF) != 0; }));
    }
    for (const char* arguments : {"spiral 100 x.png", "tunnel soon x.png", "tunnel -5 x.png", "tunnel 100"}) {
        const command_result result = run_command(tool + " preview-composite " + arguments);
        EXPECT_EQ(result.status, 2) << arguments;
        EXPECT_NE(result.errors.find("preview-composite"), std::string::npos) << arguments;
    }
    const command_result result = run_command(tool + " preview-composite tunnel 100 " + dir + "/missing/x.png");
    EXPECT_EQ(result.status, 1);
}

}  // namespace
