// The title and every caption the show draws upright, read by an OCR engine nobody here wrote: each must say its words.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "base/image.h"
#include "data/blocks.h"
#include "director/pictures.h"
#include "director/scene_helpers.h"
#include "director/timeline.h"
#include "imaging/blits.h"
#include "imaging/image.h"
#include "media/media_files.h"
#include "tests/support/helpers.h"
#include "tests/support/show_precalc.h"
#include "text/captions.h"
#include "text/font.h"

namespace {

int channel(uint32_t p, int shift) { return int((p >> shift) & 0xFF); }
int luma(uint32_t p) { return (299 * channel(p, 16) + 587 * channel(p, 8) + 114 * channel(p, 0)) / 1000; }

// The letters and digits of a text, lower case: what the engine must give back.
std::string letters(const std::string& text)
{
    std::string kept;
    for (char c : text)
        if (std::isalnum(static_cast<unsigned char>(c)))
            kept += char(std::tolower(static_cast<unsigned char>(c)));
    return kept;
}

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

// A caption as its scene draws it on a plain ground, as a page for the engine
// in `path`: dark grey under the alpha blit (the show's grounds are mostly
// darker than its letters; the dark halos melt into it rather than read as a
// second ink), black under the added, white under the multiplied.  The
// caption's rows become 80 page rows, about 4 per glyph pixel, with a border
// of about 20, and the recipe's stretch along one side (x2w, x2h) is undone:
// the engine knows letters of book proportions.
bool write_page(const std::string& path, const image& caption, blit_kind how, const char* text)
{
    const int pad = caption.height / 4 + 2;
    image canvas = image_create(int16_t(caption.width + 2 * pad), int16_t(caption.height + 2 * pad));
    const uint32_t ground = how == blit_kind::alpha ? 0xFF404040u : how == blit_kind::add ? 0xFF000000u : 0xFFFFFFFFu;
    std::fill_n(canvas.pixels, size_t(canvas.width) * canvas.height, ground);
    blit_by_kind(how, caption, canvas, int16_t(pad), int16_t(pad));
    const double scale = 80.0 / caption.height;
    const double stretch = double(caption.height) / (font_glyph_height + 1) * (text_width(text) + 2) / caption.width;
    picture page;
    page.width = std::max(1, int(canvas.width * scale * stretch));
    page.height = int(canvas.height * scale);
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) {
            const int sx = int(int64_t(x) * canvas.width / page.width);
            const int sy = int(int64_t(y) * canvas.height / page.height);
            const uint32_t grey = uint32_t(luma(canvas.pixels[size_t(sy) * canvas.width + sx]));
            page.pixels.push_back(0xFF000000u | grey * 0x010101u);
        }
    image_release(canvas);
    std::string error;
    return png_write(path, page, false, &error);
}

// The pages listed in `list` read in one run of the engine each way, as a
// line with its layout analysis and without (modes 7 and 13): either slips on
// a letter here and there (0 as O, a as d) that the other gets.  Each page's
// two readings, in letters and digits (punctuation of a pixel or two is not
// asked for); the engine parts the pages with form feeds.
std::vector<std::string> read_pages(const std::string& list, size_t count)
{
    std::vector<std::string> read[2];
    for (int pass = 0; pass < 2; ++pass) {
        // One thread: the engine's own threads only fight over small pages.
        command_result ocr =
            run_command("OMP_THREAD_LIMIT=1 tesseract " + list + " - --psm " + (pass ? "13" : "7") + " 2>/dev/null");
        EXPECT_EQ(ocr.status, 0) << ocr.errors;
        read[pass].emplace_back();
        for (char c : ocr.output)
            if (c == '\f')
                read[pass].emplace_back();
            else
                read[pass].back() += c;
        read[pass].resize(std::max(read[pass].size(), count));
    }
    std::vector<std::string> both;
    for (size_t k = 0; k < count; ++k)
        both.push_back(letters(read[0][k]) + " " + letters(read[1][k]));
    return both;
}

// A caption reads when either reading gives back its letters and digits.
bool reads_as(const std::string& both, const char* text)
{
    const std::string expected = letters(text);
    return both.substr(0, both.find(' ')) == expected || both.substr(both.find(' ') + 1) == expected;
}

// Runs of caption slots and the text entries they show, `count` in step.
struct caption_run {
    int slot, entry, count;
    blit_kind how = blit_kind::alpha;
};

