// kelvorinsaa-import: the program around its library (import_tool.h), with its signals: Ctrl-C,
// TERM and HUP stop it and leave nothing half-written.
#include <signal.h>

#include <cstdio>
#include <initializer_list>

#include "import_tool.h"
#include "shared/stop_signals.h"

namespace {

void on_stop_signal(int signal_number) {
  import_tool_interrupt(signal_number);
}

}  // namespace

int main(int argc, char** argv) {
  catch_stop_signals(on_stop_signal);
  signal(SIGXFSZ, SIG_IGN);  // a file past the size limit is a failed write with its reason
  signal(SIGPIPE, SIG_IGN);
  return import_tool_run(argc, argv, stdout, stderr);
}
