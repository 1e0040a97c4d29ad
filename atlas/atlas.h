// The texture atlas: decoding the stored picture, its colour levels and cutting it into texture slots (portable).
#pragma once

#include <cstdint>

constexpr int32_t atlas_size = 256;             // the atlas buffer is 256 x 256 pixels, stride 256
constexpr int32_t atlas_picture_height = 192;   // rows the stored picture fills
constexpr int32_t atlas_filter_rows = 128;      // rows that get block-edge smoothing and levels
constexpr int32_t atlas_black_point = 22;

// One tile: a rectangle of the atlas that fills a whole texture.
struct atlas_tile {
    int32_t column, row, width, height;
};
constexpr int atlas_tile_count = 19;  // the show's texture slots 5 to 23
extern const atlas_tile atlas_tiles[atlas_tile_count];

struct atlas_state {
    uint32_t* atlas_pixels;  // the decoded atlas, kept for the rest of the run
};
extern atlas_state atlas;

// The precalculation step: decodes the stored picture, applies the levels
// to its top 128 rows, fills tiles[i] (texture_size x texture_size) from
// atlas_tiles[i] and copies the clouds (tile 1) to `clouds_copy`.
void build_texture_atlas(uint32_t* const tiles[atlas_tile_count], uint32_t* clouds_copy);

// Stretches red, green and blue of the first `count` pixels so that
// `black_point` becomes 0 and 255 stays 255; clears the alpha byte.
void apply_levels(uint32_t* pixels, int32_t black_point, int32_t count);

// Fills the 256 x 256 `destination` from the rectangle of the 256-wide
// `atlas` by bilinear stretching, neighbours wrapping inside the rectangle.
void resample_tile(uint32_t* destination, const uint32_t* atlas_pixels, int32_t column, int32_t row, int32_t width,
                   int32_t height);
// The same pixel by pixel: the reference the faster version (two pixels at a
// time in SSE2) must match byte for byte.
void resample_tile_plain(uint32_t* destination, const uint32_t* atlas_pixels, int32_t column, int32_t row,
                         int32_t width, int32_t height);
