// mem_alloc hands out zero-filled blocks, and a failed allocation ends the program with a message.
#include "base/memory.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(Memory, BlocksStartZeroAndGoBack)
{
    auto* block = static_cast<uint8_t*>(mem_alloc(262144));
    for (int i = 0; i < 262144; ++i)
        ASSERT_EQ(block[i], 0) << "byte " << i;
    mem_free(block);
    mem_free(nullptr);
}

TEST(MemoryDeathTest, ExhaustionEndsWithAMessage)
{
    EXPECT_EXIT(mem_alloc(SIZE_MAX / 2), testing::ExitedWithCode(1), "out of memory");
}
