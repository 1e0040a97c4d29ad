// The last title frame, read by an OCR engine nobody here wrote: it must say the show's name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "media/media_files.h"
#include "tests/support/helpers.h"

namespace {

TEST(TitleOcr, TheLastTitleFrameReadsOddball)
{
    ASSERT_EQ(run_command("tesseract --version").status, 0) << "tesseract is needed (./check installs tesseract-ocr)";
    std::string dir = scratch_dir("title-ocr");
    command_result run = run_command(binary_path("oddball-tool") + " captions " + dir + "/frames");
    ASSERT_EQ(run.status, 0) << run.errors;
    picture frame;
    std::string error;
    ASSERT_TRUE(png_read(dir + "/frames/title_frame_5.png", &frame, &error)) << error;
    ASSERT_EQ(frame.width, 220);
    ASSERT_EQ(frame.height, 120);

    // The picture as a reader takes it in: the letters are lighter than the
    // mid-grey the frame is drawn on, their shadows and cut-outs darker.
    // Rows from 96 down hold only the dark mirrored line sliding behind the
    // title, and the blue sideways tag stands between the two l's: its
    // columns are left out so that the word is read as one.
    constexpr int rows = 96, scale = 4, border = 40;
    auto channel = [](uint32_t p, int shift) { return int((p >> shift) & 0xFF); };
    std::vector<int> columns;
    for (int x = 0; x < frame.width; ++x) {
        bool tag = false;
        for (int y = 0; y < rows; ++y) {
            uint32_t p = frame.pixels[size_t(y) * frame.width + x];
            tag = tag || channel(p, 0) - channel(p, 16) > 24;
        }
        if (!tag)
            columns.push_back(x);
    }
    ASSERT_GT(columns.size(), 190u);  // the tag is narrow; the letters are all kept

    picture page;
    page.width = int(columns.size()) * scale + 2 * border;
    page.height = rows * scale + 2 * border;
    page.pixels.assign(size_t(page.width) * page.height, 0xFF000000u);
    for (int y = 0; y < rows; ++y)
        for (size_t i = 0; i < columns.size(); ++i) {
            uint32_t p = frame.pixels[size_t(y) * frame.width + columns[i]];
            int grey = (299 * channel(p, 16) + 587 * channel(p, 8) + 114 * channel(p, 0)) / 1000;
            uint32_t ink = grey > 140 ? 0xFFFFFFFFu : 0xFF000000u;
            for (int dy = 0; dy < scale; ++dy)
                std::fill_n(&page.pixels[size_t(border + y * scale + dy) * page.width + border + i * scale], scale, ink);
        }
    ASSERT_TRUE(png_write(dir + "/title.png", page, false, &error)) << error;

    // As one line and as one word, the engine must find the name and nothing else.
    for (int mode : {7, 8}) {
        command_result ocr = run_command("tesseract " + dir + "/title.png - --psm " + std::to_string(mode));
        ASSERT_EQ(ocr.status, 0) << ocr.errors;
        std::string read;
        for (char c : ocr.output)
            if (!std::isspace(static_cast<unsigned char>(c)))
                read += char(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(read, "oddball") << "page segmentation mode " << mode << " read '" << ocr.output << "'";
    }
}

}  // namespace
