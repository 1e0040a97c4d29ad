// The texture atlas: decoding the stored picture, its colour levels and cutting it into texture slots (portable).
#include "atlas/atlas.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "atlas/mpeg1_decoder.h"
#include "base/maths.h"
#include "base/memory.h"
#include "base/image.h"
#include "data/blocks.h"

atlas_state atlas;

// Column, row, width, height in atlas pixels; tile i becomes the show's texture slot 5 + i.
extern const atlas_tile atlas_tiles[atlas_tile_count] = {
    {0, 0, 64, 64},      // brown organic texture
    {64, 0, 64, 64},     // blue-grey clouds
    {128, 0, 64, 64},    // bubbles on a dark ground
    {192, 0, 64, 64},    // glossy sphere
    {0, 64, 64, 64},     // thin cyan filaments on black
    {64, 64, 64, 64},   // bright disc with a soft glow
    {128, 64, 64, 64},  // painted face
    {192, 64, 64, 64},  // cyan ring
    {0, 128, 64, 64},   // black
    {64, 128, 64, 64},  // black
    {128, 128, 64, 64}, // orange swirl
    {192, 128, 64, 64}, // soft white glow
    {192, 64, 8, 64},   // strip of the ring tile
    {208, 64, 16, 64},  // strip of the ring tile
    {224, 64, 32, 32},  // corner of the ring tile
    {224, 96, 16, 32},  // part of the ring tile
    {240, 96, 16, 32},  // part of the ring tile
    {200, 64, 8, 64},   // strip of the ring tile
    {64, 9, 64, 55},    // the cloud tile without its top 9 rows
};

namespace {

inline uint32_t channel(uint32_t pixel, int shift)
{
    return (pixel >> shift) & 0xFF;
}

// One colour channel through the levels: k is the single-precision factor.
inline uint32_t level_channel(uint32_t c, int32_t black_point, float k)
{
    int32_t v = round_to_int(double(int32_t(c) - black_point) * double(k));
    return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

}  // namespace

void apply_levels(uint32_t* pixels, int32_t black_point, int32_t count)
{
    const float k = float(255.0 / double(255 - black_point));
    for (int32_t i = 0; i < count; ++i) {
        uint32_t p = pixels[i];
        pixels[i] = (level_channel(channel(p, 16), black_point, k) << 16) |
                    (level_channel(channel(p, 8), black_point, k) << 8) | level_channel(channel(p, 0), black_point, k);
    }
}

void resample_tile_plain(uint32_t* destination, const uint32_t* atlas_pixels, int32_t column, int32_t row,
                         int32_t width, int32_t height)
{
    int32_t position_y = row * 65536;
    for (int32_t i = 0; i < texture_size; ++i, position_y += height * 256) {
        const int32_t y0 = position_y >> 16;
        const int32_t y1 = y0 + 1 < row + height ? y0 + 1 : row;  // wraps inside the tile
        const uint32_t fy = uint32_t(position_y >> 8) & 255;
        const uint32_t* row0 = atlas_pixels + y0 * atlas_size;
        const uint32_t* row1 = atlas_pixels + y1 * atlas_size;
        int32_t position_x = column * 65536;
        for (int32_t j = 0; j < texture_size; ++j, position_x += width * 256) {
            const int32_t x0 = position_x >> 16;
            const int32_t x1 = x0 + 1 < column + width ? x0 + 1 : column;
            const uint32_t fx = uint32_t(position_x >> 8) & 255;
            const uint32_t w00 = ((255 - fx) * (255 - fy)) >> 8;
            const uint32_t w01 = (fx * (255 - fy)) >> 8;
            const uint32_t w10 = ((255 - fx) * fy) >> 8;
            const uint32_t w11 = (fx * fy) >> 8;
            uint32_t out = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                uint32_t c = (channel(row0[x0], shift) * w00 + channel(row0[x1], shift) * w01 +
                              channel(row1[x0], shift) * w10 + channel(row1[x1], shift) * w11) >> 8;
                out |= c << shift;
            }
            destination[i * texture_size + j] = out;
        }
    }
}

