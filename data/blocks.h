// The stored data blocks compiled into the program (portable).
#pragma once

#include "embedded_data.h"

// One entry per file of data/, ending with a null name.
struct embedded_block {
    const char* name;
    const unsigned char* bytes;
    const unsigned long* size;
};
extern const embedded_block embedded_blocks[];
