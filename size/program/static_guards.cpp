// The guards of function-local statics for the 64 KB builds (Linux and
// Windows), which have no libstdc++: one thread runs a static's initialiser
// while the others wait (portable, GCC atomics).
#ifdef _WIN32
#include <windows.h>
#define guard_yield() SwitchToThread()
#define guard_export
#else
#include <sched.h>
#define guard_yield() sched_yield()
#define guard_export __attribute__((visibility("default")))
#endif

#include <cstdint>

// A local static's guard: byte 0 says "initialised" (the compiler tests it
// inline), byte 1 "being initialised" (one thread at a time; the others wait).
extern "C" {
guard_export int __cxa_guard_acquire(uint64_t* guard)
{
    auto* bytes = reinterpret_cast<char*>(guard);
    for (;;) {
        if (__atomic_load_n(&bytes[0], __ATOMIC_ACQUIRE))
            return 0;
        char idle = 0;
        if (__atomic_compare_exchange_n(&bytes[1], &idle, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED))
            return 1;
        guard_yield();
    }
}

guard_export void __cxa_guard_release(uint64_t* guard)
{
    __atomic_store_n(&reinterpret_cast<char*>(guard)[0], 1, __ATOMIC_RELEASE);
}

guard_export void __cxa_guard_abort(uint64_t* guard)
{
    __atomic_store_n(&reinterpret_cast<char*>(guard)[1], 0, __ATOMIC_RELEASE);
}
}
