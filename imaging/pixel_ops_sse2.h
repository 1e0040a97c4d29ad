// The per-byte pixel rules of pixel_ops.h on four pixels at once, in SSE2 (x86-64 only; each matches its scalar rule byte for byte).
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstdint>

// Four pixels 0xAARRGGBB in one register, lanes as in memory.  Products of
// two bytes go through 16-bit lanes, where 255 x 255 fits, so (a x b) >> 8
// is exact; sums and differences use the saturating byte instructions.

inline __m128i pixels4_load(const uint32_t* at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

inline void pixels4_store(uint32_t* at, __m128i pixels)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), pixels);
}

// pixel_add_saturate.
inline __m128i pixels4_add_saturate(__m128i a, __m128i b)
{
    return _mm_adds_epu8(a, b);
}

// pixel_subtract_saturate.
inline __m128i pixels4_subtract_saturate(__m128i a, __m128i b)
{
    return _mm_subs_epu8(a, b);
}

// pixel_mul: per byte (a x b) >> 8.
inline __m128i pixels4_mul(__m128i a, __m128i b)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i low = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)), 8);
    __m128i high = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)), 8);
    return _mm_packus_epi16(low, high);
}

// pixel_blend_alpha: per byte min(255, s + ((d x (255 - sa)) >> 8)).
inline __m128i pixels4_blend_alpha(__m128i source, __m128i destination)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i all = _mm_set1_epi16(255);
    // 255 - sa in every 16-bit lane of its pixel.
    __m128i low_alpha = _mm_unpacklo_epi8(source, zero);
    __m128i high_alpha = _mm_unpackhi_epi8(source, zero);
    low_alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(low_alpha, 0xFF), 0xFF);
    high_alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(high_alpha, 0xFF), 0xFF);
    __m128i low = _mm_mullo_epi16(_mm_unpacklo_epi8(destination, zero), _mm_sub_epi16(all, low_alpha));
    __m128i high = _mm_mullo_epi16(_mm_unpackhi_epi8(destination, zero), _mm_sub_epi16(all, high_alpha));
    __m128i kept = _mm_packus_epi16(_mm_srli_epi16(low, 8), _mm_srli_epi16(high, 8));
    return _mm_adds_epu8(source, kept);
}

// pixel_scale_offset: per byte min(255, ((c x factor) >> 8) + offset), the
// factors and offsets given as four pixels.
inline __m128i pixels4_scale_offset(__m128i pixels, __m128i factors, __m128i offsets)
{
    return _mm_adds_epu8(pixels4_mul(pixels, factors), offsets);
}

// Four texels of a 65,536-texel texture named by the 16-bit lanes
// `first` .. `first` + 3 of `indices`, fetched one by one.
template <int first>
inline __m128i pixels4_gather(const uint32_t* texture, __m128i indices)
{
    __m128i t0 = _mm_cvtsi32_si128(int(texture[_mm_extract_epi16(indices, first)]));
    __m128i t1 = _mm_cvtsi32_si128(int(texture[_mm_extract_epi16(indices, first + 1)]));
    __m128i t2 = _mm_cvtsi32_si128(int(texture[_mm_extract_epi16(indices, first + 2)]));
    __m128i t3 = _mm_cvtsi32_si128(int(texture[_mm_extract_epi16(indices, first + 3)]));
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(t0, t1), _mm_unpacklo_epi32(t2, t3));
}

// The blue bytes of eight pixels as eight 16-bit lanes.
inline __m128i blue8(const uint32_t* at)
{
    const __m128i mask = _mm_set1_epi32(0xFF);
    return _mm_packs_epi32(_mm_and_si128(pixels4_load(at), mask), _mm_and_si128(pixels4_load(at + 4), mask));
}

// The alpha bytes of eight pixels as eight 16-bit lanes.
inline __m128i alpha8(const uint32_t* at)
{
    return _mm_packs_epi32(_mm_srli_epi32(pixels4_load(at), 24), _mm_srli_epi32(pixels4_load(at + 4), 24));
}

#endif
