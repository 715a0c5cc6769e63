// The player's terminal input and its status display. Main thread.
#include "play_terminal.h"

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

termios saved_settings;
termios raw_settings;
volatile std::sig_atomic_t terminal_taken = 0;
int drawn_lines = 0;
volatile std::sig_atomic_t stop_signal = 0;
volatile std::sig_atomic_t cursor_hidden = 0;
volatile std::sig_atomic_t resumed = 0;  // the display starts afresh below what the shell wrote

constexpr int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int fatal_signals[] = {SIGSEGV, SIGFPE, SIGABRT, SIGBUS, SIGILL};
const char show_cursor[] = "\x1b[?25h";
const char hide_cursor[] = "\x1b[?25l";

void on_stop_signal(int signal_number) {
  stop_signal = signal_number;
}

// Only what is safe in a signal handler: the terminal's settings and a write of the cursor back.
void restore_from_handler() {
  if (cursor_hidden != 0) {
    const ssize_t ignored = write(STDOUT_FILENO, show_cursor, sizeof show_cursor - 1);
    (void)ignored;
  }
  if (terminal_taken) tcsetattr(STDIN_FILENO, TCSANOW, &saved_settings);
}

// The terminal is put back, then the signal ends the program as it would have.
void on_fatal_signal(int signal_number) {
  restore_from_handler();
  std::signal(signal_number, SIG_DFL);
  raise(signal_number);
}

void on_suspend(int);

void catch_suspend() {
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = on_suspend;
  sigaction(SIGTSTP, &action, nullptr);
}

// Ctrl-Z: the shell gets the terminal as it was while the player is stopped; when continued,
// the player takes it again. Only calls that are safe in a signal handler.
void on_suspend(int) {
  const int saved_errno = errno;
  restore_from_handler();
  struct sigaction stop_now = {};
  sigemptyset(&stop_now.sa_mask);
  stop_now.sa_handler = SIG_DFL;
  sigaction(SIGTSTP, &stop_now, nullptr);
  sigset_t suspend;
  sigemptyset(&suspend);
  sigaddset(&suspend, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &suspend, nullptr);
  raise(SIGTSTP);  // stopped here until SIGCONT
  catch_suspend();
  if (terminal_taken) tcsetattr(STDIN_FILENO, TCSANOW, &raw_settings);
  if (cursor_hidden != 0) {
    const ssize_t ignored = write(STDOUT_FILENO, hide_cursor, sizeof hide_cursor - 1);
    (void)ignored;
  }
  resumed = 1;
  errno = saved_errno;
}

void install_handlers() {
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = on_stop_signal;
  for (const int signal_number : stop_signals) sigaction(signal_number, &action, nullptr);
  action.sa_handler = on_fatal_signal;
  action.sa_flags = SA_RESETHAND;
  for (const int signal_number : fatal_signals) sigaction(signal_number, &action, nullptr);
  catch_suspend();
}

KeyPress decode(const unsigned char* bytes, ssize_t count, ssize_t& at) {
  const unsigned char c = bytes[at++];
  if (c == 27) {
    if (at + 1 < count + 0 && bytes[at] == '[') {
      const unsigned char code = bytes[at + 1];
      at += 2;
      switch (code) {
        case 'C':
          return {Key::forward_bar};
        case 'D':
          return {Key::back_bar};
        case 'A':
          return {Key::forward_long};
        case 'B':
          return {Key::back_long};
        default:
          return {};
      }
    }
    return {Key::quit};  // Escape alone
  }
  if (c == ' ') return {Key::pause};
  if (c == 'q' || c == 'Q') return {Key::quit};
  if (c == 'r') return {Key::reload};
  if (c == 's') return {Key::solo};
  if (c >= '0' && c <= '9') return {Key::digit, c == '0' ? 10 : c - '0'};
  return {};
}

}  // namespace

bool read_keys(int timeout_ms, std::vector<KeyPress>& keys) {
  pollfd input{STDIN_FILENO, POLLIN, 0};
  if (poll(&input, 1, timeout_ms) <= 0) return true;
  unsigned char bytes[64];
  const ssize_t count = read(STDIN_FILENO, bytes, sizeof bytes);
  if (count <= 0) return count < 0;
  decode_keys(bytes, count, keys);
  return true;
}

void decode_keys(const unsigned char* bytes, ssize_t count, std::vector<KeyPress>& keys) {
  for (ssize_t at = 0; at < count;) keys.push_back(decode(bytes, count, at));
}

void terminal_take() {
  install_handlers();
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved_settings) != 0) return;
  termios raw = saved_settings;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  raw_settings = raw;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  terminal_taken = 1;
  std::atexit(terminal_restore);
}

void terminal_restore() {
  if (drawn_lines > 0) {
    std::fputs(show_cursor, stdout);
    std::fflush(stdout);
    drawn_lines = 0;
    cursor_hidden = 0;
  }
  if (!terminal_taken) return;
  tcsetattr(STDIN_FILENO, TCSANOW, &saved_settings);
  terminal_taken = 0;
}

bool stop_requested() {
  return stop_signal != 0;
}

int stop_signal_number() {
  return stop_signal;
}

void display_draw(const std::vector<std::string>& lines) {
  std::string out;
  if (resumed != 0) {
    resumed = 0;
    drawn_lines = 0;
  }
  if (drawn_lines == 0) {
    out += hide_cursor;
    cursor_hidden = 1;
  }
  if (drawn_lines > 0) out += "\x1b[" + std::to_string(drawn_lines) + "F";
  for (const std::string& line : lines) out += line + "\x1b[K\r\n";
  for (int extra = static_cast<int>(lines.size()); extra < drawn_lines; ++extra)
    out += "\x1b[K\r\n";
  if (drawn_lines > static_cast<int>(lines.size())) {
    out += "\x1b[" + std::to_string(drawn_lines - lines.size()) + "F";
  }
  drawn_lines = static_cast<int>(lines.size());
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
}
