// The mixer: the render loop with its tick countdown, mix_voices with runs measured in advance, and PCM conversion (portable).
#include "music/mixer.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "base/cpu_features.h"

void mixer_render(player_state& s, uint32_t frames, int32_t* out)
{
    if (!s.playing.load(std::memory_order_acquire)) {
        std::memset(out, 0, size_t(frames) * 2 * sizeof(int32_t));
        return;
    }
    s.frames_left = frames;
    while (s.frames_left != 0) {
        if (s.tick_countdown < 256) {
            player_tick(s);
            // 44,100 x 2.5 / tempo frames in 24.8 fixed point; the fraction
            // carries over so ticks keep their exact average spacing.
            s.tick_countdown += 1411200000u / (s.tempo * 50u);
        }
        uint32_t k = s.tick_countdown >> 8;
        if (k > s.frames_left)
            k = s.frames_left;
        s.tick_countdown -= 256 * k;
        s.frames_left -= k;
        out = mix_voices(s, k, out);
    }
}

void convert_to_pcm16(const int32_t* source, int16_t* destination, uint32_t destination_bytes)
{
    for (uint32_t i = 0; i < destination_bytes / 2; ++i) {
        int32_t v = source[i];
        destination[i] = int16_t(v < -pcm_clip ? -pcm_clip : v > pcm_clip ? pcm_clip : v);
    }
}

