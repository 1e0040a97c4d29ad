// The one piece of the C++ runtime library the show uses, given here so the
// 64 KB build needs no libstdc++ at run time: the steady clock (Linux).
#include <chrono>
#include <ctime>

namespace std::chrono {
inline namespace _V2 {

steady_clock::time_point steady_clock::now() noexcept
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return time_point(duration(int64_t(now.tv_sec) * 1000000000 + now.tv_nsec));
}

}  // namespace _V2
}  // namespace std::chrono
