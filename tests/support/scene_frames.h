// Helpers of the scene tests: frames, and where one frame differs from another.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

using frame = std::vector<uint32_t>;  // 320 x 240 pixels, rows back to back

// A rectangle of pixels, inclusive; empty when right < left.
struct box {
    int left = 320, top = 240, right = -1, bottom = -1;
    bool empty() const { return right < left; }
};

// The smallest box holding every pixel where `a` and `b` differ.
box difference_box(const frame& a, const frame& b);

// Where caption `index` shows in the frame `draw` makes: that frame against
// the same frame drawn with the caption left empty.  The two frames are
// handed back when asked for.
box caption_footprint(int index, const std::function<frame()>& draw, frame* with_caption = nullptr,
                      frame* without_caption = nullptr);
