// Tests of the caption build: empty and scratch slots, the recipe steps, the title frames, and golden hashes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/memory.h"
#include "data/blocks.h"
#include "director/precalc.h"
#include "director/scenes.h"
#include "imaging/blits.h"
#include "imaging/image.h"
#include "tests/support/helpers.h"
#include "text/captions.h"
#include "text/font.h"
#include "text/recipes.h"

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
    render_captions(caption_table, texture_slots, texture_slot_count);
}

bool same_pixels(const image& a, const image& b)
{
    return a.width == b.width && a.height == b.height &&
           !std::memcmp(a.pixels, b.pixels, size_t(a.width) * a.height * 4);
}

TEST(Captions, ScratchAndUnusedSlotsStayEmptyAndEveryOtherSlotIsBuilt)
{
    build_captions_once();
    const std::vector<int> empty = {8, 21, 23, 34, 36, 53, 108, 111};  // scratch of the build, and never filled
    for (int slot = 0; slot < caption_slot_count; ++slot) {
        const image& c = caption_table[slot];
        if (std::find(empty.begin(), empty.end(), slot) != empty.end()) {
            EXPECT_EQ(c.pixels, nullptr) << "slot " << slot;  // left empty, not dangling
            EXPECT_EQ(c.width, 0) << "slot " << slot;
        } else {
            EXPECT_NE(c.pixels, nullptr) << "slot " << slot;
            EXPECT_GT(c.width * c.height, 0) << "slot " << slot;
        }
    }
}

// The interpreter against the calls its steps stand for: a wrong operand
// order (which image is drawn onto which, x before y) shows up here.
TEST(CaptionRecipes, StepsDoWhatTheirCallsDo)
{
    build_captions_once();
    image saved[3] = {caption_table[0], caption_table[1], caption_table[2]};
    caption_table[0] = caption_table[1] = caption_table[2] = {};
    const uint8_t program[] = {
        recipe_sprite, 0, 16, 0x44, 0x88, 0xCC, 0x00,  // c0 = entry 16 in 0xCC8844
        recipe_text, 1, 17,                            // c1 = entry 17
        recipe_double_height, 1,
        recipe_copy, 2, 1,                             // c2 = a copy of c1
        recipe_glow, 2, 2, 0, 30, 0, 0x90, 0x01,       // glow 2 30 400
        recipe_subtract, 1, 0, 5, 0, 0xFD, 0xFF,       // c0 taken from c1 at (5, -3)
        recipe_blend, 2, 0, 0xF6, 0xFF, 7, 0,          // c0 drawn over c2 at (-10, 7)
        recipe_alpha, 0, 2,                            // c2's blue becomes c0's alpha
        recipe_release, 2,
        recipe_end,
    };
    run_caption_recipes(program, caption_table, texture_slots, texture_slot_count);

    image sprite = text_sprite(caption_text(16), 0xCC8844);
    image text = text_image(caption_text(17));
    text = double_height(text);
    image copy = image_copy(text);
    copy = make_glow(2, 30, 400, copy);
    blit_subtract(sprite, text, 5, -3);
    blit_alpha(sprite, copy, -10, 7);
    alpha_from_blue(copy, sprite);
    EXPECT_TRUE(same_pixels(caption_table[0], sprite));
    EXPECT_TRUE(same_pixels(caption_table[1], text));
    EXPECT_EQ(caption_table[2].pixels, nullptr);

    for (int k = 0; k < 3; ++k) {
        image_release(caption_table[k]);
        caption_table[k] = saved[k];
    }
    image_release(sprite);
    image_release(text);
    image_release(copy);
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
    EXPECT_EQ(hash_images(caption_table, caption_slot_count), "db7c532b89f52065");
    // Texture slots 25 to 28 as built over black slots 5, 7 and 25 (in the show
    // the atlas fills those first, so there these slots differ).
    image textures[4];
    for (int k = 0; k < 4; ++k)
        textures[k] = {256, 256, texture_slots[25 + k]};
    EXPECT_EQ(hash_images(textures, 4), "abc7f37887cc531d");
}

}  // namespace
