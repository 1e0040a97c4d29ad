// The mixer: player_render's tick countdown, mix_voices with runs measured in advance, and PCM conversion (portable).
#include "music/mixer.h"

#include <cstring>

void player_render(uint32_t frames, int32_t* out)
{
    player_state* s = current_player;
    if (!s || !s->playing.load(std::memory_order_acquire)) {
        std::memset(out, 0, size_t(frames) * 2 * sizeof(int32_t));
        return;
    }
    s->frames_left = frames;
    while (s->frames_left != 0) {
        if (s->tick_countdown < 256) {
            player_tick();
            // 44,100 x 2.5 / tempo frames in 24.8 fixed point; the fraction
            // carries over so ticks keep their exact average spacing.
            s->tick_countdown += 1411200000u / (s->tempo * 50u);
        }
        uint32_t k = s->tick_countdown >> 8;
        if (k > s->frames_left)
            k = s->frames_left;
        s->tick_countdown -= 256 * k;
        s->frames_left -= k;
        out = mix_voices(k, out);
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
        if (ch.sample_flags & sample_16bit)
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
int32_t* mix_all(uint32_t frames, int32_t* out)
{
    std::memset(out, 0, size_t(frames) * 2 * sizeof(int32_t));
    for (channel_record& ch : current_player->channels) {
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

int32_t* mix_voices(uint32_t frames, int32_t* out)
{
    return mix_all<mix_voice>(frames, out);
}

int32_t* mix_voices_reference(uint32_t frames, int32_t* out)
{
    return mix_all<mix_voice_reference>(frames, out);
}
