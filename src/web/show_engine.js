// The compiled show's entry points (web_show.cpp) as the page calls them: start-up, the mixer
// ahead of the sound, one main-loop pass, input, the exact frames and the frame timing. The
// only module that touches emscripten's Module and heap. Main thread.
/* global Module, HEAP16, HEAPU8 */

export const bufferFrames = 1024;

export const engine = {
  // 0, or 1 when the song is refused; without a picture, nothing of the GL is touched.
  startUp: (withPicture) => Module._web_start_up(withPicture ? 1 : 0),
  songProblem() {
    const at = Module._web_song_problem();
    return new TextDecoder().decode(HEAPU8.subarray(at, HEAPU8.indexOf(0, at)));
  },
  // The show plays text instead of the built-in song from the next start-up on.
  useSong(text) {
    const bytes = new TextEncoder().encode(text);
    HEAPU8.set(bytes, Module._web_song_space(bytes.length));
  },
  showSeconds: () => Module._web_show_seconds(),
  buffersMixed: () => Module._web_buffers_mixed(),
  // The next count buffers of the show's sound as one array of interleaved 16-bit values.
  mixBuffers(count) {
    const values = new Int16Array(count * bufferFrames * 2);
    for (let i = 0; i < count; ++i) {
      const at = Module._web_mix_buffer() >> 1;
      values.set(HEAP16.subarray(at, at + bufferFrames * 2), i * bufferFrames * 2);
    }
    return values;
  },
  // Results of the passes: bit 1, a frame was drawn; bit 2, the show is over.
  mainPass: (elapsedMs, heardFrame) => Module._web_main_pass(elapsedMs, heardFrame),
  shownFrames: () => Module._web_shown_frames(),
  input: () => Module._web_input(),
  exactFrame: (exact, k) => Module._web_exact_frame(exact.fps, exact.fromUs, exact.warmUp, k),
  benchFrame: (scene, ms, level) => Module._web_bench_frame(scene, ms, level),
  benchLayers: (scene) => Module._web_bench_layers(scene),
  pictureRestored: () => Module._web_picture_restored(),
  // The drawing buffer's size against 640 x 480, for the show's copies of the picture.
  setPictureScale(scale) {
    Module['pictureScale'] = scale;
  },
  setContext(gl) {
    Module['gl'] = gl;
  },
  whenLoaded(then) {
    Module['onRuntimeInitialized'] = then;
  },
};
