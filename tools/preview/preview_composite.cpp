// oddball-tool preview-composite: one frame of a composite effect at a given time, on procedural test textures, to a PNG (portable).
#include "imaging/effects.h"
#include "tools/cli/command.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/display.h"
#include "base/maths.h"
#include "base/memory.h"
#include "director/composite.h"
#include "director/precalc.h"
#include "imaging/blits.h"
#include "imaging/tables.h"
#include "media/media_files.h"

namespace {

// Test textures that make turning, zooming and layering easy to read: each
// slot a different pattern and tint, with a bright cross on texel (0, 0).
uint32_t test_texel(int slot, int u, int v)
{
    uint32_t r = 0, g = 0, b = 0;
    switch (slot % 5) {
    case 0:  // checkerboard of 32-texel squares over a gradient
        r = ((u / 32 + v / 32) % 2) ? 255 : 40;
        g = static_cast<uint32_t>(u);
        b = static_cast<uint32_t>(v);
        break;
    case 1: {  // rings round the centre
        const double d = std::hypot(u - 128.0, v - 128.0);
        r = static_cast<uint32_t>(127.5 + 127.5 * std::cos(d * 0.25));
        g = r / 2;
        b = 255 - r;
        break;
    }
    case 2:  // diagonal stripes
        g = ((u + v) / 16 % 2) ? 230 : 30;
        r = g / 3;
        b = static_cast<uint32_t>(v);
        break;
    case 3:  // xor pattern
        b = static_cast<uint32_t>(u ^ v);
        r = b / 2;
        g = 255 - b;
        break;
    default:  // grid lines
        r = g = b = (u % 32 < 3 || v % 32 < 3) ? 255 : 20;
        break;
    }
    if (u < 4 || v < 4)
        r = g = b = 255;
    return 0xFF000000u | r << 16 | g << 8 | b;
}

std::vector<std::vector<uint32_t>> fill_test_slots()
{
    std::vector<std::vector<uint32_t>> slots(texture_slot_count, std::vector<uint32_t>(256 * 256));
    for (int s = 0; s < texture_slot_count; ++s) {
        for (int v = 0; v < 256; ++v)
            for (int u = 0; u < 256; ++u)
                slots[s][v * 256 + u] = test_texel(s, u, v);
        texture_slots[s] = slots[s].data();
    }
    return slots;
}

// The closing scenes' layer at show time t.
void preview_rotozoom(int32_t t, uint32_t* frame)
{
    rotozoom_add(static_cast<float>(256 * real_sin(t * 0.00035518931590537754)),
                 static_cast<float>(256 + 128 * real_sin(t * 0.0006971556051310652)), t / 5, -t / 4,
                 round_to_int(160 + 120 * real_sin(t * 0.0018368846436443791)),
                 round_to_int(120 - 80 * real_cos(t * 0.0012748597654258032)),
                 round_to_int(70 + 60 * real_cos(t * 0.001048767697954903)), texture_slots[slot_face], frame);
}

// The tunnel without its sync surges: phase t / 2.
void preview_tunnel(int32_t t, uint32_t* frame)
{
    rotozoom_tunnel(t / 2, frame);
}

// The lens with its streaks as the layer scene draws it, without its sync
// surges: the dome's picture (slot 27) streaked on the frame, plus the other
// texture (slot 28) magnified in the scratch buffer, added on top.
void preview_lens_feedback(int32_t t, uint32_t* frame)
{
    blob_table_setup();
    std::vector<uint32_t> scratch(size_t(screen_width) * screen_height, 0);
    lens_feedback(static_cast<float>(t * 0.1923076923076923), 0.0f, static_cast<float>(t * 0.05), texture_slots[slot_lens_light],
                  texture_slots[slot_lens_dark], scratch.data(), frame);
    add_image({screen_width, screen_height, scratch.data()}, {screen_width, screen_height, frame});
}

int preview_composite(int argc, char** argv)
{
    if (argc != 4)
        return tool_usage_error("preview-composite: expected NAME TIME FILE.png");
    const std::string name = argv[1];
    int32_t t = 0;
    if (!parse_integer(argv[2], 0, 100000000, &t))
        return tool_usage_error("preview-composite: TIME must be milliseconds from 0 to 100000000, not '%s'", argv[2]);
    void (*render)(int32_t, uint32_t*) = nullptr;
    if (name == "rotozoom")
        render = preview_rotozoom;
    else if (name == "tunnel")
        render = preview_tunnel;
    else if (name == "lensfeedback")
        render = preview_lens_feedback;
    else
        return tool_usage_error("preview-composite: NAME must be rotozoom, tunnel or lensfeedback, not '%s'", argv[1]);

    std::vector<std::vector<uint32_t>> slots = fill_test_slots();
    picture frame;
    frame.width = screen_width;
    frame.height = screen_height;
    frame.pixels.assign(size_t(screen_width) * screen_height, 0);
    render(t, frame.pixels.data());
    for (auto& slot : texture_slots)
        slot = nullptr;
    std::string error;
    if (!png_write(argv[3], frame, false, &error))
        return tool_fail("preview-composite: %s", error.c_str());
    return 0;
}

}  // namespace

const tool_command preview_composite_command{"preview-composite", "NAME TIME FILE.png",
                     "one frame of rotozoom, tunnel or lensfeedback at TIME ms on test textures, as a PNG", preview_composite};
