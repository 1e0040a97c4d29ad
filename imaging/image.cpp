// The image record's operations: create, copy, blur, brightness, contrast, glow, resize, turn, colour (portable).
#include "imaging/image.h"

#include <cstddef>
#include <cstring>

#include "imaging/pixel_ops.h"
#include "shell/memory.h"

namespace {

// Pixels in a record; a record with a negative size holds none.
size_t pixel_count(const image& im)
{
    if (im.width <= 0 || im.height <= 0)
        return 0;
    return static_cast<size_t>(im.width) * static_cast<size_t>(im.height);
}

image image_allocate(int32_t width, int32_t height)
{
    image result = {width < 0 ? 0 : width, height < 0 ? 0 : height, nullptr};
    result.pixels = static_cast<uint32_t*>(mem_alloc(pixel_count(result) * sizeof(uint32_t)));
    return result;
}

// Replaces the record's buffer with `replacement`, releasing the old one.
void image_replace(image& target, image replacement)
{
    image_release(target);
    target = replacement;
}

// One row or column of a box blur: `length` samples `stride` pixels apart.
// Sample indices are clamped to the line, which is what the edges repeat
// anyway, and also keeps a radius longer than the line inside it.
void blur_line(const uint32_t* source, uint32_t* destination, int32_t length, ptrdiff_t stride,
               int32_t radius, uint32_t k)
{
    const int32_t last = length - 1;
    auto sample = [&](int32_t i) {
        return source[(i < 0 ? 0 : i > last ? last : i) * stride];
    };
    uint32_t sums[4] = {};
    auto add = [&](uint32_t pixel, uint32_t times) {
        for (int c = 0; c < 4; ++c)
            sums[c] += ((pixel >> (8 * c)) & 0xFF) * times;
    };
    add(source[0], static_cast<uint32_t>(radius));
    for (int32_t i = 0; i < radius; ++i)
        add(sample(i), 1);
    for (int32_t x = 0; x < length; ++x) {
        uint32_t leaving = sample(x - radius);
        uint32_t entering = sample(x + radius);
        for (int c = 0; c < 4; ++c)
            sums[c] += ((entering >> (8 * c)) & 0xFF) - ((leaving >> (8 * c)) & 0xFF);
        destination[x * stride] = pixel_box_average(sums, k);
    }
}

}  // namespace

image image_create(int16_t width, int16_t height)
{
    return image_allocate(width, height);
}

image image_copy(image source)
{
    image result = image_allocate(source.width, source.height);
    size_t count = pixel_count(result);
    if (count)
        std::memcpy(result.pixels, source.pixels, count * sizeof(uint32_t));
    return result;
}

void image_release(image& target)
{
    mem_free(target.pixels);
    target = {0, 0, nullptr};
}

void blur_horizontal(int16_t radius, image source, image destination)
{
    if (source.width != destination.width || source.height != destination.height)
        return;
    size_t count = pixel_count(source);
    if (count == 0)
        return;
    if (radius < 1) {
        std::memcpy(destination.pixels, source.pixels, count * sizeof(uint32_t));
        return;
    }
    const uint32_t k = 65536u / (2u * static_cast<uint32_t>(radius));
    for (int32_t y = 0; y < source.height; ++y) {
        size_t row = static_cast<size_t>(y) * static_cast<size_t>(source.width);
        blur_line(source.pixels + row, destination.pixels + row, source.width, 1, radius, k);
    }
}

void blur_vertical(int16_t radius, image source, image destination)
{
    if (source.width != destination.width || source.height != destination.height)
        return;
    size_t count = pixel_count(source);
    if (count == 0)
        return;
    if (radius < 1) {
        std::memcpy(destination.pixels, source.pixels, count * sizeof(uint32_t));
        return;
    }
    const uint32_t k = 65536u / (2u * static_cast<uint32_t>(radius));
    for (int32_t x = 0; x < source.width; ++x)
        blur_line(source.pixels + x, destination.pixels + x, source.height, source.width, radius, k);
}

void blur(int16_t horizontal_radius, int16_t vertical_radius, image target)
{
    image scratch = image_copy(target);
    blur_horizontal(horizontal_radius, target, scratch);
    blur_vertical(vertical_radius, scratch, target);
    image_release(scratch);
}

void adjust_brightness(int16_t level, image target)
{
    if (level == 0)
        return;
    uint32_t factors;
    uint32_t offsets;
    if (level < 0) {
        // Towards black; alpha goes to 0 with a factor of 0 in its lane.
        int32_t v = level + 255;
        if (v < 0)
            v = 0;
        factors = static_cast<uint32_t>(v) * 0x010101u;
        offsets = 0;
    } else {
        // Towards white; alpha is scaled by 255, so 255 becomes 254.
        int32_t v = level > 255 ? 255 : level;
        factors = static_cast<uint32_t>(255 - v) * 0x010101u | 0xFF000000u;
        offsets = static_cast<uint32_t>(v) * 0x010101u;
    }
    uint32_t* pixels = target.pixels;
    size_t count = pixel_count(target);
    for (size_t i = 0; i < count; ++i)
        pixels[i] = pixel_scale_offset(pixels[i], factors, offsets);
}