void resample_tile(uint32_t* destination, const uint32_t* atlas_pixels, int32_t column, int32_t row, int32_t width,
                   int32_t height)
{
#if defined(__SSE2__)
    // Two pixels at a time, their channels in 16-bit lanes.  Each weight is
    // a product of two bytes shifted down (below 65,536, so 16-bit products
    // are exact), the four weights sum to at most 254, so the weighted sum
    // of a channel stays below 65,536 as well.  The columns' sample places
    // and fractions are the same for every row: found once.
    int32_t first[texture_size], second[texture_size];
    alignas(16) int16_t fraction[texture_size * 4];  // fx in the four lanes of its pixel
    int32_t position_x = column * 65536;
    for (int32_t j = 0; j < texture_size; ++j, position_x += width * 256) {
        first[j] = position_x >> 16;
        second[j] = first[j] + 1 < column + width ? first[j] + 1 : column;
        for (int k = 0; k < 4; ++k)
            fraction[4 * j + k] = int16_t((position_x >> 8) & 255);
    }
    const __m128i zero = _mm_setzero_si128(), all = _mm_set1_epi16(255);
    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
    auto pair = [zero](const uint32_t* pixels, int32_t a, int32_t b) {
        const __m128i two = _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(pixels[a])), _mm_cvtsi32_si128(int(pixels[b])));
        return _mm_unpacklo_epi8(two, zero);
    };
    int32_t position_y = row * 65536;
    for (int32_t i = 0; i < texture_size; ++i, position_y += height * 256) {
        const int32_t y0 = position_y >> 16;
        const int32_t y1 = y0 + 1 < row + height ? y0 + 1 : row;
        const __m128i fy = _mm_set1_epi16(int16_t((position_y >> 8) & 255));
        const __m128i gy = _mm_sub_epi16(all, fy);
        const uint32_t* row0 = atlas_pixels + y0 * atlas_size;
        const uint32_t* row1 = atlas_pixels + y1 * atlas_size;
        uint32_t* out = destination + i * texture_size;
        for (int32_t j = 0; j < texture_size; j += 2) {
            const __m128i fx = _mm_load_si128(reinterpret_cast<const __m128i*>(fraction + 4 * j));
            const __m128i gx = _mm_sub_epi16(all, fx);
            const __m128i w00 = _mm_srli_epi16(_mm_mullo_epi16(gx, gy), 8);
            const __m128i w01 = _mm_srli_epi16(_mm_mullo_epi16(fx, gy), 8);
            const __m128i w10 = _mm_srli_epi16(_mm_mullo_epi16(gx, fy), 8);
            const __m128i w11 = _mm_srli_epi16(_mm_mullo_epi16(fx, fy), 8);
            __m128i sum = _mm_mullo_epi16(pair(row0, first[j], first[j + 1]), w00);
            sum = _mm_add_epi16(sum, _mm_mullo_epi16(pair(row0, second[j], second[j + 1]), w01));
            sum = _mm_add_epi16(sum, _mm_mullo_epi16(pair(row1, first[j], first[j + 1]), w10));
            sum = _mm_add_epi16(sum, _mm_mullo_epi16(pair(row1, second[j], second[j + 1]), w11));
            const __m128i pixels = _mm_srli_epi16(sum, 8);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + j),
                             _mm_and_si128(_mm_packus_epi16(pixels, pixels), colour));
        }
    }
#else
    resample_tile_plain(destination, atlas_pixels, column, row, width, height);
#endif
}

void build_texture_atlas(uint32_t* const tiles[atlas_tile_count], uint32_t* clouds_copy)
{
    atlas.atlas_pixels = static_cast<uint32_t*>(mem_alloc(size_t(atlas_size) * atlas_size * 4));
    decode_atlas_picture(embedded_atlas_m1v, uint32_t(embedded_atlas_m1v_size),
                         image{atlas_size, atlas_size, atlas.atlas_pixels}, atlas_filter_rows);
    apply_levels(atlas.atlas_pixels, atlas_black_point, atlas_filter_rows * atlas_size);
    for (int i = 0; i < atlas_tile_count; ++i) {
        const atlas_tile& tile = atlas_tiles[i];
        resample_tile(tiles[i], atlas.atlas_pixels, tile.column, tile.row, tile.width, tile.height);
    }
    std::memcpy(clouds_copy, tiles[1], size_t(texture_size) * texture_size * 4);
}
