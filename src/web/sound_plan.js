// How the show's page plays its sound in this engine, as measured on a busy 2-core machine
// through a PulseAudio server (bench/page_sound_bench.sh, README): Chromium held once asked for
// a longer output buffer (a latency hint in seconds, which it takes); Firefox broke up about half
// as much with buffers scheduled ahead as with the worklet's messages, whatever its output
// buffer; WebKit held as it was, and changes the values of scheduled buffers. A measuring page may put its own plan in window.kelvorinsaaSoundPlan before the
// page's scripts run. Main thread.
//
// Usage: const {scheduled, latencyHint} = soundPlan();

export function soundPlan() {
  const asked = window.kelvorinsaaSoundPlan;
  if (asked) return {scheduled: !!asked.scheduled, latencyHint: asked.latencyHint || 'playback'};
  if ('mozInnerScreenX' in window) return {scheduled: true, latencyHint: 'playback'};
  if ('chrome' in window) return {scheduled: true, latencyHint: 0.3};
  return {scheduled: false, latencyHint: 'playback'};
}
