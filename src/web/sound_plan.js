// How the show's page plays its sound in this engine, as measured on a busy 2-core machine
// through a PulseAudio server (bench/page_sound_bench.sh, README): Chromium held once asked for
// a longer output buffer (a latency hint in seconds, which it takes); Firefox broke up about half
// as much with buffers scheduled ahead as with the worklet's messages, whatever its output
// buffer (31 ms, whatever the hint), and least when slow frames took a quarter of the page's time
// and the picture, once at half resolution, 20 frames a second: its output threads then wait
// for a core behind shorter and fewer bursts of drawing (on a software renderer); WebKit held as
// it was, and changes the values of scheduled buffers; its sound skipped where the picture's
// size changed, so there slow frames keep the resolution (elsewhere they lower it first). A
// measuring page may put fields of its own plan in window.kelvorinsaaSoundPlan before the page's
// scripts run. Main thread.
//
// Usage: const {scheduled, latencyHint, pictureShare, lowestScale, lowFps} = soundPlan();
//   pictureShare: of the page's time, what slow frames may take at most
//   lowestScale: the lowest resolution slow frames bring the picture down to (picture_pace.js)
//   lowFps: frames a second at most below full resolution (none: as many as are fast)

const lowestScale = 0.5;

function enginePlan() {
  if ('mozInnerScreenX' in window) {
    return {scheduled: true, latencyHint: 'playback', pictureShare: 0.25, lowestScale, lowFps: 20};
  }
  if ('chrome' in window) return {scheduled: true, latencyHint: 0.3, pictureShare: 0.5, lowestScale};
  return {scheduled: false, latencyHint: 'playback', pictureShare: 0.5, lowestScale: 1};
}

export function soundPlan() {
  return Object.assign(enginePlan(), window.kelvorinsaaSoundPlan);
}
