// How the show's page plays its sound in this engine, as measured on a busy 2-core machine
// through a PulseAudio server (bench/page_sound_bench.sh, README): Chromium held once asked for
// a longer output buffer (a latency hint in seconds, which it takes); Firefox broke up about half
// as much with buffers scheduled ahead as with the worklet's messages, whatever its output
// buffer, and held when its slow frames took a quarter of the page's time rather than half (the
// drawing, on a software renderer, takes the cores its output needs); WebKit held as it was, and
// changes the values of scheduled buffers. In every engine slow frames lower the picture's
// resolution first. A measuring page may put fields of its own plan in
// window.kelvorinsaaSoundPlan before the page's scripts run. Main thread.
//
// Usage: const {scheduled, latencyHint, pictureShare, lowestScale} = soundPlan();
//   pictureShare: of the page's time, what slow frames may take at most
//   lowestScale: the lowest resolution slow frames bring the picture down to (picture_pace.js)

const lowestScale = 0.5;

function enginePlan() {
  if ('mozInnerScreenX' in window) {
    return {scheduled: true, latencyHint: 'playback', pictureShare: 0.25, lowestScale};
  }
  if ('chrome' in window) return {scheduled: true, latencyHint: 0.3, pictureShare: 0.5, lowestScale};
  return {scheduled: false, latencyHint: 'playback', pictureShare: 0.5, lowestScale};
}

export function soundPlan() {
  return Object.assign(enginePlan(), window.kelvorinsaaSoundPlan);
}
