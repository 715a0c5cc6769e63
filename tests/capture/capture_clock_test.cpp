// The capture's clock against the recording OpenGL stand-in: which moment each video frame
// shows, how far the mixer has run when it is drawn, the pictures repeated when the pacing
// declines, the sound of the span, the warm-up before it, and the end of the show.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "capture_clock.h"
#include "capture_options.h"
#include "gl_recorder.h"
#include "music/embedded_song.h"
#include "music/mixer.h"
#include "music/song_parser.h"
#include "music/synth.h"
#include "shared/shared_values.h"
#include "visuals/frame_driver.h"

namespace {

struct RenderCall {
  int32_t ms;
  int32_t frames_mixed;
  int32_t drawn;
};
std::vector<RenderCall> render_calls;       // of the span's frames
std::vector<RenderCall> calls_before_span;  // of the frames before it, from the show's start

int32_t watched_render(int32_t ms) {
  const int32_t mixed = frames_mixed.load();
  const int32_t drawn = render_frame(ms);
  render_calls.push_back({ms, mixed, drawn});
  return drawn;
}

// A fresh engine at frame 0 with the show's song, as the capture starts it.
void start_show() {
  synth_init(show_sample_rate);
  std::vector<char> text(embedded_song_text, embedded_song_text + embedded_song_length + 1);
  static std::vector<std::vector<char>> kept;  // the parser keeps pointers into its text
  kept.push_back(text);
  ASSERT_EQ(song_parse(kept.back().data()), 0) << song_error();
  gl_recorder_reset();
  frame_driver_reset();
  audio_level = 0.0f;
  quit_requested = 0;
  render_calls.clear();
  capture_render = watched_render;
}

struct Captured {
  int64_t frames = 0;
  int64_t progress_done = 0, progress_total = 0;
  std::vector<uint8_t> sound;
  std::vector<uint8_t> first_byte_of_picture;  // one per video frame
  int swaps = 0;
};

Captured run(const CaptureSpan& span) {
  Captured got;
  CaptureSink sink;
  sink.sound = [&](const uint8_t* bytes, int32_t frames) {
    got.sound.insert(got.sound.end(), bytes, bytes + 4 * frames);
    return true;
  };
  sink.picture = [&](const uint8_t* rgb, int64_t) {
    got.first_byte_of_picture.push_back(rgb[0]);
    return true;
  };
  sink.swap_buffers = [&] { ++got.swaps; };
  sink.progress = [&](int64_t done, int64_t total) {
    EXPECT_EQ(done, got.progress_done + 1) << "each drawn or written frame once";
    got.progress_done = done;
    got.progress_total = total;
  };
  got.frames = capture_run(span, sink);
  const int64_t before = std::min<int64_t>(-first_show_frame(span) * span.passes,
                                           static_cast<int64_t>(render_calls.size()));
  const auto span_start = render_calls.begin() + before;
  calls_before_span.assign(render_calls.begin(), span_start);
  render_calls.erase(render_calls.begin(), span_start);
  return got;
}

// Without a warm-up unless asked: most tests look at the span's own frames.
CaptureSpan span_of(int32_t fps, double from_s, double to_s, int32_t passes = 1,
                    int32_t warm_up = 0) {
  CaptureSpan span;
  span.warm_up = warm_up;
  span.fps = fps;
  span.from_us = std::llround(from_s * 1e6);
  span.to_us = std::llround(to_s * 1e6);
  span.to_given = true;
  span.passes = passes;
  return span;
}

TEST(CaptureClock, EachFrameIsDrawnAtItsMomentWithTheMixerAheadByTheLag) {
  const CaptureSpan spans[] = {span_of(60, 0, 0.5), span_of(25, 12.5, 13.0), span_of(7, 3.3, 4.5),
                               span_of(240, 40.0001, 40.2)};
  for (const CaptureSpan& span : spans) {
    start_show();
    const Captured got = run(span);
    const int64_t expected_frames = std::ceil((span.to_us - span.from_us) * 1e-6 * span.fps - 1e-9);
    ASSERT_EQ(got.frames, expected_frames) << span.fps;
    ASSERT_EQ(render_calls.size(), static_cast<size_t>(got.frames));
    for (size_t k = 0; k < render_calls.size(); ++k) {
      const double t = span.from_us * 1e-6 + double(k) / span.fps;
      EXPECT_EQ(render_calls[k].ms, std::lround(t * 1000)) << span.fps << " k " << k;
      const int64_t heard = static_cast<int64_t>(std::floor(t * 44100 + 1e-9));
      const int32_t mixed = render_calls[k].frames_mixed;
      EXPECT_GE(mixed, heard + 4096) << span.fps << " k " << k;
      EXPECT_LT(mixed, heard + 4096 + 1024) << "mixed more than one buffer too far";
      EXPECT_EQ(mixed % 1024, 0);
    }
  }
  // Worked by hand: 60 fps from 0, frame 1 is 16.67 ms, 735 frames heard, 4831 needed.
  start_show();
  run(span_of(60, 0, 0.05));
  EXPECT_EQ(render_calls[1].ms, 17);
  EXPECT_EQ(render_calls[1].frames_mixed, 5120);
  EXPECT_EQ(render_calls[0].drawn, 0);  // ms 0: the pacing's first call never draws
}

TEST(CaptureClock, DeclinedFramesRepeatThePreviousPictureAndReadNothing) {
  start_show();
  const Captured got = run(span_of(240, 1, 1.5));  // 4.2 ms apart: most calls decline
  int drawn = 0;
  uint8_t shown = 0;  // black before the first drawn frame
  for (size_t k = 0; k < render_calls.size(); ++k) {
    if (render_calls[k].drawn) shown = static_cast<uint8_t>(++drawn);
    EXPECT_EQ(got.first_byte_of_picture[k], shown) << "frame " << k;
  }
  EXPECT_GE(drawn, 40);  // every third frame, 12.5 ms apart
  EXPECT_LE(drawn, 56);  // 500 ms at one frame per 9 ms at most
  EXPECT_EQ(count_calls("glReadPixels"), drawn);
  EXPECT_EQ(got.swaps, drawn);
}

TEST(CaptureClock, TheGlTraceIsTheShowsOwnPlusOneReadAfterEachFrame) {
  start_show();
  run(span_of(30, 5, 5.3));
  std::vector<GlCall> captured = gl_calls;
  const std::vector<RenderCall> calls = render_calls;
  // The same moments drawn directly, as the show's loop would.
  gl_recorder_reset();
  frame_driver_reset();
  for (const RenderCall& call : calls) {
    frames_mixed = call.frames_mixed;
    render_frame(call.ms);
  }
  std::vector<GlCall> direct = gl_calls;
  size_t d = 0, reads = 0;
  for (size_t i = 0; i < captured.size(); ++i) {
    if (captured[i].name == "glReadPixels") {
      ++reads;
      EXPECT_EQ(captured[i].args, (std::vector<double>{0, 0, 640, 480, GL_RGB, GL_UNSIGNED_BYTE}));
      EXPECT_TRUE(i + 1 == captured.size() || captured[i + 1].name == "glClear")
          << "the read ends a frame";
      continue;
    }
    ASSERT_LT(d, direct.size());
    EXPECT_EQ(captured[i].name, direct[d].name) << "call " << i;
    ++d;
  }
  EXPECT_EQ(d, direct.size());
  EXPECT_EQ(reads, calls.size());  // 33 ms apart, every frame draws
}

TEST(CaptureClock, ExtraPassesDeclineAndOnlySpeedTheBrightness) {
  start_show();
  run(span_of(30, 0, 0.5, 1));
  const float one_pass = frame_driver_brightness();
  start_show();
  run(span_of(30, 0, 0.5, 4));
  ASSERT_EQ(render_calls.size(), 4u * 15);
  for (size_t i = 0; i < render_calls.size(); ++i) {
    if (i % 4 != 3) {
      EXPECT_EQ(render_calls[i].drawn, 0) << i;
    }
  }
  EXPECT_EQ(count_calls("glReadPixels"), 14);
  // 60 steps of 1% towards 0.95 instead of 15.
  EXPECT_NEAR(frame_driver_brightness(), 0.95 * (1 - std::pow(0.99, 60)), 1e-4);
  EXPECT_NEAR(one_pass, 0.95 * (1 - std::pow(0.99, 15)), 1e-4);
}

TEST(CaptureClock, SoundOfASpanIsTheCallbackStreamCutAtItsEnds) {
  start_show();
  const CaptureSpan span = span_of(24, 2.5, 3.25, 1, default_warm_up_frames);
  const Captured got = run(span);
  const int64_t first = 110250, last = 143325;  // 2.5 and 3.25 s at 44100
  ASSERT_EQ(got.sound.size(), static_cast<size_t>(4 * (last - first)));
  start_show();
  std::vector<uint8_t> stream(4 * callback_frames * (last / callback_frames + 1));
  for (size_t at = 0; at < stream.size(); at += 4 * callback_frames)
    audio_callback(nullptr, stream.data() + at, 4 * callback_frames);
  EXPECT_EQ(0, std::memcmp(got.sound.data(), stream.data() + 4 * first, got.sound.size()));
}

TEST(CaptureClock, TheDefaultSpanEndsWithTheFrameInWhichTheShowEnds) {
  CaptureSpan whole;
  EXPECT_EQ(show_frame_count(whole), 7834);  // 130.55 s: 735 k >= 5756929 first at k 7833
  start_show();
  CaptureSpan tail;
  tail.from_us = 130500000;  // the frame at 130.55 s is the fourth
  const Captured got = run(tail);
  EXPECT_EQ(got.frames, 4);
  EXPECT_EQ(quit_requested, 1);
  EXPECT_EQ(visual_row(render_calls.back().frames_mixed), show_end_row);
  EXPECT_LT(visual_row(render_calls[2].frames_mixed), show_end_row);
  EXPECT_EQ(got.sound.size(), static_cast<size_t>(4 * 4 * 735));  // 130.5 to 130.5667 s
}

TEST(CaptureClock, SpansAndCommandLinesThatCannotBeCaptured) {
  const std::pair<std::vector<const char*>, const char*> cases[] = {
      {{"--fps", "0", "o/"}, "--fps must be a whole number from 1 to 1000"},
      {{"--fps", "1001", "o/"}, "--fps must"},
      {{"--fps", "6x", "o/"}, "--fps must"},
      {{"--from", "5", "--to", "5", "o/"}, "--from must come before --to"},
      {{"--to", "131", "o/"}, "--to 131.000 is past the end of the show"},
      {{"--from", "131", "o/"}, "--from 131.000 is past the end of the show"},
      {{"--from", "-1", "o/"}, "--from needs seconds"},
      {{"--from", "1.0000001", "o/"}, "--from needs seconds"},
      {{"--size", "1920", "o.mp4"}, "--size needs WxH"},
      {{"--size", "641x480", "o.mp4"}, "--size needs WxH"},
      {{"--frobnicate", "o/"}, "unknown option --frobnicate"},
      {{"o.avi"}, "o.avi: give a folder"},
      {{}, "no output given"},
      {{"--fps"}, "--fps needs a value"},
      {{"--warm-up", "-1", "o/"}, "--warm-up needs a number of frames"},
      {{"--warm-up", "some", "o/"}, "--warm-up needs a number of frames"},
  };
  for (const auto& [args, expected] : cases) {
    std::vector<char*> argv = {const_cast<char*>("kelvorinsaa-capture")};
    for (const char* arg : args) argv.push_back(const_cast<char*>(arg));
    CaptureOptions options;
    const std::string problem =
        parse_capture_options(static_cast<int>(argv.size()), argv.data(), options);
    EXPECT_EQ(problem.rfind(expected, 0), 0u) << problem;
  }
  CaptureOptions options;
  char* argv[] = {const_cast<char*>("c"),         const_cast<char*>("--size"),
                  const_cast<char*>("1920x1080"), const_cast<char*>("--to"),
                  const_cast<char*>("130.56"),    const_cast<char*>("a.mp4")};
  EXPECT_EQ(parse_capture_options(6, argv, options), "");
  EXPECT_EQ(options.kind, OutputKind::mp4);
  const ScaledSize fit = fit_picture(options.width, options.height);
  EXPECT_EQ(fit.width, 1440);
  EXPECT_EQ(fit.height, 1080);
  EXPECT_EQ(fit_picture(640, 1000).height, 480);
  EXPECT_EQ(options.span.warm_up, default_warm_up_frames);
  for (const auto& [word, expected] : {std::pair{"all", warm_up_all}, std::pair{"0", 0}}) {
    char* args[] = {const_cast<char*>("c"), const_cast<char*>("--warm-up"), const_cast<char*>(word),
                    const_cast<char*>("o/")};
    CaptureOptions warm;
    EXPECT_EQ(parse_capture_options(4, args, warm), "");
    EXPECT_EQ(warm.span.warm_up, expected);
  }
}

// The calls from the n-th glClear (from 1) on, without the reads.
std::vector<GlCall> calls_from_clear(const std::vector<GlCall>& calls, int n) {
  std::vector<GlCall> tail;
  for (const GlCall& call : calls) {
    if (call.name == "glClear") --n;
    if (n <= 0 && call.name != "glReadPixels") tail.push_back(call);
  }
  return tail;
}

void expect_same_calls(const std::vector<GlCall>& got, const std::vector<GlCall>& expected) {
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i].name, expected[i].name) << "call " << i;
    ASSERT_EQ(got[i].args, expected[i].args) << got[i].name << ", call " << i;
  }
}

