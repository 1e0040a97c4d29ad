// The 64 KB build's stand-in for libgcc's processor model gives the same
// answer as libgcc for every feature it knows, and nothing for the rest.
#include <gtest/gtest.h>

// Compiled here under other names, so libgcc's own stays the oracle.
#define __cpu_model size_cpu_model
#define __cpu_features2 size_cpu_features2
#define __cpu_indicator_init size_cpu_indicator_init
#define __processor_model size_processor_model
#include "size/program/cpu_model.cpp"
#undef __cpu_model
#undef __cpu_features2
#undef __cpu_indicator_init
#undef __processor_model

TEST(CpuModel, FeatureBitsMatchLibgcc)
{
    size_cpu_indicator_init();
    __builtin_cpu_init();
    struct known {
        int bit;
        bool libgcc;
        const char* name;
    } features[] = {
        {0, __builtin_cpu_supports("cmov") != 0, "cmov"},
        {1, __builtin_cpu_supports("mmx") != 0, "mmx"},
        {2, __builtin_cpu_supports("popcnt") != 0, "popcnt"},
        {3, __builtin_cpu_supports("sse") != 0, "sse"},
        {4, __builtin_cpu_supports("sse2") != 0, "sse2"},
        {5, __builtin_cpu_supports("sse3") != 0, "sse3"},
        {6, __builtin_cpu_supports("ssse3") != 0, "ssse3"},
        {7, __builtin_cpu_supports("sse4.1") != 0, "sse4.1"},
        {8, __builtin_cpu_supports("sse4.2") != 0, "sse4.2"},
        {9, __builtin_cpu_supports("avx") != 0, "avx"},
        {10, __builtin_cpu_supports("avx2") != 0, "avx2"},
    };
    uint32_t bits = size_cpu_model.__cpu_features[0];
    for (const known& f : features)
        EXPECT_EQ((bits >> f.bit & 1) != 0, f.libgcc) << f.name;
    EXPECT_EQ(bits >> 11, 0u) << "features the stand-in does not know read as absent";
    // Every x86-64 processor has these, so a bit misplaced by one would show.
    EXPECT_TRUE(bits & 1u << 4) << "sse2";
    EXPECT_TRUE(bits & 1u << 0) << "cmov";
}
