// The caption images: every word of the show rendered once at start-up, plus the title frames and decorated textures (portable).
#include "text/captions.h"

#include <cstring>
#include <initializer_list>

#include "data/blocks.h"
#include "director/precalc.h"
#include "imaging/blits.h"
#include "imaging/image.h"
#include "shell/maths.h"
#include "text/font.h"

image caption_table[caption_slot_count];

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

// The build's recipe steps, named as short as the recipes read.
image sprite(int entry, uint32_t colour) { return text_sprite(caption_text(entry), colour); }  // S(t, K)
image text(int entry) { return text_image(caption_text(entry)); }                              // I(t)
void x2(image& im) { im = double_size(im); }
void x2h(image& im) { im = double_height(im); }
void x2w(image& im) { im = double_width(im); }
void rot(image& im) { rotate_quarter(im); }
void mirror(image& im) { mirror_horizontal(im); }
void flip(image& im) { flip_vertical(im); }
void inv(image& im) { invert_image(im); }
void glow(image& im, int16_t radius, int16_t brightness, uint16_t contrast)
{
    im = make_glow(radius, brightness, contrast, im);
}
void soften(image& im, int16_t rx, int16_t ry) { blur(rx, ry, im); }
void mul(image& im, uint32_t colour) { multiply_colour(colour, im); }
void alpha(image& im, const image& source) { alpha_from_blue(source, im); }  // source's blue -> im's alpha
void add(image& im, const image& other) { blit_add(other, im, 0, 0); }
void sub(image& im, const image& other) { blit_subtract(other, im, 0, 0); }

image texture(int slot) { return {texture_size, texture_size, texture_slots[slot]}; }

// Writes a 256 x 256 result into a texture slot's own buffer (the slots keep
// their blocks) and releases the result.
void store_texture(int slot, image& result)
{
    std::memcpy(texture_slots[slot], result.pixels, size_t(texture_size) * texture_size * 4);
    image_release(result);
}

// Title letters: the text entry and colour of slots 0..6 (entry 5 twice, ODDBALL).
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
constexpr int title_frame_first = 9;  // slots 9..14
constexpr int title_frame_count = 6;
constexpr int letter_shadow = 8;      // scratch slot
constexpr int bump_sprite = 21;       // scratch slot