TEST(CaptureWarmUp, ASpanDrawsWhatAWholeRunDrawsFromItsWarmUpOn) {
  // 2 fps up to the text ring's first scene (row 128, 15.45 s): 34 frames, 500 ms apart.
  for (const int32_t passes : {1, 3}) {
    start_show();
    run(span_of(2, 0, 17, passes));
    const std::vector<GlCall> whole = gl_calls;
    for (const int32_t warm_up : {0, 3, warm_up_all}) {
      start_show();
      const Captured got = run(span_of(2, 16, 17, passes, warm_up));
      ASSERT_EQ(got.frames, 2);
      EXPECT_EQ(got.swaps, 2);
      EXPECT_EQ(count_calls("glReadPixels"), 2) << "nothing read before the span";
      // Frame 0 at ms 0 never draws: the frame at 16 s is the 32nd drawn, and warm_up_all
      // draws the 31 before it.
      const int drawn_before = warm_up == warm_up_all ? 31 : warm_up;
      EXPECT_EQ(count_calls("glClear"), drawn_before + 2);
      EXPECT_EQ(got.progress_total, (warm_up == warm_up_all ? 32 : warm_up) + 2);
      // Same colours (the brightness), same motion, same order; the glow's colour and blend
      // function carried into the span's first frame come from the same calls.
      SCOPED_TRACE(testing::Message() << "passes " << passes << ", warm-up " << warm_up);
      expect_same_calls(calls_from_clear(gl_calls, 1), calls_from_clear(whole, 32 - drawn_before));
    }
  }
}

