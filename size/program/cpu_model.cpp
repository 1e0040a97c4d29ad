// The processor feature bits behind __builtin_cpu_supports, for the 64 KB
// build (x86-64).  libgcc's own version also identifies every vendor's model
// numbers, which takes more code than the rest of the C++ runtime together;
// the show only ever asks about instruction set features.  Features not
// listed here read as absent, so a caller falls back to its plain code.
#include <cstdint>

namespace {

// One feature: its bit in libgcc's feature word, and where CPUID reports it.
struct feature_source {
    uint8_t bit;       // position in __cpu_model.features[0]
    uint8_t leaf_reg;  // 0: leaf 1 EDX, 1: leaf 1 ECX, 2: leaf 7 EBX
    uint8_t reg_bit;
    uint8_t needs_avx_state;  // usable only when the system saves the YMM registers
};
const feature_source feature_sources[] = {
    {0, 0, 15, 0},   // cmov
    {1, 0, 23, 0},   // mmx
    {2, 1, 23, 0},   // popcnt
    {3, 0, 25, 0},   // sse
    {4, 0, 26, 0},   // sse2
    {5, 1, 0, 0},    // sse3
    {6, 1, 9, 0},    // ssse3
    {7, 1, 19, 0},   // sse4.1
    {8, 1, 20, 0},   // sse4.2
    {9, 1, 28, 1},   // avx
    {10, 2, 5, 1},   // avx2
};

void cpuid(uint32_t leaf, uint32_t* regs)
{
    __asm__("cpuid" : "=a"(regs[0]), "=b"(regs[1]), "=c"(regs[2]), "=d"(regs[3]) : "a"(leaf), "c"(0));
}

}  // namespace

// The layout libgcc's __builtin_cpu_supports reads (vendor, type, subtype, features).
struct __processor_model {
    unsigned int __cpu_vendor;
    unsigned int __cpu_type;
    unsigned int __cpu_subtype;
    unsigned int __cpu_features[1];
};

extern "C" {
__attribute__((visibility("default"))) __processor_model __cpu_model;
__attribute__((visibility("default"))) unsigned int __cpu_features2[4];

// Runs before any other constructor, as libgcc's does.
__attribute__((visibility("default"), constructor(101))) int __cpu_indicator_init()
{
    uint32_t leaf0[4], leaf1[4], leaf7[4] = {};
    cpuid(0, leaf0);
    cpuid(1, leaf1);
    if (leaf0[0] >= 7)
        cpuid(7, leaf7);
    const uint32_t regs[3] = {leaf1[3], leaf1[2], leaf7[1]};
    // OSXSAVE, and the system saving both SSE and AVX state.
    bool avx_state = false;
    if (leaf1[2] >> 27 & 1) {
        uint32_t low, high;
        __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
        avx_state = (low & 6) == 6;
    }
    uint32_t features = 0;
    for (const feature_source& f : feature_sources)
        if ((regs[f.leaf_reg] >> f.reg_bit & 1) && (avx_state || !f.needs_avx_state))
            features |= 1u << f.bit;
    __cpu_model.__cpu_features[0] = features;
    return 0;
}
}
