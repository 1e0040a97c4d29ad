// Image operations: blur windows and rounding, brightness and contrast ends, glow, doubling, turning, colour, ownership.
#include "imaging/image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/memory.h"

namespace {

image make_image(int16_t width, int16_t height, const std::vector<uint32_t>& values)
{
    image im = image_create(width, height);
    for (size_t i = 0; i < values.size(); ++i)
        im.pixels[i] = values[i];
    return im;
}

std::vector<uint32_t> pixels_of(const image& im)
{
    return std::vector<uint32_t>(im.pixels, im.pixels + static_cast<size_t>(im.width) * im.height);
}

// A fixed pseudo-random picture (seeded) with all four bytes busy.
image noise_image(int16_t width, int16_t height, uint32_t seed)
{
    image im = image_create(width, height);
    for (int i = 0; i < width * height; ++i) {
        seed = seed * 1664525u + 1013904223u;
        im.pixels[i] = seed ^ (seed >> 13);
    }
    return im;
}

// A box blur written out directly: for each output the 2r samples of the
// window summed afresh, indices clamped to the line.
std::vector<uint32_t> direct_blur(const image& im, int r, bool horizontal)
{
    std::vector<uint32_t> out(static_cast<size_t>(im.width) * im.height);
    uint32_t k = 65536 / (2 * r);
    int length = horizontal ? im.width : im.height;
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x) {
            uint32_t result = 0;
            for (int c = 0; c < 4; ++c) {
                uint32_t sum = 0;
                int centre = horizontal ? x : y;
                for (int i = centre - r + 1; i <= centre + r; ++i) {
                    int j = i < 0 ? 0 : i >= length ? length - 1 : i;
                    uint32_t p = horizontal ? im.pixels[y * im.width + j] : im.pixels[j * im.width + x];
                    sum += (p >> (8 * c)) & 0xFF;
                }
                result |= (static_cast<uint32_t>(uint64_t(k) * sum / 65536)) << (8 * c);
            }
            out[y * im.width + x] = result;
        }
    return out;
}

}  // namespace

TEST(Image, CreateCopyAndRelease)
{
    image im = image_create(5, 3);
    ASSERT_EQ(im.width, 5);
    ASSERT_EQ(im.height, 3);
    for (uint32_t p : pixels_of(im))
        EXPECT_EQ(p, 0u);
    im.pixels[7] = 0x12345678;
    image copy = image_copy(im);
    EXPECT_NE(copy.pixels, im.pixels);
    EXPECT_EQ(pixels_of(copy), pixels_of(im));
    image_release(copy);
    EXPECT_EQ(copy.width, 0);
    EXPECT_EQ(copy.height, 0);
    EXPECT_EQ(copy.pixels, nullptr);
    image_release(im);

    image negative = image_create(-4, 2);  // no pixels rather than a wrapped size
    EXPECT_EQ(negative.width, 0);
    image_release(negative);
}

TEST(Blur, RadiusBelowOneCopiesAndMismatchedSizesWriteNothing)
{
    image source = noise_image(7, 5, 1);
    for (int16_t radius : {0, -1, -32768}) {
        image destination = image_create(7, 5);
        blur_horizontal(radius, source, destination);
        EXPECT_EQ(pixels_of(destination), pixels_of(source));
        image other = image_create(7, 5);
        blur_vertical(radius, source, other);
        EXPECT_EQ(pixels_of(other), pixels_of(source));
        image_release(destination);
        image_release(other);
    }
    for (auto [w, h] : {std::pair<int16_t, int16_t>{6, 5}, {7, 4}, {5, 7}}) {
        image destination = make_image(w, h, std::vector<uint32_t>(w * h, 0xDEADBEEF));
        blur_horizontal(2, source, destination);
        blur_vertical(2, source, destination);
        blur_horizontal(0, source, destination);
        for (uint32_t p : pixels_of(destination))
            EXPECT_EQ(p, 0xDEADBEEFu);
        image_release(destination);
    }
    image_release(source);
}

