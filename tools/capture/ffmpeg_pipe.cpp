// Starting, feeding and waiting for the ffmpeg program.
#include "ffmpeg_pipe.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

extern char** environ;

namespace {

std::string last_log_line(const std::string& log_path) {
  std::ifstream log(log_path);
  std::string line, last;
  while (std::getline(log, line)) {
    if (!line.empty()) last = line;
  }
  return last.empty() ? "no message" : last;
}

std::string describe_status(int status, const std::string& log_path) {
  if (WIFSIGNALED(status)) return std::string("killed by ") + strsignal(WTERMSIG(status));
  return "status " + std::to_string(WEXITSTATUS(status)) + ": " + last_log_line(log_path);
}

bool wait_for(pid_t pid, int& status) {
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

std::string find_ffmpeg() {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
    const std::string candidate = dir + "/ffmpeg";
    struct stat info;
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        access(candidate.c_str(), X_OK) == 0)
      return candidate;
    start = end + 1;
  }
  return "";
}

bool ffmpeg_start(FfmpegPipe& pipe, const std::vector<std::string>& args,
                  const std::string& log_path, std::string& problem) {
  const std::string program = find_ffmpeg();
  if (program.empty()) {
    problem = "ffmpeg is not installed";
    return false;
  }
  int ends[2] = {-1, -1};
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    problem = std::string("cannot start ffmpeg: ") + std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (ends[0] >= 0) posix_spawn_file_actions_adddup2(&actions, ends[0], STDIN_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const int failed =
      posix_spawn(&pipe.pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(ends[0]);
  if (failed != 0) {
    close(ends[1]);
    pipe.pid = -1;
    problem = std::string("cannot start ffmpeg: ") + std::strerror(failed);
    return false;
  }
  pipe.input = ends[1];
  pipe.log_path = log_path;
  return true;
}

bool ffmpeg_write(FfmpegPipe& pipe, const void* bytes, size_t size, std::string& problem) {
  const char* next = static_cast<const char*>(bytes);
  while (size > 0) {
    const ssize_t written = write(pipe.input, next, size);
    if (written < 0 && errno == EINTR) return false;  // an interrupt: the caller stops
    if (written <= 0) {
      // The encoder has gone: its own words say why.
      int status = 0;
      close(pipe.input);
      pipe.input = -1;
      problem = wait_for(pipe.pid, status)
                    ? "the encoder quit (" + describe_status(status, pipe.log_path) + ")"
                    : "the encoder quit";
      pipe.pid = -1;
      return false;
    }
    next += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool ffmpeg_finish(FfmpegPipe& pipe, std::string& problem) {
  if (pipe.input >= 0) close(pipe.input);
  pipe.input = -1;
  int status = 0;
  const bool waited = pipe.pid > 0 && wait_for(pipe.pid, status);
  pipe.pid = -1;
  if (waited && WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  problem = waited ? "the encoder failed (" + describe_status(status, pipe.log_path) + ")"
                   : "the encoder was lost";
  return false;
}

void ffmpeg_abandon(FfmpegPipe& pipe) {
  if (pipe.input >= 0) close(pipe.input);
  pipe.input = -1;
  if (pipe.pid > 0) {
    kill(pipe.pid, SIGTERM);
    int status = 0;
    wait_for(pipe.pid, status);
  }
  pipe.pid = -1;
}

bool ffmpeg_run(const std::vector<std::string>& args, const std::string& log_path,
                std::string& problem) {
  FfmpegPipe pipe;
  if (!ffmpeg_start(pipe, args, log_path, problem)) return false;
  return ffmpeg_finish(pipe, problem);
}
