/* The unpacking stub of the packed Windows program: a whole PE32+ file,
 * headers included, assembled for the address it loads at (pe_stub.ld makes
 * it a flat binary).  oddball-pe-pack appends the packed program behind it
 * and sets the sizes in its headers.
 *
 * At run time it reserves the fixed address range the program was linked
 * for (before anything else can take it), decodes the program (cm_unpack,
 * the decoder of the Linux stub, called with the System V convention it is
 * written in) into scratch memory, commits the program's image in its
 * range, copies its sections there, resolves its imports (by name or
 * ordinal, LoadLibraryA and GetProcAddress), gives the scratch memory back,
 * runs its TLS callbacks if it has any and jumps to its entry point as the
 * system would, so the program's return value (or exit) ends the process.
 * If any of that fails it says what on standard error and ends the process
 * with status 127 (ExitProcess).
 *
 * One section, readable and executable (the stub writes only memory it
 * allocates; the system fills its import address table, which the IAT
 * directory names), its file offsets its addresses (an alignment of 16 for
 * both), no uninitialised tail.  The packer sets the sizes, the checksum,
 * the time stamp and the linker version. */
#include "size/stubs/unpack.h"

        .intel_syntax noprefix
        .text
        .set IMAGE_BASE, 0x400000
        .set ALIGNMENT, 16
#define RVA(label) ((label) - image)

image:
/* The DOS header: only its signature and the place of the PE header count
 * to the system, so the names of the stub's imports go in between. */
        .ascii  "MZ"
name_VirtualAlloc:
        .short  0                       /* hint */
        .asciz  "VirtualAlloc"
        .balign 2, 0
name_LoadLibraryA:
        .short  0
        .asciz  "LoadLibraryA"
        .balign 2, 0
name_GetProcAddress:
        .short  0
        .asciz  "GetProcAddress"
        .fill   0x3C - (. - image), 1, 0
        .long   RVA(pe)
pe:
        .ascii  "PE\0\0"
        .short  0x8664                  /* x86-64 */
        .short  1                       /* sections */
        .long   0, 0, 0                 /* time stamp, symbols */
        .short  section_table - optional
        .short  0x0023                  /* no relocations, executable, large addresses */
optional:
        .short  0x20B                   /* PE32+ */
        .byte   0, 0                    /* linker version */
        .long   0                       /* size of code (set by the packer) */
        .long   0                       /* size of initialised data (set by the packer) */
        .long   0                       /* size of uninitialised data */
        .long   RVA(start)              /* entry point */
        .long   RVA(code)               /* base of code */
        .quad   IMAGE_BASE
        .long   ALIGNMENT, ALIGNMENT    /* section and file alignment */
        .short  6, 0, 0, 0, 6, 0        /* system, image and subsystem versions */
        .long   0                       /* Win32 version */
        .long   0                       /* (set by the packer) */
        .long   RVA(code)               /* size of headers */
        .long   0                       /* checksum */
        .short  3                       /* console subsystem, as the program's */
        .short  0                       /* DLL characteristics: a fixed address */
        .quad   0x200000, 0x1000        /* stack reserve and commit (the program's, set by the packer) */
        .quad   0x100000, 0x1000        /* heap reserve and commit */
        .long   0                       /* loader flags */
        .long   16                      /* data directories */
        .long   0, 0                    /* exports */
        .long   RVA(imports), imports_end - imports
        .fill   10 * 8, 1, 0            /* resources .. bound imports */
        .long   RVA(iat), iat_end - iat /* the import address table */
        .fill   3 * 8, 1, 0
section_table:
        .ascii  ".text\0\0\0"
        .long   0                       /* virtual size (set by the packer) */
        .long   RVA(code)
        .long   0                       /* size in the file (set by the packer) */
        .long   RVA(code)
        .long   0, 0, 0                 /* relocations, line numbers, their counts */
        .long   0x60000020              /* code; read, execute */
        .balign ALIGNMENT, 0
code:

