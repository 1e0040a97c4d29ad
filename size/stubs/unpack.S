/* cm_unpack: the stub's decoder, the model of cm_model.h in x86-64 assembly,
 * written for size (it travels uncompressed in every packed show).  Each
 * block below names the C it follows; cm_decode is the plain version and the
 * tests compare the two (x86-64, System V calling convention). */
#include "size/stubs/unpack.h"

        .intel_syntax noprefix
        .text

/* The hashes' multipliers (K1 is 0x9E3779B1, written as the signed 32-bit
 * immediate the instruction takes). */
#define K1 -0x61C8864F
#define K2 0x2F0B4C13
#define K3 0x6F4F2A45

/* The state, at offsets from rbp = work + 128, so the fields used most are
 * reached with one-byte displacements. */
        .set HASH, -128         /* hashes[18] */
        .set ROWS, -56          /* rows[4], pointers */
        .set PARTIAL, -24
        .set EXPECTED, -20
        .set MLEN, -16          /* match_length */
        .set MAT, -12           /* match_at */
        .set PROB, -8           /* probability */
        .set MIDX, -4           /* the match map entry of this bit, 0: none */
        .set INPUTS, 0          /* inputs[20] */
        .set STRIDES, 80        /* the parameters, copied from the header */
        .set COUNT, 84
        .set RATE, 85
        .set SHIFT, 86
        .set MASKS, 87
        .set LAST0, 104
        .set LAST1, 105
        .set PAIRS, 112         /* pairs[18], pointers */
        .set MMAP, 256          /* match_map[32] */
        .set MAPS, 320          /* maps[18][256] */
        .set STRETCH, 9536      /* stretch[4096] */
        .set WEIGHTS, 17728     /* weights[801][20] */
        .set MTABLE, CM_UNPACK_STATE_SIZE - 128
        .set TABLE, MTABLE + 0x100000

        .globl cm_unpack
        .type cm_unpack, @function
/* void cm_unpack(const uint8_t* packed (rdi), uint8_t* out (rsi), void* work (rdx)) */
cm_unpack:
        push    rbx
        push    rbp
        push    r12
        push    r13
        push    r14
        push    r15
        push    rdi                     /* the header, for the size and the filter's range */
        lea     rbp, [rdx + 128]
        mov     r12, rsi
        /* The parameters. */
        lea     rsi, [rdi + 12]
        lea     rdi, [rbp + STRIDES]
        push    24
        pop     rcx
        rep movsb                       /* rsi is now the coded stream */

        /* cm_init: stretch is squash's inverse. */
        xor     edi, edi                /* p */
        mov     ecx, -2047              /* d */
1:      mov     eax, ecx
        call    squash
2:      cmp     edi, eax
        jg      3f
        mov     [rbp + rdi * 2 + STRETCH], cx
        inc     edi
        jmp     2b
3:      inc     ecx
        cmp     ecx, 2048
        jl      1b
        /* maps[m][pair] = 65536 (2 ones + 1) / (2 zeros + 2 ones + 2) - 32768 */
        xor     ecx, ecx
4:      movzx   eax, cl
        mov     edx, eax
        shr     edx, 4                  /* ones */
        and     eax, 15
        add     eax, edx
        lea     edi, [rax * 2 + 2]
        lea     eax, [rdx * 2 + 1]
        shl     eax, 16
        cdq
        div     edi
        xor     ah, 0x80
        mov     [rbp + rcx * 2 + MAPS], ax
        inc     ecx
        cmp     ecx, 18 * 256
        jb      4b

        /* cm_decode: the coder's range and the first four bytes. */
        xor     r14d, r14d              /* low */
        or      r15d, -1                /* high */
        lodsd
        bswap   eax
        mov     ebx, eax                /* x */
        xor     r13d, r13d              /* position */

next_byte:
        mov     rax, [rsp]
        cmp     r13d, [rax]
        jae     unfilter
        lea     rdi, [r12 + r13]        /* here */

        /* cm_byte_start: each masked model hashes the bytes its mask picks. */
        movzx   r8d, byte ptr [rbp + COUNT]
        xor     ecx, ecx
