// Helpers of the scene tests: frames, and where one frame differs from another.
#include "tests/support/scene_frames.h"

#include <algorithm>

#include "director/pictures.h"

box difference_box(const frame& a, const frame& b)
{
    constexpr int width = 320, height = 240;
    box found;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (a[y * width + x] != b[y * width + x]) {
                found.left = std::min(found.left, x);
                found.right = std::max(found.right, x);
                found.top = std::min(found.top, y);
                found.bottom = std::max(found.bottom, y);
            }
    return found;
}

box caption_footprint(int index, const std::function<frame()>& draw, frame* with_caption, frame* without_caption)
{
    frame with = draw();
    const image kept = caption_table[index];
    caption_table[index] = {0, 0, nullptr};
    frame without = draw();
    caption_table[index] = kept;
    box found = difference_box(with, without);
    if (with_caption)
        *with_caption = std::move(with);
    if (without_caption)
        *without_caption = std::move(without);
    return found;
}