TEST(Blur, FlatAreasDarkenOnlyWhenTwoRadiiDoNotDivide65536)
{
    for (int16_t radius : {1, 2, 3, 4}) {
        image flat = make_image(12, 9, std::vector<uint32_t>(12 * 9, 0xFF64FF64));
        blur(radius, radius, flat);
        // radius 3: k = 10922, so 255 -> 254 and 100 -> 99 in each pass
        uint32_t expected = radius == 3 ? 0xFD62FD62 : 0xFF64FF64;
        for (uint32_t p : pixels_of(flat))
            ASSERT_EQ(p, expected) << "radius " << radius;
        image_release(flat);
    }
    image flat = make_image(12, 1, std::vector<uint32_t>(12, 0xFF64FF64));
    image once = image_create(12, 1);
    blur_horizontal(3, flat, once);
    EXPECT_EQ(once.pixels[5], 0xFE63FE63u);
    image_release(flat);
    image_release(once);
}

TEST(Blur, WindowCoversTheTwoRadiusSamplesEndingAtXPlusRadius)
{
    // One bright pixel at 3, radius 1: the window of x is x .. x+1.
    image line = make_image(7, 1, {0, 0, 0, 0xFFFFFFFF, 0, 0, 0});
    image out = image_create(7, 1);
    blur_horizontal(1, line, out);
    EXPECT_EQ(pixels_of(out), (std::vector<uint32_t>{0, 0, 0x7F7F7F7F, 0x7F7F7F7F, 0, 0, 0}));
    image_release(line);
    image_release(out);
}

TEST(Blur, RunningSumsMatchADirectWindowSum)
{
    image source = noise_image(23, 17, 7);
    image out = image_create(23, 17);
    // Radii up to beyond the image's size: the window stays inside each line.
    for (int16_t r : {1, 2, 3, 5, 8, 16, 17, 23, 40}) {
        blur_horizontal(r, source, out);
        EXPECT_EQ(pixels_of(out), direct_blur(source, r, true)) << "horizontal radius " << r;
        blur_vertical(r, source, out);
        EXPECT_EQ(pixels_of(out), direct_blur(source, r, false)) << "vertical radius " << r;
    }
    image_release(source);
    image_release(out);
}

TEST(Blur, BlurRunsRowsThenColumnsInPlace)
{
    image im = noise_image(16, 11, 3);
    image rows = image_create(16, 11);
    blur_horizontal(2, im, rows);
    image expected = image_create(16, 11);
    blur_vertical(5, rows, expected);
    blur(2, 5, im);
    EXPECT_EQ(pixels_of(im), pixels_of(expected));
    for (image* i : {&im, &rows, &expected})
        image_release(*i);
}

TEST(Brightness, EndsAndMiddle)
{
    const std::vector<uint32_t> start = {0xFFFFFFFF, 0x80C81001, 0x00000000, 0x7F102030};
    image im = make_image(2, 2, start);
    adjust_brightness(0, im);
    EXPECT_EQ(pixels_of(im), start);

    adjust_brightness(-255, im);  // everything black, alpha included
    EXPECT_EQ(pixels_of(im), std::vector<uint32_t>(4, 0));
    image_release(im);

    im = make_image(2, 2, start);
    adjust_brightness(255, im);  // colour white, alpha x 255 >> 8
    EXPECT_EQ(pixels_of(im), (std::vector<uint32_t>{0xFEFFFFFF, 0x7FFFFFFF, 0x00FFFFFF, 0x7EFFFFFF}));
    image_release(im);

    // Beyond the ends acts as the ends; -32768 must not wrap back to bright.
    for (int16_t level : {-256, -1000, -32768}) {
        im = make_image(2, 2, start);
        adjust_brightness(level, im);
        EXPECT_EQ(pixels_of(im), std::vector<uint32_t>(4, 0)) << level;
        image_release(im);
    }
    im = make_image(2, 2, start);
    adjust_brightness(32767, im);
    EXPECT_EQ(pixels_of(im), (std::vector<uint32_t>{0xFEFFFFFF, 0x7FFFFFFF, 0x00FFFFFF, 0x7EFFFFFF}));
    image_release(im);

    im = make_image(1, 1, {0xFFC80A00});
    adjust_brightness(-128, im);  // v = 127: 200 -> 99, 10 -> 4, alpha -> 0
    EXPECT_EQ(im.pixels[0], 0x00630400u);
    im.pixels[0] = 0xFFC80A00;
    adjust_brightness(100, im);  // (c x 155 >> 8) + 100: 200 -> 221, 10 -> 106, 0 -> 100
    EXPECT_EQ(im.pixels[0], 0xFEDD6A64u);
    image_release(im);
}

