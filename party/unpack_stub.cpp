// The intro's start-up stub: unpacks the program packed behind it into a memory file and runs
// that file under the intro's own name and arguments. It runs before any library is loaded, so
// it makes its system calls itself. Built freestanding by pack.sh; one thread.
#include "pack_model.h"

extern "C" const uint8_t packed_program[];  // the squeezer's payload, then four zero bytes

namespace {

constexpr long call_write = 1, call_exit = 60, call_memfd_create = 319, call_execveat = 322;
constexpr long at_empty_path = 0x1000;

pack::State state;
uint8_t program[1 << 18];

long system_call(long number, long a, long b, long c = 0, long d = 0, long e = 0) {
  register long r10 asm("r10") = d;
  register long r8 asm("r8") = e;
  long result;
  asm volatile("syscall"
               : "=a"(result)
               : "a"(number), "D"(a), "S"(b), "d"(c), "r"(r10), "r"(r8)
               : "rcx", "r11", "memory");
  return result;
}

}  // namespace

extern "C" [[noreturn]] void unpack_and_run(long* stack) {
  const uint32_t size = pack::unpack(packed_program, program, state);
  pack::calls_to_relative(program, size);
  char** arguments = reinterpret_cast<char**>(stack + 1);
  char** environment = arguments + stack[0] + 1;
  const long file = system_call(call_memfd_create, reinterpret_cast<long>(""), 0);
  system_call(call_write, file, reinterpret_cast<long>(program), size);
  system_call(call_execveat, file, reinterpret_cast<long>(""), reinterpret_cast<long>(arguments),
              reinterpret_cast<long>(environment), at_empty_path);
  system_call(call_exit, 127, 0);
  __builtin_unreachable();
}

// The kernel starts here with the argument count on top of the stack.
asm(".text\n.globl _start\n_start:\n  mov %rsp, %rdi\n  call unpack_and_run\n");
