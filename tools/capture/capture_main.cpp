// kelvorinsaa-capture: plays the show frame by frame on a clock of its own and writes the
// picture and the sound to PNG files or a video. Main thread; PNG files on a writer thread.
#include <GL/gl.h>
#include <SDL.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "capture_clock.h"
#include "capture_options.h"
#include "capture_output.h"
#include "music/embedded_song.h"
#include "music/song_parser.h"
#include "music/synth.h"
#include "shared/stop_signals.h"
#include "shared/tool_version.h"
#include "visuals/textures.h"
#include "x_window.h"

namespace {

constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

volatile sig_atomic_t interrupted = 0;  // the signal that asked the capture to stop

void on_interrupt(int signal_number) {
  interrupted = signal_number;
}

// An encoder that quits shows as a failed write; a write into a stalled one returns on a signal.
void catch_interrupts() {
  catch_stop_signals(on_interrupt);
  signal(SIGPIPE, SIG_IGN);
}

int fail(const std::string& message, int status = exit_failed) {
  std::fprintf(stderr, "kelvorinsaa-capture: %s\n", message.c_str());
  return status;
}

std::string load_song() {
  synth_init(show_sample_rate);
  static std::vector<char> text(embedded_song_text, embedded_song_text + embedded_song_length + 1);
  if (song_parse(text.data()) < 0) return std::string("built-in song rejected: ") + song_error();
  return "";
}

// "frame 120/7834  52.1 fps  2:28 left", redrawn in place on a terminal only.
struct Progress {
  bool shown = isatty(STDERR_FILENO);
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  double last_shown_s = -1;
};

void show_progress(Progress& progress, int64_t done, int64_t total) {
  if (!progress.shown) return;
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - progress.start).count();
  if (done < total && elapsed - progress.last_shown_s < 0.25) return;
  progress.last_shown_s = elapsed;
  const double fps = elapsed > 0 ? done / elapsed : 0;
  const long left = fps > 0 ? static_cast<long>((total - done) / fps + 0.5) : 0;
  std::fprintf(stderr, "\rframe %lld/%lld  %.1f fps  %ld:%02ld left ", static_cast<long long>(done),
               static_cast<long long>(total), fps, left / 60, left % 60);
}

int capture(const CaptureOptions& options) {
  if (output_needs_ffmpeg(options) && find_ffmpeg().empty()) {
    return fail(
        "ffmpeg is not installed: install the Debian package ffmpeg (apt-get install "
        "ffmpeg), or capture PNG frames into a folder (OUT ending in /)");
  }
  const std::string window_problem = open_x_window("Kelvorinsaa capture");
  if (!window_problem.empty()) {
    SDL_Quit();
    return fail(window_problem);
  }
  const std::string song_problem = load_song();
  if (!song_problem.empty()) {
    SDL_Quit();
    return fail(song_problem);
  }
  textures_init();

  CaptureOutput output;
  std::string problem;
  if (!output_open(output, options, problem)) {
    output_discard(output);
    SDL_Quit();
    return fail(problem);
  }
  Progress progress;
  CaptureSink sink;
  sink.sound = [&](const uint8_t* bytes, int32_t frames) {
    return output_sound(output, bytes, frames);
  };
  sink.picture = [&](const uint8_t* rgb, int64_t) { return output_picture(output, rgb); };
  sink.swap_buffers = [] { SDL_GL_SwapBuffers(); };
  sink.keep_going = [] { return !interrupted; };
  sink.progress = [&](int64_t done, int64_t total) { show_progress(progress, done, total); };

  const int64_t frames = capture_run(options.span, sink);
  if (progress.shown) std::fputc('\n', stderr);
  if (frames < 0 || interrupted || !output_finish(output, problem)) {
    if (frames < 0 && !output.problem.empty()) problem = output.problem;
    if (interrupted) problem = "interrupted; nothing written";
    if (problem.empty()) problem = "the mixer did not advance";
    output_discard(output);
    SDL_Quit();
    // As a shell reports a program killed by the signal: 130 for Ctrl-C, 143 for TERM.
    return fail(problem, interrupted ? 128 + interrupted : exit_failed);
  }
  output_discard(output);  // what is left of the temporary folder
  SDL_Quit();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CaptureOptions options;
  const std::string problem = parse_capture_options(argc, argv, options);
  if (!problem.empty()) return fail(problem, exit_usage);
  if (options.help) {
    std::fputs(capture_usage_text, stdout);
    return 0;
  }
  if (options.version) {
    print_tool_version(stdout, "kelvorinsaa-capture");
    return 0;
  }
  catch_interrupts();
  return capture(options);
}
