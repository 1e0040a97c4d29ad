// The conversion of the frame buffer into the display's pixel format: one
// straight loop per depth, each pixel converted once and stored once or four
// times (portable; SSE2 rows where available).
#include "app/present.h"

#include <cstddef>
#include <cstring>
#include <initializer_list>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)

// Eight pixels at depth 15 or 16 in the eight 16-bit lanes, by the same
// shifts and masks as the scalar rules.  Each result sits in the low half
// of its 32-bit lane; shifted up and arithmetically back it packs exactly.
template <int depth>
inline __m128i sixteen_bit_pixels(const uint32_t* at)
{
    __m128i result[2];
    for (int half = 0; half < 2; ++half) {
        __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 4 * half));
        __m128i v;
        if (depth == 15)
            v = _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(p, 9), _mm_set1_epi32(0x7C00)),
                                          _mm_and_si128(_mm_srli_epi32(p, 6), _mm_set1_epi32(0x03E0))),
                             _mm_and_si128(_mm_srli_epi32(p, 3), _mm_set1_epi32(0x001F)));
        else
            v = _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(p, 8), _mm_set1_epi32(0xF800)),
                                          _mm_and_si128(_mm_srli_epi32(p, 5), _mm_set1_epi32(0x07E0))),
                             _mm_and_si128(_mm_srli_epi32(p, 3), _mm_set1_epi32(0x001F)));
        result[half] = _mm_srai_epi32(_mm_slli_epi32(v, 16), 16);
    }
    return _mm_packs_epi32(result[0], result[1]);
}

template <int depth, typename rule>
void convert_sixteen_sse2(const uint32_t* frame, int32_t width, int32_t height, bool doubled, uint8_t* surface,
                          int32_t pitch)
{
    for (int32_t y = 0; y < height; ++y) {
        const uint32_t* source = frame + std::ptrdiff_t(y) * width;
        uint8_t* upper = surface + std::ptrdiff_t(doubled ? 2 * y : y) * pitch;
        int32_t x = 0;
        for (; x + 8 <= width; x += 8) {
            __m128i v = sixteen_bit_pixels<depth>(source + x);
            if (doubled) {
                __m128i low = _mm_unpacklo_epi16(v, v), high = _mm_unpackhi_epi16(v, v);
                for (uint8_t* row : {upper, upper + pitch}) {
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 4 * x), low);
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 4 * x + 16), high);
                }
            } else {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(upper + 2 * x), v);
            }
        }
        // The rest of the row, pixel by pixel.
        if (x < width) {
            if (doubled)
                convert_rows_doubled<rule>(source + x, width - x, 1, upper + 4 * x, pitch);
            else
                convert_rows<rule>(source + x, width - x, 1, upper + 2 * x, pitch);
        }
    }
}

void convert_32_sse2(const uint32_t* frame, int32_t width, int32_t height, bool doubled, uint8_t* surface,
                     int32_t pitch)
{
    for (int32_t y = 0; y < height; ++y) {
        const uint32_t* source = frame + std::ptrdiff_t(y) * width;
        if (!doubled) {
            std::memcpy(surface + std::ptrdiff_t(y) * pitch, source, size_t(width) * 4);
            continue;
        }
        uint8_t* upper = surface + std::ptrdiff_t(2 * y) * pitch;
        int32_t x = 0;
        for (; x + 4 <= width; x += 4) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x));
            __m128i low = _mm_unpacklo_epi32(v, v), high = _mm_unpackhi_epi32(v, v);
            for (uint8_t* row : {upper, upper + pitch}) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 8 * x), low);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 8 * x + 16), high);
            }
        }
        if (x < width)
            convert_rows_doubled<depth_32>(source + x, width - x, 1, upper + 8 * x, pitch);
    }
}

#endif

}  // namespace

void present_convert_plain(const uint32_t* frame, int32_t width, int32_t height, int32_t depth, bool doubled,
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

void present_convert(const uint32_t* frame, int32_t width, int32_t height, int32_t depth, bool doubled,
                     uint8_t* surface, int32_t pitch)
{
#if defined(__SSE2__)
    switch (depth) {
    case 15: convert_sixteen_sse2<15, depth_15>(frame, width, height, doubled, surface, pitch); return;
    case 16: convert_sixteen_sse2<16, depth_16>(frame, width, height, doubled, surface, pitch); return;
    case 32: convert_32_sse2(frame, width, height, doubled, surface, pitch); return;
    default: break;
    }
#endif
    switch (depth) {
    case 15: convert<depth_15>(frame, width, height, doubled, surface, pitch); break;
    case 16: convert<depth_16>(frame, width, height, doubled, surface, pitch); break;
    case 24: convert<depth_24>(frame, width, height, doubled, surface, pitch); break;
    case 32: convert<depth_32>(frame, width, height, doubled, surface, pitch); break;
    default: break;
    }
}
