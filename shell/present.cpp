// The conversion of the frame buffer into the display's pixel format: one
// straight loop per depth, each pixel converted once and stored once or four
// times (portable).
#include "shell/present.h"

#include <cstddef>
#include <cstring>

namespace {

// The surface's rows may sit at any byte offset (depth 24), so stores go
// through memcpy, which compiles to a plain store.
struct store_rgb555 {
    static constexpr int bytes = 2;
    static void put(uint8_t* at, uint32_t p)
    {
        uint16_t value = pixel_to_rgb555(p);
        std::memcpy(at, &value, 2);
    }
};

struct store_rgb565 {
    static constexpr int bytes = 2;
    static void put(uint8_t* at, uint32_t p)
    {
        uint16_t value = pixel_to_rgb565(p);
        std::memcpy(at, &value, 2);
    }
};

// Depth 24: red, green, blue at increasing addresses.
struct store_rgb24 {
    static constexpr int bytes = 3;
    static void put(uint8_t* at, uint32_t p)
    {
        at[0] = uint8_t(p >> 16);
        at[1] = uint8_t(p >> 8);
        at[2] = uint8_t(p);
    }
};

struct store_xrgb8888 {
    static constexpr int bytes = 4;
    static void put(uint8_t* at, uint32_t p) { std::memcpy(at, &p, 4); }
};

template <typename store>
void convert_rows(const uint32_t* frame, int32_t width, int32_t height, uint8_t* surface, int32_t pitch)
{
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = surface + std::ptrdiff_t(y) * pitch;
        const uint32_t* source = frame + std::ptrdiff_t(y) * width;
        for (int32_t x = 0; x < width; ++x)
            store::put(row + x * store::bytes, source[x]);
    }
}

template <typename store>
void convert_rows_doubled(const uint32_t* frame, int32_t width, int32_t height, uint8_t* surface, int32_t pitch)
{
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* upper = surface + std::ptrdiff_t(2 * y) * pitch;
        uint8_t* lower = upper + pitch;
        const uint32_t* source = frame + std::ptrdiff_t(y) * width;
        for (int32_t x = 0; x < width; ++x) {
            // Convert once into the first of the four, then copy its bytes.
            uint8_t* at = upper + 2 * x * store::bytes;
            store::put(at, source[x]);
            std::memcpy(at + store::bytes, at, store::bytes);
            std::memcpy(lower + 2 * x * store::bytes, at, 2 * store::bytes);
        }
    }
}

template <typename store>
void convert(const uint32_t* frame, int32_t width, int32_t height, bool doubled, uint8_t* surface, int32_t pitch)
{
    if (doubled)
        convert_rows_doubled<store>(frame, width, height, surface, pitch);
    else
        convert_rows<store>(frame, width, height, surface, pitch);
}

}  // namespace

void present_convert(const uint32_t* frame, int32_t width, int32_t height, int32_t depth, bool doubled,
                     uint8_t* surface, int32_t pitch)
{
    switch (depth) {
    case 15: convert<store_rgb555>(frame, width, height, doubled, surface, pitch); break;
    case 16: convert<store_rgb565>(frame, width, height, doubled, surface, pitch); break;
    case 24: convert<store_rgb24>(frame, width, height, doubled, surface, pitch); break;
    case 32: convert<store_xrgb8888>(frame, width, height, doubled, surface, pitch); break;
    default: break;
    }
}
