/* cm_unpack, the stub's decoder (unpack.S): the model of cm_model.h written
 * for size in x86-64 assembly.  cm_decode is its plain version; the tests
 * run both on the same packed data.  Shared by C and the assembler. */
#ifndef ODDBALL_SIZE_UNPACK_H
#define ODDBALL_SIZE_UNPACK_H

/* Zeroed memory cm_unpack works in: its state, the match table
 * (1 << cm_match_bits positions) and the counter pairs (1 << cm_table_bits
 * bytes). */
#define CM_UNPACK_STATE_SIZE 0x15000
#define CM_UNPACK_WORK_SIZE (CM_UNPACK_STATE_SIZE + 0x100000 + 0x4000000)
/* Zero bytes before the output (cm_history). */
#define CM_UNPACK_HISTORY 1024

#ifndef __ASSEMBLER__
#include <stdint.h>
#ifdef __cplusplus
extern "C" {
#endif
/* Decodes the packed data (header and stream, as packed_format.h lays them
 * out, with 4 zero bytes behind) into `out`, which has CM_UNPACK_HISTORY
 * zero bytes before it, and undoes the x86 filter. */
void cm_unpack(const uint8_t* packed, uint8_t* out, void* work);
#ifdef __cplusplus
}
#endif
#endif

#endif