/* The stub's own imports: KERNEL32's functions, by name (no lookup table:
 * the system reads the names from the address table it fills). */
imports:
        .long   0, 0, 0, RVA(kernel32), RVA(iat)
        .long   0, 0, 0, 0, 0
imports_end:
iat:
VirtualAlloc:
        .quad   RVA(name_VirtualAlloc)
LoadLibraryA:
        .quad   RVA(name_LoadLibraryA)
GetProcAddress:
        .quad   RVA(name_GetProcAddress)
VirtualFree:
        .quad   RVA(name_VirtualFree)
ExitProcess:
        .quad   RVA(name_ExitProcess)
GetStdHandle:
        .quad   RVA(name_GetStdHandle)
WriteFile:
        .quad   RVA(name_WriteFile)
        .quad   0
iat_end:
kernel32:
        .asciz  "KERNEL32.dll"
        .balign 2, 0
name_VirtualFree:
        .short  0
        .asciz  "VirtualFree"
        .balign 2, 0
name_ExitProcess:
        .short  0
        .asciz  "ExitProcess"
        .balign 2, 0
name_GetStdHandle:
        .short  0
        .asciz  "GetStdHandle"
        .balign 2, 0
name_WriteFile:
        .short  0
        .asciz  "WriteFile"
text_no_room:
        .asciz  "oddball: the program's address range is in use\n"
text_no_memory:
        .asciz  "oddball: out of memory\n"
text_no_dll:
        .asciz  "oddball: cannot load "
text_no_function:
        .asciz  "oddball: cannot find "
text_in:
        .asciz  " in "
text_newline:
        .asciz  "\n"

/* The program as the packer lays it out before packing it (numbers of 32
 * bits), decoded into scratch memory: */
        .set LOAD_BASE, 0               /* the program's image base */
        .set LOAD_SIZE, 4               /* its size of image */
        .set LOAD_ENTRY, 8              /* its entry point (relative) */
        .set LOAD_IMPORTS, 12           /* its import directory (relative) */
        .set LOAD_TLS, 16               /* its TLS callbacks' array (absolute), 0: none */
        .set LOAD_SECTIONS, 20          /* per section: where (relative), its size, its bytes; then 0 */

/* Entered as a function, the stack 8 bytes off 16. */
start:
        mov     r15, rsp
        sub     rsp, 40                 /* shadow space, aligned */
        /* The program's own range, reserved first. */
        mov     ecx, [rip + program_base]
        mov     edx, [rip + program_size]
        mov     r8d, 0x2000             /* MEM_RESERVE */
        push    1                       /* PAGE_NOACCESS */
        pop     r9
        call    [rip + VirtualAlloc]
        mov     rbp, rax
        cmp     eax, [rip + program_base]  /* there, or null */
        jne     no_room
        /* Scratch: cm_unpack's work memory, the zeros before the output, the output. */
        xor     ecx, ecx
        mov     edx, [rip + packed]     /* the output's size */
        add     edx, CM_UNPACK_WORK_SIZE + CM_UNPACK_HISTORY
        mov     r8d, 0x3000             /* MEM_COMMIT | MEM_RESERVE */
        push    4                       /* PAGE_READWRITE */
        pop     r9
        call    [rip + VirtualAlloc]
        test    rax, rax
        jz      no_memory
        mov     rdx, rax
        lea     rsi, [rax + CM_UNPACK_WORK_SIZE + CM_UNPACK_HISTORY]
        mov     r12, rsi
        lea     rdi, [rip + packed]
        call    cm_unpack
        /* The program's image, committed in its range. */
        mov     rcx, rbp
        mov     edx, [r12 + LOAD_SIZE]
        mov     r8d, 0x1000             /* MEM_COMMIT */
        push    0x40                    /* PAGE_EXECUTE_READWRITE */
        pop     r9
        call    [rip + VirtualAlloc]
        test    rax, rax
        jz      no_memory
        /* Its sections. */
        lea     rsi, [r12 + LOAD_SECTIONS]
