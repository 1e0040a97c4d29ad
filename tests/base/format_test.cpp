// The program's own printf writes what the C library's writes, for the
// conversions its messages use, and cuts short the same way.
#include "base/format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>

// The cut-short cases truncate on purpose.
#pragma GCC diagnostic ignored "-Wformat-truncation"

#define EXPECT_FORMATS_LIKE_SNPRINTF(size, ...)                                   \
    do {                                                                          \
        char ours[64] = "untouched", theirs[64] = "untouched";                    \
        size_t ours_length = format_text(ours, size, __VA_ARGS__);                \
        int theirs_length = std::snprintf(theirs, size, __VA_ARGS__);             \
        EXPECT_EQ(std::string(ours), std::string(theirs)) << #__VA_ARGS__;        \
        EXPECT_EQ(ours_length, size_t(theirs_length)) << #__VA_ARGS__;            \
    } while (0)

TEST(Format, WritesWhatSnprintfWrites)
{
    EXPECT_FORMATS_LIKE_SNPRINTF(64, "%016llx", 0x1234abcdULL);
    EXPECT_FORMATS_LIKE_SNPRINTF(64, "%016llx", ~0ULL);
    EXPECT_FORMATS_LIKE_SNPRINTF(64, "%d|%d|%d", 0, INT_MIN, INT_MAX);
    EXPECT_FORMATS_LIKE_SNPRINTF(64, "%05d|%5d|%3d", -42, -42, 7);
    EXPECT_FORMATS_LIKE_SNPRINTF(64, "%u %lu %llu %zu", UINT_MAX, 12ul, ULLONG_MAX, size_t(1) << 40);
    EXPECT_FORMATS_LIKE_SNPRINTF(64, "%lld %x %c%%", LLONG_MIN, 0xBEEFu, 'q');
    EXPECT_FORMATS_LIKE_SNPRINTF(64, "[%6s] [%s] [%1s]", "ab", "", "wide");
    EXPECT_FORMATS_LIKE_SNPRINTF(64, "%030d|%25x|%040llu", -5, 255u, 77ULL);
    // Cut short: the end of the buffer holds the zero, the length is the whole text's.
    EXPECT_FORMATS_LIKE_SNPRINTF(5, "pattern %u has no rows", 200u);
    EXPECT_FORMATS_LIKE_SNPRINTF(1, "%s", "anything");
}

TEST(Format, NothingIsWrittenIntoNoRoom)
{
    char byte = 'x';
    EXPECT_EQ(format_text(&byte, 0, "%d", 12345), 5u);
    EXPECT_EQ(byte, 'x');
}
