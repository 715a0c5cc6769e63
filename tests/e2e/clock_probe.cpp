// Test helper: watches a running program's song clock and a growing recording side by side.
// Reads the 32-bit value at a symbol's address in the process's memory (/proc/PID/mem, nothing
// added to the program) and the recording file's size, every millisecond, and prints a line
// "MICROSECONDS CLOCK RECORDED_BYTES" whenever either changes, until the process ends; then
// "# longest pause MICROSECONDS", the longest time between two of its own readings.
// Usage: clock_probe PID EXECUTABLE SYMBOL_OFFSET RECORDING
// SYMBOL_OFFSET is the symbol's address in EXECUTABLE (nm's value, hexadecimal), which is found
// loaded in /proc/PID/maps.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

// Where the executable's first page is mapped: its mapping at file offset 0, once the process
// runs it (a process started through env or nice runs those first).
bool find_load_base(const std::string& pid, const char* executable, uint64_t& base) {
  char exe[4096];
  const ssize_t length = readlink(("/proc/" + pid + "/exe").c_str(), exe, sizeof exe - 1);
  if (length <= 0) return false;
  exe[length] = '\0';
  char wanted[PATH_MAX];
  if (realpath(executable, wanted) == nullptr || std::strcmp(wanted, exe) != 0) return false;
  std::FILE* maps = std::fopen(("/proc/" + pid + "/maps").c_str(), "r");
  if (maps == nullptr) return false;
  char line[4608];
  bool found = false;
  while (!found && std::fgets(line, sizeof line, maps) != nullptr) {
    uint64_t start = 0, offset = 0;
    char path[4096] = "";
    if (std::sscanf(line, "%" SCNx64 "-%*x %*s %" SCNx64 " %*s %*s %4095s", &start, &offset,
                    path) == 3 &&
        offset == 0 && std::strcmp(path, exe) == 0) {
      base = start;
      found = true;
    }
  }
  std::fclose(maps);
  return found;
}

int64_t file_size(const char* path) {
  struct stat info = {};
  return stat(path, &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: clock_probe PID EXECUTABLE SYMBOL_OFFSET RECORDING\n");
    return 2;
  }
  const std::string pid = argv[1];
  const uint64_t symbol = std::strtoull(argv[3], nullptr, 16);
  const char* const recording = argv[4];
  uint64_t base = 0;
  for (int tries = 0; !find_load_base(pid, argv[2], base); ++tries) {
    if (tries == 1000) {
      std::fprintf(stderr, "clock_probe: no executable mapped in process %s\n", pid.c_str());
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const int memory = open(("/proc/" + pid + "/mem").c_str(), O_RDONLY);
  if (memory < 0) {
    std::fprintf(stderr, "clock_probe: cannot read process %s: %s\n", pid.c_str(),
                 std::strerror(errno));
    return 1;
  }
  const auto start = std::chrono::steady_clock::now();
  int32_t clock = 0, last_clock = -1;
  int64_t last_bytes = -1, last_micros = 0, longest_pause = 0;
  while (pread(memory, &clock, sizeof clock, static_cast<off_t>(base + symbol)) == sizeof clock) {
    const int64_t bytes = file_size(recording);
    const int64_t micros = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count();
    if (micros - last_micros > longest_pause) longest_pause = micros - last_micros;
    last_micros = micros;
    if (clock != last_clock || bytes != last_bytes) {
      std::printf("%lld %d %lld\n", static_cast<long long>(micros), clock,
                  static_cast<long long>(bytes));
      last_clock = clock;
      last_bytes = bytes;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  close(memory);
  // A probe that sleeps a millisecond yet woke much later shows that the machine stood still:
  // a sound server and its clients can lose sound then without any fault of their own.
  std::printf("# longest pause %lld\n", static_cast<long long>(longest_pause));
  return 0;
}
