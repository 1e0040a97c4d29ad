// The one allocator of the program on Windows: committed pages from
// VirtualAlloc, zero-filled by the system.  Nothing runs from them, so they
// are read-write only.
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>

void* mem_alloc(size_t size)
{
    void* block = VirtualAlloc(nullptr, size ? size : 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!block) {
        std::fprintf(stderr, "oddball: out of memory (asked for %zu bytes)\n", size);
        std::exit(1);
    }
    return block;
}

void mem_free(void* block)
{
    if (block)
        VirtualFree(block, 0, MEM_RELEASE);
}
