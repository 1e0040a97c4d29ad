// Escape or a close request at twenty moments of the real program, from the
// moment its window appears (precalculation is still running then) to a few
// seconds into the show: every time it ends with status 0 within one second
// of the request, and the process is gone (its threads with it).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/x_session.h"
#include "tests/support/helpers.h"

namespace {

constexpr int exit_limit_ms = 1000;

// How long the precalculation took by the program's --stats, or -1.
long precalc_reported(const std::string& errors)
{
    const std::string key = "oddball: precalculation took ";
    size_t at = errors.find(key);
    return at == std::string::npos ? -1 : std::strtol(errors.c_str() + at + key.size(), nullptr, 10);
}

TEST(Shutdown, EscapeOrCloseAtTwentyMomentsEndsWithinOneSecond)
{
    // Six moments in the first 150 ms after the window appears (the
    // precalculation runs then; it takes some 20 to 100 ms, so only the
    // earliest requests fall inside it, and how many does is reported, not
    // required), nine more up to 1.5 s, five up to 5 s; a fixed seed, so
    // every run of the test tries the same ones.
    std::mt19937 random(13);
    std::vector<int> moments;
    for (int i = 0; i < 20; ++i)
        moments.push_back(i < 6 ? int(random() % 150) : i < 15 ? 150 + int(random() % 1350) : 1500 + int(random() % 3500));
    moments[0] = moments[1] = 0;  // at once: inside the precalculation

    xvfb_server server;
    std::string why;
    ASSERT_TRUE(server.start(&why)) << why;
    x_client x(server.display());
    ASSERT_TRUE(x.connected());
    std::string dir = scratch_dir("e2e-shutdown");

    long slowest_ms = 0, total_ms = 0;
    int during_precalc = 0;
    for (size_t run = 0; run < moments.size(); ++run) {
        bool escape = run % 2 == 1;
        SCOPED_TRACE("run " + std::to_string(run) + ": " + (escape ? "Escape" : "close request") + " " +
                     std::to_string(moments[run]) + " ms after the window appeared");
        std::string errors_path = dir + "/stderr-" + std::to_string(run) + ".txt";
        background_program show;
        ASSERT_TRUE(show.start({binary_path("oddball"), "--windowed", "--stats"},
                               {"DISPLAY=" + server.display(), "SDL_AUDIODRIVER=dummy"}, errors_path));
        unsigned long window = x.wait_for_window("oddball", 10000);
        ASSERT_NE(window, 0u);
        std::this_thread::sleep_for(std::chrono::milliseconds(moments[run]));
        x.focus(window);
        long long sent = now_ms();
        if (escape) {
            command_result key = run_command("DISPLAY=" + server.display() + " xdotool key Escape");
            ASSERT_EQ(key.status, 0) << key.errors;
        } else {
            x.send_close_request(window);
        }
        int status = -1;
        bool ended = show.wait_exit(5000, &status);
        long exit_ms = long(now_ms() - sent);
        auto bytes = read_file_bytes(errors_path);
        std::string errors(bytes.begin(), bytes.end());
        ASSERT_TRUE(ended) << "still running 5 s after the request; stderr: " << errors;
        EXPECT_EQ(status, 0) << errors;
        EXPECT_LE(exit_ms, exit_limit_ms) << errors;
        // The window appears just before the precalculation starts.
        if (moments[run] < precalc_reported(errors))
            ++during_precalc;
        std::printf("shutdown: %-13s at %4d ms (precalculation %ld ms): ended in %ld ms, status %d\n",
                    escape ? "Escape" : "close request", moments[run], precalc_reported(errors), exit_ms, status);
        slowest_ms = std::max(slowest_ms, exit_ms);
        total_ms += exit_ms;
    }
    std::printf("shutdown: 20 runs, %d during the precalculation, exit after the request: slowest %ld ms, mean %ld ms\n",
                during_precalc, slowest_ms, total_ms / 20);
}

}  // namespace
