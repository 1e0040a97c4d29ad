/* The unpacking stub of the 64 KB build: decodes the program packed behind
 * it into memory and runs it in place of itself, with the same arguments and
 * environment, so its exit status is the program's and no file is ever
 * written (x86-64 Linux, freestanding: no C library, system calls only). */
#include <stdint.h>

#include "size/cm_model.h"
#include "size/packed_format.h"

/* Where the packer puts the packed program: right behind this stub's image. */
extern const packed_header packed_data;

enum {
    sys_write = 1,
    sys_mmap = 9,
    sys_exit = 60,
    sys_memfd_create = 319,
    sys_execveat = 322,
    prot_read_write = 3,
    map_private_anonymous = 0x22,
    mfd_cloexec = 1,
    at_empty_path = 0x1000
};

static long call(long number, long a, long b, long c, long d, long e)
{
    long result;
    register long r10 __asm__("r10") = d;
    register long r8 __asm__("r8") = e;
    __asm__ volatile("syscall"
                     : "=a"(result)
                     : "a"(number), "D"(a), "S"(b), "d"(c), "r"(r10), "r"(r8)
                     : "rcx", "r11", "memory");
    return result;
}

__attribute__((used)) static void unpack_and_run(long* stack)
{
    char** argv = (char**)(stack + 1);
    uint32_t size = packed_data.size;
    /* One zeroed block: the model, its two tables, the history and the program. */
    uint8_t* block = (uint8_t*)call(sys_mmap, 0, (long)(sizeof(cm_state) + (1ul << cm_table_bits) +
                                                        (4ul << cm_match_bits) + cm_history + size),
                                    prot_read_write, map_private_anonymous, -1);
    cm_state* state = (cm_state*)block;
    uint8_t* table = block + sizeof(cm_state);
    uint32_t* match_table = (uint32_t*)(table + (1ul << cm_table_bits));
    uint8_t* program = (uint8_t*)(match_table + (1ul << cm_match_bits)) + cm_history;
    long file = -1;
    if ((unsigned long)block < -4096ul) {
        cm_init(state, &packed_data.params, table, match_table);
        cm_decode(state, (const uint8_t*)&packed_data + packed_header_size, program, size);
        cm_x86_unfilter(program, packed_data.filter_start, packed_data.filter_end);
        /* The program as an anonymous file in memory, executed from there. */
        file = call(sys_memfd_create, (long)"oddball", mfd_cloexec, 0, 0, 0);
        call(sys_write, file, (long)program, size, 0, 0);
    }
    call(sys_execveat, file, (long)"", (long)argv, (long)(argv + stack[0] + 1), at_empty_path);
    static const char message[] = "oddball: cannot unpack\n";
    call(sys_write, 2, (long)message, sizeof message - 1, 0, 0);
    call(sys_exit, 127, 0, 0, 0, 0);
}

/* The entry: the stack holds argc, argv and the environment. */
__asm__(".globl _start\n"
        "_start:\n"
        "  mov %rsp, %rdi\n"
        "  and $-16, %rsp\n"
        "  call unpack_and_run\n");
