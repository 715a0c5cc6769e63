// kelvorinsaa-render: the program around the renderer's library (render_tool.h).
#include <cstdio>

#include "render_tool.h"

int main(int argc, char** argv) {
  return render_tool_run(argc, argv, stdout, stderr);
}
