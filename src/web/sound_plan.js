// How the show's page plays its sound in this engine, as measured on a 2-core machine with one
// core kept busy through a PulseAudio server (bench/page_sound_bench.sh, README): Firefox broke
// up with the worklet's path whatever its output buffer, and held with buffers scheduled ahead;
// Chromium held once asked for a longer output buffer (a latency hint in seconds); WebKit held
// as it was. A measuring page may put its own plan in window.kelvorinsaaSoundPlan before the
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