// Every caption a scene draws the right way up, from the director's tables;
// left out are the rotated (19, 20, 25, 43, 50, 110), the flipped or mirrored
// (35, 38, 45, 46, 53), the single marks (102, 130) and the blank
// ones.  54 and 98 are drawn through a gentle row wave, so they are read too.
constexpr caption_run upright_captions[] = {
    {16, 60, 2}, {67, 62, 3}, {85, 65, 7}, {93, 64, 1, blit_kind::multiply},  // the opening's column and banner
    {24, 27, 1}, {34, 27, 1}, {26, 29, 1, blit_kind::add}, {27, 30, 1}, {29, 32, 1}, {30, 33, 1, blit_kind::add},
    {31, 34, 2, blit_kind::multiply}, {33, 35, 1},                            // around the outline
    {22, 14, 1, blit_kind::multiply}, {71, 16, 1}, {73, 17, 3}, {77, 20, 6}, {83, 18, 1}, {84, 26, 1},  // the bump scene
    {37, 36, 1}, {39, 38, 1}, {42, 41, 1}, {51, 50, 1},                   // the blob, the long line
    {54, 14, 1}, {64, 14, 1}, {55, 51, 1}, {57, 53, 3},                   // the sphere scene
    {61, 56, 3, blit_kind::add}, {65, 59, 1, blit_kind::add}, {66, 59, 1, blit_kind::add},  // and its bottom line
    {94, 72, 4}, {98, 76, 3}, {101, 79, 1}, {103, 81, 3}, {106, 84, 2}, {109, 69, 1},  // the tunnel
    {112, 86, 1}, {113, 86, 1}, {114, 88, 1}, {115, 88, 1}, {116, 89, 13, blit_kind::add},                // its names, the list, the closing line
};

TEST(CaptionOcr, EveryUprightCaptionReadsAsItsWords)
{
    ASSERT_EQ(run_command("tesseract --version").status, 0) << "tesseract is needed (./check installs tesseract-ocr)";
    std::string dir = scratch_dir("caption-ocr");

    // The captions as the precalculation makes them, over black textures of
    // their own (only the worded textures read them).
    std::vector<std::vector<uint32_t>> texture_pixels(texture_slot_count,
                                                      std::vector<uint32_t>(texture_size * texture_size));
    uint32_t* textures[texture_slot_count];
    for (int i = 0; i < texture_slot_count; ++i)
        textures[i] = texture_pixels[i].data();
    font_init(embedded_font_bin, font_glyph_height, character_order, font_gap_threshold);
    image captions[caption_count] = {};
    render_captions(captions, textures, texture_slot_count);

    // Left blank (no letters, or an empty image), a caption has nothing to read.
    struct page_of {
        int slot, entry;
    };
    std::vector<page_of> pages;
    std::ofstream list(dir + "/pages.txt");
    for (const caption_run& r : upright_captions)
        for (int i = 0; i < r.count; ++i) {
            const image& caption = captions[r.slot + i];
            if (letters(caption_text(r.entry + i)).empty() || caption.width == 0)
                continue;
            const std::string page = dir + "/page_" + std::to_string(r.slot + i) + ".png";
            EXPECT_TRUE(write_page(page, caption, r.how, caption_text(r.entry + i))) << page;
            list << page << '\n';
            pages.push_back({r.slot + i, r.entry + i});
        }
    list.close();
    for (image& caption : captions)
        image_release(caption);

    const std::vector<std::string> read = read_pages(dir + "/pages.txt", pages.size());
    for (size_t k = 0; k < pages.size(); ++k)
        EXPECT_TRUE(reads_as(read[k], caption_text(pages[k].entry)))
            << "caption " << pages[k].slot << " '" << caption_text(pages[k].entry) << "' read as '" << read[k] << "'";
}

// The sphere scene's name as it draws it right after a beat, when the row
// wave shakes it hardest, at two moments of the wave: a strong wave, whose
// shift jumps from row to row, sliced the letters into streaks.
TEST(CaptionOcr, TheSphereScenesNameReadsWhenItShakesHardest)
{
    ASSERT_EQ(run_command("tesseract --version").status, 0) << "tesseract is needed (./check installs tesseract-ocr)";
    std::string dir = scratch_dir("caption-ocr-wave");
    uint32_t* screen = precalculated_show();
    const image name = caption_table[caption_big_name], waved = caption_table[caption_big_name_wave];
    music_position music{15, 40, 0, 0};
    std::ofstream list(dir + "/pages.txt");
    for (int32_t t : {86000, 91000}) {
        std::copy(name.pixels, name.pixels + size_t(name.width) * name.height, waved.pixels);  // the built copy
        director = director_state{};
        director.sync1_time = director.prev_frame_time = t;
        director.sequence_beats = 3;
        timeline_frame(t, music, screen);
        const std::string page = dir + "/wave_" + std::to_string(t) + ".png";
        EXPECT_TRUE(write_page(page, waved, blit_kind::alpha, caption_text(14))) << page;
        list << page << '\n';
    }
    list.close();
    for (const std::string& read : read_pages(dir + "/pages.txt", 2))
        EXPECT_TRUE(reads_as(read, "oddball")) << "read as '" << read << "'";
}

}  // namespace
