// The source picture of the texture atlas, painted by seeded code from content/atlas/atlas.txt (portable; tools only).
#pragma once

#include <cstdint>
#include <string>

#include "media/media_files.h"

struct atlas_parameters {
    uint32_t seed = 1;
    int qscale = 5;
    // Key colours, 0xRRGGBB, as the show should see them.
    uint32_t organic_dark = 0, organic_light = 0;
    uint32_t cloud_dark = 0, cloud_light = 0;
    uint32_t bubble_ground = 0, bubble_tint = 0;
    uint32_t sphere_colour = 0;
    uint32_t filament_colour = 0;
    uint32_t disc_glow = 0;
    uint32_t skin = 0, hair = 0, iris = 0, lips = 0, face_ground = 0;
    uint32_t ring_colour = 0;
    uint32_t swirl_dark = 0, swirl_light = 0;
};

// Reads `key value` lines (# starts a comment); every key must be given.
// False with a one-line `error` naming the file and line.
bool read_atlas_parameters(const std::string& path, atlas_parameters* parameters, std::string* error);

// Paints the 256 x 192 atlas: twelve 64 x 64 tiles in their fixed places.
// The top 128 rows are painted so that the show's levels (black point 22)
// bring them back to the intended colours.
picture paint_atlas_picture(const atlas_parameters& parameters);

// content/atlas/atlas.txt under `content_dir`, read and painted; the stream
// the "atlas" data builder stores.
bool build_atlas_stream(const std::string& content_dir, picture* source, std::vector<uint8_t>* stream,
                        std::string* error);
