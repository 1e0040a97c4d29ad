// The one allocator of the program: zero-filled blocks (portable).
#include "base/memory.h"

#include <cstdio>
#include <cstdlib>

void* mem_alloc(size_t size)
{
    void* block = std::calloc(size ? size : 1, 1);
    if (!block) {
        std::fprintf(stderr, "oddball: out of memory (asked for %zu bytes)\n", size);
        std::exit(1);
    }
    return block;
}

void mem_free(void* block)
{
    std::free(block);
}
