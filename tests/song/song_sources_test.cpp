// Bad song sources are refused with the file and line of the fault.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/helpers.h"
#include "tools/song/song.h"

namespace {

// A small valid song: two channels, one instrument, one pattern.
void write_song(const std::string& dir, const std::string& pattern_rows, const std::string& instruments = "")
{
    std::filesystem::create_directories(dir + "/patterns");
    std::ofstream(dir + "/song.txt") << "channels 2\nspeed 4\ntempo 125\nfrequency linear\nrestart 0\norders 0\n";
    std::ofstream(dir + "/instruments.txt")
        << (instruments.empty() ? "[1 beep]\nkind = loop\ncycle = 32\ncycles = 4\nvolume = 40\n" : instruments);
    std::ofstream(dir + "/patterns/00.txt") << "# a comment\n" << pattern_rows;
}

std::string parse_error(const std::string& dir)
{
    song_source song;
    std::string error;
    EXPECT_FALSE(song_parse(dir, &song, &error));
    return error;
}

TEST(SongSources, AValidSongParses)
{
    std::string dir = scratch_dir("song-valid");
    write_song(dir, "00 | C#4 01 40 ... | --- .. .. W01\n01 |               | === .. -4 F06\n02\n");
    song_source song;
    std::string error;
    ASSERT_TRUE(song_parse(dir, &song, &error)) << error;
    ASSERT_EQ(song.patterns.size(), 1u);
    EXPECT_EQ(song.patterns[0].rows, 3);
    const song_cell& c = song.patterns[0].cells[0];
    EXPECT_EQ(c.note, 4 * 12 + 1 + 1);  // C#4: semitone 49, stored as note 50
    EXPECT_EQ(c.instrument, 1);
    EXPECT_EQ(c.volume, 0x50);          // volume 0x40 is stored as 0x10 + 0x40
    const song_cell& sync = song.patterns[0].cells[1];
    EXPECT_EQ(sync.effect, 32);         // W
    EXPECT_EQ(sync.parameter, 1);
    const song_cell& off = song.patterns[0].cells[3];
    EXPECT_EQ(off.note, 97);
    EXPECT_EQ(off.volume, 0x64);        // slide down 4
    EXPECT_EQ(off.effect, 15);
}

TEST(SongSources, FaultsNameTheFileAndLine)
{
    struct {
        const char* rows;
        const char* expect;
    } cases[] = {
        {"00 | H-4 01 40 ...\n", "00.txt:2: channel 0: unknown note 'H-4'"},
        {"00 | C-4 01 40 ... | --- .. .. ... | C-4 01 40 ...\n", "00.txt:2: channel 2 is out of range"},
        {"00 | C-4 01 40\n", "00.txt:2: channel 0: a cell is NOTE INS VOL EFF"},
        {"00 | C-4 01 4G ...\n", "00.txt:2: channel 0: volume column '4G'"},
        {"00 | C-4 02 40 ...\n", "00.txt:2: channel 0: instrument 02 does not exist"},
        {"00 | C-4 01 40 ...\n02\n", "00.txt:3: expected row number 1"},
    };
    for (const auto& c : cases) {
        std::string dir = scratch_dir("song-bad");
        write_song(dir, c.rows);
        std::string error = parse_error(dir);
        EXPECT_NE(error.find(c.expect), std::string::npos) << "got: " << error;
    }
    std::string rows;
    for (int r = 0; r <= 256; ++r)
        rows += (r < 10 ? "0" : "") + std::to_string(r) + "\n";
    std::string dir = scratch_dir("song-long");
    write_song(dir, rows);
    EXPECT_NE(parse_error(dir).find("00.txt:258: a pattern has at most 256 rows"), std::string::npos);

    dir = scratch_dir("song-no-kind");
    write_song(dir, "00\n", "[1 beep]\nvolume = 40\n");
    song_source song;
    std::string error;
    ASSERT_TRUE(song_parse(dir, &song, &error)) << error;
    song_sample sample;
    EXPECT_FALSE(song_synthesise(song.instruments[0], &sample, &error));
    EXPECT_NE(error.find("instruments.txt:1: instrument beep has no kind"), std::string::npos) << error;
}

TEST(SongSources, BuildDataStopsWithStatus1OnABadSource)
{
    std::string root = scratch_dir("song-build-data");
    std::filesystem::copy(source_path("content"), root + "/content", std::filesystem::copy_options::recursive);
    std::filesystem::create_directories(root + "/data");
    std::ofstream(root + "/content/song/patterns/03.txt", std::ios::app) << "64 | Q-4 01 40 ...\n";
    auto run = run_command(binary_path("oddball-tool") + " build-data --root " + root);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("patterns/03.txt:67: channel 0: unknown note 'Q-4'"), std::string::npos) << run.errors;
}

}  // namespace
