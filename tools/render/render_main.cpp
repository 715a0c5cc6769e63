// kelvorinsaa-render: the program around the renderer's library (render_tool.h), with its
// signals: Ctrl-C, TERM and HUP stop the render cleanly.
#include <signal.h>

#include <cstdio>

#include "render_tool.h"

namespace {

void on_stop_signal(int signal_number) {
  render_tool_interrupt(signal_number);
}

void handle_stop_signals() {
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = on_stop_signal;
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction before {};
    sigaction(signal_number, nullptr, &before);
    // A signal the caller ignores (nohup, a background job) stays ignored.
    if (signal_number != SIGTERM && before.sa_handler == SIG_IGN) continue;
    sigaction(signal_number, &action, nullptr);
  }
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
