// The image record every part of the show draws with; its operations are imaging's.
#pragma once

#include <cstdint>

// width x height pixels of 0xAARRGGBB, rows back to back.  The record that
// holds the pointer owns the pixels (from mem_alloc).
struct image {
    int32_t width;
    int32_t height;
    uint32_t* pixels;
};

// A texture is texture_size x texture_size texels, (u, v) at v * texture_size + u, wrapping.
constexpr int texture_size = 256;