void adjust_contrast(uint16_t amount, image target)
{
    // 64-bit so that large amounts saturate instead of overflowing.
    const int64_t factor = (static_cast<int64_t>(amount) + 256) * (static_cast<int64_t>(amount) + 256);
    uint32_t* pixels = target.pixels;
    size_t count = pixel_count(target);
    for (size_t i = 0; i < count; ++i)
        pixels[i] = pixel_contrast(pixels[i], factor);
}

image make_glow(int16_t radius, int16_t brightness, uint16_t contrast, image& source)
{
    image glow = image_copy(source);
    blur(radius, radius, glow);
    adjust_brightness(brightness, glow);
    adjust_contrast(contrast, glow);
    image_release(source);
    return glow;
}

image double_size(image& source)
{
    image result = image_allocate(source.width * 2, source.height * 2);
    if (pixel_count(result)) {
        for (int32_t y = 0; y < source.height; ++y) {
            const uint32_t* in = source.pixels + static_cast<size_t>(y) * source.width;
            uint32_t* out = result.pixels + static_cast<size_t>(2 * y) * result.width;
            for (int32_t x = 0; x < source.width; ++x)
                out[2 * x] = out[2 * x + 1] = in[x];
            std::memcpy(out + result.width, out, static_cast<size_t>(result.width) * sizeof(uint32_t));
        }
    }
    image_release(source);
    return result;
}

image double_height(image& source)
{
    image result = image_allocate(source.width, source.height * 2);
    if (pixel_count(result)) {
        const size_t row_bytes = static_cast<size_t>(source.width) * sizeof(uint32_t);
        for (int32_t y = 0; y < source.height; ++y) {
            const uint32_t* in = source.pixels + static_cast<size_t>(y) * source.width;
            uint32_t* out = result.pixels + static_cast<size_t>(2 * y) * result.width;
            std::memcpy(out, in, row_bytes);
            std::memcpy(out + result.width, in, row_bytes);
        }
    }
    image_release(source);
    return result;
}

image double_width(image& source)
{
    image result = image_allocate(source.width * 2, source.height);
    size_t count = pixel_count(source);
    for (size_t i = 0; i < count; ++i)
        result.pixels[2 * i] = result.pixels[2 * i + 1] = source.pixels[i];
    image_release(source);
    return result;
}

void rotate_quarter(image& target)
{
    const int32_t old_width = target.width;
    const int32_t old_height = target.height;
    image result = image_allocate(old_height, old_width);
    if (pixel_count(result)) {
        // New (column j, row i) = old (column old_width-1-i, row j).
        for (int32_t i = 0; i < result.height; ++i) {
            uint32_t* out = result.pixels + static_cast<size_t>(i) * result.width;
            const uint32_t* in = target.pixels + (old_width - 1 - i);
            for (int32_t j = 0; j < result.width; ++j)
                out[j] = in[static_cast<size_t>(j) * old_width];
        }
    }
    image_replace(target, result);
}

void mirror_horizontal(image& target)
{
    image result = image_allocate(target.width, target.height);
    if (pixel_count(result)) {
        for (int32_t y = 0; y < target.height; ++y) {
            const uint32_t* in = target.pixels + static_cast<size_t>(y) * target.width;
            uint32_t* out = result.pixels + static_cast<size_t>(y) * result.width;
            for (int32_t x = 0; x < target.width; ++x)
                out[x] = in[target.width - 1 - x];
        }
    }
    image_replace(target, result);
}

void flip_vertical(image& target)
{
    image result = image_allocate(target.width, target.height);
    if (pixel_count(result)) {
        const size_t row_bytes = static_cast<size_t>(target.width) * sizeof(uint32_t);
        for (int32_t y = 0; y < target.height; ++y)
            std::memcpy(result.pixels + static_cast<size_t>(y) * result.width,
                        target.pixels + static_cast<size_t>(target.height - 1 - y) * target.width, row_bytes);
    }
    image_replace(target, result);
}

void invert_image(image target)
{
    uint32_t* pixels = target.pixels;
    size_t count = pixel_count(target);
    for (size_t i = 0; i < count; ++i)
        pixels[i] = 0xFFFFFFFFu - pixels[i];
}

void multiply_colour(uint32_t colour, image target)
{
    uint32_t* pixels = target.pixels;
    size_t count = pixel_count(target);
    for (size_t i = 0; i < count; ++i)
        pixels[i] = pixel_mul(pixels[i], colour);
}

void alpha_from_blue(image source, image destination)
{
    size_t count = pixel_count(source);
    size_t room = pixel_count(destination);
    if (count > room)
        count = room;  // a smaller destination is filled, never overrun
    for (size_t i = 0; i < count; ++i)
        destination.pixels[i] = (source.pixels[i] << 24) | (destination.pixels[i] & 0x00FFFFFFu);
}
