// The whole C++ runtime the party build needs in place of libstdc++: the show allocates its
// start-up buffers with new (std::nothrow) and frees nothing before the process exits.
// Linked only into the intro.
#include <cstdlib>
#include <new>

// The destructors of the show's static buffers only free memory, which the end of the process
// returns anyway: the intro registers none of them.
extern "C" __attribute__((visibility("hidden"))) int __cxa_atexit(void (*)(void*), void*, void*) {
  return 0;
}

extern "C" {
__attribute__((visibility("hidden"))) void* __dso_handle = nullptr;
}

namespace std {
const nothrow_t nothrow{};
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size);
}

void operator delete[](void* memory) noexcept {
  std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept {
  std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}

void operator delete(void* memory) noexcept {
  std::free(memory);
}