// Steps 1 to 5: the letters and strips, and the six frames of the title.
void build_title(image* c)
{
    for (int j = 0; j < 7; ++j)
        c[j] = sprite(title_letters[j].entry, title_letters[j].colour);
    c[7] = sprite(6, 0x8AC6D8);
    c[15] = sprite(7, 0);  // a dark halo line, drawn mirrored
    mirror(c[15]);

    c[title_frame_first] = image_create(220, 120);
    for (int k = 1; k < title_frame_count; ++k)
        c[title_frame_first + k] = image_copy(c[title_frame_first]);
    rot(c[7]);
    for (int k = 0; k < title_frame_count; ++k)
        blit_alpha(c[15], c[title_frame_first + k], int16_t(-50 * k), 100);

    for (int j = 0; j < 7; ++j) {
        image& letter = c[j];
        x2(letter);
        x2(letter);
        glow(letter, 5, 32, 500);
        alpha(letter, letter);  // its own blue becomes its alpha
        int32_t grey = round_to_int(30 * real_sin(2.13 * j) + 200);
        mul(letter, 0xFF000000u + uint32_t(grey) * 0x010101u);
        c[letter_shadow] = image_copy(letter);
        mul(c[letter_shadow], 0xFF000000u);
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
    blit_alpha(c[7], c[13], 170, 10);
    blit_alpha(c[7], c[14], 170, 10);
}

// Step 6: the huge scroller and the two rotated columns.
void build_strips(image* c)
{
    c[18] = sprite(8, 0x888888);
    alpha(c[18], c[18]);
    x2(c[18]);
    x2(c[18]);

    c[19] = sprite(9, 0xDDCCBB);
    rot(c[19]);
    x2(c[19]);
    x2h(c[19]);
    glow(c[19], 2, 32, 500);

    c[20] = sprite(10, 0xDDCCBB);
    rot(c[20]);
    mirror(c[20]);
    x2(c[20]);
    x2h(c[20]);
    glow(c[20], 2, 32, 500);
    mirror(c[20]);
}

// Step 7: text and glow written into texture slots 25 to 28.
void build_textures(image* c)
{
    image t = image_copy(texture(5));
    glow(t, 3, 128, 150);
    image s = sprite(11, 0xFFFFFF);
    blit_alpha(s, t, 0, 0);
    image_release(s);
    s = sprite(12, 0xFFFFFF);
    blit_alpha(s, t, 127, 127);
    image_release(s);
    store_texture(26, t);

    t = image_copy(texture(7));
    glow(t, 1, -64, 50);
    s = sprite(12, 0xFFFFFF);
    blit_alpha(s, t, 127, 127);
    image_release(s);
    store_texture(27, t);

    t = image_copy(texture(5));
    adjust_brightness(32, t);
    blit_subtract(texture(27), t, 0, 0);
    blit_subtract(texture(27), t, 0, 0);
    store_texture(28, t);

    // Embossed text on slot 25, each of four copies fainter than the last.
    c[bump_sprite] = sprite(13, 0xFFFFFF);
    x2(c[bump_sprite]);
    glow(c[bump_sprite], 3, 32, 500);
    for (int k = 0; k < 4; ++k) {
        blit_subtract(c[bump_sprite], texture(25), int16_t(10 * k), int16_t(60 * k));
        blit_add(c[bump_sprite], texture(25), int16_t(10 * k + 2), int16_t(60 * k + 2));
        mul(c[bump_sprite], 0xFF999999u);
    }
    blur(2, 2, texture(25));
    image_release(c[bump_sprite]);  // scratch: left empty, never dangling
}

// The plain captions of slots 70..84: S(t, K) and nothing further.
void build_plain_first(image* c)
{
    c[70] = sprite(15, 0);  // the empty text: blank 2 x 20 captions
    c[72] = sprite(15, 0xFFFFFF);
    c[76] = sprite(15, 0);
    c[71] = sprite(16, 0xFFFFFF);
    c[73] = sprite(17, 0xFFFFFF);
    c[74] = sprite(18, 0xFFFFFF);
    c[75] = sprite(19, 0xFFFFFF);
    c[77] = sprite(20, 0xFFFFFF);
    c[78] = sprite(21, 0xFFFFFF);
    c[79] = sprite(22, 0xFFFFFF);
    c[80] = sprite(23, 0x888888);
    c[81] = sprite(24, 0xFFFFFF);
    c[82] = sprite(25, 0xFFFFFF);
    c[83] = sprite(18, 0xFFFFFF);
    c[84] = sprite(26, 0xFFFFFF);
}

// The plain captions of slots 85..91 and 94..97.
void build_plain_second(image* c)
{
    c[85] = sprite(65, 0xFFFFFF);
    c[86] = sprite(66, 0xAAAAAA);
    x2(c[86]);
    c[87] = sprite(67, 0xDDDDDD);
    x2w(c[87]);
    c[88] = sprite(68, 0xFFFFFF);
    c[89] = sprite(69, 0xBBBBBB);
    x2(c[89]);
    c[90] = sprite(70, 0xFFFFFF);
    c[91] = sprite(71, 0xFFFFFF);
    c[94] = sprite(72, 0xFFFFFF);
    c[95] = sprite(73, 0xFFFFFF);
    c[96] = sprite(74, 0xFFFFFF);
    c[97] = sprite(75, 0xFFFFFF);
}

// A sprite with its own blurred glow added and taken as alpha (slots 41, 42).
image haloed_sprite(int entry)
{
    image s = sprite(entry, 0xFFFFFF);
    image a = image_copy(s);
    glow(a, 3, 50, 400);
    soften(a, 4, 2);
    add(s, a);
    alpha(s, a);
    image_release(a);
    return s;
}

// Step 8: every other caption, in the order later recipes rely on.
void build_composites(image* c)
{
    c[22] = text(14);
    x2h(c[22]);
    soften(c[22], 1, 1);

    build_plain_first(c);

    // 24 and 34: a glowing outline, and the same outline with its inner glow.
    c[24] = sprite(27, 0x777777);
    x2(c[24]);
    glow(c[24], 2, 42, 400);
    image a = image_copy(c[24]);
    glow(a, 3, 100, 400);
    soften(a, 10, 2);
    image b = image_copy(c[24]);
    glow(b, 1, 30, 50);
    mul(c[24], 0);  // cleared
    add(c[24], a);
    sub(c[24], b);
    alpha(c[24], a);
    c[34] = image_copy(c[24]);
    add(c[34], b);
    image_release(a);
    image_release(b);

    c[25] = sprite(28, 0xFFFFFF);
    glow(c[25], 1, 20, 400);
    mul(c[25], 0xFF886699u);
    rot(c[25]);

    c[26] = text(29);
    c[35] = text(29);
    soften(c[35], 1, 1);
    inv(c[35]);
    flip(c[35]);

    c[27] = sprite(30, 0x999999);
    x2(c[27]);
    glow(c[27], 2, 32, 500);
    mul(c[27], 0x999999);

    c[28] = sprite(31, 0xFFFFFF);

    c[29] = sprite(32, 0xFFFFFF);
    x2(c[29]);
    mul(c[29], 0x888888);

    c[30] = text(33);
    mul(c[30], 0xFFFFFF);

    c[31] = sprite(34, 0x888888);
    x2(c[31]);
    soften(c[31], 2, 2);
    inv(c[31]);

    c[32] = sprite(35, 0xFFFFFF);
    c[33] = image_copy(c[32]);
    mul(c[33], 0xAAAAAA);
    x2(c[32]);
    soften(c[32], 2, 2);
    mul(c[32], 0xAAAAAA);
    inv(c[32]);

    c[37] = sprite(36, 0xCCCCCC);
    c[38] = sprite(37, 0xDDDDDD);
    mirror(c[38]);
    c[39] = sprite(38, 0xFFFFFF);
    c[40] = sprite(39, 0xFFFFFF);
    c[41] = haloed_sprite(40);
    c[42] = haloed_sprite(41);

    c[43] = sprite(42, 0xFFFFFF);
    rot(c[43]);

    c[44] = sprite(43, 0xBBBBBB);
    glow(c[44], 2, 46, 400);
    mirror(c[44]);
    flip(c[44]);
    rot(c[44]);
    x2(c[44]);

    c[45] = sprite(44, 0xFFFFFF);
    flip(c[45]);
    x2(c[45]);
    glow(c[45], 2, 42, 400);

    c[46] = sprite(45, 0xFFFFFF);
    mirror(c[46]);
    x2h(c[46]);

    c[47] = sprite(46, 0xFFFFFF);
    flip(c[47]);

    c[48] = sprite(47, 0xFFFFFF);

    c[49] = sprite(48, 0xFFFFFF);
    x2h(c[49]);

    c[50] = sprite(49, 0xFFFFFF);
    rot(c[50]);
    x2w(c[50]);

    // 51 to 53: the long line, glowing (51) and as a dark mirrored band (53);
    // 52 is its blurred light, kept.
    c[51] = sprite(50, 0x888888);
    x2h(c[51]);
    c[53] = image_copy(c[51]);
    x2h(c[51]);
    c[52] = image_copy(c[51]);
    soften(c[52], 10, 4);
    glow(c[51], 2, 42, 400);
    add(c[51], c[52]);
    alpha(c[51], c[52]);
    x2(c[53]);
    glow(c[53], 4, 80, 500);
    soften(c[53], 2, 2);
    inv(c[53]);
    mirror(c[53]);

    // 54, 92, 64: the big title word; 92 is the scenes' scratch for its wave.
    c[54] = sprite(14, 0xFFFFFF);
    x2(c[54]);
    x2w(c[54]);
    glow(c[54], 4, 80, 500);
    c[92] = image_copy(c[54]);
    c[64] = image_copy(c[54]);
    x2h(c[64]);
    mul(c[54], 0xFFAAAAAAu);

    c[55] = sprite(51, 0xFFFFFF);
    c[56] = sprite(52, 0xFFFFFF);
    x2(c[56]);
    glow(c[56], 2, 32, 400);
    c[57] = sprite(53, 0xFFFFFF);
    mul(c[57], 0xAAAAAA);
    c[58] = sprite(54, 0xFFFFFF);

    c[59] = sprite(55, 0xFFFFFF);
    x2(c[59]);
    glow(c[59], 2, 32, 400);
    mul(c[59], 0xAAAAAA);
    c[60] = image_copy(c[59]);
    inv(c[60]);

    c[61] = text(56);
    c[62] = text(57);
    c[63] = text(58);
    c[65] = text(59);
    c[66] = image_copy(c[65]);
    x2h(c[66]);
    mul(c[66], 0x888888);

    c[16] = sprite(60, 0xAAAAAA);
    c[17] = sprite(61, 0xFFFFFF);
    c[67] = sprite(62, 0x999999);
    c[68] = sprite(63, 0xDDDDDD);

    c[69] = sprite(64, 0xFFFFFF);
    x2(c[69]);
    c[93] = image_copy(c[69]);
    x2h(c[93]);
    glow(c[93], 3, 40, 500);
    inv(c[93]);

    build_plain_second(c);

    c[98] = sprite(76, 0xFFFFFF);
    x2h(c[98]);
    glow(c[98], 2, 30, 300);
    c[129] = image_copy(c[98]);  // the scenes' scratch for 98's wave

    c[99] = sprite(77, 0xFFFFFF);
    x2(c[99]);
    c[100] = sprite(78, 0xFFFFFF);
    c[101] = sprite(79, 0xFFFFFF);

    c[102] = sprite(80, 0xCCCCCC);
    x2(c[102]);
    x2(c[102]);
    glow(c[102], 5, 10, 500);
    flip(c[102]);

    c[103] = sprite(81, 0xFFFFFF);
    a = image_copy(c[103]);
    glow(c[103], 2, 40, 500);
    soften(a, 5, 2);
    add(c[103], a);
    image_release(a);

    c[104] = sprite(82, 0x999999);
    x2(c[104]);
    glow(c[104], 3, 20, 300);
    c[105] = sprite(83, 0xBBBBBB);
    x2(c[105]);
    glow(c[105], 3, 40, 500);
    c[106] = sprite(84, 0xFFFFFF);
    c[107] = sprite(85, 0xFFFFFF);

    c[113] = sprite(86, 0x999999);
    c[112] = sprite(86, 0xFFFFFF);
    for (int slot : {113, 112}) {
        flip(c[slot]);
        x2h(c[slot]);
        glow(c[slot], 2, 30, 400);
    }

    c[109] = sprite(69, 0xDDDDDD);
    c[110] = sprite(87, 0xEEEEEE);
    flip(c[110]);
    mirror(c[110]);
    rot(c[110]);

    c[114] = sprite(88, 0xFFFFFF);
    c[115] = sprite(88, 0x999999);
    for (int slot : {114, 115}) {
        x2h(c[slot]);
        glow(c[slot], 2, 30, 400);
    }

    for (int k = 0; k < 12; ++k)
        c[116 + k] = text(89 + k);

    // 128: the closing line, sixteen times its height and eight its width.
    c[128] = text(101);
    x2h(c[128]);
    x2(c[128]);
    x2(c[128]);
    x2(c[128]);
    soften(c[128], 6, 8);
    glow(c[128], 10, 50, 600);
    mul(c[128], 0xFF777777u);

    c[130] = sprite(102, 0xFFFFFF);
    x2(c[130]);
    x2(c[130]);
    glow(c[130], 4, 50, 400);
    c[131] = sprite(103, 0xFFFFFF);
    x2(c[131]);
    x2(c[131]);
    x2h(c[131]);
    glow(c[131], 2, 30, 400);
    c[132] = sprite(104, 0xFFFFFF);
    x2(c[132]);
    x2(c[132]);
    x2(c[132]);
    glow(c[132], 3, 30, 400);
    c[133] = sprite(105, 0x888888);
    x2(c[133]);
    rot(c[133]);
    flip(c[133]);
    glow(c[133], 2, 30, 400);
}

}  // namespace

void render_captions()
{
    image* c = caption_table;
    build_title(c);
    build_strips(c);
    build_textures(c);
    build_composites(c);
}