5:      cmp     ecx, r8d
        jae     7f
        lea     eax, [rcx + 1]
        imul    eax, eax, K1
        movzx   r9d, byte ptr [rbp + rcx + MASKS]
        mov     rdx, rdi
6:      dec     rdx
        shr     r9d, 1
        jnc     66f
        movzx   r10d, byte ptr [rdx]
        lea     eax, [rax + r10 + 1]
        imul    eax, eax, K2
66:     test    r9d, r9d
        jnz     6b
        mov     [rbp + rcx * 4 + HASH], eax
        inc     ecx
        jmp     5b
        /* The two table models: the previous byte and the bytes a row and two rows back. */
7:      xor     r9d, r9d                /* t */
8:      movzx   edx, word ptr [rbp + r9 * 2 + STRIDES]
        mov     r10, rdi
        sub     r10, rdx                /* above */
        movzx   eax, byte ptr [r10]
        imul    eax, eax, K2
        movzx   r11d, byte ptr [rdi - 1]
        add     eax, r11d
        lea     eax, [rax + r9 + 77]
        imul    eax, eax, K1
        sub     r10, rdx
        movzx   r11d, byte ptr [r10]
        add     eax, r11d
        imul    eax, eax, K3
        mov     [rbp + rcx * 4 + HASH], eax
        inc     ecx
        inc     r9d
        cmp     r9d, 2
        jb      8b

        /* The match model: follow the match while it holds, else look one up. */
        mov     ecx, [rbp + MLEN]
        jecxz   9f
        mov     edx, [rbp + MAT]
        mov     al, [rdi - 1]
        cmp     al, [r12 + rdx]
        jne     9f
        cmp     ecx, 15
        adc     ecx, 0
        inc     dword ptr [rbp + MAT]
        jmp     10f
9:      xor     ecx, ecx
10:     xor     eax, eax
        mov     rdx, rdi
        push    6
        pop     r9
11:     dec     rdx
        movzx   r10d, byte ptr [rdx]
        lea     eax, [rax + r10 + 1]
        imul    eax, eax, K2
        dec     r9d
        jnz     11b
        shr     eax, 14
        lea     rdx, [rbp + rax * 4 + MTABLE]
        test    ecx, ecx
        jnz     12f
        mov     eax, [rdx]
        test    eax, eax
        jz      12f
        mov     [rbp + MAT], eax
        inc     ecx
12:     mov     [rdx], r13d
        mov     [rbp + MLEN], ecx
        xor     eax, eax
        jecxz   13f
        mov     edx, [rbp + MAT]
        movzx   eax, byte ptr [r12 + rdx]
        inc     ah                      /* | 256 */
13:     mov     [rbp + EXPECTED], eax
        mov     ax, [rdi - 2]
        rol     ax, 8
        mov     [rbp + LAST0], ax       /* the previous byte, then the one before */
        mov     dword ptr [rbp + PARTIAL], 1

next_bit:
        /* cm_predict: each model's counter pair for this bit, through its map and stretch. */
        movzx   r8d, byte ptr [rbp + COUNT]
        add     r8d, 2                  /* models */
        imul    r9d, dword ptr [rbp + PARTIAL], K3
        xor     ecx, ecx
14:     mov     eax, [rbp + rcx * 4 + HASH]
        add     eax, r9d
        imul    eax, eax, K1
        shr     eax, 6
        lea     rdx, [rbp + rax + TABLE]
        mov     [rbp + rcx * 8 + PAIRS], rdx
        movzx   eax, byte ptr [rdx]
        mov     ah, cl                  /* maps[m][pair] */
        movzx   eax, word ptr [rbp + rax * 2 + MAPS]
        call    stretch
        mov     [rbp + rcx * 4 + INPUTS], eax
        inc     ecx
        cmp     ecx, r8d
        jb      14b
        /* The match model's input, and the bias. */
        xor     eax, eax
        xor     edx, edx
        mov     edi, [rbp + EXPECTED]
        test    edi, edi
        jz      15f
        shr     edi, 7
        and     edi, 1
        mov     edx, [rbp + MLEN]
        lea     edx, [rdi + rdx * 2]
        movzx   eax, word ptr [rbp + rdx * 2 + MMAP]
        call    stretch
