// oddball-tool preview: one 2D effect alone on a cleared frame at a given time, written as a PNG (portable).
#include "tools/cli/command.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/maths.h"
#include "director/precalc.h"
#include "imaging/effects.h"
#include "imaging/tables.h"
#include "imaging/warp.h"
#include "media/media_files.h"

namespace {

// The texture slot an effect uses in the show, or a procedural stand-in
// while that slot is still black (the atlas and caption slots are filled by
// later steps of precalculation; until they exist their slots are empty).
const uint32_t* slot_or_stand_in(int slot, int stand_in)
{
    const uint32_t* texels = texture_slots[slot];
    for (int i = 0; i < texture_size * texture_size; ++i)
        if (texels[i] != 0)
            return texels;
    std::fprintf(stderr, "oddball-tool: preview: slot %d is black, showing procedural slot %d instead\n", slot,
                 stand_in);
    return texture_slots[stand_in];
}

// A test card for the row wave: colour bars, a grid every 16 pixels and a
// diagonal, so every sideways shift shows.
std::vector<uint32_t> test_card()
{
    static const uint32_t bars[8] = {
        0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00, 0xFF00FF, 0xFF0000, 0x0000FF, 0x202020,
    };
    std::vector<uint32_t> card(frame_pixels);
    for (int32_t y = 0; y < screen_height; ++y)
        for (int32_t x = 0; x < screen_width; ++x) {
            uint32_t p = bars[x * 8 / screen_width];
            if (x % 16 == 0 || y % 16 == 0 || x - 40 == y)
                p = 0x000000;
            card[y * screen_width + x] = p;
        }
    return card;
}

void render_plasma(int32_t t, uint32_t* frame)
{
    plasma_warp(float(t / 10), slot_or_stand_in(12, 1), frame);
}

void render_zoomer(int32_t t, uint32_t* frame)
{
    tilted_zoomer(float(t / 10), float(t / 100), slot_or_stand_in(5, 1), frame);
}

// The zoomer with light streaking out of a wandering centre, as in the
// second scene of the show (its pulse taken as the time itself).
void render_streaks(int32_t t, uint32_t* frame)
{
    render_zoomer(t, frame);
    double u = t * 0.1;
    int32_t cx = round_to_int(160 + 54 * (std::cos(u * 0.007434944237918216) - std::sin(u * 0.007782101167315175)
                                          + std::cos(u * 0.006779661016949153)));
    int32_t cy = round_to_int(120 - 38 * (std::sin(u * 0.008032128514056226) + std::cos(u * 0.006920415224913495)
                                          - std::sin(u * 0.006349206349206349)));
    double rise = std::fmin(0.4f, t * 0.0005);
    radial_zoom_feedback(frame, cx, cy, 251, float(rise * rise + 0.05), 0.0f);
}

// One lens dome over two textures at the centre and depth the lens scene
// would use at this time.
void render_lens(int32_t t, uint32_t* frame)
{
    double p0 = t * 0.1923076923076923, p2 = t;
    int32_t cx = round_to_int(160 + 64 * std::cos(p0 * 0.003812428516965307) + 64 * std::sin(p0 * 0.012150668286755772));
    int32_t cy = round_to_int(120 + 48 * std::sin(p0 * 0.004304778303917348) + 48 * std::cos(p0 * 0.009775171065493646));
    int32_t z = round_to_int(40 * std::sin(p2 * 0.0028129395218002813) - 290);
    int32_t v_off = round_to_int(128 * std::sin(p0 * 0.0021626297577854673));
    int32_t u_off = round_to_int(64 + 128 * std::cos(p0 * 0.0028216704288939053));
    std::vector<uint32_t> scratch(frame_pixels);
    lens_blobs(cx, cy, float(z), u_off, v_off, slot_or_stand_in(27, 1), slot_or_stand_in(28, 4), frame,
               scratch.data());
}

// The plasma smeared into a height field, then the refraction of the
// bump-mapping scene over it.
void render_bump(int32_t t, uint32_t* frame)
{
    plasma_warp(float(t / 20), slot_or_stand_in(7, 1), frame);
    std::vector<uint32_t> height(frame_pixels);
    smear_blur(3, frame, height.data());
    int32_t a = round_to_int(128 * std::cos(t * 0.0005554629783924901));
    int32_t b = round_to_int(128 * std::sin(t * 0.0005024115755627009));
    int32_t c = round_to_int(256 * std::cos(t * 0.00042729564585736873));
    int32_t d = round_to_int(256 * std::sin(t * 0.0003780146669690784));
    bump_refraction(a, b, c, d, slot_or_stand_in(25, 4), slot_or_stand_in(16, 0), height.data(), frame);
}

void render_wave(int32_t t, uint32_t* frame)
{
    std::vector<uint32_t> card = test_card();
    row_wave(float(t), 2.0f, image{screen_width, screen_height, card.data()}, image{screen_width, screen_height, frame});
}

struct preview_effect {
    const char* name;
    void (*render)(int32_t t, uint32_t* frame);
};

// The effects by name, in the order the help lists them.
const preview_effect effects[] = {
    {"plasma", render_plasma},    // plasma_warp(t/10), slot 12
    {"zoomer", render_zoomer},    // tilted_zoomer(t/10, rotation t/100), slot 5
    {"streaks", render_streaks},  // the zoomer, then radial_zoom_feedback(step 251)
    {"lens", render_lens},        // lens_blobs, slots 27 and 28
    {"bump", render_bump},        // smear_blur of the plasma (slot 7), bump_refraction(slots 25, 16)
    {"wave", render_wave},        // row_wave(t, 2) of a test card
};

int preview(int argc, char** argv)
{
    if (argc != 4)
        return tool_usage_error("preview: expected EFFECT TIME FILE.png (see oddball-tool --help)");
    const preview_effect* effect = nullptr;
    for (const preview_effect& e : effects)
        if (!std::strcmp(e.name, argv[1]))
            effect = &e;
    if (!effect)
        return tool_usage_error("preview: unknown effect '%s' (plasma, zoomer, streaks, lens, bump or wave)", argv[1]);
    int32_t t = 0;
    if (!parse_integer(argv[2], INT32_MIN, INT32_MAX, &t))
        return tool_usage_error("preview: TIME must be a whole number of milliseconds, not '%s'", argv[2]);

    precalc_all();
    picture frame;
    frame.width = screen_width;
    frame.height = screen_height;
    frame.pixels.assign(frame_pixels, 0);
    effect->render(t, frame.pixels.data());
    std::string error;
    if (!png_write(argv[3], frame, false, &error))
        return tool_fail("preview: %s", error.c_str());
    return 0;
}

}  // namespace

// Slots the atlas and the captions fill are black until those steps exist;
// such a slot is replaced by a procedural one, with a note on standard error.
const tool_command preview_command{"preview", "EFFECT TIME FILE.png",
                     "one 2D effect alone on a cleared 320 x 240 frame at TIME ms, as PNG: plasma, zoomer, streaks, "
                     "lens, bump or wave (slots not built yet are replaced by procedural ones)",
                     preview};
