// The one allocator of the program: zero-filled blocks, and a clear end when memory runs out (portable).
#pragma once

#include <cstddef>

// Returns a zero-filled block of `size` bytes.  When the system has no memory
// left the program ends with a message on standard error and status 1.
void* mem_alloc(size_t size);

// Gives a block from mem_alloc back; null is allowed and does nothing.
void mem_free(void* block);