15:     mov     [rbp + MIDX], edx
        mov     [rbp + rcx * 4 + INPUTS], eax
        mov     dword ptr [rbp + rcx * 4 + INPUTS + 4], 256
        add     r8d, 2                  /* inputs */
        /* The mixers' weights: by partial byte, match state, previous byte, the one before. */
        lea     rdi, [rbp + ROWS]
        mov     eax, [rbp + PARTIAL]
        call    row
        lea     eax, [rdx + 256]
        call    row
        movzx   eax, byte ptr [rbp + LAST0]
        add     eax, 256 + 33
        call    row
        movzx   eax, byte ptr [rbp + LAST1]
        add     eax, 256 + 33 + 256
        call    row
        /* dot = sum over the rows and inputs of (weight + 1/4) x input, then >> 18 */
        xor     r10d, r10d
        lea     rdi, [rbp + ROWS]
        push    4
        pop     r9
16:     mov     rdx, [rdi]
        scasq                           /* rdi += 8 */
        xor     ecx, ecx
17:     mov     eax, [rdx + rcx * 4]
        add     eax, 16384
        cdqe
        movsxd  r11, dword ptr [rbp + rcx * 4 + INPUTS]
        imul    rax, r11
        add     r10, rax
        inc     ecx
        cmp     ecx, r8d
        jb      17b
        dec     r9d
        jnz     16b
        sar     r10, 18
        mov     eax, 2047
        cmp     r10, rax
        jg      18f
        neg     rax
        cmp     r10, rax
        jl      18f
        mov     eax, r10d
18:     call    squash
        mov     [rbp + PROB], eax

        /* The coder: middle = low + ((high - low) >> 12) p; the bit is x <= middle. */
        mov     edx, r15d
        sub     edx, r14d
        shr     edx, 12
        imul    edx, eax
        add     edx, r14d
        xor     r9d, r9d                /* bit */
        cmp     ebx, edx
        ja      19f
        mov     r15d, edx
        inc     r9d
        jmp     20f
19:     lea     r14d, [rdx + 1]

        /* cm_update: the mixers learn the error ((bit << 12) - p) x rate. */
20:     mov     r11d, r9d
        shl     r11d, 12
        sub     r11d, [rbp + PROB]
        movzx   eax, byte ptr [rbp + RATE]
        imul    r11d, eax
        lea     rdi, [rbp + ROWS]
        push    4
        pop     r10
21:     mov     rdx, [rdi]
        scasq
        xor     ecx, ecx
22:     mov     eax, [rbp + rcx * 4 + INPUTS]
        imul    eax, r11d
        sar     eax, 14
        add     [rdx + rcx * 4], eax
        inc     ecx
        cmp     ecx, r8d
        jb      22b
        dec     r10d
        jnz     21b
        /* Each model's map learns, then its counter pair counts the bit. */
        mov     r10d, r9d
        neg     r10d
        movzx   r10d, r10w
        sub     r10d, 32768             /* the target: 32767 for a one, -32768 for a zero */
        push    rsi
        sub     r8d, 2                  /* models */
        lea     rdi, [rbp + PAIRS]
        lea     r11, [rbp + MAPS]
        mov     cl, [rbp + SHIFT]
23:     mov     rsi, [rdi]
        scasq
        movzx   eax, byte ptr [rsi]
        lea     rdx, [r11 + rax * 2]
        call    learn
        movzx   eax, byte ptr [rsi]
        test    r9d, r9d
        jz      24f
        rol     al, 4                   /* the bit's count in the low nibble */
