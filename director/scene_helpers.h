// What every scene draws with: the frame as an image, a decaying pulse, a placed caption (portable).
#pragma once

#include <algorithm>
#include <cstdint>

#include "base/frame.h"
#include "director/pictures.h"
#include "imaging/blits.h"
#include "imaging/image.h"

// The frame buffer as an image record, for the blits and the fades.
inline image frame_image(uint32_t* screen)
{
    return {screen_width, screen_height, screen};
}

// A pulse that jumps to `peak` at a sync event and falls by `rate` per
// millisecond to 0.
inline double decay(int32_t t, int32_t event_time, double peak, double rate)
{
    return std::max(0.0, peak - double(t - event_time) * rate);
}

// The square of two decays' sum, negative while the kind-3 pulse leads:
// events of value 3 push the motion back, those of value 2 forward.
inline double signed_pulse(double g3, double g2)
{
    const double sum = g3 + g2;
    return g3 > g2 ? -sum * sum : sum * sum;
}

enum class blit_kind { alpha, add, subtract, multiply };

// One caption placed on the frame: which, how it is combined, where its
// top-left corner goes.
struct caption_placement {
    int32_t caption;
    blit_kind blit;
    int16_t x, y;
};

// An image combined with the frame by `kind`, its top-left corner at (x, y).
inline void blit_by_kind(blit_kind kind, const image& source, image frame, int16_t x, int16_t y)
{
    switch (kind) {
    case blit_kind::alpha: blit_alpha(source, frame, x, y); break;
    case blit_kind::add: blit_add(source, frame, x, y); break;
    case blit_kind::subtract: blit_subtract(source, frame, x, y); break;
    case blit_kind::multiply: blit_multiply(source, frame, x, y); break;
    }
}

inline void draw_caption(const caption_placement& placed, image frame)
{
    blit_by_kind(placed.blit, caption_table[placed.caption], frame, placed.x, placed.y);
}
