// The conversion of the frame buffer into the display's pixel format: one
// straight loop per depth, each pixel converted once and stored once or four
// times (portable).
#include "shell/present.h"

#include <cstddef>
#include <cstring>

namespace {

// Each depth's rule in two halves: the converted value, computed once per
// source pixel, and its store, done once or four times.  Rows may sit at any
// byte offset (depth 24, odd pitches), so word stores go through memcpy,
// which compiles to a plain store.
struct depth_15 {
    static constexpr int bytes = 2;
    static uint16_t convert(uint32_t p) { return pixel_to_rgb555(p); }
    static void store(uint8_t* at, uint16_t value) { std::memcpy(at, &value, 2); }
};

struct depth_16 {
    static constexpr int bytes = 2;
    static uint16_t convert(uint32_t p) { return pixel_to_rgb565(p); }
    static void store(uint8_t* at, uint16_t value) { std::memcpy(at, &value, 2); }
};

// Red, green, blue at increasing addresses.
struct depth_24 {
    static constexpr int bytes = 3;
    static uint32_t convert(uint32_t p) { return p; }
    static void store(uint8_t* at, uint32_t p)
    {
        at[0] = uint8_t(p >> 16);
        at[1] = uint8_t(p >> 8);
        at[2] = uint8_t(p);
    }
};

// The whole word, top byte included.
struct depth_32 {
    static constexpr int bytes = 4;
    static uint32_t convert(uint32_t p) { return p; }
    static void store(uint8_t* at, uint32_t value) { std::memcpy(at, &value, 4); }
};

template <typename rule>
void convert_rows(const uint32_t* frame, int32_t width, int32_t height, uint8_t* surface, int32_t pitch)
{
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = surface + std::ptrdiff_t(y) * pitch;
        const uint32_t* source = frame + std::ptrdiff_t(y) * width;
        for (int32_t x = 0; x < width; ++x)
            rule::store(row + x * rule::bytes, rule::convert(source[x]));
    }
}

template <typename rule>
void convert_rows_doubled(const uint32_t* frame, int32_t width, int32_t height, uint8_t* surface, int32_t pitch)
{
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* upper = surface + std::ptrdiff_t(2 * y) * pitch;
        uint8_t* lower = upper + pitch;
        const uint32_t* source = frame + std::ptrdiff_t(y) * width;
        for (int32_t x = 0; x < width; ++x) {
            auto value = rule::convert(source[x]);
            uint8_t* top = upper + 2 * x * rule::bytes;
            uint8_t* bottom = lower + 2 * x * rule::bytes;
            rule::store(top, value);
            rule::store(top + rule::bytes, value);
            rule::store(bottom, value);
            rule::store(bottom + rule::bytes, value);
        }
    }
}

template <typename rule>
void convert(const uint32_t* frame, int32_t width, int32_t height, bool doubled, uint8_t* surface, int32_t pitch)
{
    if (doubled)
        convert_rows_doubled<rule>(frame, width, height, surface, pitch);
    else
        convert_rows<rule>(frame, width, height, surface, pitch);
}

}  // namespace

void present_convert(const uint32_t* frame, int32_t width, int32_t height, int32_t depth, bool doubled,
                     uint8_t* surface, int32_t pitch)
{
    switch (depth) {
    case 15: convert<depth_15>(frame, width, height, doubled, surface, pitch); break;
    case 16: convert<depth_16>(frame, width, height, doubled, surface, pitch); break;
    case 24: convert<depth_24>(frame, width, height, doubled, surface, pitch); break;
    case 32: convert<depth_32>(frame, width, height, doubled, surface, pitch); break;
    default: break;
    }
}
