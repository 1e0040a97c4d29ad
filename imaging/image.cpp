// The image record's operations: create, copy, blur, brightness, contrast, glow, resize, turn, colour (portable; SSE2 loops where available).
#include "imaging/image.h"

#include <cstddef>
#include <cstring>

#include "base/memory.h"
#include "imaging/pixel_ops.h"
#include "imaging/pixel_ops_sse2.h"

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

#if defined(__SSE2__)

// The vector blurs keep each channel's window sum in a 16-bit lane: a sum of
// 2 x radius bytes fits while radius <= 128, and then floor(k x sum / 65536)
// is exactly the high half of the 16-bit product (k = 65536 / (2 radius)
// is at most 32,768).  Intermediate sums may wrap; the window sums they end
// at never do.
constexpr int32_t vector_blur_radius_limit = 128;

// One pixel widened to four 16-bit lanes (the low half of the register).
inline __m128i widen_pixel(uint32_t pixel)
{
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(pixel)), _mm_setzero_si128());
}

// blur_line along a row (stride 1) from running sums: `sums` gets entry
// j + 1 = entry j + the row's sample j - radius (clamped to the row), four
// 16-bit lanes per entry, for j up to length + 2 radius; the window sum of
// output x (samples x - radius + 1 .. x + radius) is then entry x + 2 radius
// + 1 minus entry x + 1, exact modulo 65,536 where every window sum lies.
void blur_row_sse2(const uint32_t* source, uint32_t* destination, int32_t length, int32_t radius, uint32_t k,
                   uint64_t* sums)
{
    const int32_t last = length - 1;
    const __m128i zero = _mm_setzero_si128();
    __m128i running = zero;
    sums[0] = 0;
    const __m128i first = widen_pixel(source[0]), final = widen_pixel(source[last]);
    int32_t j = 0;
    for (; j < radius; ++j) {  // left of the row: its first pixel
        running = _mm_add_epi16(running, first);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(sums + j + 1), running);
    }
    for (int32_t i = 0; i < length; ++i, ++j) {
        running = _mm_add_epi16(running, widen_pixel(source[i]));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(sums + j + 1), running);
    }
    for (; j < length + 2 * radius; ++j) {  // right of the row: its last pixel
        running = _mm_add_epi16(running, final);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(sums + j + 1), running);
    }
    const __m128i factor = _mm_set1_epi16(int16_t(uint16_t(k)));
    const uint64_t* leaving = sums + 1;
    const uint64_t* entering = sums + 2 * radius + 1;
    int32_t x = 0;
    for (; x + 2 <= length; x += 2) {
        __m128i window = _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(entering + x)),
                                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(leaving + x)));
        __m128i average = _mm_mulhi_epu16(window, factor);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(destination + x), _mm_packus_epi16(average, average));
    }
    if (x < length) {
        __m128i window = _mm_sub_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(entering + x)),
                                       _mm_loadl_epi64(reinterpret_cast<const __m128i*>(leaving + x)));
        __m128i average = _mm_mulhi_epu16(window, factor);
        destination[x] = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(average, average)));
    }
}

// Two neighbouring pixels (or one, at an odd width's end) widened to eight
// 16-bit lanes.
inline __m128i widen_two(const uint32_t* at, int32_t pixels)
{
    __m128i bytes = pixels == 2 ? _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)) : _mm_cvtsi32_si128(int(*at));
    return _mm_unpacklo_epi8(bytes, _mm_setzero_si128());
}

// blur_line down every column at once: a row of sums (four lanes per
// column) slides down the image, one row entering and one leaving per
// output row.
void blur_columns_sse2(const image& source, const image& destination, int32_t radius, uint32_t k)
{
    const int32_t width = source.width, height = source.height, last = height - 1;
    const int32_t pairs = (width + 1) / 2;  // the last one may hold one pixel
    __m128i* sums = static_cast<__m128i*>(mem_alloc(size_t(pairs) * sizeof(__m128i)));
    auto row = [&](int32_t y) { return source.pixels + size_t(y < 0 ? 0 : y > last ? last : y) * size_t(width); };
    auto pixels_in = [&](int32_t p) { return 2 * p + 1 < width ? 2 : 1; };
    const __m128i times = _mm_set1_epi16(int16_t(radius));
    const __m128i factor = _mm_set1_epi16(int16_t(uint16_t(k)));
    for (int32_t p = 0; p < pairs; ++p)
        sums[p] = _mm_mullo_epi16(widen_two(source.pixels + 2 * p, pixels_in(p)), times);
    for (int32_t i = 0; i < radius; ++i) {
        const uint32_t* in = row(i);
        for (int32_t p = 0; p < pairs; ++p)
            sums[p] = _mm_add_epi16(sums[p], widen_two(in + 2 * p, pixels_in(p)));
    }
    for (int32_t y = 0; y < height; ++y) {
        const uint32_t* entering = row(y + radius);
        const uint32_t* leaving = row(y - radius);
        uint32_t* out = destination.pixels + size_t(y) * size_t(width);
        int32_t p = 0;
        for (; 2 * p + 1 < width; ++p) {
            __m128i sum = _mm_sub_epi16(_mm_add_epi16(sums[p], widen_two(entering + 2 * p, 2)),
                                        widen_two(leaving + 2 * p, 2));
            sums[p] = sum;
            __m128i average = _mm_mulhi_epu16(sum, factor);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 2 * p), _mm_packus_epi16(average, average));
        }
        if (p < pairs) {  // an odd width's last column
            __m128i sum = _mm_sub_epi16(_mm_add_epi16(sums[p], widen_two(entering + 2 * p, 1)),
                                        widen_two(leaving + 2 * p, 1));
            sums[p] = sum;
            __m128i average = _mm_mulhi_epu16(sum, factor);
            out[2 * p] = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(average, average)));
        }
    }
    mem_free(sums);
}

