/* The packed program as the stub finds it behind itself: a header, then the
 * arithmetic-coded stream (portable C, also compiled as C++).  Numbers are
 * little-endian, as the stub reads them in place. */
#ifndef ODDBALL_SIZE_PACKED_FORMAT_H
#define ODDBALL_SIZE_PACKED_FORMAT_H

#include <stdint.h>

#include "size/packers/cm_model.h"

enum {
    packed_header_size = 12 + (int)sizeof(cm_params),
    packed_read_ahead = 4  /* zero bytes the decoder may read past the stream */
};

typedef struct packed_header {
    uint32_t size;          /* the program's bytes */
    uint32_t filter_start;  /* the x86 filter's range in the program */
    uint32_t filter_end;
    cm_params params;
} packed_header;

#endif
