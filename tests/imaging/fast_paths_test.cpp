// Every faster loop of the image operations and blits against its plain version: every byte pair (triple for alpha) through the vector rules, random images at odd sizes and clipping positions.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/blits.h"
#include "imaging/image.h"
#include "imaging/pixel_ops.h"
#include "imaging/pixel_ops_sse2.h"

namespace {

struct random_bytes {
    uint32_t seed;
    uint32_t next()
    {
        seed = seed * 1664525u + 1013904223u;
        return seed ^ (seed >> 15);
    }
};

// A seeded picture with all four bytes busy; every fourth image has only
// 0 and 255 alphas and extreme bytes, where saturation and alpha 255 bite.
image random_image(int32_t width, int32_t height, uint32_t seed)
{
    image im = image_create(int16_t(width), int16_t(height));
    random_bytes r{seed};
    for (int32_t i = 0; i < width * height; ++i) {
        uint32_t v = r.next();
        if (seed % 4 == 0)
            v = (v & 0x01010101u) * 0xFF;
        im.pixels[i] = v;
    }
    return im;
}

std::vector<uint32_t> pixels_of(const image& im)
{
    return std::vector<uint32_t>(im.pixels, im.pixels + size_t(im.width) * size_t(im.height));
}

uint32_t pack(uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3)
{
    return b0 | (b1 << 8) | (b2 << 16) | (b3 << 24);
}

}  // namespace

#if defined(__SSE2__)

namespace {

// Runs the four-pixel rule on four pixel pairs and compares with the scalar rule.
template <typename Four, typename One>
int count_mismatches(const uint32_t (&a)[4], const uint32_t (&b)[4], Four four, One one)
{
    uint32_t out[4];
    pixels4_store(out, four(pixels4_load(a), pixels4_load(b)));
    int mismatches = 0;
    for (int i = 0; i < 4; ++i)
        mismatches += out[i] != one(a[i], b[i]);
    return mismatches;
}

}  // namespace

TEST(VectorPixelRules, EveryBytePairMatchesTheScalarRules)
{
    int add = 0, subtract = 0, mul = 0, scale_offset = 0;
    for (uint32_t x = 0; x < 256; ++x)
        for (uint32_t y = 0; y < 256; ++y) {
            // Each lane of each pixel gets a different pairing, so a lane
            // leaking into its neighbour shows.
            const uint32_t a[4] = {pack(x, y, 255 - x, x ^ y), pack(y, x, x, 255 - y), pack(x, 255 - y, y, x),
                                   pack(255 - x, x, x ^ 0x55, y)};
            const uint32_t b[4] = {pack(y, x, y, 255 - y), pack(x, 255 - x, y ^ 0xAA, x), pack(255 - y, y, x, y),
                                   pack(x, y, 255 - x, x)};
            add += count_mismatches(a, b, pixels4_add_saturate, pixel_add_saturate);
            subtract += count_mismatches(a, b, pixels4_subtract_saturate, pixel_subtract_saturate);
            mul += count_mismatches(a, b, pixels4_mul, pixel_mul);
            // Brightness: b as the per-lane factors, a's mirror as the offsets.
            uint32_t out[4];
            const __m128i offsets = _mm_set1_epi32(int(pack(x, y, 255 - x, 255 - y)));
            pixels4_store(out, pixels4_scale_offset(pixels4_load(a), pixels4_load(b), offsets));
            for (int i = 0; i < 4; ++i)
                scale_offset += out[i] != pixel_scale_offset(a[i], b[i], pack(x, y, 255 - x, 255 - y));
        }
    EXPECT_EQ(add, 0);
    EXPECT_EQ(subtract, 0);
    EXPECT_EQ(mul, 0);
    EXPECT_EQ(scale_offset, 0);
}

TEST(VectorPixelRules, BlendAlphaMatchesForEverySourceAlphaAndBytePair)
{
    int mismatches = 0;
    for (uint32_t sa = 0; sa < 256; ++sa)
        for (uint32_t s = 0; s < 256; ++s)
            for (uint32_t d = 0; d < 256; d += 4) {
                uint32_t sources[4], destinations[4];
                for (uint32_t k = 0; k < 4; ++k) {
                    uint32_t dk = d + k;
                    sources[k] = pack(s, 255 - s, s ^ 0x33, sa);
                    destinations[k] = pack(dk, dk ^ 0xA5, 255 - dk, dk);
                }
                mismatches += count_mismatches(sources, destinations, pixels4_blend_alpha, pixel_blend_alpha);
            }
    EXPECT_EQ(mismatches, 0);
}

#endif

