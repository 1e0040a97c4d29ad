// Comparing what SDL's file-writing audio driver received with `oddball
// --wav`: both from their first sample that is not zero (tests only).
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

// 16-bit samples of `bytes` after `skip` header bytes, from the first one
// that is not zero, keeping left and right in step.
inline std::vector<int16_t> from_first_sound(const std::vector<uint8_t>& bytes, size_t skip)
{
    std::vector<int16_t> samples((bytes.size() - skip) / 2);
    std::memcpy(samples.data(), bytes.data() + skip, samples.size() * 2);
    size_t first = 0;
    while (first < samples.size() && samples[first] == 0)
        ++first;
    first &= ~size_t(1);
    return std::vector<int16_t>(samples.begin() + long(first), samples.end());
}

// The index of the first sample where `played` departs from `rendered`
// (played.size() when it never does).
inline size_t first_departure(const std::vector<int16_t>& played, const std::vector<int16_t>& rendered)
{
    size_t at = 0;
    while (at < played.size() && at < rendered.size() && played[at] == rendered[at])
        ++at;
    return at;
}