namespace {

// One mixed value: linear interpolation between s0 and s1 by the top 16 bits
// of the position's fraction.
inline int32_t interpolate(int32_t s0, int32_t s1, uint32_t fraction16)
{
    return s0 + int32_t((int64_t(s1 - s0) * fraction16) >> 16);
}

inline int32_t sample_value(const uint8_t* sample, bool sixteen_bit, int64_t index)
{
    if (sixteen_bit)
        return int16_t(read_u16(sample + 2 * index));
    return int8_t(sample[index]);
}

// Adds one frame of the voice at `position` to the accumulators at `out`.
inline void mix_frame(const uint8_t* sample, bool sixteen_bit, int64_t position, int32_t left_gain,
                      int32_t right_gain, int32_t* out)
{
    int64_t index = position >> 32;
    int32_t v = interpolate(sample_value(sample, sixteen_bit, index), sample_value(sample, sixteen_bit, index + 1),
                            uint32_t(position) >> 16);
    out[0] += int32_t((int64_t(v) * left_gain) >> 16);
    out[1] += int32_t((int64_t(v) * right_gain) >> 16);
}

// Whether the position has crossed the voice's boundary: forward, at or past
// the end; backwards, below the value in the end field (the loop start).
inline bool crossed(const channel_record& ch, int64_t position)
{
    int64_t boundary = int64_t(ch.end) << 32;
    return (ch.sample_flags & sample_backwards) ? position < boundary : position >= boundary;
}

// What happens at the boundary: a voice without loop stops (false); a
// ping-pong loop reflects the position and turns round; a forward loop goes
// back by the loop's length.  Positions are signed, so a start far past the
// end (a large sample offset) reflects back into the loop instead of
// wrapping round to a huge frame.
inline bool cross_boundary(channel_record& ch, int64_t& position)
{
    if (!(ch.sample_flags & (sample_forward_loop | sample_pingpong_loop))) {
        ch.active = 0;
        return false;
    }
    if (ch.sample_flags & sample_pingpong_loop) {
        position = (int64_t(ch.end) << 33) - position;
        ch.sample_flags ^= sample_backwards;
        uint32_t other = ch.loop_start;
        ch.loop_start = ch.end;
        ch.end = other;
    } else {
        position -= int64_t(ch.end - ch.loop_start) << 32;
    }
    return true;
}

// Gains once per voice and call: 8-bit samples carry a factor 256 more.
inline void voice_gains(const channel_record& ch, int32_t& left, int32_t& right)
{
    int32_t scale = (ch.sample_flags & sample_16bit) ? 1 : 256;
    right = int32_t(ch.voice_volume) * ch.voice_panning * scale;
    left = int32_t(ch.voice_volume) * (255 - ch.voice_panning) * scale;
}

// The frames a run can take before the position crosses the boundary (at
// most `limit`): forward ceil(distance / step), backwards the frames whose
// position is still at or above the loop start.
inline uint32_t run_length(const channel_record& ch, int64_t position, int64_t step, uint32_t limit)
{
    int64_t boundary = int64_t(ch.end) << 32;
    uint64_t frames;
    if (ch.sample_flags & sample_backwards) {
        if (position < boundary)
            return 0;
        frames = step == 0 ? limit : uint64_t((position - boundary) / step) + 1;
    } else {
        if (position >= boundary)
            return 0;
        frames = step == 0 ? limit : uint64_t((boundary - position + step - 1) / step);
    }
    return frames < limit ? uint32_t(frames) : limit;
}

// Mixes `frames` frames with no boundary inside; gives the new position.
template <bool sixteen_bit>
int64_t mix_run(const uint8_t* sample, int64_t position, int64_t step, int32_t left_gain, int32_t right_gain,
                int32_t* out, uint32_t frames)
{
    for (uint32_t i = 0; i < frames; ++i) {
        mix_frame(sample, sixteen_bit, position, left_gain, right_gain, out + 2 * i);
        position += step;
    }
    return position;
}

#if defined(__x86_64__)
// mix_run eight frames at a time with AVX2.  Positions become 1/1024 frame
// in 32-bit lanes (the fraction is always a multiple of 2^-10: steps are
// 6.10 and start positions whole frames), so with g = the position's low 10
// bits, s0 + ((s1 - s0) x (g << 6)) >> 16 = (s0 (1024 - g) + s1 g) >> 10,
// one pmaddwd on the pair (s0, s1) of each frame (8-bit pairs sit in the
// high bytes of their words, hence the shift of 18).
//
// The pairs come from a gather, or, when the step is small enough that each
// half of the block (four frames) lies within 16 bytes of sample data
// (`windowed`), from one 16-byte load per half and a byte shuffle.  The
// gather of an 8-bit pair reads two bytes more than the pair; a window reads
// up to 15 bytes from the first frame of its half.
template <bool sixteen_bit, bool windowed>
__attribute__((target("avx2"))) int64_t mix_run_avx2(const uint8_t* sample, int64_t position, int64_t step,
                                                     int32_t left_gain, int32_t right_gain, int32_t* out,
                                                     uint32_t frames)
{
    const uint32_t blocks = frames / 8;
    const int32_t s = int32_t(step >> 22);
    int32_t first = int32_t(position >> 22);
    __m256i p = _mm256_add_epi32(_mm256_set1_epi32(first),
                                 _mm256_mullo_epi32(_mm256_set1_epi32(s), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)));
    const __m256i advance = _mm256_set1_epi32(8 * s);
    const __m256i low_bits = _mm256_set1_epi32(1023);
    const __m256i whole = _mm256_set1_epi32(1024);
    const __m256i left = _mm256_set1_epi32(left_gain);
    const __m256i right = _mm256_set1_epi32(right_gain);
    // Gathered 8-bit dwords b0 b1 b2 b3 to the words b0 << 8, b1 << 8.
    const __m256i spread = _mm256_setr_epi8(-1, 0, -1, 1, -1, 4, -1, 5, -1, 8, -1, 9, -1, 12, -1, 13,  //
                                            -1, 0, -1, 1, -1, 4, -1, 5, -1, 8, -1, 9, -1, 12, -1, 13);
    // The window of each half starts at its lowest frame: the first one going
    // forward, the last one going backward.
    const int32_t low_start = s >= 0 ? 0 : 3 * s;
    const int32_t high_start = s >= 0 ? 4 * s : 7 * s;
    const __m256i window_lane = s >= 0 ? _mm256_setr_epi32(0, 0, 0, 0, 4, 4, 4, 4) : _mm256_setr_epi32(3, 3, 3, 3, 7, 7, 7, 7);
    for (uint32_t b = 0; b < blocks; ++b) {
        __m256i index = _mm256_srai_epi32(p, 10);
        __m256i g = _mm256_and_si256(p, low_bits);
        __m256i weights = _mm256_add_epi32(_mm256_sub_epi32(_mm256_slli_epi32(g, 16), g), whole);  // 1024 - g | g << 16
        __m256i pair;
        if constexpr (windowed) {
            const int32_t width = sixteen_bit ? 2 : 1;
            const uint8_t* low_window = sample + width * ((first + low_start) >> 10);
            const uint8_t* high_window = sample + width * ((first + high_start) >> 10);
            __m256i data = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(high_window),
                                               reinterpret_cast<const __m128i*>(low_window));
            __m256i r = _mm256_sub_epi32(index, _mm256_permutevar8x32_epi32(index, window_lane));
            __m256i control;
            if constexpr (sixteen_bit) {  // bytes 2r, 2r + 1, 2r + 2, 2r + 3
                control = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_add_epi32(r, r), _mm256_set1_epi32(0x01010101)),
                                           _mm256_set1_epi32(0x03020100));
            } else {  // zero, byte r, zero, byte r + 1
                __m256i r8 = _mm256_slli_epi32(r, 8);
                control = _mm256_add_epi32(_mm256_or_si256(r8, _mm256_slli_epi32(r8, 16)), _mm256_set1_epi32(0x01800080));
            }
            pair = _mm256_shuffle_epi8(data, control);
            first += 8 * s;
        } else if constexpr (sixteen_bit) {
            pair = _mm256_i32gather_epi32(reinterpret_cast<const int*>(sample), index, 2);
        } else {
            pair = _mm256_shuffle_epi8(_mm256_i32gather_epi32(reinterpret_cast<const int*>(sample), index, 1), spread);
        }
        __m256i v = _mm256_srai_epi32(_mm256_madd_epi16(pair, weights), sixteen_bit ? 10 : 18);
        __m256i l = _mm256_srai_epi32(_mm256_mullo_epi32(v, left), 16);
        __m256i r = _mm256_srai_epi32(_mm256_mullo_epi32(v, right), 16);
        __m256i low = _mm256_unpacklo_epi32(l, r);   // frames 0, 1 | 4, 5
        __m256i high = _mm256_unpackhi_epi32(l, r);  // frames 2, 3 | 6, 7
        auto* o = reinterpret_cast<__m256i*>(out + 16 * size_t(b));
        _mm256_storeu_si256(o, _mm256_add_epi32(_mm256_loadu_si256(o), _mm256_permute2x128_si256(low, high, 0x20)));
        _mm256_storeu_si256(o + 1,
                            _mm256_add_epi32(_mm256_loadu_si256(o + 1), _mm256_permute2x128_si256(low, high, 0x31)));
        p = _mm256_add_epi32(p, advance);
    }
    position += int64_t(8 * blocks) * step;
    return mix_run<sixteen_bit>(sample, position, step, left_gain, right_gain, out + 16 * size_t(blocks), frames % 8);
}

