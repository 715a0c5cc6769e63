// Ctrl-C, TERM and HUP as requests to stop, for the show and the tools that write: they finish
// or remove what they were making and end with 128 + the signal, as a shell reports a program it
// killed. Main thread, at start-up. Header only: the show, the SDL-free and the drawing tools
// alike include it.
#pragma once

#include <signal.h>

// By default without SA_RESTART, so that a write blocked on a pipe or a FIFO returns; a caller
// whose loop looks at its flag anyway may pass SA_RESTART. INT and HUP that the caller ignores
// (nohup, a background job of a script) stay ignored.
inline void catch_stop_signals(void (*handler)(int), int extra_flags = 0) {
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = handler;
  action.sa_flags = extra_flags;
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction before = {};
    sigaction(signal_number, nullptr, &before);
    if (signal_number != SIGTERM && before.sa_handler == SIG_IGN) continue;
    sigaction(signal_number, &action, nullptr);
  }
}
