// The intro's entry point in place of crt1's and the compiler's start files: the dynamic loader
// has set up the libraries already, so what is left is to run the program's constructors (the
// import loader first, by its priority), hand the loader's finalizer to exit, and call main.
asm(R"(
  .text
  .globl _start
  .type _start, @function
_start:
  mov %rdx, %r12
  mov $__init_array_start, %ebx
1:call *(%rbx)
  add $8, %ebx
  cmp $__init_array_end, %ebx
  jb 1b
  mov %r12, %rdi
  xor %esi, %esi
  call *on_exit@GOTPCREL(%rip)
  mov (%rsp), %edi
  lea 8(%rsp), %rsi
  call main
  mov %eax, %edi
  call *exit@GOTPCREL(%rip)
)");

// The call above is hidden from the link-time optimizer; this reference keeps main for it.
int main(int argc, char** argv);
[[gnu::used]] static int (*const entry_main)(int, char**) = main;
