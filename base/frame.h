// The size of the frame buffer, and so of every frame-sized buffer of the show.
#pragma once

#include <cstdint>

constexpr int32_t screen_width = 320;
constexpr int32_t screen_height = 240;
constexpr int32_t frame_pixels = screen_width * screen_height;
