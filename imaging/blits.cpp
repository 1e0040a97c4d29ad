// Blending one image onto another: premultiplied alpha, add, subtract, multiply, with clipping (portable; SSE2 rows where available).
#include "imaging/blits.h"

#include <cstddef>

#include "imaging/pixel_ops.h"
#include "imaging/pixel_ops_sse2.h"

namespace {

// Each blit's rule on one pixel (s source, d destination) and, where SSE2
// exists, on four; the plain blits use only the first.
struct alpha_rule {
    static uint32_t one(uint32_t s, uint32_t d) { return pixel_blend_alpha(s, d); }
#if defined(__SSE2__)
    static __m128i four(__m128i s, __m128i d) { return pixels4_blend_alpha(s, d); }
#endif
};
struct add_rule {
    static uint32_t one(uint32_t s, uint32_t d) { return pixel_add_saturate(d, s); }
#if defined(__SSE2__)
    static __m128i four(__m128i s, __m128i d) { return pixels4_add_saturate(d, s); }
#endif
};
struct subtract_rule {
    static uint32_t one(uint32_t s, uint32_t d) { return pixel_subtract_saturate(d, s); }
#if defined(__SSE2__)
    static __m128i four(__m128i s, __m128i d) { return pixels4_subtract_saturate(d, s); }
#endif
};
struct multiply_rule {
    static uint32_t one(uint32_t s, uint32_t d) { return pixel_mul(d, s); }
#if defined(__SSE2__)
    static __m128i four(__m128i s, __m128i d) { return pixels4_mul(d, s); }
#endif
};

// One row of `count` pixels: the plain loop, and the fast one (four pixels
// at a time, the rest one by one).
template <typename Rule>
void combine_row_plain(const uint32_t* in, uint32_t* out, int32_t count)
{
    for (int32_t c = 0; c < count; ++c)
        out[c] = Rule::one(in[c], out[c]);
}

template <typename Rule>
void combine_row(const uint32_t* in, uint32_t* out, int32_t count)
{
    int32_t c = 0;
#if defined(__SSE2__)
    for (; c + 4 <= count; c += 4)
        pixels4_store(out + c, Rule::four(pixels4_load(in + c), pixels4_load(out + c)));
#endif
    combine_row_plain<Rule>(in + c, out + c, count - c);
}

// Clips the source at (x, y) to the destination and combines every covered
// row with `row`(source pixels, destination pixels, count).
template <void (*row)(const uint32_t*, uint32_t*, int32_t)>
void blit_clipped(const image& source, const image& destination, int32_t x, int32_t y)
{
    int32_t first_column = x < 0 ? -x : 0;
    int32_t first_row = y < 0 ? -y : 0;
    int32_t end_column = source.width;
    if (source.width + x > destination.width)
        end_column = destination.width - x;
    int32_t end_row = source.height;
    if (source.height + y > destination.height)
        end_row = destination.height - y;
    const int32_t columns = end_column - first_column;
    if (columns <= 0)
        return;
    for (int32_t r = first_row; r < end_row; ++r) {
        const uint32_t* in = source.pixels + static_cast<ptrdiff_t>(r) * source.width + first_column;
        uint32_t* out = destination.pixels + static_cast<ptrdiff_t>(y + r) * destination.width + (x + first_column);
        row(in, out, columns);
    }
}

}  // namespace

void blit_alpha(image source, image destination, int16_t x, int16_t y)
{
    blit_clipped<combine_row<alpha_rule>>(source, destination, x, y);
}

void blit_add(image source, image destination, int16_t x, int16_t y)
{
    blit_clipped<combine_row<add_rule>>(source, destination, x, y);
}

void blit_subtract(image source, image destination, int16_t x, int16_t y)
{
    blit_clipped<combine_row<subtract_rule>>(source, destination, x, y);
}

void blit_multiply(image source, image destination, int16_t x, int16_t y)
{
    blit_clipped<combine_row<multiply_rule>>(source, destination, x, y);
}

void blit_alpha_plain(image source, image destination, int16_t x, int16_t y)
{
    blit_clipped<combine_row_plain<alpha_rule>>(source, destination, x, y);
}

void blit_add_plain(image source, image destination, int16_t x, int16_t y)
{
    blit_clipped<combine_row_plain<add_rule>>(source, destination, x, y);
}

void blit_subtract_plain(image source, image destination, int16_t x, int16_t y)
{
    blit_clipped<combine_row_plain<subtract_rule>>(source, destination, x, y);
}

void blit_multiply_plain(image source, image destination, int16_t x, int16_t y)
{
    blit_clipped<combine_row_plain<multiply_rule>>(source, destination, x, y);
}

namespace {

// add_image's extent: the source's pixels, never more than the destination holds.
size_t add_image_count(const image& source, const image& destination)
{
    size_t count = 0;
    if (source.width > 0 && source.height > 0)
        count = static_cast<size_t>(source.width) * static_cast<size_t>(source.height);
    size_t room = 0;
    if (destination.width > 0 && destination.height > 0)
        room = static_cast<size_t>(destination.width) * static_cast<size_t>(destination.height);
    return count < room ? count : room;
}

}  // namespace

void add_image(image source, image destination)
{
    size_t count = add_image_count(source, destination);
    // In rows of at most 2^30 pixels, so every count fits the row routine.
    for (size_t done = 0; done < count;) {
        size_t part = count - done < (size_t(1) << 30) ? count - done : size_t(1) << 30;
        combine_row<add_rule>(source.pixels + done, destination.pixels + done, int32_t(part));
        done += part;
    }
}

void add_image_plain(image source, image destination)
{
    size_t count = add_image_count(source, destination);
    for (size_t i = 0; i < count; ++i)
        destination.pixels[i] = pixel_add_saturate(destination.pixels[i], source.pixels[i]);
}
