// The real program under a private X server: it starts fullscreen or in a
// window, presents frames, and ends with status 0 soon after Escape or a
// close request; other keys do nothing; without a display it ends with 1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/e2e/x_session.h"
#include "tests/support/helpers.h"

namespace {

constexpr int window_timeout_ms = 10000;
constexpr int exit_timeout_ms = 2000;  // from the key or request to the end of the process

// Frames the program reported with --stats, or -1.
long frames_reported(const std::string& errors)
{
    size_t at = errors.find("oddball: ");
    while (at != std::string::npos) {
        char* end = nullptr;
        long frames = std::strtol(errors.c_str() + at + 9, &end, 10);
        if (end && std::string(end).rfind(" frames in ", 0) == 0)
            return frames;
        at = errors.find("oddball: ", at + 1);
    }
    return -1;
}

enum class ending { escape, close_request };

struct show_run {
    int status = -1;
    long exit_ms = -1;  // from the Escape or close request to the exit
    std::string errors;
    bool fullscreen_asked = false;
};

void run_show(const std::vector<std::string>& options, ending how, show_run* run)
{
    xvfb_server server;
    std::string why;
    ASSERT_TRUE(server.start(&why)) << why;
    x_client x(server.display());
    ASSERT_TRUE(x.connected());
    x.listen_to_root();

    std::string errors_path = scratch_dir("e2e-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                          "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                              "/stderr.txt";
    std::vector<std::string> argv = {binary_path("oddball"), "--stats"};
    argv.insert(argv.end(), options.begin(), options.end());
    background_program show;
    ASSERT_TRUE(show.start(argv, {"DISPLAY=" + server.display(), "SDL_AUDIODRIVER=dummy"}, errors_path));

    unsigned long window = x.wait_for_window("oddball", window_timeout_ms);
    ASSERT_NE(window, 0u) << "no window appeared; stderr: " << std::string(read_file_bytes(errors_path).begin(), read_file_bytes(errors_path).end());
    run->fullscreen_asked = x.saw_fullscreen_request(window, 300);
    x.focus(window);

    // Keys other than Escape do nothing.
    command_result keys = run_command("DISPLAY=" + server.display() + " xdotool key a space Return F1 q");
    ASSERT_EQ(keys.status, 0) << keys.errors;
    int status = 0;
    ASSERT_FALSE(show.wait_exit(400, &status)) << "the show ended on a key other than Escape";

    long long sent = now_ms();
    if (how == ending::escape) {
        command_result escape = run_command("DISPLAY=" + server.display() + " xdotool key Escape");
        ASSERT_EQ(escape.status, 0) << escape.errors;
    } else {
        x.send_close_request(window);
    }
    bool ended = show.wait_exit(exit_timeout_ms + 3000, &run->status);
    run->exit_ms = long(now_ms() - sent);
    auto bytes = read_file_bytes(errors_path);
    run->errors.assign(bytes.begin(), bytes.end());
    ASSERT_TRUE(ended) << "still running 5 s after the request";
}

void expect_clean_end(const show_run& run)
{
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_LE(run.exit_ms, exit_timeout_ms);
    EXPECT_GT(frames_reported(run.errors), 0) << run.errors;
}

}  // namespace

TEST(Show, FullscreenEndsOnEscape)
{
    show_run run;
    run_show({}, ending::escape, &run);
    if (HasFatalFailure())
        return;
    expect_clean_end(run);
    EXPECT_TRUE(run.fullscreen_asked) << "the window never asked for the full-screen state";
}

TEST(Show, FullscreenEndsOnCloseRequest)
{
    show_run run;
    run_show({"--depth", "16", "--scale", "2"}, ending::close_request, &run);
    if (HasFatalFailure())
        return;
    expect_clean_end(run);
}

TEST(Show, WindowedEndsOnEscape)
{
    show_run run;
    run_show({"--windowed", "--depth", "24"}, ending::escape, &run);
    if (HasFatalFailure())
        return;
    expect_clean_end(run);
    EXPECT_FALSE(run.fullscreen_asked);
}

TEST(Show, WindowedEndsOnCloseRequest)
{
    show_run run;
    run_show({"--windowed", "--depth", "15", "--scale", "2"}, ending::close_request, &run);
    if (HasFatalFailure())
        return;
    expect_clean_end(run);
}

TEST(Show, NoDisplayEndsWithStatusOne)
{
    command_result run = run_command("SDL_VIDEODRIVER=no-such-driver SDL_AUDIODRIVER=dummy " + binary_path("oddball"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("DDraw Error\n"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("oddball: the display could not be set up: "), std::string::npos) << run.errors;
    // "DDraw Error" comes first, then the one line that explains it.
    EXPECT_LT(run.errors.find("DDraw Error"), run.errors.find("could not be set up"));
}
