// The few pieces of the C++ runtime library the show may use, given here so
// the 64 KB build needs no libstdc++ at run time: the steady clock (which
// the platform layer reads) and plain operator new and delete (static_guards.cpp
// has the rest).  What the show does not call, the linker drops (Linux).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>

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

// Without exceptions, memory that cannot be had ends the program, as mem_alloc does.
__attribute__((visibility("default"))) void* operator new(size_t size)
{
    if (void* block = std::malloc(size ? size : 1))
        return block;
    std::fputs("oddball: out of memory\n", stderr);
    std::exit(1);
}
__attribute__((visibility("default"))) void* operator new[](size_t size)
{
    return operator new(size);
}
__attribute__((visibility("default"))) void operator delete(void* block) noexcept
{
    std::free(block);
}
__attribute__((visibility("default"))) void operator delete[](void* block) noexcept
{
    std::free(block);
}
__attribute__((visibility("default"))) void operator delete(void* block, size_t) noexcept
{
    std::free(block);
}
__attribute__((visibility("default"))) void operator delete[](void* block, size_t) noexcept
{
    std::free(block);
}