TEST(Contrast, ZeroKeepsColourButClearsAlphaAndFourTimesAroundMiddle)
{
    image im = make_image(2, 2, {0xFF123456, 0x80FFFFFF, 0x01000000, 0x7F7F7F7F});
    adjust_contrast(0, im);
    EXPECT_EQ(pixels_of(im), (std::vector<uint32_t>{0x00123456, 0x00FFFFFF, 0x00000000, 0x007F7F7F}));
    image_release(im);

    // 256: four times about 127; 126 -> 123 (arithmetic shift), 128 -> 131.
    im = make_image(1, 1, {0xFF7E7F80});
    adjust_contrast(256, im);
    EXPECT_EQ(im.pixels[0], 0x007B7F83u);
    image_release(im);
}

TEST(Contrast, HaloMaskOfCaptionsCutsBelowSevenAndAbove105)
{
    // brightness 92 then contrast 256 turns blurred values of 6 or less into
    // 0 and values of 106 or more into 255, rising in steps of about 4 between.
    image ramp = image_create(256, 1);
    for (uint32_t c = 0; c < 256; ++c)
        ramp.pixels[c] = c * 0x010101u;
    adjust_brightness(92, ramp);
    adjust_contrast(256, ramp);
    for (uint32_t c = 0; c < 256; ++c) {
        uint32_t blue = ramp.pixels[c] & 0xFF;
        if (c <= 6)
            EXPECT_EQ(blue, 0u) << c;
        else if (c >= 106)
            EXPECT_EQ(blue, 255u) << c;
        else
            EXPECT_TRUE(blue > 0 && blue < 255) << c;
        if (c > 7 && c < 106) {
            int step = static_cast<int>(blue) - static_cast<int>(ramp.pixels[c - 1] & 0xFF);
            EXPECT_TRUE(step >= 0 && step <= 8) << c;
        }
    }
    image_release(ramp);
}

TEST(Glow, IsBlurBrightnessContrastOnACopyAndConsumesTheSource)
{
    image source = noise_image(20, 14, 11);
    image expected = image_copy(source);
    blur(3, 3, expected);
    adjust_brightness(32, expected);
    adjust_contrast(500, expected);

    image glow = make_glow(3, 32, 500, source);
    EXPECT_EQ(source.pixels, nullptr);
    EXPECT_EQ(source.width, 0);
    EXPECT_EQ(source.height, 0);
    ASSERT_EQ(glow.width, 20);
    ASSERT_EQ(glow.height, 14);
    EXPECT_EQ(pixels_of(glow), pixels_of(expected));
    for (uint32_t p : pixels_of(glow))
        EXPECT_EQ(p >> 24, 0u);
    image_release(glow);
    image_release(expected);
}

TEST(Doubling, SizeHeightWidthRepeatPixelsAndConsumeTheSource)
{
    const std::vector<uint32_t> values = {1, 2, 3, 4, 5, 6};  // 3 x 2
    image source = make_image(3, 2, values);
    image both = double_size(source);
    EXPECT_EQ(source.pixels, nullptr);
    EXPECT_EQ(both.width, 6);
    EXPECT_EQ(both.height, 4);
    EXPECT_EQ(pixels_of(both), (std::vector<uint32_t>{1, 1, 2, 2, 3, 3, 1, 1, 2, 2, 3, 3,
                                                      4, 4, 5, 5, 6, 6, 4, 4, 5, 5, 6, 6}));
    image_release(both);

    source = make_image(3, 2, values);
    image tall = double_height(source);
    EXPECT_EQ(source.pixels, nullptr);
    EXPECT_EQ(tall.width, 3);
    EXPECT_EQ(tall.height, 4);
    EXPECT_EQ(pixels_of(tall), (std::vector<uint32_t>{1, 2, 3, 1, 2, 3, 4, 5, 6, 4, 5, 6}));
    image_release(tall);

    source = make_image(3, 2, values);
    image wide = double_width(source);
    EXPECT_EQ(source.pixels, nullptr);
    EXPECT_EQ(wide.width, 6);
    EXPECT_EQ(wide.height, 2);
    EXPECT_EQ(pixels_of(wide), (std::vector<uint32_t>{1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6}));
    image_release(wide);
}

