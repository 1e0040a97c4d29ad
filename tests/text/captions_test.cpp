// Tests of the caption build: the stored texts, every slot's size, the title frames, and golden hashes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "data/blocks.h"
#include "director/precalc.h"
#include "director/scenes.h"
#include "imaging/blits.h"
#include "imaging/image.h"
#include "shell/memory.h"
#include "tests/support/helpers.h"
#include "text/captions.h"
#include "text/font.h"

namespace {

// Builds the captions once per process, as the show's precalculation does but
// with black texture slots of its own, so nothing here depends on the atlas.
void build_captions_once()
{
    static bool built = false;
    if (built)
        return;
    built = true;
    for (auto& slot : texture_slots)
        if (!slot)
            slot = static_cast<uint32_t*>(mem_alloc(256 * 256 * 4));
    font_init(embedded_font_bin, 19, character_order, 100);
    render_captions();
}

bool same_pixels(const image& a, const image& b)
{
    return a.width == b.width && a.height == b.height &&
           !std::memcmp(a.pixels, b.pixels, size_t(a.width) * a.height * 4);
}

TEST(CaptionText, EntriesHaveTheirFixedLengthsAndOnlyCharactersWithGlyphs)
{
    const int lengths[caption_text_count] = {
        1, 1, 1, 1, 1, 1, 7, 49, 10, 11, 11, 8, 11, 9, 7, 0, 20, 17, 6, 16, 20, 10, 22, 13, 11, 19, 8,
        4, 6, 10, 6, 8, 2, 8, 3, 7, 7, 17, 6, 2, 5, 9, 8, 5, 7, 14, 17, 14, 3, 3, 80, 4, 6, 14, 3, 3,
        7, 12, 16, 21, 5, 3, 4, 2, 7, 2, 3, 4, 7, 2, 8, 5, 5, 2, 4, 6, 9, 7, 2, 4, 1, 8, 5, 7, 7, 5,
        7, 2, 13, 10, 5, 7, 6, 6, 6, 4, 10, 8, 5, 12, 5, 13, 1, 1, 1, 1,
    };
    const char* glyphs = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVXYZ0123456789,.;:?!()- _";
    for (int t = 0; t < caption_text_count; ++t) {
        std::string text = caption_text(t);
        EXPECT_EQ(int(text.size()), lengths[t]) << "entry " << t << ": " << text;
        for (char c : text)
            EXPECT_NE(std::strchr(glyphs, c), nullptr) << "entry " << t << " has '" << c << "'";
    }
    const char* title[6] = {"O", "D", "D", "B", "A", "L"};
    for (int t = 0; t < 6; ++t)
        EXPECT_STREQ(caption_text(t), title[t]);
    // The table is exactly 106 strings back to back.
    size_t total = 0;
    for (int length : lengths)
        total += size_t(length) + 1;
    EXPECT_EQ(embedded_captions_bin_size, total);
}

// How a caption's size follows from its text: '2' x2, 'h' x2h, 'w' x2w, 'r' rot.
struct slot_size {
    int slot;
    int entry;
    const char* steps;
};
const slot_size slot_sizes[] = {
    {0, 0, "22"}, {1, 1, "22"}, {2, 2, "22"}, {3, 3, "22"}, {4, 4, "22"}, {5, 5, "22"}, {6, 5, "22"},
    {7, 6, "r"}, {15, 7, ""}, {16, 60, ""}, {17, 61, ""}, {18, 8, "22"}, {19, 9, "r2h"}, {20, 10, "r2h"},
    {22, 14, "h"}, {24, 27, "2"}, {25, 28, "r"}, {26, 29, ""}, {27, 30, "2"}, {28, 31, ""}, {29, 32, "2"},
    {30, 33, ""}, {31, 34, "2"}, {32, 35, "2"}, {33, 35, ""}, {34, 27, "2"}, {35, 29, ""}, {37, 36, ""},
    {38, 37, ""}, {39, 38, ""}, {40, 39, ""}, {41, 40, ""}, {42, 41, ""}, {43, 42, "r"}, {44, 43, "r2"},
    {45, 44, "2"}, {46, 45, "h"}, {47, 46, ""}, {48, 47, ""}, {49, 48, "h"}, {50, 49, "rw"},
    {51, 50, "hh"}, {52, 50, "hh"}, {53, 50, "h2"}, {54, 14, "2w"}, {55, 51, ""}, {56, 52, "2"},
    {57, 53, ""}, {58, 54, ""}, {59, 55, "2"}, {60, 55, "2"}, {61, 56, ""}, {62, 57, ""}, {63, 58, ""},
    {64, 14, "2wh"}, {65, 59, ""}, {66, 59, "h"}, {67, 62, ""}, {68, 63, ""}, {69, 64, "2"},
    {70, 15, ""}, {71, 16, ""}, {72, 15, ""}, {73, 17, ""}, {74, 18, ""}, {75, 19, ""}, {76, 15, ""},
    {77, 20, ""}, {78, 21, ""}, {79, 22, ""}, {80, 23, ""}, {81, 24, ""}, {82, 25, ""}, {83, 18, ""},
    {84, 26, ""}, {85, 65, ""}, {86, 66, "2"}, {87, 67, "w"}, {88, 68, ""}, {89, 69, "2"}, {90, 70, ""},
    {91, 71, ""}, {92, 14, "2w"}, {93, 64, "2h"}, {94, 72, ""}, {95, 73, ""}, {96, 74, ""}, {97, 75, ""},
    {98, 76, "h"}, {99, 77, "2"}, {100, 78, ""}, {101, 79, ""}, {102, 80, "22"}, {103, 81, ""},
    {104, 82, "2"}, {105, 83, "2"}, {106, 84, ""}, {107, 85, ""}, {109, 69, ""}, {110, 87, "r"},
    {112, 86, "h"}, {113, 86, "h"}, {114, 88, "h"}, {115, 88, "h"}, {116, 89, ""}, {117, 90, ""},
    {118, 91, ""}, {119, 92, ""}, {120, 93, ""}, {121, 94, ""}, {122, 95, ""}, {123, 96, ""},
    {124, 97, ""}, {125, 98, ""}, {126, 99, ""}, {127, 100, ""}, {128, 101, "h222"}, {129, 76, "h"},
    {130, 102, "22"}, {131, 103, "22h"}, {132, 104, "222"}, {133, 105, "2r"},
};

TEST(Captions, EverySlotHasTheSizeItsTextAndRecipeGive)
{
    build_captions_once();
    bool described[caption_slot_count] = {};
    for (const slot_size& s : slot_sizes) {
        described[s.slot] = true;
        int w = text_width(caption_text(s.entry)) + 2, h = 20;  // S(t, K) and I(t) before doubling
        for (const char* step = s.steps; *step; ++step) {
            if (*step == '2')
                w *= 2, h *= 2;
            else if (*step == 'h')
                h *= 2;
            else if (*step == 'w')
                w *= 2;
            else
                std::swap(w, h);
        }
        EXPECT_EQ(caption_table[s.slot].width, w) << "slot " << s.slot;
        EXPECT_EQ(caption_table[s.slot].height, h) << "slot " << s.slot;
        EXPECT_NE(caption_table[s.slot].pixels, nullptr) << "slot " << s.slot;
    }
    for (int frame = 9; frame <= 14; ++frame) {
        described[frame] = true;
        EXPECT_EQ(caption_table[frame].width, 220);
        EXPECT_EQ(caption_table[frame].height, 120);
    }
    // Never filled, and the scratch slots are left empty rather than dangling.
    for (int slot : {8, 21, 23, 36, 108, 111}) {
        EXPECT_FALSE(described[slot]);
        EXPECT_EQ(caption_table[slot].pixels, nullptr) << "slot " << slot;
        EXPECT_EQ(caption_table[slot].width, 0);
        described[slot] = true;
    }
    for (int slot = 0; slot < caption_slot_count; ++slot)
        EXPECT_TRUE(described[slot]) << "slot " << slot;
}

TEST(Captions, EmptyTextGivesBlankCaptionsWhateverTheirColour)
{
    build_captions_once();
    for (int slot : {70, 72, 76}) {
        ASSERT_EQ(caption_table[slot].width, 2);
        ASSERT_EQ(caption_table[slot].height, 20);
        for (int p = 0; p < 40; ++p)
            EXPECT_EQ(caption_table[slot].pixels[p], 0u) << "slot " << slot;
    }
}

TEST(Captions, TitleLettersAreGreysOfTheirOwnLevel)
{
    build_captions_once();
    const int grey[7] = {200, 225, 173, 203, 224, 172, 206};
    // A letter's glow c became its alpha (c x 255) >> 8 = c - 1 and its grey
    // (c x g) >> 8: the level g is the one that explains every covered pixel.
    auto explains = [](const image& letter, int g) {
        for (int p = 0; p < letter.width * letter.height; ++p) {
            uint32_t q = letter.pixels[p], alpha = q >> 24;
            if (alpha && (q & 0xFF) != ((alpha + 1) * uint32_t(g)) >> 8)
                return false;
        }
        return true;
    };
    for (int j = 0; j < 7; ++j) {
        const image& letter = caption_table[j];
        for (int p = 0; p < letter.width * letter.height; ++p) {
            uint32_t q = letter.pixels[p];
            ASSERT_EQ((q >> 8) & 0xFF, q & 0xFF) << "letter " << j;
            ASSERT_EQ((q >> 16) & 0xFF, q & 0xFF) << "letter " << j;
        }
        EXPECT_TRUE(explains(letter, grey[j])) << "letter " << j;
        EXPECT_FALSE(explains(letter, grey[j] - 1)) << "letter " << j;
        EXPECT_FALSE(explains(letter, grey[j] + 1)) << "letter " << j;
    }
}

// Where each letter lands in each title frame: {letter, shadow y, cut-out y, letter y};
// x is 30 j, 30 j + 3 and 30 j + 5.
struct placement {
    int letter, shadow_y, cut_y, letter_y;
};
const std::vector<placement> frame_placements[6] = {
    {{0, 15, 27, 20}},
    {{0, 24, 20, 10}, {1, 22, 27, 20}, {2, 11, 20, 30}},
    {{0, 22, 9, 17}, {1, 11, 20, 10}, {2, 5, 27, 20}, {3, 12, 20, 30}, {4, 23, 9, 23}},
    {{0, 11, 9, 29}, {1, 5, 9, 17}, {2, 12, 20, 10}, {3, 23, 27, 20}, {4, 24, 20, 30}, {5, 13, 9, 23}, {6, 5, 9, 11}},
    {{0, 5, 19, 26}, {1, 12, 9, 29}, {2, 23, 9, 17}, {3, 24, 20, 10}, {4, 13, 27, 20}, {5, 5, 20, 30}, {6, 10, 9, 23}},
    {{0, 12, 27, 13}, {1, 23, 19, 26}, {2, 24, 9, 29}, {3, 13, 9, 17}, {4, 5, 20, 10}, {5, 10, 27, 20}, {6, 21, 20, 30}},
};

// A title frame put together again from the finished letters and strips.
image assemble_title_frame(int frame, bool with_tag)
{
    image result = image_create(220, 120);
    blit_alpha(caption_table[15], result, int16_t(-50 * frame), 100);
    for (const placement& p : frame_placements[frame]) {
        const image& letter = caption_table[p.letter];
        image shadow = image_copy(letter);
        multiply_colour(0xFF000000u, shadow);
        blit_alpha(shadow, result, int16_t(30 * p.letter), int16_t(p.shadow_y));
        blit_subtract(letter, result, int16_t(30 * p.letter + 3), int16_t(p.cut_y));
        blit_alpha(letter, result, int16_t(30 * p.letter + 5), int16_t(p.letter_y));
        image_release(shadow);
    }
    if (with_tag)
        blit_alpha(caption_table[7], result, 170, 10);
    return result;
}

TEST(Captions, TitleFramesShowTheirLettersAndOnlyTheLastTwoTheSidewaysTag)
{
    build_captions_once();
    // The tag is the rotated sprite of entry 6: 20 wide, as tall as the text is long.
    EXPECT_EQ(caption_table[7].width, 20);
    EXPECT_EQ(caption_table[7].height, text_width(caption_text(6)) + 2);
    for (int frame = 0; frame < 6; ++frame) {
        bool tagged = frame >= 4;
        image expected = assemble_title_frame(frame, tagged);
        EXPECT_TRUE(same_pixels(caption_table[9 + frame], expected)) << "title frame " << frame;
        image other = assemble_title_frame(frame, !tagged);
        EXPECT_FALSE(same_pixels(caption_table[9 + frame], other)) << "title frame " << frame;
        image_release(expected);
        image_release(other);
    }
}

std::string hash_images(const image* images, int count)
{
    std::vector<uint8_t> bytes;
    for (int k = 0; k < count; ++k) {
        const image& im = images[k];
        const uint8_t* size = reinterpret_cast<const uint8_t*>(&im);
        bytes.insert(bytes.end(), size, size + 8);  // width and height
        if (im.pixels) {
            const uint8_t* p = reinterpret_cast<const uint8_t*>(im.pixels);
            bytes.insert(bytes.end(), p, p + size_t(im.width) * im.height * 4);
        }
    }
    return hash_bytes(bytes.data(), bytes.size());
}

TEST(Captions, GoldenHashes)
{
    build_captions_once();
    // Every caption image: made from the stored font and texts alone, so the
    // atlas does not change it.
    EXPECT_EQ(hash_images(caption_table, caption_slot_count), "9e0d4c98959ebbae");
    // Texture slots 25 to 28 as built over black slots 5, 7 and 25 (in the show
    // the atlas fills those first, so there these slots differ).
    image textures[4];
    for (int k = 0; k < 4; ++k)
        textures[k] = {256, 256, texture_slots[25 + k]};
    EXPECT_EQ(hash_images(textures, 4), "efeaf3eb62e76ed7");
}

// The box of a caption's text on the frame: its pixels at least a quarter as
// bright as its brightest (the glyphs' softest edge pixels are a third; faint
// glows and the dark halo are left out).
struct text_box {
    int left = 1 << 20, top = 1 << 20, right = -(1 << 20), bottom = -(1 << 20);
};

text_box text_on_frame(const placed_caption& placed)
{
    const image& im = caption_table[placed.caption];
    auto level = [](uint32_t p) { return std::max({p >> 16 & 255, p >> 8 & 255, p & 255}); };
    uint32_t brightest = 0;
    for (int i = 0; i < im.width * im.height; ++i)
        brightest = std::max(brightest, level(im.pixels[i]));
    text_box box;
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x)
            if (brightest && 4 * level(im.pixels[y * im.width + x]) >= brightest) {
                box.left = std::min(box.left, placed.x + x), box.right = std::max(box.right, placed.x + x);
                box.top = std::min(box.top, placed.y + y), box.bottom = std::max(box.bottom, placed.y + y);
            }
    return box;
}