#endif

// The blurs' common start: false when there is nothing to blur (sizes
// differ, no pixels, or a radius below 1, which copies).
bool blur_needed(int16_t radius, const image& source, const image& destination)
{
    if (source.width != destination.width || source.height != destination.height)
        return false;
    size_t count = pixel_count(source);
    if (count == 0)
        return false;
    if (radius < 1) {
        std::memcpy(destination.pixels, source.pixels, count * sizeof(uint32_t));
        return false;
    }
    return true;
}

uint32_t blur_factor(int16_t radius)
{
    return 65536u / (2u * static_cast<uint32_t>(radius));
}

// adjust_brightness's per-lane factors and offsets for a level other than 0.
void brightness_terms(int16_t level, uint32_t& factors, uint32_t& offsets)
{
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
}

// adjust_contrast's factor: 64-bit so that large amounts saturate instead of overflowing.
int64_t contrast_factor(uint16_t amount)
{
    return (static_cast<int64_t>(amount) + 256) * (static_cast<int64_t>(amount) + 256);
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

void blur_horizontal_plain(int16_t radius, image source, image destination)
{
    if (!blur_needed(radius, source, destination))
        return;
    const uint32_t k = blur_factor(radius);
    for (int32_t y = 0; y < source.height; ++y) {
        size_t row = static_cast<size_t>(y) * static_cast<size_t>(source.width);
        blur_line(source.pixels + row, destination.pixels + row, source.width, 1, radius, k);
    }
}

void blur_vertical_plain(int16_t radius, image source, image destination)
{
    if (!blur_needed(radius, source, destination))
        return;
    const uint32_t k = blur_factor(radius);
    for (int32_t x = 0; x < source.width; ++x)
        blur_line(source.pixels + x, destination.pixels + x, source.height, source.width, radius, k);
}

void blur_horizontal(int16_t radius, image source, image destination)
{
#if defined(__SSE2__)
    if (radius <= vector_blur_radius_limit) {
        if (!blur_needed(radius, source, destination))
            return;
        const uint32_t k = blur_factor(radius);
        auto* sums = static_cast<uint64_t*>(mem_alloc((size_t(source.width) + 2 * size_t(radius) + 1) * 8));
        for (int32_t y = 0; y < source.height; ++y) {
            size_t row = static_cast<size_t>(y) * static_cast<size_t>(source.width);
            blur_row_sse2(source.pixels + row, destination.pixels + row, source.width, radius, k, sums);
        }
        mem_free(sums);
        return;
    }
#endif
    blur_horizontal_plain(radius, source, destination);
}

void blur_vertical(int16_t radius, image source, image destination)
{
#if defined(__SSE2__)
    if (radius <= vector_blur_radius_limit) {
        if (blur_needed(radius, source, destination))
            blur_columns_sse2(source, destination, radius, blur_factor(radius));
        return;
    }
#endif
    blur_vertical_plain(radius, source, destination);
}

void blur(int16_t horizontal_radius, int16_t vertical_radius, image target)
{
    // Every scratch pixel is written by the first pass, so it need not start as a copy.
    image scratch = image_allocate(target.width, target.height);
    blur_horizontal(horizontal_radius, target, scratch);
    blur_vertical(vertical_radius, scratch, target);
    image_release(scratch);
}

void adjust_brightness_plain(int16_t level, image target)
{
    if (level == 0)
        return;
    uint32_t factors, offsets;
    brightness_terms(level, factors, offsets);
    uint32_t* pixels = target.pixels;
    size_t count = pixel_count(target);
    for (size_t i = 0; i < count; ++i)
        pixels[i] = pixel_scale_offset(pixels[i], factors, offsets);
}

void adjust_brightness(int16_t level, image target)
{
    if (level == 0)
        return;
    uint32_t factors, offsets;
    brightness_terms(level, factors, offsets);
    uint32_t* pixels = target.pixels;
    size_t count = pixel_count(target);
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i factor4 = _mm_set1_epi32(int(factors)), offset4 = _mm_set1_epi32(int(offsets));
    for (; i + 4 <= count; i += 4)
        pixels4_store(pixels + i, pixels4_scale_offset(pixels4_load(pixels + i), factor4, offset4));
#endif
    for (; i < count; ++i)
        pixels[i] = pixel_scale_offset(pixels[i], factors, offsets);
}

void adjust_contrast_plain(uint16_t amount, image target)
{
    const int64_t factor = contrast_factor(amount);
    uint32_t* pixels = target.pixels;
    size_t count = pixel_count(target);
    for (size_t i = 0; i < count; ++i)
        pixels[i] = pixel_contrast(pixels[i], factor);
}

void adjust_contrast(uint16_t amount, image target)
{
    const int64_t factor = contrast_factor(amount);
#if defined(__SSE2__)
    if (factor < (int64_t(1) << 20)) {
        // Eight bytes at a time in 16-bit lanes, a = c - 127 (-127..128).
        // With factor = 65536 fh + fl: (a x factor) >> 16 = a fh + ((a fl) >> 16)
        // exactly, and the signed high half of a x fl is (a fl) >> 16 when fl
        // fits a signed lane, or (a (fl - 65536)) >> 16 + a otherwise.  The sum
        // stays within a 16-bit lane for fh < 16, and packing clamps to 0..255.
        const int32_t fh = int32_t(factor >> 16), fl = int32_t(factor & 0xFFFF);
        const __m128i high_factor = _mm_set1_epi16(int16_t(fh));
        const __m128i low_factor = _mm_set1_epi16(int16_t(uint16_t(fl)));
        const bool low_wraps = fl >= 32768;
        const __m128i zero = _mm_setzero_si128(), middle = _mm_set1_epi16(127);
        auto stretch = [&](__m128i bytes16) {
            __m128i a = _mm_sub_epi16(bytes16, middle);
            __m128i v = _mm_add_epi16(_mm_mulhi_epi16(a, low_factor), _mm_mullo_epi16(a, high_factor));
            if (low_wraps)
                v = _mm_add_epi16(v, a);
            return _mm_add_epi16(v, middle);
        };
        const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
        uint32_t* pixels = target.pixels;
        size_t count = pixel_count(target), i = 0;
        for (; i + 4 <= count; i += 4) {
            __m128i p = pixels4_load(pixels + i);
            __m128i low = stretch(_mm_unpacklo_epi8(p, zero)), high = stretch(_mm_unpackhi_epi8(p, zero));
            pixels4_store(pixels + i, _mm_and_si128(_mm_packus_epi16(low, high), colour));
        }
        for (; i < count; ++i)
            pixels[i] = pixel_contrast(pixels[i], factor);
        return;
    }
#endif
    // Each colour byte's result depends on that byte alone: 256 results,
    // taken from the per-pixel rule itself, serve every pixel.
    uint32_t stretched[256];
    for (uint32_t c = 0; c < 256; ++c)
        stretched[c] = pixel_contrast(c, factor) & 0xFF;
    uint32_t* pixels = target.pixels;
    size_t count = pixel_count(target);
    for (size_t i = 0; i < count; ++i) {
        uint32_t p = pixels[i];
        pixels[i] = stretched[p & 0xFF] | stretched[(p >> 8) & 0xFF] << 8 | stretched[(p >> 16) & 0xFF] << 16;
    }
}

image make_glow(int16_t radius, int16_t brightness, uint16_t contrast, image& source)
{
    // The source is given up anyway, so its own buffer becomes the glow:
    // the same pixels as working on a copy, without the copy.
    image glow = source;
    source = {0, 0, nullptr};
    blur(radius, radius, glow);
    adjust_brightness(brightness, glow);
    adjust_contrast(contrast, glow);
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

void multiply_colour_plain(uint32_t colour, image target)
{
    uint32_t* pixels = target.pixels;
    size_t count = pixel_count(target);
    for (size_t i = 0; i < count; ++i)
        pixels[i] = pixel_mul(pixels[i], colour);
}

void multiply_colour(uint32_t colour, image target)
{
    uint32_t* pixels = target.pixels;
    size_t count = pixel_count(target);
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i colour4 = _mm_set1_epi32(int(colour));
    for (; i + 4 <= count; i += 4)
        pixels4_store(pixels + i, pixels4_mul(pixels4_load(pixels + i), colour4));
#endif
    for (; i < count; ++i)
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
