// Pieces of the C++20 library that emscripten's libc++ (13) does not have
// yet, given to every file of the browser build ahead of its own includes:
// std::atomic_ref (loads and stores only) and std::bit_cast.  A newer
// library that has them keeps its own.  The SSE2 paths include their
// intrinsics on x86-64 only; here emscripten's header maps them onto
// WebAssembly SIMD.
#pragma once

#if defined(__wasm__) && defined(__SSE2__)
#include <emmintrin.h>
#endif

#ifdef __cplusplus
#include <atomic>
#include <version>

#if !defined(__cpp_lib_atomic_ref)
namespace std {
template <class T>
struct atomic_ref {
    T* target;
    explicit atomic_ref(T& value) : target(&value) {}
    void store(T value, memory_order order = memory_order_seq_cst) const
    {
        __atomic_store_n(target, value, int(order));
    }
    T load(memory_order order = memory_order_seq_cst) const { return __atomic_load_n(target, int(order)); }
};
}  // namespace std
#endif

#if !defined(__cpp_lib_bit_cast)
namespace std {
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept
{
    return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif
#endif