24:     mov     edx, eax
        and     edx, 15                 /* seen */
        shr     eax, 4                  /* other */
        cmp     edx, 15
        adc     edx, 0
        cmp     eax, 2
        jbe     25f
        inc     eax
        shr     eax, 1
25:     shl     eax, 4
        or      eax, edx
        test    r9d, r9d
        jz      26f
        rol     al, 4
26:     mov     [rsi], al
        add     r11, 512
        dec     r8d
        jnz     23b
        pop     rsi
        /* The match map, and whether the match still predicts. */
        mov     eax, [rbp + MIDX]
        test    eax, eax
        jz      28f
        lea     rdx, [rbp + rax * 2 + MMAP]
        mov     cl, 5
        call    learn
        mov     eax, [rbp + EXPECTED]
        mov     edx, eax
        shr     edx, 7
        and     edx, 1
        add     eax, eax
        cmp     edx, r9d
        je      27f
        xor     eax, eax
27:     mov     [rbp + EXPECTED], eax
28:     shl     dword ptr [rbp + PARTIAL], 1
        or      [rbp + PARTIAL], r9d

        /* The coder takes in a byte whenever the range's top bytes agree. */
29:     mov     eax, r14d
        xor     eax, r15d
        shr     eax, 24
        jnz     30f
        shl     r14d, 8
        shl     r15d, 8
        mov     r15b, 255
        shl     ebx, 8
        lodsb
        mov     bl, al
        jmp     29b
30:     mov     eax, [rbp + PARTIAL]
        cmp     eax, 256
        jb      next_bit
        mov     [r12 + r13], al
        inc     r13d
        jmp     next_byte

        /* cm_x86_unfilter over [start, end). */
unfilter:
        pop     rdi
        mov     ecx, [rdi + 4]
        mov     edx, [rdi + 8]
31:     lea     eax, [rcx + 5]
        cmp     eax, edx
        ja      33f
        mov     al, [r12 + rcx]
        and     al, 0xFE
        cmp     al, 0xE8
        jne     32f
        mov     eax, [r12 + rcx + 1]
        bswap   eax
        sub     eax, ecx
        sub     eax, 5
        mov     [r12 + rcx + 1], eax
        add     ecx, 4
32:     inc     ecx
        jmp     31b
33:     pop     r15
        pop     r14
        pop     r13
        pop     r12
        pop     rbp
        pop     rbx
        ret

/* rows: the weights of row eax, stored at rdi, which moves on. */
row:
        imul    eax, eax, 80
        lea     rax, [rbp + rax + WEIGHTS]
        stosq
        ret

/* stretch[(entry + 32768) >> 4] for the 16-bit table entry in eax. */
stretch:
        xor     ah, 0x80
        shr     eax, 4
        movsx   eax, word ptr [rbp + rax * 2 + STRETCH]
        ret

/* cm_learn: the 16-bit entry at rdx moves toward r10d by a 2^cl-th. */
learn:
        movsx   eax, word ptr [rdx]
        neg     eax
        add     eax, r10d
        sar     eax, cl
        add     [rdx], ax
        ret

/* cm_squash of eax (-2047..2047); uses edx, r8d (kept) and r9. */
squash:
        push    r8
        add     eax, 2048
        mov     edx, eax
        shr     eax, 7                  /* knot */
        and     edx, 127                /* weight */
        lea     r9, [rip + knots]
        movzx   r8d, word ptr [r9 + rax * 2 + 2]
        imul    r8d, edx
        neg     edx
        add     edx, 128
        movzx   eax, word ptr [r9 + rax * 2]
        imul    eax, edx
        lea     eax, [rax + r8 + 64]
        shr     eax, 7
        pop     r8
        ret

knots:  .short 1, 2, 4, 6, 10, 17, 27, 45, 74, 120, 194, 311, 488, 747, 1102, 1546, 2048
        .short 2550, 2994, 3349, 3608, 3785, 3902, 3976, 4022, 4051, 4069, 4079, 4086, 4090, 4092, 4094, 4095

        .section .note.GNU-stack, "", @progbits
