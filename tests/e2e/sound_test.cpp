// The real-time program's sound: what SDL's file-writing audio driver
// receives over ten seconds of the show is the song as `oddball --wav`
// renders it, sample for sample, once both are aligned at the first sound.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/x_session.h"
#include "tests/support/helpers.h"

namespace {

// 16-bit samples from the first one that is not zero.
std::vector<int16_t> from_first_sound(const std::vector<uint8_t>& bytes, size_t skip)
{
    std::vector<int16_t> samples((bytes.size() - skip) / 2);
    std::memcpy(samples.data(), bytes.data() + skip, samples.size() * 2);
    size_t first = 0;
    while (first < samples.size() && samples[first] == 0)
        ++first;
    first &= ~size_t(1);  // keep left and right in step
    return std::vector<int16_t>(samples.begin() + long(first), samples.end());
}

TEST(Sound, RealTimePlaybackEqualsTheMixersRendering)
{
    std::string dir = scratch_dir("e2e-sound");
    auto wav = run_command(binary_path("oddball") + " --wav " + dir + "/song.wav");
    ASSERT_EQ(wav.status, 0) << wav.errors;

    xvfb_server server;
    std::string why;
    ASSERT_TRUE(server.start(&why)) << why;
    x_client x(server.display());
    ASSERT_TRUE(x.connected());
    background_program show;
    ASSERT_TRUE(show.start({binary_path("oddball"), "--windowed"},
                           {"DISPLAY=" + server.display(), "SDL_AUDIODRIVER=disk",
                            "SDL_DISKAUDIOFILE=" + dir + "/played.raw"},
                           dir + "/stderr.txt"));
    unsigned long window = x.wait_for_window("oddball", 10000);
    ASSERT_NE(window, 0u);
    x.focus(window);
    std::this_thread::sleep_for(std::chrono::seconds(10));
    auto escape = run_command("DISPLAY=" + server.display() + " xdotool key Escape");
    ASSERT_EQ(escape.status, 0) << escape.errors;
    int status = -1;
    ASSERT_TRUE(show.wait_exit(3000, &status));
    EXPECT_EQ(status, 0);

    std::vector<int16_t> played = from_first_sound(read_file_bytes(dir + "/played.raw"), 0);
    std::vector<int16_t> rendered = from_first_sound(read_file_bytes(dir + "/song.wav"), 44);
    // Ten seconds less the ring's round of silence and the start-up.
    ASSERT_GT(played.size(), size_t(2 * 44100 * 8));
    ASSERT_LE(played.size(), rendered.size());
    size_t mismatch = 0;
    while (mismatch < played.size() && played[mismatch] == rendered[mismatch])
        ++mismatch;
    EXPECT_EQ(mismatch, played.size()) << "the played sound departs from the rendering at frame " << mismatch / 2
                                       << " of " << played.size() / 2;
}

}  // namespace