TEST(CaptureWarmUp, FramesBeforeTheWarmUpOnlyMoveTheBrightnessAtTheWholeRunsClock) {
  start_show();
  const CaptureSpan span = span_of(10, 20, 20.3, 1, 4);
  const Captured got = run(span);
  std::vector<RenderCall> calls = calls_before_span;
  calls.insert(calls.end(), render_calls.begin(), render_calls.end());
  ASSERT_EQ(calls.size(), 200u + 3);  // from 0 s in steps of 100 ms
  for (size_t i = 0; i < calls.size(); ++i) {
    const int64_t k = static_cast<int64_t>(i) - 200;
    EXPECT_EQ(calls[i].frames_mixed, mixed_before_frame(span, k)) << k;
    EXPECT_EQ(calls[i].drawn, k >= -4) << k;
    if (k >= -4) {
      EXPECT_EQ(calls[i].ms, 20000 + 100 * k);
    }
  }
  EXPECT_EQ(got.first_byte_of_picture.size(), 3u);
  EXPECT_EQ(got.progress_total, 7);
  // A span that starts between two frames of a run from 0 warms up on its own grid.
  const CaptureSpan between = span_of(10, 0.25, 0.5, 1, 1);
  EXPECT_EQ(first_show_frame(between), -2);  // 0.05 s
  EXPECT_EQ(first_warm_up_frame(between), -1);
  EXPECT_EQ(first_show_frame(span_of(10, 0.05, 0.5)), 0);
  EXPECT_EQ(first_warm_up_frame(span_of(10, 20, 21, 1, warm_up_all)), -200);
}

}  // namespace
