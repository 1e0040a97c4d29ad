// Which wider instruction sets this processor offers, asked once (portable; asks the processor on x86-64).
#include "base/cpu_features.h"

namespace {

cpu_feature_set detect()
{
    cpu_feature_set found{};
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init();
    found.avx2 = __builtin_cpu_supports("avx2") != 0;
#endif
    return found;
}

const cpu_feature_set detected = detect();
cpu_feature_set in_use = detected;

}  // namespace

const cpu_feature_set& cpu_features()
{
    return in_use;
}

void cpu_limit_features(cpu_feature_set allowed)
{
    in_use.avx2 = detected.avx2 && allowed.avx2;
}
