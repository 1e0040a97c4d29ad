// Blending one image onto another: premultiplied alpha, add, subtract, multiply, with clipping (portable).
#include "imaging/blits.h"

#include <cstddef>

#include "imaging/pixel_ops.h"

namespace {

// Clips the source at (x, y) to the destination and combines every covered
// pixel with `rule`(source pixel, destination pixel).
template <typename Rule>
void blit_clipped(const image& source, const image& destination, int32_t x, int32_t y, Rule rule)
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
        for (int32_t c = 0; c < columns; ++c)
            out[c] = rule(in[c], out[c]);
    }
}

}  // namespace

void blit_alpha(image source, image destination, int16_t x, int16_t y)
{
    blit_clipped(source, destination, x, y, [](uint32_t s, uint32_t d) { return pixel_blend_alpha(s, d); });
}

void blit_add(image source, image destination, int16_t x, int16_t y)
{
    blit_clipped(source, destination, x, y, [](uint32_t s, uint32_t d) { return pixel_add_saturate(d, s); });
}

void blit_subtract(image source, image destination, int16_t x, int16_t y)
{
    blit_clipped(source, destination, x, y,
                 [](uint32_t s, uint32_t d) { return pixel_subtract_saturate(d, s); });
}

void blit_multiply(image source, image destination, int16_t x, int16_t y)
{
    blit_clipped(source, destination, x, y, [](uint32_t s, uint32_t d) { return pixel_mul(d, s); });
}

void add_image(image source, image destination)
{
    size_t count = 0;
    if (source.width > 0 && source.height > 0)
        count = static_cast<size_t>(source.width) * static_cast<size_t>(source.height);
    size_t room = 0;
    if (destination.width > 0 && destination.height > 0)
        room = static_cast<size_t>(destination.width) * static_cast<size_t>(destination.height);
    if (count > room)
        count = room;
    for (size_t i = 0; i < count; ++i)
        destination.pixels[i] = pixel_add_saturate(destination.pixels[i], source.pixels[i]);
}
