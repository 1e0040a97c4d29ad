// The caption images: every word of the show rendered once at start-up, plus the title frames and decorated textures (portable).
#include "text/captions.h"

#include <cstring>

#include "base/maths.h"
#include "data/blocks.h"
#include "imaging/blits.h"
#include "imaging/image.h"
#include "text/font.h"
#include "text/recipes.h"

const char* caption_text(int entry)
{
    // The stored table is 106 zero-terminated strings back to back; the
    // block's zero padding keeps a scan for a missing entry inside it.
    const char* text = reinterpret_cast<const char*>(embedded_captions_bin);
    const char* end = text + embedded_captions_bin_size;
    for (int n = 0; n < entry && text < end; ++n)
        text += std::strlen(text) + 1;
    return text < end ? text : "";
}

namespace {

image sprite(int entry, uint32_t colour) { return text_sprite(caption_text(entry), colour); }

// Title letters: the text entry and colour of each letter (entry 5 twice, ODDBALL).
struct title_letter {
    int entry;
    uint32_t colour;
};
const title_letter title_letters[7] = {
    {0, 0xBBBBBB},  // O
    {1, 0xDDDDDD},  // D
    {2, 0x999999},  // D
    {3, 0xAAAAAA},  // B
    {4, 0xCCCCCC},  // A
    {5, 0x777777},  // L
    {5, 0xEEEEEE},  // L
};
constexpr int tag_text = 6, halo_text = 7;  // their caption text entries
constexpr int letter_shadow = title_scratch;

// The title: its letters, tag and halo line made, the frames cleared and
// the halo laid across them; then each letter enlarged and glowing, drawn
// with its shadow into the frames that show it; the tag joins the last two.
void build_title(image* c)
{
    image* letters = c + title_letter_first;
    for (int j = 0; j < 7; ++j)
        letters[j] = sprite(title_letters[j].entry, title_letters[j].colour);
    image& tag = c[title_tag];
    image& halo = c[title_halo];
    tag = sprite(tag_text, 0x8AC6D8);
    halo = sprite(halo_text, 0);  // a dark halo line, drawn mirrored
    mirror_horizontal(halo);

    c[title_frame_first] = image_create(220, 120);
    for (int k = 1; k < title_frame_count; ++k)
        c[title_frame_first + k] = image_copy(c[title_frame_first]);
    rotate_quarter(tag);
    for (int k = 0; k < title_frame_count; ++k)
        blit_alpha(halo, c[title_frame_first + k], int16_t(-50 * k), 100);

    for (int j = 0; j < 7; ++j) {
        image& letter = letters[j];
        letter = double_size(letter);
        letter = double_size(letter);
        letter = make_glow(5, 32, 500, letter);
        alpha_from_blue(letter, letter);  // its own blue becomes its alpha
        int32_t grey = round_to_int(30 * real_sin(2.13 * j) + 200);
        multiply_colour(0xFF000000u + uint32_t(grey) * 0x010101u, letter);
        c[letter_shadow] = image_copy(letter);
        multiply_colour(0xFF000000u, c[letter_shadow]);
        // Frame i shows letters 0 .. 2i: each one as a shadow, a cut-out and the letter.
        for (int i = 0; i < title_frame_count; ++i) {
            if (2 * i + 1 <= j)
                continue;
            image frame = c[title_frame_first + i];
            blit_alpha(c[letter_shadow], frame, int16_t(30 * j), int16_t(round_to_int(10 * real_sin((j + i) * 1.2) + 15)));
            blit_subtract(letter, frame, int16_t(30 * j + 3), int16_t(round_to_int(10 * real_cos((j - i) * 1.234) + 17)));
            blit_alpha(letter, frame, int16_t(30 * j + 5), int16_t(round_to_int(-10 * real_sin((i - j) * 1.424) + 20)));
        }
        image_release(c[letter_shadow]);  // scratch: left empty, never dangling
    }
    // The sideways tag joins the last two frames.
    blit_alpha(tag, c[title_frame_first + 4], 170, 10);
    blit_alpha(tag, c[title_frame_first + 5], 170, 10);
}

}  // namespace

void render_captions(image* captions, uint32_t* const* textures, int texture_count)
{
    build_title(captions);
    run_caption_recipes(embedded_recipes_bin, captions, textures, texture_count);
}
