// Tests of `oddball-tool captions DIR`: the review pictures it writes and how it refuses bad arguments.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "media/media_files.h"
#include "tests/support/helpers.h"

namespace {

TEST(CaptionsTool, WritesTheSheetEveryCaptionTheTitleFramesAndAContactSheet)
{
    std::string dir = scratch_dir("captions-tool") + "/out";  // made by the tool
    command_result run = run_command(tool() + " captions " + dir);
    ASSERT_EQ(run.status, 0) << run.errors;

    picture sheet;
    std::string error;
    ASSERT_TRUE(png_read(dir + "/font_sheet.png", &sheet, &error)) << error;
    EXPECT_EQ(sheet.width, 320);
    EXPECT_EQ(sheet.height, 200);
    // Markers show in red: the first one of the sheet at row 8, column 5.
    EXPECT_EQ(sheet.pixels[8 * 320 + 5] & 0xFFFFFF, 0xFF0000u);

    for (int k = 0; k < 6; ++k) {
        picture frame;
        ASSERT_TRUE(png_read(dir + "/title_frame_" + std::to_string(k) + ".png", &frame, &error)) << error;
        EXPECT_EQ(frame.width, 220);
        EXPECT_EQ(frame.height, 120);
    }
    int captions = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        captions += entry.path().filename().string().rfind("caption_", 0) == 0;
    EXPECT_EQ(captions, 134 - 6 - 8);  // no title frames, never-filled or scratch slots
    EXPECT_FALSE(std::filesystem::exists(dir + "/caption_008.png"));
    picture caption;
    ASSERT_TRUE(png_read(dir + "/caption_070.png", &caption, &error)) << error;
    EXPECT_EQ(caption.width, 2);  // the blank caption, drawn on mid-grey
    EXPECT_EQ(caption.pixels[0] & 0xFFFFFF, 0x7F7F7Fu);

    picture contact;
    ASSERT_TRUE(png_read(dir + "/contact_sheet.png", &contact, &error)) << error;
    EXPECT_GE(contact.width, 1040);  // the widest caption, the closing line, fits
    EXPECT_EQ(contact.pixels[0] & 0xFFFFFF, 0x808080u);
}

TEST(CaptionsTool, RefusesBadArgumentsAndFoldersItCannotMake)
{
    command_result none = run_command(tool() + " captions");
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.errors.find("oddball-tool: captions:"), std::string::npos) << none.errors;
    EXPECT_EQ(run_command(tool() + " captions a b").status, 2);
    EXPECT_EQ(run_command(tool() + " captions --fast").status, 2);

    std::string dir = scratch_dir("captions-tool-bad");
    write_file_bytes(dir + "/file", {1, 2, 3});
    command_result blocked = run_command(tool() + " captions " + dir + "/file/out");
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.errors.find("cannot make folder"), std::string::npos) << blocked.errors;
}

}  // namespace
