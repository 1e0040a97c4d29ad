// The whole show on the virtual backend: golden hashes of frames at moments in every scene, from one run of the program at 10 frames per second, and the whole capture's picture and sound the same on two runs.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/clock.h"
#include "app/display.h"
#include "app/entry.h"
#include "director/timeline.h"
#include "platform/platform.h"
#include "platform/virtual/virtual_controls.h"
#include "tests/support/helpers.h"

namespace {

// A frame of the show at `ms` (a multiple of 100: frames come every 100 ms),
// the scene that draws it, and the hash of the presented picture.
struct moment {
    int32_t ms;
    scene_id scene;
    const char* hash;
};

// ===== REFRESH WHEN A SCENE CHANGES ON PURPOSE ==============================
// Taken with all eleven scenes drawn.  The scenes carry state over (the pulse
// and spin phases, the counters), so a change in one scene changes the
// frames of the later ones too.  When any frame differs the test prints
// every moment's line of both tables, ready to paste.
//
// Orders 0 to 16: the opening and middle scenes.
const moment early_moments[] = {
    {3000, scene_id::opening_zoomer, "6d206027571f26da"},
    {9000, scene_id::opening_zoomer, "92cbaa0af3cfd301"},
    {14000, scene_id::zoomer_streaks, "a1fe355d0e3c32ed"},
    {20000, scene_id::zoomer_streaks, "64cf9cf609a22f70"},
    {26000, scene_id::plasma_shaded, "5b5a2bb407dd69db"},
    {37000, scene_id::plasma_lines, "2fd0a2e5004074de"},
    {45000, scene_id::plasma_lines, "c13484fec164951f"},
    {53000, scene_id::bump_sprites, "1b24e280addaa493"},
    {65000, scene_id::plasma_shaded_two, "2b9317c57f9f5142"},
    {76000, scene_id::zoomer_dots, "b387237c61d9e9c1"},
    {87000, scene_id::plasma_sequence, "e091f8f34cd6e1aa"},
    {93000, scene_id::plasma_sequence, "1d0e2fd4efb71575"},
};
// Orders 17 on: the closing scenes.
const moment closing_moments[] = {
    {96500, scene_id::tunnel, "dd6136e6d8db980c"},        // fading in
    {103000, scene_id::tunnel, "3d4fe095ccd542f1"},
    {110000, scene_id::tunnel, "7cad82168a87e3cb"},       // the first slogans
    {116500, scene_id::tunnel, "70d7f208698af3cf"},       // the gliding captions
    {121000, scene_id::tunnel, "ec25594802185b34"},       // the names
    {127000, scene_id::tunnel, "5d0f7f4b60be2f63"},
    {131500, scene_id::layer_lens, "8a1ac7f7a30e73c3"},
    {138000, scene_id::layer_lens, "156ed4086987e325"},
    {144000, scene_id::layer_lens, "97621ad6c18ea2ac"},
    {151500, scene_id::layer_lens, "6da2d987ea9b1656"},   // fading out
    {155000, scene_id::closing_layer, "15542bc79ab5a7ee"},
    {158500, scene_id::closing_layer, "b8014acfc33f892a"},
};
// ============================================================================

struct seen_frame {
    std::string hash;
    int32_t order = -1, row = -1;
    scene_id scene = scene_id::opening_zoomer;
};

struct show_run {
    std::map<int32_t, seen_frame> frames;  // the moments asked for
    std::map<int32_t, double> lens_white;   // orders 23 to 26, one frame a second: the near-white share
    int32_t last_ms = -1;
    uint32_t count = 0;
};

std::string picture_hash(const virtual_frame& frame)
{
    std::vector<uint8_t> bytes(size_t(frame.width) * frame.height * 4);
    for (int y = 0; y < frame.height; ++y)
        std::memcpy(&bytes[size_t(y) * frame.width * 4], frame.pixels + size_t(y) * frame.pitch,
                    size_t(frame.width) * 4);
    return hash_bytes(bytes.data(), bytes.size());
}

// The share of pixels whose red, green and blue are all 248 or more.
double near_white_share(const virtual_frame& frame)
{
    int64_t white = 0;
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x) {
            const uint8_t* p = frame.pixels + size_t(y) * frame.pitch + size_t(x) * 4;
            white += p[0] >= 248 && p[1] >= 248 && p[2] >= 248;
        }
    return double(white) / (double(frame.width) * frame.height);
}

