// The one allocator of the program: zero-filled blocks; on Windows committed
// pages from VirtualAlloc, read-write only since nothing runs from them.
#include "base/memory.h"

#include <cstdlib>

#include "base/format.h"

#ifdef _WIN32
#include <windows.h>
#endif

void* mem_alloc(size_t size)
{
#ifdef _WIN32
    void* block = VirtualAlloc(nullptr, size ? size : 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
#else
    void* block = std::calloc(size ? size : 1, 1);
#endif
    if (!block) {
        report_error("oddball: out of memory (asked for %zu bytes)", size);
        std::exit(1);
    }
    return block;
}

void mem_free(void* block)
{
#ifdef _WIN32
    if (block)
        VirtualFree(block, 0, MEM_RELEASE);
#else
    std::free(block);
#endif
}