2:      lodsd
        test    eax, eax
        jz      3f
        lea     rdi, [rax + rbp]
        lodsd
        xchg    ecx, eax
        rep movsb
        jmp     2b
        /* Its imports: each DLL loaded, each function looked up by the name
           or ordinal its address table holds, which it then replaces. */
3:      mov     ebx, [r12 + LOAD_IMPORTS]
        add     rbx, rbp
4:      mov     ecx, [rbx + 12]         /* the DLL's name */
        jrcxz   7f
        add     rcx, rbp
        call    [rip + LoadLibraryA]
        test    rax, rax
        jz      no_dll
        mov     r13, rax
        mov     r14d, [rbx + 16]        /* its address table */
        add     r14, rbp
5:      mov     rdx, [r14]
        test    rdx, rdx
        jz      6f
        btr     rdx, 63                 /* an ordinal */
        jc      55f
        lea     rdx, [rdx + rbp + 2]    /* a name, after its hint */
55:     mov     rcx, r13
        call    [rip + GetProcAddress]
        test    rax, rax
        jz      no_function
        mov     [r14], rax
        add     r14, 8
        jmp     5b
6:      add     rbx, 20
        jmp     4b
        /* The scratch memory given back (the decoder's tables are 64 MB). */
7:      mov     ebx, [r12 + LOAD_TLS]
        mov     r14d, [r12 + LOAD_ENTRY]
        add     r14, rbp
        lea     rcx, [r12 - CM_UNPACK_WORK_SIZE - CM_UNPACK_HISTORY]
        xor     edx, edx
        mov     r8d, 0x8000             /* MEM_RELEASE */
        call    [rip + VirtualFree]
        /* TLS callbacks, as for a process starting (DLL_PROCESS_ATTACH). */
        test    ebx, ebx
        jz      9f
8:      mov     rax, [rbx]
        test    rax, rax
        jz      9f
        mov     rcx, rbp
        push    1
        pop     rdx
        xor     r8d, r8d
        call    rax
        add     rbx, 8
        jmp     8b
        /* The program's entry point, with the stack as the system gave it. */
9:      mov     rsp, r15
        jmp     r14

/* What failed, on standard error, and the end of the process.  Entered
 * with the stack as the steps above keep it (aligned, shadow space). */
no_room:
        lea     rsi, [rip + text_no_room]
        jmp     fail
no_memory:
        lea     rsi, [rip + text_no_memory]
        jmp     fail
no_function:                            /* "cannot find NAME in DLL" */
        lea     rsi, [rip + text_no_function]
        call    say
        mov     rsi, [r14]
        btr     rsi, 63
        jc      10f                     /* an ordinal: the DLL alone */
        lea     rsi, [rsi + rbp + 2]
        call    say
10:     lea     rsi, [rip + text_in]
        jmp     11f
no_dll:                                 /* "cannot load DLL" */
        lea     rsi, [rip + text_no_dll]
11:     call    say
        mov     esi, [rbx + 12]
        add     rsi, rbp
        call    say
        lea     rsi, [rip + text_newline]
fail:
        call    say
        mov     ecx, 127
        call    [rip + ExitProcess]

/* Writes the text at rsi (ending in a zero) to standard error. */
say:
        push    rbp
        mov     rbp, rsp
        sub     rsp, 48
        mov     rdi, rsi
        xor     eax, eax
        or      rcx, -1
        repne scasb
        not     ecx
        dec     ecx
        mov     [rsp + 40], ecx         /* its length */
        mov     ecx, -12                /* STD_ERROR_HANDLE */
        call    [rip + GetStdHandle]
        mov     rcx, rax
        mov     rdx, rsi
        mov     r8d, [rsp + 40]
        lea     r9, [rsp + 40]          /* bytes written */
        and     qword ptr [rsp + 32], 0 /* not overlapped */
        call    [rip + WriteFile]
        leave
        ret

#include "size/stubs/unpack.S"

        .text
        .balign 4, 0
/* The program's address and size of image (set by the packer). */
program_base:
        .long   0
program_size:
        .long   0
packed:
