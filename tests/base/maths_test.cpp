// interpolate_exact against the same division done in 128 bits.
#include "base/maths.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>

TEST(InterpolateExact, EqualsThe128BitDivisionForAnyEnds)
{
    std::mt19937_64 random(5);
    const int32_t ends[] = {INT32_MIN, INT32_MIN + 1, -65536, -7, 0, 3, 65535, INT32_MAX - 1, INT32_MAX};
    for (int trial = 0; trial < 200000; ++trial) {
        const int32_t from = trial % 3 ? int32_t(random()) : ends[random() % 9];
        const int32_t to = trial % 5 ? int32_t(random()) : ends[random() % 9];
        const int64_t n = trial % 2 ? int64_t(random() % 0xFFFFFFFFull) + 1 : int64_t(random() % 1000) + 1;
        const int64_t k = trial % 7 ? int64_t(random() % uint64_t(n + 1)) : (trial % 2 ? n : 0);
        const __int128 expected = from + __int128(int64_t(to) - from) * k / n;
        ASSERT_EQ(interpolate_exact(from, to, k, n), int32_t(uint32_t(uint64_t(expected))))
            << from << " " << to << " " << k << "/" << n;
    }
}
