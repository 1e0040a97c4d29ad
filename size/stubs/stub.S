/* The unpacking stub of the 64 KB build: decodes the program packed behind
 * it (cm_unpack) into memory and runs it in place of itself from an
 * anonymous in-memory file, with the same arguments and environment, so its
 * exit status is the program's and no file is ever written (x86-64 Linux,
 * freestanding: system calls only). */
#include "size/stubs/unpack.h"

        .intel_syntax noprefix
        .text
        .globl _start
/* The stack holds argc, then argv and the environment. */
_start:
        /* One zeroed block: cm_unpack's work memory, the history and the program. */
        mov     esi, [rip + packed_data]        /* the program's size */
        add     rsi, CM_UNPACK_WORK_SIZE + CM_UNPACK_HISTORY
        xor     edi, edi
        push    3                               /* PROT_READ | PROT_WRITE */
        pop     rdx
        push    0x22                            /* MAP_PRIVATE | MAP_ANONYMOUS */
        pop     r10
        push    -1
        pop     r8
        xor     r9d, r9d
        push    9                               /* mmap */
        pop     rax
        syscall
        test    rax, rax
        js      fail
        mov     rdx, rax
        lea     rsi, [rax + CM_UNPACK_WORK_SIZE + CM_UNPACK_HISTORY]
        push    rsi
        lea     rdi, [rip + packed_data]
        call    cm_unpack
        /* The program as an anonymous file, closed on exec, and executable
           where the system asks for that to be said (MFD_EXEC, Linux 6.3;
           older systems refuse the flag and are asked again without it). */
        push    0x11                            /* MFD_CLOEXEC | MFD_EXEC */
        pop     rsi
1:      lea     rdi, [rip + empty]
        mov     eax, 319                        /* memfd_create */
        syscall
        test    eax, eax
        jns     2f
        sub     esi, 0x10                       /* once: MFD_CLOEXEC alone */
        jns     1b
2:      mov     edi, eax                        /* a failure makes the calls below fail too */
        pop     rsi
        mov     edx, [rip + packed_data]
        push    1                               /* write */
        pop     rax
        syscall
        /* Run it: execveat(file, "", argv, environment, AT_EMPTY_PATH). */
        lea     rsi, [rip + empty]
        lea     rdx, [rsp + 8]
        mov     r10, [rsp]
        lea     r10, [rdx + r10 * 8 + 8]
        mov     r8d, 0x1000
        mov     eax, 322                        /* execveat */
        syscall
fail:
        push    2
        pop     rdi
        lea     rsi, [rip + message]
        push    message_end - message
        pop     rdx
        push    1                               /* write */
        pop     rax
        syscall
        push    127
        pop     rdi
        push    60                              /* exit */
        pop     rax
        syscall

message:
        .ascii  "oddball: cannot unpack\n"
message_end:
empty:
        .byte   0

        .section .note.GNU-stack, "", @progbits
