// kelvorinsaa-songcheck: the program around its library (songcheck_tool.h).
#include <cstdio>

#include "songcheck_tool.h"

int main(int argc, char** argv) {
  return songcheck_run(argc, argv, stdout, stderr);
}
