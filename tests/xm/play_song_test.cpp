// oddball-tool play-song: an XM song played through the sound path (SDL's dummy driver) prints every row once and ends by itself.
#include "tests/support/helpers.h"
#include "tests/support/xm_builder.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(PlaySong, AnXmSongIsPlayedInRealTimeRowByRowUntilItComesRound)
{
    test_xm_song song;
    song.speed = 6;
    song.restart = 0;
    int a = song.add_pattern(8), b = song.add_pattern(4);
    song.orders = {a, b};
    test_xm_instrument in;
    test_xm_sample s;
    for (int i = 0; i < 32; ++i)
        s.pcm.push_back(int16_t(std::lround(100 * std::sin(i * 3.14159265 / 16))));
    s.loop_type = 1;
    s.loop_length = 32;
    in.samples = {s};
    song.instruments = {in};
    song.set(a, 0, 0, xm_note("C-4"), 1);
    song.set(a, 2, 1, 0, 0, 0, 32, 2);  // W02: sync 2
    std::string dir = scratch_dir("play_song");
    write_file_bytes(dir + "/song.xm", test_xm_bytes(song));
    command_result r = run_command("SDL_AUDIODRIVER=dummy " + binary_path("oddball-tool") + " play-song " + dir +
                                   "/song.xm </dev/null");
    EXPECT_EQ(r.status, 0) << r.errors;
    std::vector<std::string> rows;
    for (int row = 0; row < 8; ++row)
        rows.push_back("order   0  row   " + std::to_string(row) + "  sync " + (row >= 2 ? "2" : "0") + "\n");
    for (int row = 0; row < 4; ++row)
        rows.push_back("order   1  row   " + std::to_string(row) + "  sync 2\n");
    // Rows are 120 ms apart and the streaming step renders 20 ms at a time;
    // a step held up for longer under load may carry two rows at once, and
    // only the later one is seen.  So: the rows in order, nearly all there.
    std::string head = dir + "/song.xm: 2 order positions; Escape or Ctrl-C stops\n";
    ASSERT_EQ(r.output.compare(0, head.size(), head), 0) << r.output;
    size_t at = head.size(), seen = 0;
    for (const std::string& line : rows)
        if (r.output.compare(at, line.size(), line) == 0)
            at += line.size(), ++seen;
    EXPECT_EQ(r.output.substr(at), "end of the song\n") << r.output;
    EXPECT_GE(seen, 10u) << r.output;
    EXPECT_EQ(r.output.compare(head.size(), rows[0].size(), rows[0]), 0) << r.output;

    r = run_command(binary_path("oddball-tool") + " play-song " + dir + "/missing.xm");
    EXPECT_EQ(r.status, 1);
    r = run_command(binary_path("oddball-tool") + " play-song " + dir + "/song.xm --samples x.sbc");
    EXPECT_EQ(r.status, 2);
}

}  // namespace