void keep_moments(const virtual_frame& frame, void* user)
{
    auto& run = *static_cast<show_run*>(user);
    ++run.count;
    run.last_ms = int32_t(frame.time_ms);
    if (frame.time_ms % 1000 == 0 && show_clock.music.music_order >= 23 && show_clock.music.music_order <= 26)
        run.lens_white[int32_t(frame.time_ms)] = near_white_share(frame);
    auto at = run.frames.find(int32_t(frame.time_ms));
    if (at == run.frames.end())
        return;
    // The position the frame was drawn at: the clock is updated before the
    // frame is drawn and presented.
    at->second = {picture_hash(frame), show_clock.music.music_order, show_clock.music.music_row,
                  scene_for_order(show_clock.music.music_order)};
}

TEST(WholeShow, FramesInEverySceneMatchTheirGoldenHashes)
{
    std::vector<moment> moments(std::begin(early_moments), std::end(early_moments));
    moments.insert(moments.end(), std::begin(closing_moments), std::end(closing_moments));
    show_run run;
    for (const moment& m : moments)
        run.frames[m.ms] = {};

    platform_use(&platform_virtual_backend);
    virtual_reset();
    virtual_set_frame_sink(keep_moments, &run);
    virtual_set_frame_rate(10);
    display.display_depth = 32;
    display.display_scale = 1;
    display.display_windowed = true;
    show_clock.music = music_position{};
    ASSERT_EQ(program_entry(), 0);
    platform_use(&platform_sdl_backend);

    // The show ran to its end, a little after order 27, row 62.
    EXPECT_NEAR(run.last_ms / 1000.0, 158.9, 0.3);
    EXPECT_EQ(run.count, uint32_t(run.last_ms / 100 + 1));

    std::set<scene_id> scenes;
    bool all_match = true;
    std::string table;
    for (const moment& m : moments) {
        const seen_frame& seen = run.frames[m.ms];
        ASSERT_FALSE(seen.hash.empty()) << "no frame at " << m.ms << " ms";
        EXPECT_EQ(seen.scene, m.scene) << m.ms << " ms is in order " << seen.order;
        scenes.insert(seen.scene);
        if (seen.hash != m.hash) {
            all_match = false;
            ADD_FAILURE() << "frame at " << m.ms << " ms (order " << seen.order << ", row " << seen.row
                          << "): " << seen.hash << ", golden " << m.hash;
        }
        char line[160];
        std::snprintf(line, sizeof line, "    {%d, scene_id::%s, \"%s\"},  // order %d, row %d\n", m.ms,
                      scene_name(seen.scene), seen.hash.c_str(), seen.order, seen.row);
        table += line;
    }
    EXPECT_EQ(scenes.size(), 11u) << "every scene has a moment";

    // The lens scene stays something to look at: at most 30 % of any of its
    // frames near white (the streak scene's beat flashes are white by design,
    // this one's go to black).
    EXPECT_GE(run.lens_white.size(), 19u);
    for (const auto& [ms, share] : run.lens_white) {
        EXPECT_LE(share, 0.30) << "at " << ms << " ms";
        if (getenv("ODDBALL_PRINT_WHITE"))
            std::printf("near white at %d ms: %.3f\n", ms, share);
    }
    if (!all_match)
        std::printf("The frames this run showed, ready to paste into the two tables:\n%s", table.c_str());
}

// The capture, picture and sound, of the whole show comes out the same on
// every run.  The files are large (about 180 MB of pictures at 10 frames per
// second), so each is hashed and removed at once.
TEST(WholeShow, CaptureIsTheSameOnEveryRun)
{
    const std::string dir = scratch_dir("whole-show-capture");
    std::string picture_hashes[2], sound_hashes[2];
    for (int run = 0; run < 2; ++run) {
        const std::string base = dir + "/show" + std::to_string(run);
        const command_result capture =
            run_command(binary_path("oddball") + " --capture " + base + ".y4m --fps 10 2>/dev/null");
        ASSERT_EQ(capture.status, 0) << capture.errors;
        const std::vector<uint8_t> video = read_file_bytes(base + ".y4m");
        const std::vector<uint8_t> sound = read_file_bytes(base + ".wav");
        std::remove((base + ".y4m").c_str());
        std::remove((base + ".wav").c_str());
        // Frames every 100 ms to the end a little after 158.9 s, and the
        // sound that was heard while they were shown.
        const size_t frame_bytes = 6 + 320 * 240 * 3 / 2;
        const double frames = double(video.size()) / frame_bytes;
        EXPECT_NEAR(frames, 1590, 5) << "run " << run;
        EXPECT_NEAR((sound.size() - 44) / 176400.0, frames / 10, 0.01) << "run " << run;
        picture_hashes[run] = hash_bytes(video.data(), video.size());
        sound_hashes[run] = hash_bytes(sound.data(), sound.size());
    }
    EXPECT_EQ(picture_hashes[0], picture_hashes[1]);
    EXPECT_EQ(sound_hashes[0], sound_hashes[1]);
}

}  // namespace
