// The few pieces of the C and C++ runtime the Windows show may use, given
// here so its 64 KB build takes nothing from libstdc++, winpthreads or
// mingw-w64's start-up code: the entry point, the constructors' run, the
// steady clock, plain operator new and delete, the pure virtual call
// (Windows, x86-64; the guards of function-local statics are
// size/program/static_guards.cpp, shared with the Linux build).
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>

int main(int argc, char** argv);

extern "C" {
// msvcrt's own splitting of the command line into arguments.
struct msvcrt_startup_info {
    int new_mode;
};
__declspec(dllimport) int __getmainargs(int* argc, char*** argv, char*** environment, int expand_wildcards,
                                        msvcrt_startup_info* info);

// The program's entry point (linked with -e, without mingw-w64's start-up
// files): the x87 unit in the state mingw-w64's start-up leaves it (64-bit
// precision, which its sine and cosine compute at), the arguments, main,
// then exit, which flushes the streams.
void oddball_start()
{
    __asm__ volatile("fninit");
    int argc = 0;
    char** argv = nullptr;
    char** environment = nullptr;
    msvcrt_startup_info info = {0};
    __getmainargs(&argc, &argv, &environment, 0, &info);
    std::exit(main(argc, argv));
}

// The linker's table of static constructors (-1, the constructors, 0): GCC
// calls __main at the start of main to run them, the last listed first (the
// order of their priorities).
extern void (*__CTOR_LIST__[])();
void __main()
{
    size_t count = 0;
    while (__CTOR_LIST__[count + 1])
        ++count;
    for (; count; --count)
        __CTOR_LIST__[count]();
}
}

namespace std::chrono {
inline namespace _V2 {

steady_clock::time_point steady_clock::now() noexcept
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    int64_t seconds = count.QuadPart / frequency.QuadPart, rest = count.QuadPart % frequency.QuadPart;
    return time_point(duration(seconds * 1000000000 + rest * 1000000000 / frequency.QuadPart));
}

}  // namespace _V2
}  // namespace std::chrono

// Without exceptions, memory that cannot be had ends the program, as mem_alloc does.
void* operator new(size_t size)
{
    if (void* block = std::malloc(size ? size : 1))
        return block;
    std::fputs("oddball: out of memory\n", stderr);
    std::exit(1);
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }

extern "C" {
void __cxa_pure_virtual() { std::abort(); }
}

// mingw-w64's own printf family (which C++ code is given) as msvcrt's, a
// system DLL: the show prints only short lines of integers and plain reals.
extern "C" int __mingw_vsnprintf(char* buffer, size_t size, const char* format, va_list values)
{
    if (!size)
        return 0;
    int length = _vsnprintf(buffer, size, format, values);
    buffer[size - 1] = 0;
    return length < 0 ? int(size - 1) : length;
}
extern "C" int __mingw_vfprintf(FILE* file, const char* format, va_list values)
{
    char line[1024];
    int length = __mingw_vsnprintf(line, sizeof line, format, values);
    return int(std::fwrite(line, 1, size_t(length), file));
}
