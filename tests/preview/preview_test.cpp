// oddball-tool preview: every effect renders a 320 x 240 picture; bad arguments and files are refused cleanly.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "media/media_files.h"
#include "tests/support/helpers.h"

TEST(Preview, EveryEffectDrawsAFrame)
{
    std::string dir = scratch_dir("preview");
    for (const char* effect : {"plasma", "zoomer", "streaks", "lens", "bump", "wave"}) {
        std::string path = dir + "/" + effect + ".png";
        command_result run = run_command(tool() + " preview " + effect + " 23456 " + path);
        ASSERT_EQ(run.status, 0) << effect << ": " << run.errors;
        picture pic;
        std::string error;
        ASSERT_TRUE(png_read(path, &pic, &error)) << error;
        EXPECT_EQ(pic.width, 320);
        EXPECT_EQ(pic.height, 240);
        // The lens shows caption slots, mostly black, through a dome that
        // may fall on their black parts; the others always light the frame.
        int lit = 0;
        for (uint32_t p : pic.pixels)
            lit += (p & 0xFFFFFF) != 0;
        if (std::string(effect) != "lens") {
            EXPECT_GT(lit, 2000) << effect << " drew (almost) nothing";
        }
    }
    // The same time gives the same picture.
    ASSERT_EQ(run_command(tool() + " preview streaks 23456 " + dir + "/again.png").status, 0);
    EXPECT_EQ(read_file_bytes(dir + "/again.png"), read_file_bytes(dir + "/streaks.png"));
}

TEST(Preview, RefusesBadArgumentsAndUnwritableFiles)
{
    std::string dir = scratch_dir("preview-errors");
    struct {
        std::string arguments;
        int status;
    } cases[] = {
        {"preview plasma 100", 2},
        {"preview plasma 100 " + dir + "/a.png extra", 2},
        {"preview tunnel 100 " + dir + "/a.png", 2},
        {"preview plasma 12x " + dir + "/a.png", 2},
        {"preview plasma '' " + dir + "/a.png", 2},
        {"preview plasma 99999999999 " + dir + "/a.png", 2},
        {"preview plasma 100 " + dir + "/missing/a.png", 1},
    };
    for (const auto& c : cases) {
        command_result run = run_command(tool() + " " + c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments;
        EXPECT_NE(run.errors.find("oddball-tool: preview: "), std::string::npos) << c.arguments << ": " << run.errors;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir)) << "a refused preview left a file behind";
    // Negative times are times too (before the song starts).
    EXPECT_EQ(run_command(tool() + " preview wave -500 " + dir + "/w.png").status, 0);
}
