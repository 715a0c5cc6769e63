// kelvorinsaa-render: the program around the renderer's library (render_tool.h), with its
// signals: Ctrl-C, TERM and HUP stop the render cleanly.
#include <signal.h>

#include <cstdio>

#include "render_tool.h"
#include "shared/stop_signals.h"

namespace {

void on_stop_signal(int signal_number) {
  render_tool_interrupt(signal_number);
}

void handle_stop_signals() {
  catch_stop_signals(on_stop_signal);
  // Beyond the shell's file size limit a write then fails with its reason, like a full disk,
  // and the half-written file is removed, instead of the signal ending the program.
  signal(SIGXFSZ, SIG_IGN);
  // A reader that goes away (`- | head -c 100`) is a failed write with its reason too.
  signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
  handle_stop_signals();
  return render_tool_run(argc, argv, stdout, stderr);
}