#endif

// Whether a run may take the vector kernel: positions of whole 1/1024
// frames inside 0 to 2^30 in 1/1024 frame, and gains whose products with any
// sample value fit 32 bits (voice volume at most 256).
inline bool vector_run(const channel_record& ch, int64_t position, int64_t step, uint32_t frames)
{
#if defined(__x86_64__)
    if (!cpu_features().avx2 || frames < 8 || ch.voice_volume > 256 || (position & ((1 << 22) - 1)))
        return false;
    int64_t first = position >> 22;
    int64_t last = first + (step >> 22) * int64_t(frames);
    constexpr int64_t top = int64_t(1) << 30;
    return first >= 0 && first < top && last >= 0 && last < top;
#else
    (void)ch, (void)position, (void)step, (void)frames;
    return false;
#endif
}

void mix_voice(channel_record& ch, uint32_t frames, int32_t* out)
{
    int32_t left_gain, right_gain;
    voice_gains(ch, left_gain, right_gain);
    int64_t position = ch.position;
    int64_t step = int64_t(ch.step) << 22;
    uint32_t todo = frames;
    for (;;) {
        uint32_t run = run_length(ch, position, step, todo);
        int64_t signed_step = (ch.sample_flags & sample_backwards) ? -step : step;
        bool sixteen_bit = ch.sample_flags & sample_16bit;
#if defined(__x86_64__)
        if (vector_run(ch, position, signed_step, run)) {
            // A window of 16 bytes holds the pairs of four frames when three
            // steps and a pair fit: 8-bit up to 4 frames a frame, 16-bit up to 2.
            int32_t s = int32_t(ch.step);
            auto* kernel = sixteen_bit ? (s <= 2048 ? mix_run_avx2<true, true> : mix_run_avx2<true, false>)
                                       : (s <= 4096 ? mix_run_avx2<false, true> : mix_run_avx2<false, false>);
            position = kernel(ch.sample, position, signed_step, left_gain, right_gain, out, run);
        } else
#endif
        if (sixteen_bit)
            position = mix_run<true>(ch.sample, position, signed_step, left_gain, right_gain, out, run);
        else
            position = mix_run<false>(ch.sample, position, signed_step, left_gain, right_gain, out, run);
        out += 2 * run;
        todo -= run;
        // Tested also after the call's last frame.
        if (!crossed(ch, position) || !cross_boundary(ch, position))
            break;
    }
    ch.position = position;
}

void mix_voice_reference(channel_record& ch, uint32_t frames, int32_t* out)
{
    int32_t left_gain, right_gain;
    voice_gains(ch, left_gain, right_gain);
    bool sixteen_bit = ch.sample_flags & sample_16bit;
    int64_t position = ch.position;
    int64_t step = int64_t(ch.step) << 22;
    uint32_t todo = frames;
    for (;;) {
        while (todo != 0 && !crossed(ch, position)) {
            mix_frame(ch.sample, sixteen_bit, position, left_gain, right_gain, out);
            position += (ch.sample_flags & sample_backwards) ? -step : step;
            out += 2;
            --todo;
        }
        if (!crossed(ch, position) || !cross_boundary(ch, position))
            break;
    }
    ch.position = position;
}

template <void (*mix)(channel_record&, uint32_t, int32_t*)>
int32_t* mix_all(player_state& s, uint32_t frames, int32_t* out)
{
    std::memset(out, 0, size_t(frames) * 2 * sizeof(int32_t));
    for (channel_record& ch : s.channels) {
        if (!ch.active)
            continue;
        if (ch.start_position != no_start_position) {
            ch.position = int64_t(ch.start_position) << 32;
            ch.start_position = no_start_position;
        }
        mix(ch, frames, out);
    }
    return out + 2 * size_t(frames);
}

}  // namespace

int32_t* mix_voices(player_state& s, uint32_t frames, int32_t* out)
{
    return mix_all<mix_voice>(s, frames, out);
}

int32_t* mix_voices_reference(player_state& s, uint32_t frames, int32_t* out)
{
    return mix_all<mix_voice_reference>(s, frames, out);
}
