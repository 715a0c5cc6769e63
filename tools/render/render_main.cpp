// kelvorinsaa-render: the program around the renderer's library (render_tool.h).
#include <csignal>
#include <cstdio>

#include "render_tool.h"

int main(int argc, char** argv) {
  // Beyond the shell's file size limit a write then fails with its reason, like a full disk,
  // and the half-written file is removed, instead of the signal ending the program.
  std::signal(SIGXFSZ, SIG_IGN);
  return render_tool_run(argc, argv, stdout, stderr);
}
