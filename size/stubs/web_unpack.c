/* The browser page's unpacker: a WebAssembly module of its own that decodes
 * the packed show with the model of cm_model.h, so the page unpacks exactly
 * what the packer coded (portable C; built with emscripten, no C library).
 *
 * The page puts the packed data (packed_format.h's header, then the coded
 * stream) at unpack_input(size), calls unpack(size) and reads the program,
 * header.size bytes, where unpack says. */
#include "size/packers/cm_model.h"
#include "size/packers/packed_format.h"

static cm_state state;
static uint8_t table[1u << cm_table_bits];
static uint32_t match_table[1u << cm_match_bits];

/* The first byte after the module's own data and stack (the linker's). */
extern uint8_t __heap_base;

/* Memory up to `end`, growing it where it ends sooner. */
static void reach(uintptr_t end)
{
    uintptr_t have = __builtin_wasm_memory_size(0) << 16;
    if (end > have)
        __builtin_wasm_memory_grow(0, (end - have + 0xFFFF) >> 16);
}

/* Where the page puts the `size` packed bytes. */
uint8_t* unpack_input(uint32_t size)
{
    reach((uintptr_t)&__heap_base + size + packed_read_ahead);
    return &__heap_base;
}

/* The program, decoded behind the packed data and the zeros the model reads
 * before the first byte. */
uint8_t* unpack(uint32_t size)
{
    const uint8_t* in = &__heap_base;
    const packed_header* header = (const packed_header*)in;
    uint8_t* out = &__heap_base + ((size + packed_read_ahead + cm_history + 15) & ~15u);
    reach((uintptr_t)out + header->size);
    for (uint8_t* zero = &__heap_base + size; zero < out; ++zero)
        *zero = 0;
    cm_init(&state, &header->params, table, match_table);
    cm_decode(&state, in + packed_header_size, out, header->size);
    return out;
}
