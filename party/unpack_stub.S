/* The intro's start-up stub: unpacks the program packed behind it into a memory file and runs
   that file under the intro's own name and arguments. It runs before any library is loaded and
   makes its system calls itself. Hand-written because it is stored unpacked: every byte of it
   counts in full. It decodes exactly as pack::unpack and pack::calls_to_relative in
   pack_model.h do; each block below names the part of that file it mirrors. One thread. */
        .intel_syntax noprefix

        .include "pack_constants.inc"  /* the model's figures, written from pack_model.h */

/* Small per-model arrays live around rbp, each reached with a one-byte offset from the model
   counter rcx, which runs from model_count down to 1 (model rcx - 1). */
        .set hashes, -124       /* uint32_t [model_count] */
        .set inputs, -76        /* int32_t [model_count] */
        .set slot_of, -28       /* uint32_t* [model_count] */
/* program_size, the unpacked program's bytes, is given to the assembler by the packing script. */

        .text
/* The file begins with its ELF header and the one program header, which overlaps the header's
   last eight bytes (its first eight read as one program header, no section headers). Fields the
   kernel does not read hold the first instructions, the model's masks and the empty name. */
file_start:
        .byte 0x7f, 'E', 'L', 'F', 2, 1, 1, 0  /* 64-bit, little-endian, version 1 */
_start:                                 /* the identification's padding */
        mov ebp, offset variables + 128
        jmp start_continued
empty_name:
        .byte 0
        .org file_start + 16            /* gas refuses to move back: the fields keep their places */
        .short 2, 62                    /* an executable for x86-64 */
        .long 1
        .quad _start
        .quad program_header - file_start
context_masks:                          /* the section headers' offset and the flags */
        .if model_count != 12
        .error "the header has room for twelve masks"
        .endif
        context_masks_bytes
        .short 64, 56                   /* the header's size, a program header's size */
        .org file_start + 0x38
program_header:
        .long 1, 7                      /* loaded, readable, writable and executable */
        .quad 0, file_start
start_continued:                        /* the physical address, unused */
        mov eax, 1 << 27
        jmp grow_curve_start
        .org file_start + 0x58
        .quad image_end - file_start, image_and_tables_end - file_start
        .quad 0x1000
headers_end:

/* pack::start: the logistic curve grown from its middle, then its inverse. */
grow_curve_start:
        xor ecx, ecx
grow_curve:
        mov edx, eax
        shr edx, 16
        mov [squash + 2 * (stretch_range + 1) + rcx * 2], dx
        mov r8, rcx
        neg r8
        neg edx
        add edx, 4096
        mov [squash + 2 * (stretch_range + 1) + r8 * 2], dx
        mov edx, eax
        shr edx, 14
        mov r8d, 1 << 28
        sub r8d, eax
        shr r8d, 14
        imul edx, r8d
        shr edx, 8
        add eax, edx
        inc ecx
        cmp ecx, stretch_range
        jbe grow_curve

        mov edx, 1
        xor ecx, ecx
invert_curve:
        cmp edx, 2 * stretch_range + 1
        jge inverted
        cmp [squash + rdx * 2 + 2], cx
        jg inverted
        inc edx
        jmp invert_curve
inverted:
        lea eax, [rdx - stretch_range - 1]
        mov [stretch + rcx * 2], ax
        inc ecx
        cmp ecx, 4096
        jb invert_curve

        xor r15d, r15d          /* the history of bytes */
        call hash_contexts
        mov ebx, 1              /* the partial byte */

/* pack::unpack: the first four bytes of code, the interval (the size is program_size). */
        mov esi, offset packed_program
        mov edi, offset program
        push 4
        pop rcx
read_code:
        shl r14d, 8
        lodsb
        mov r14b, al
        loop read_code
        xor r12d, r12d          /* low */
        or r13d, -1             /* high */

next_bit:
/* pack::predict */
        bsr eax, ebx            /* the bit position: bits after the partial byte's leading 1 */
        imul eax, eax, model_count * 4
        lea r9, [weights + rax]
        xor r8d, r8d
        mov ecx, model_count