TEST(FastBlits, MatchThePlainBlitsAtOddSizesAndEveryClip)
{
    using blit_function = void (*)(image, image, int16_t, int16_t);
    const struct {
        blit_function fast, plain;
    } pairs[] = {{blit_alpha, blit_alpha_plain},
                 {blit_add, blit_add_plain},
                 {blit_subtract, blit_subtract_plain},
                 {blit_multiply, blit_multiply_plain}};
    const int32_t sizes[][2] = {{1, 1}, {3, 2}, {5, 7}, {13, 4}, {37, 11}, {64, 9}};
    uint32_t seed = 1;
    int mismatches = 0, cases = 0;
    for (const auto& pair : pairs)
        for (const auto& size : sizes)
            for (int16_t y : {-12, -1, 0, 3, 18})
                for (int16_t x : {-40, -5, -1, 0, 1, 2, 3, 17, 29, 30, 41}) {
                    image source = random_image(size[0], size[1], ++seed);
                    image fast = random_image(31, 19, ++seed);
                    image plain = image_copy(fast);
                    pair.fast(source, fast, x, y);
                    pair.plain(source, plain, x, y);
                    mismatches += pixels_of(fast) != pixels_of(plain);
                    ++cases;
                    image_release(source);
                    image_release(fast);
                    image_release(plain);
                }
    EXPECT_EQ(mismatches, 0) << "of " << cases;

    for (auto [w, h] : {std::pair{7, 3}, {320, 240}, {1, 1}, {9, 9}}) {
        image source = random_image(w, h, ++seed);
        image fast = random_image(9, 5, ++seed);  // smaller, equal or larger than the source
        image plain = image_copy(fast);
        add_image(source, fast);
        add_image_plain(source, plain);
        EXPECT_EQ(pixels_of(fast), pixels_of(plain)) << w << " x " << h;
        image_release(source);
        image_release(fast);
        image_release(plain);
    }
}

TEST(FastImageOperations, BlursMatchThePlainOnesForEveryRadiusAndOddSizes)
{
    const int32_t sizes[][2] = {{1, 1}, {2, 3}, {7, 5}, {13, 1}, {1, 13}, {33, 17}, {320, 24}};
    uint32_t seed = 100;
    for (const auto& size : sizes)
        for (int16_t radius : {1, 2, 3, 5, 10, 40, 127, 128, 129, 300}) {
            image source = random_image(size[0], size[1], ++seed);
            image fast = image_create(int16_t(size[0]), int16_t(size[1]));
            image plain = image_create(int16_t(size[0]), int16_t(size[1]));
            blur_horizontal(radius, source, fast);
            blur_horizontal_plain(radius, source, plain);
            EXPECT_EQ(pixels_of(fast), pixels_of(plain)) << "horizontal " << size[0] << " x " << size[1] << " r " << radius;
            blur_vertical(radius, source, fast);
            blur_vertical_plain(radius, source, plain);
            EXPECT_EQ(pixels_of(fast), pixels_of(plain)) << "vertical " << size[0] << " x " << size[1] << " r " << radius;
            image_release(source);
            image_release(fast);
            image_release(plain);
        }
}

TEST(FastImageOperations, BrightnessContrastAndColourMatchThePlainOnes)
{
    uint32_t seed = 500;
    for (auto [w, h] : {std::pair{1, 1}, {3, 5}, {17, 3}, {64, 64}}) {
        for (int16_t level : {-32768, -300, -255, -254, -128, -1, 1, 2, 92, 127, 254, 255, 256, 32767}) {
            image fast = random_image(w, h, ++seed);
            image plain = image_copy(fast);
            adjust_brightness(level, fast);
            adjust_brightness_plain(level, plain);
            EXPECT_EQ(pixels_of(fast), pixels_of(plain)) << "brightness " << level;
            image_release(fast);
            image_release(plain);
        }
        for (uint16_t amount : {0, 1, 50, 150, 256, 500, 600, 4000, 65535}) {
            image fast = random_image(w, h, ++seed);
            image plain = image_copy(fast);
            adjust_contrast(amount, fast);
            adjust_contrast_plain(amount, plain);
            EXPECT_EQ(pixels_of(fast), pixels_of(plain)) << "contrast " << amount;
            image_release(fast);
            image_release(plain);
        }
        for (uint32_t colour : {0u, 0xFFFFFFFFu, 0xFF000000u, 0x00999999u, 0xFF886699u, 0x12345678u}) {
            image fast = random_image(w, h, ++seed);
            image plain = image_copy(fast);
            multiply_colour(colour, fast);
            multiply_colour_plain(colour, plain);
            EXPECT_EQ(pixels_of(fast), pixels_of(plain)) << "colour " << colour;
            image_release(fast);
            image_release(plain);
        }
    }
}

TEST(FastImageOperations, ContrastMatchesThePlainOneForEveryAmountAndByte)
{
    // Every byte value in every lane, against every amount.
    image values = image_create(256, 1);
    for (uint32_t c = 0; c < 256; ++c)
        values.pixels[c] = c | (255 - c) << 8 | ((c * 37) & 255) << 16 | c << 24;
    image fast = image_create(256, 1), plain = image_create(256, 1);
    int mismatched_amounts = 0;
    for (uint32_t amount = 0; amount < 65536; ++amount) {
        std::memcpy(fast.pixels, values.pixels, 256 * 4);
        std::memcpy(plain.pixels, values.pixels, 256 * 4);
        adjust_contrast(uint16_t(amount), fast);
        adjust_contrast_plain(uint16_t(amount), plain);
        mismatched_amounts += std::memcmp(fast.pixels, plain.pixels, 256 * 4) != 0;
    }
    EXPECT_EQ(mismatched_amounts, 0);
    image_release(values);
    image_release(fast);
    image_release(plain);
}
