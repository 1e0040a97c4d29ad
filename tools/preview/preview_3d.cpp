// oddball-tool preview-3d: one frame of a 3D render mode as a PNG, to look at (portable; tool code).
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "director/precalc.h"
#include "engine3d/render_modes.h"
#include "media/media_files.h"
#include "tools/cli/command.h"
#include "tools/preview/stand_in_textures.h"

namespace {

// A finite number, nothing before or after it.
bool parse_number(const char* text, double& out)
{
    char* end = nullptr;
    out = std::strtod(text, &end);
    return *text && end && !*end && std::isfinite(out);
}

// Exactly six hex digits, RRGGBB.
bool parse_colour(const char* text, double& out)
{
    if (std::strlen(text) != 6 || std::strspn(text, "0123456789abcdefABCDEF") != 6)
        return false;
    out = double(std::strtoul(text, nullptr, 16));
    return true;
}

int preview_3d(int argc, char** argv)
{
    if (argc < 4)
        return tool_usage_error("preview-3d: expected MODE T FILE.png");
    const std::string mode = argv[1];
    double t = 0, amplitude = 0.4, spin = 0, background = -1;
    bool spin_given = false;
    if (!parse_number(argv[2], t))
        return tool_usage_error("preview-3d: T must be a number, not '%s'", argv[2]);
    const std::string file = argv[3];
    // Options come in pairs: a name and its value.
    for (int i = 4; i < argc; i += 2) {
        const char* option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        double number;
        if (!std::strcmp(option, "--amplitude") || !std::strcmp(option, "--spin")) {
            if (!parse_number(value, number))
                return tool_usage_error("preview-3d: %s takes a number, not '%s'", option, value);
            (option[2] == 'a' ? amplitude : spin) = number;
            spin_given = spin_given || option[2] == 's';
        } else if (!std::strcmp(option, "--background")) {
            if (!parse_colour(value, background))
                return tool_usage_error("preview-3d: --background takes RRGGBB (six hex digits), not '%s'", value);
        } else {
            return tool_usage_error("preview-3d: unexpected argument '%s'", option);
        }
    }
    const bool wire = mode == "wire-dots" || mode == "wire-outline";
    if (mode != "blob0" && mode != "blob1" && !wire && mode != "sprite-sphere")
        return tool_usage_error("preview-3d: MODE is blob0, blob1, wire-dots, wire-outline or sprite-sphere, not '%s'",
                                mode.c_str());

    precalc_all();
    const uint32_t stand_ins = fill_stand_in_textures(true);
    if (stand_ins)
        std::fprintf(stderr, "preview-3d: stand-in textures for empty slots (mask 0x%x)\n", stand_ins);
    // Subtractive lines show on light ground, the additive dots of wire-dots on grey.
    const uint32_t fill = background >= 0 ? uint32_t(background) : mode == "wire-dots" ? 0x808080 : wire ? 0xFFFFFF : 0;
    std::vector<uint32_t> frame(320 * 240, fill);
    if (mode == "blob0")
        render_blob(0, float(t), float(amplitude), float(spin_given ? spin : t / 30), texture_slots[slot_clouds], texture_slots[slot_swirl], texture_slots[slot_environment], frame.data());
    else if (mode == "blob1")
        render_blob(1, float(t), float(amplitude), float(spin_given ? spin : t * 0.6), texture_slots[slot_clouds], texture_slots[slot_swirl], texture_slots[slot_environment], frame.data());
    else if (mode == "wire-dots")
        render_wire_dots(float(t), texture_slots[slot_glow], frame.data());
    else if (mode == "wire-outline")
        render_wire_outline(float(t), frame.data());
    else
        render_sprite_sphere(float(t), texture_slots, frame.data());
    picture pic;
    pic.width = 320;
    pic.height = 240;
    pic.pixels = frame;
    std::string error;
    if (!png_write(file, pic, false, &error))
        return tool_fail("preview-3d: %s", error.c_str());
    return 0;
}

}  // namespace

const tool_command preview_3d_command{"preview-3d",
                     "MODE T FILE.png [--amplitude A] [--spin S] [--background RRGGBB]",
                     "draws one frame of a 3D render mode (blob0, blob1, wire-dots, wire-outline, sprite-sphere) "
                     "at time T; empty texture slots get stand-ins",
                     preview_3d};