predict_model:
        imul eax, ebx, partial_multiplier
        add eax, [rbp + rcx * 4 + hashes - 4]
        and eax, (1 << slot_bits) - 1
        lea edx, [rcx - 1]
        shl edx, slot_bits
        add eax, edx
        lea rdx, [slots + rax * 4]
        mov [rbp + rcx * 8 + slot_of - 8], rdx
        mov eax, [rdx]
        btc eax, 31
        shr eax, 20
        movsx eax, word ptr [stretch + rax * 2]
        mov [rbp + rcx * 4 + inputs - 4], eax
        movsxd rdx, dword ptr [r9 + rcx * 4 - 4]
        cdqe
        imul rax, rdx
        add r8, rax
        loop predict_model
        sar r8, 16
        mov eax, stretch_range
        cmp r8, rax
        cmovg r8, rax
        neg rax
        cmp r8, rax
        cmovl r8, rax
        movsx r8d, word ptr [squash + 2 * (stretch_range + 1) + r8 * 2]

/* the middle of the interval and the bit */
        mov eax, r13d
        sub eax, r12d
        imul rax, r8
        shr rax, 12
        add eax, r12d
        xor edx, edx
        lea ecx, [rax + 1]
        cmp r14d, eax
        setbe dl
        cmovbe r13d, eax
        cmova r12d, ecx
        lea ebx, [rbx * 2 + rdx]  /* the bit joins the partial byte; learning reads it there */

/* pack::learn */
        shl edx, 12
        sub edx, r8d
        imul r8d, edx, error_scale
        mov ecx, model_count
learn_model:
        mov eax, [rbp + rcx * 4 + inputs - 4]
        imul eax, r8d
        sar eax, learning_shift
        add [r9 + rcx * 4 - 4], eax
        mov r10, [rbp + rcx * 8 + slot_of - 8]
        mov eax, [r10]
        btc eax, 31
        mov r11d, eax
        and r11d, 1023          /* the count */
        shr eax, 10             /* p */
        push rax
        mov edx, ebx
        and edx, 1
        shl edx, 22
        sub edx, eax
        lea eax, [rdx + rdx]
        cdq
        push rcx
        lea ecx, [r11 * 2 + 3]
        idiv ecx
        pop rcx
        pop rdx
        add eax, edx
        shl eax, 10
        cmp r11d, count_limit
        adc r11d, 0
        or eax, r11d
        btc eax, 31
        mov [r10], eax
        loop learn_model

/* the interval's settled top bytes give way to the next byte of code */
settle:
        mov eax, r12d
        xor eax, r13d
        shr eax, 24
        jnz settled
        shl r12d, 8
        shl r13d, 8
        mov r13b, -1
        shl r14d, 8
        lodsb
        mov r14b, al
        jmp settle
settled:
        cmp ebx, 256
        jb next_bit
        mov eax, ebx
        stosb
        shl r15, 8
        mov r15b, bl
        mov ebx, 1
        call hash_contexts
        cmp edi, offset program + program_size
        jb next_bit

/* pack::calls_to_relative */
        xor ecx, ecx
next_call:
        lea eax, [rcx + 5]
        cmp eax, program_size
        ja calls_done
        mov dl, [program + rcx]
        and dl, 0xfe
        cmp dl, 0xe8
        jne not_a_call
        sub [program + rcx + 1], eax
        add ecx, 4
not_a_call:
        inc ecx
        jmp next_call
calls_done:

/* memfd_create("", 0), write, then execveat(file, "", argv, envp, AT_EMPTY_PATH) */
        mov eax, 319
        mov edi, offset empty_name
        xor esi, esi
        syscall
        mov edi, eax
        push 1
        pop rax
        mov esi, offset program
        mov edx, program_size
        syscall
        mov eax, 322
        mov esi, offset empty_name
        lea rdx, [rsp + 8]
        mov r10, [rsp]
        lea r10, [rsp + r10 * 8 + 16]
        mov r8d, 0x1000
        syscall
        push 60
        pop rax
        mov edi, 127
        syscall

/* pack::hash_contexts, of the history in r15 */
hash_contexts:
        mov r10, context_multiplier
        mov ecx, model_count
hash_model:
        movzx eax, byte ptr [context_masks + rcx - 1]
        xor edx, edx
        push 8
        pop r8
spread_mask:                    /* bit j of the mask becomes byte j of rdx */
        shl rdx, 8
        shl al, 1
        sbb r9d, r9d
        mov dl, r9b
        dec r8d
        jnz spread_mask
        and rdx, r15
        lea rdx, [rdx + rcx - 1]
        imul rdx, r10
        shr rdx, 32
        mov [rbp + rcx * 4 + hashes - 4], edx
        loop hash_model
        ret

        .bss
        .align 64
variables:      .zero 256
weights:        .zero 8 * model_count * 4
squash:         .zero 2 * (2 * stretch_range + 2)
stretch:        .zero 2 * 4096
slots:          .zero model_count * 4 << slot_bits
program:        .zero largest_program