TEST(Turning, RotateMirrorFlip)
{
    // a b c        c f
    // d e f   ->   b e   (the old right column read top to bottom is the new top row)
    //              a d
    image im = make_image(3, 2, {'a', 'b', 'c', 'd', 'e', 'f'});
    uint32_t* old_pixels = im.pixels;
    rotate_quarter(im);
    EXPECT_NE(im.pixels, old_pixels);
    ASSERT_EQ(im.width, 2);
    ASSERT_EQ(im.height, 3);
    EXPECT_EQ(pixels_of(im), (std::vector<uint32_t>{'c', 'f', 'b', 'e', 'a', 'd'}));
    // Four quarter turns come back.
    rotate_quarter(im);
    rotate_quarter(im);
    rotate_quarter(im);
    EXPECT_EQ(pixels_of(im), (std::vector<uint32_t>{'a', 'b', 'c', 'd', 'e', 'f'}));

    mirror_horizontal(im);
    EXPECT_EQ(im.width, 3);
    EXPECT_EQ(pixels_of(im), (std::vector<uint32_t>{'c', 'b', 'a', 'f', 'e', 'd'}));
    flip_vertical(im);
    EXPECT_EQ(im.height, 2);
    EXPECT_EQ(pixels_of(im), (std::vector<uint32_t>{'f', 'e', 'd', 'c', 'b', 'a'}));
    image_release(im);
}

TEST(Colour, InvertMultiplyAndAlphaFromBlue)
{
    image im = make_image(2, 1, {0x12345678, 0xFFFFFFFF});
    invert_image(im);
    EXPECT_EQ(pixels_of(im), (std::vector<uint32_t>{0xEDCBA987, 0x00000000}));

    im.pixels[0] = 0xFFFFFFFF;
    im.pixels[1] = 0x80402010;
    multiply_colour(0xFFFFFFFF, im);  // 255 -> 254 in every byte
    EXPECT_EQ(pixels_of(im), (std::vector<uint32_t>{0xFEFEFEFE, 0x7F3F1F0F}));
    im.pixels[0] = 0xFFFFFFFF;
    multiply_colour(0xFF000000, im);  // a black shadow that keeps its alpha
    EXPECT_EQ(pixels_of(im), (std::vector<uint32_t>{0xFE000000, 0x7E000000}));
    im.pixels[0] = 0xFFC86432;
    multiply_colour(0x80FF8000, im);  // each byte by its own factor
    EXPECT_EQ(im.pixels[0], 0x7FC73200u);
    image_release(im);

    image mask = make_image(2, 1, {0x112233F0, 0xFFFFFF07});
    image target = make_image(2, 1, {0xAA445566, 0x00778899});
    alpha_from_blue(mask, target);
    EXPECT_EQ(pixels_of(target), (std::vector<uint32_t>{0xF0445566, 0x07778899}));
    EXPECT_EQ(pixels_of(mask), (std::vector<uint32_t>{0x112233F0, 0xFFFFFF07}));
    image_release(mask);
    image_release(target);
}

TEST(Colour, AlphaFromBlueNeverWritesPastASmallerDestination)
{
    image mask = make_image(4, 2, std::vector<uint32_t>(8, 0x000000AB));
    std::vector<uint32_t> memory(8, 0x00123456);
    image small = {3, 1, memory.data()};
    alpha_from_blue(mask, small);
    EXPECT_EQ(memory, (std::vector<uint32_t>{0xAB123456, 0xAB123456, 0xAB123456, 0x00123456, 0x00123456,
                                             0x00123456, 0x00123456, 0x00123456}));
    image_release(mask);
}