// Two captions are side by side on one row when they share at least half
// the rows of the shorter and the second begins past three quarters of the
// first (one drawn over most of another is a layer, not a neighbour).
void check_gaps(const placed_caption* set, int count, void* user)
{
    auto& faults = *static_cast<std::vector<std::string>*>(user);
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < count; ++j) {
            const text_box a = text_on_frame(set[i]), b = text_on_frame(set[j]);
            const int shared_rows = std::min(a.bottom, b.bottom) - std::max(a.top, b.top) + 1;
            const int shorter = std::min(a.bottom - a.top, b.bottom - b.top) + 1;
            const bool one_row = 2 * shared_rows >= shorter;
            const bool side_by_side = 4 * (b.left - a.left) > 3 * (a.right - a.left + 1);
            if (i == j || !one_row || !side_by_side)
                continue;
            if (b.left - a.right >= 5)
                continue;
            std::string fault = "caption " + std::to_string(set[i].caption) + " ends at x " + std::to_string(a.right) +
                                ", caption " + std::to_string(set[j].caption) + " begins at x " +
                                std::to_string(b.left);
            if (std::find(faults.begin(), faults.end(), fault) == faults.end())
                faults.push_back(fault);
        }
}

TEST(Captions, SideBySideOnOneRowTheyLeaveAGap)
{
    build_captions_once();
    // Four clear columns at least between the text of captions a scene shows
    // together on the same rows.
    std::vector<std::string> faults;
    opening_caption_sets(check_gaps, &faults);
    middle_caption_sets(check_gaps, &faults);
    closing_caption_sets(check_gaps, &faults);
    for (const std::string& fault : faults)
        ADD_FAILURE() << fault;
}

}  // namespace
