// The offline modes: the show ends by itself in the virtual schedule, and
// stills, captures and the song come out the same on every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/clock.h"
#include "app/display.h"
#include "app/entry.h"
#include "director/timeline.h"
#include "media/media_files.h"
#include "platform/platform.h"
#include "platform/virtual/virtual_controls.h"
#include "tests/support/helpers.h"

namespace {

struct published {
    int32_t order, row, time;
};

void record_position(const virtual_frame& frame, void* user)
{
    static_cast<std::vector<published>*>(user)->push_back(
        {show_clock.music.music_order, show_clock.music.music_row, int32_t(frame.time_ms)});
}

TEST(Offline, ShowEndsInTheFirstFrameAfterOrder27Row62IsPublished)
{
    platform_use(&platform_virtual_backend);
    virtual_reset();
    std::vector<published> frames;
    virtual_set_frame_sink(record_position, &frames);
    virtual_set_frame_rate(60);
    display.display_windowed = true;
    quit_requested = 0;
    show_clock = clock_state{};
    show_clock.music = music_position{};
    ASSERT_EQ(program_entry(), 0);
    platform_use(&platform_sdl_backend);

    ASSERT_GT(frames.size(), 2u);
    const published& last = frames.back();
    const published& before = frames[frames.size() - 2];
    EXPECT_EQ(last.order, 27);
    EXPECT_GE(last.row, 62);
    EXPECT_FALSE(before.order == 27 && before.row >= 62);
    // The song reaches order 27, row 62 about 158.65 s in; the picture learns
    // of it when it is heard, a little over 346 ms later.
    EXPECT_NEAR(last.time / 1000.0, 158.65 + 0.37, 0.1);
    EXPECT_EQ(int32_t(loop_stats.last_frame_ms), last.time);
    // Every scene of the song was passed through, in order.
    int32_t highest = 0;
    for (const published& f : frames) {
        ASSERT_GE(f.order, highest - 0) << "the published order went back at " << f.time << " ms";
        highest = std::max(highest, f.order);
    }
}

std::string program() { return binary_path("oddball"); }

TEST(Offline, StillsAndTheSongAreTheSameOnEveryRun)
{
    std::string dir = scratch_dir("offline-determinism");
    for (int run = 0; run < 2; ++run) {
        std::string n = std::to_string(run);
        auto still = run_command(program() + " --still 7300 " + dir + "/still" + n + ".png");
        ASSERT_EQ(still.status, 0) << still.errors;
        auto wav = run_command(program() + " --wav " + dir + "/song" + n + ".wav");
        ASSERT_EQ(wav.status, 0) << wav.errors;
    }
    auto still0 = read_file_bytes(dir + "/still0.png"), still1 = read_file_bytes(dir + "/still1.png");
    EXPECT_GT(still0.size(), 100u);
    EXPECT_EQ(still0, still1);
    auto song0 = read_file_bytes(dir + "/song0.wav"), song1 = read_file_bytes(dir + "/song1.wav");
    // 16-bit stereo at 44,100 Hz from the song's start to the show's end
    EXPECT_NEAR((song0.size() - 44) / 176400.0, 158.9, 0.6);
    EXPECT_EQ(song0, song1);
}

TEST(Offline, CaptureWritesPictureAndSoundTheSameTwice)
{
    std::string dir = scratch_dir("offline-capture");
    for (int run = 0; run < 2; ++run) {
        std::string n = std::to_string(run);
        auto capture = run_command(program() + " --capture " + dir + "/show" + n + ".y4m --seconds 2 --fps 10");
        ASSERT_EQ(capture.status, 0) << capture.errors;
    }
    auto video0 = read_file_bytes(dir + "/show0.y4m"), video1 = read_file_bytes(dir + "/show1.y4m");
    auto sound0 = read_file_bytes(dir + "/show0.wav"), sound1 = read_file_bytes(dir + "/show1.wav");
    // 2 s at 10 frames per second: frames 0 to 20 (the one at 2,000 ms included)
    size_t frame_bytes = 6 + 320 * 240 * 3 / 2;
    ASSERT_GT(video0.size(), 21 * frame_bytes);
    EXPECT_EQ((video0.size() - video0.size() % frame_bytes) / frame_bytes, 21u);
    EXPECT_EQ(video0, video1);
    // as long as the 21 frames last
    EXPECT_NEAR((sound0.size() - 44) / 176400.0, 2.1, 0.01);
    EXPECT_EQ(sound0, sound1);
}

TEST(Offline, BenchmarkEndsWithOneLineForScripts)
{
    auto run = run_command(program() + " --benchmark --seconds 3 --fps 20");
    ASSERT_EQ(run.status, 0) << run.errors;
    size_t at = run.output.find("startup_ms=");
    ASSERT_NE(at, std::string::npos) << run.output;
    std::string line = run.output.substr(at);
    EXPECT_NE(line.find(" frames=61 "), std::string::npos) << line;
    EXPECT_NE(line.find(" end_ms=3000"), std::string::npos) << line;
}

TEST(Offline, BadOptionsAreRefusedWithOneLine)
{
    const char* cases[] = {"--still", "--still -5 x.png", "--still 10", "--fps 0", "--seconds 0",
                           "--capture", "--wav a.wav --capture b.mp4", "--depth 17", "--scale 0",
                           "--storyboard x.png --every 50", "--every 1000"};
    for (const char* c : cases) {
        auto run = run_command(program() + " " + c);
        EXPECT_EQ(run.status, 2) << c;
        EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << c << ": " << run.errors;
    }
    auto unwritable = run_command(program() + " --still 100 /nonexistent-dir/x.png");
    EXPECT_EQ(unwritable.status, 1);
}

// The storyboard's stills are the frames --still shows at their times, at
// half size (each pixel the rounded mean of four), in rows of eight.
TEST(Offline, StoryboardHoldsTheStillsAtHalfSize)
{
    const std::string dir = scratch_dir("storyboard");
    auto board = run_command(program() + " --storyboard " + dir + "/board.png --every 1000 --seconds 3 --fps 20");
    ASSERT_EQ(board.status, 0) << board.errors;
    auto still = run_command(program() + " --still 2000 " + dir + "/still.png --fps 20");
    ASSERT_EQ(still.status, 0) << still.errors;
    picture sheet, frame;
    std::string error;
    ASSERT_TRUE(png_read(dir + "/board.png", &sheet, &error)) << error;
    ASSERT_TRUE(png_read(dir + "/still.png", &frame, &error)) << error;
    // Stills at 0, 1, 2 and 3 s: one row, 4-pixel gaps, a 14-pixel label under each.
    EXPECT_EQ(sheet.width, 8 * 164 + 4);
    EXPECT_EQ(sheet.height, 120 + 14 + 4 + 4);
    const int left = 4 + 2 * 164, top = 4;  // the third still: 2 s
    int differing = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) {
            uint32_t sum[3] = {0, 0, 0};
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const uint32_t p = frame.pixels[size_t(2 * y + dy) * 320 + 2 * x + dx];
                    sum[0] += p >> 16 & 255, sum[1] += p >> 8 & 255, sum[2] += p & 255;
                }
            const uint32_t expected = (sum[0] + 2) / 4 << 16 | (sum[1] + 2) / 4 << 8 | (sum[2] + 2) / 4;
            differing += (sheet.pixels[size_t(top + y) * sheet.width + left + x] & 0xFFFFFF) != expected;
        }
    EXPECT_EQ(differing, 0);
}

}  // namespace
