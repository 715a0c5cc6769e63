// Fills the intro's import table before any other constructor of the program runs: one dlsym
// per name of the NUL-separated list that make_imports.pl wrote, which ends with an empty name.
// Nothing here may call a stubbed function, so the loop finds each name's end by itself.
#include <dlfcn.h>

extern "C" void* import_table[];
extern "C" const char import_names[];

__attribute__((constructor(101))) static void load_imports() {
  void** slot = import_table;
  for (const char* name = import_names; *name;) {
    *slot++ = dlsym(RTLD_DEFAULT, name);
    while (*name++) {
    }
  }
}
