// The storage of the shared pictures.
#include "base/slots.h"

uint32_t* texture_slots[texture_slot_count] = {};
image caption_table[caption_slot_count] = {};
