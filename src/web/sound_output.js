// Opens a page's sound and keeps it going: an AudioContext at the show's rate, started inside
// the person's input event (the only place WebKit lets it start), and one of two ways to play
// the values posted: the player worklet (audio_worklet.js, loaded in a way each engine accepts,
// also from a file), which a change can cut at once, or buffers scheduled seconds ahead on the
// context's own timeline, which the engine plays without the page's thread or a worklet in the
// way (a busy machine starved the worklet's path in Firefox). A watch on the context: still
// suspended a moment after the start, suspended or "interrupted" by the system later, found
// stopped when the tab is shown again or the page comes back from the back-forward cache, and
// the output falling behind the wall clock (it broke up). Then the owner is told, and the next
// input event restarts it. Main thread.
//
// Usage (openSoundOutput must be called inside a click, touchend or keydown handler):
//   import {openSoundOutput} from './sound_output.js';
//   const sound = openSoundOutput({
//     onNews(news) {},      // {firstFrameTime, played, underruns, gapFrames} (audio_worklet.js)
//     onStopped(state) {},  // the sound does not run when it should: say so
//     onRunning() {},       // it runs again after onStopped
//     onBrokeUp(seconds) {},  // the output lost this much time in the last moments
//     latencyHint: 'playback',  // or 'interactive', or seconds
//     scheduled: false,     // true: buffers scheduled ahead instead of the worklet (no cuts)
//   });
//   sound.ready.then(() => sound.post(values), (problem) => say(problem.message));
//   sound.post(int16Values);   // interleaved stereo, queued after what was posted before
//   sound.heardFrame();        // the frame of the posted stream heard now, -1 before the first
//   sound.heardContextTime();  // the context time of what comes out of the speakers now
//   sound.latency();           // {base, output} in seconds; output null where asking is unsafe
//   sound.stopped;             // true between onStopped and onRunning
//   sound.brokeUp;             // how many times the output broke up
//   sound.stalled;             // how many times it stood still and was started again
//   sound.restart();           // inside an input event: start a stopped context again
//   sound.close();
// sound.context and sound.node are the Web Audio objects: node, the one the sound comes out of
// (the worklet's, null until ready, or the scheduled buffers' gain), has a port only as a worklet.
import workletSource from './audio_worklet.js' with {type: 'text'};
import {scheduleSound} from './scheduled_sound.js';

export const soundSampleRate = 44100;
const startGraceMs = 1500;  // a context may take this long to start running
const watchMs = 250;
const watchedSamples = 8;       // the last two seconds of the context's clock against the wall's
// Lost in two seconds beyond the context's own steps (its time moves a base latency at a time):
// more than a clock's drift or a late reading.
const brokeUpSeconds = 0.06;
// Beyond the time an output takes to start (WebKitGTK's stands up to 2 s after a resume here).
const stalledSeconds = 3;

// A worklet module from a Blob where the engine takes one; Chromium refuses blob:null/... in a
// page opened as a file, and a data: address serves there.
async function loadWorklet(context) {
  const blobUrl = URL.createObjectURL(new Blob([workletSource], {type: 'text/javascript'}));
  try {
    await context.audioWorklet.addModule(blobUrl);
    return 'blob';
  } catch (blobProblem) {
    await context.audioWorklet.addModule(
        'data:text/javascript;charset=utf-8,' + encodeURIComponent(workletSource));
    return 'data';
  } finally {
    URL.revokeObjectURL(blobUrl);
  }
}

// Gecko answers a question about the output's latency (outputLatency, getOutputTimestamp)
// under a lock its audio thread also takes, through its sound server's connection: when the
// server is in a callback at that moment, the tab hangs for good (Firefox ESR through PulseAudio,
// about one start in two here). There the clock is the context's own, ahead of the speakers by
// the output's latency.
const askForOutputLatency = !('mozInnerScreenX' in window);

// The context time of the sound coming out of the speakers now, as the engine reports it.
function heardContextTime(context) {
  const base = context.baseLatency || 0;
  if (!askForOutputLatency) return context.currentTime - base;
  const stamp = context.getOutputTimestamp ? context.getOutputTimestamp().contextTime : 0;
  return stamp || context.currentTime - (context.outputLatency || 0) - base;
}

export function soundAvailable() {
  return typeof AudioContext === 'function' && typeof AudioWorkletNode === 'function';
}

// An iPhone plays Web Audio with the ring switch off only for a page that says it is a player.
function declarePlayer() {
  try {
    if (navigator.audioSession) navigator.audioSession.type = 'playback';
  } catch (e) {}
}

// Watches the context's time against the wall clock while it runs: an output starved by a busy
// machine plays nothing for a while and the context's time stands still meanwhile (where it
// does not, nothing a page can see tells of the break-up). A time that stands still for seconds
// while the context says it runs is an output that stalled, not one that broke up:
// WebKitGTK's now and then, after a resume, never plays again by itself.
function watchOutput(context, onBrokeUp, onStalled) {
  let samples = [];
  let movedAt = null;  // the wall's time when the context's last moved
  let lastTime = null;
  return setInterval(() => {
    if (context.state !== 'running' || document.visibilityState === 'hidden') {
      samples = [];
      movedAt = null;
      return;
    }
    const now = performance.now() / 1000;
    if (movedAt === null || lastTime !== context.currentTime) movedAt = now;
    lastTime = context.currentTime;
    samples.push({wall: now, context: context.currentTime});
    if (now - movedAt >= stalledSeconds) {
      samples = [];
      movedAt = null;
      onStalled();
      return;
    }
    if (samples.length <= watchedSamples) return;
    samples.shift();
    const first = samples[0];
    const lost = (now - first.wall) - (context.currentTime - first.context);
    if (lost > brokeUpSeconds + (context.baseLatency || 0)) {
      samples = [];
      onBrokeUp(lost);
    }
  }, watchMs);
}

export function openSoundOutput({onNews = () => {}, onStopped = () => {}, onRunning = () => {},
                                 onBrokeUp = () => {}, latencyHint = 'playback',
                                 scheduled = false} = {}) {
  declarePlayer();
  let context;
  try {
    context = new AudioContext({sampleRate: soundSampleRate, latencyHint});
  } catch (e) {
    return failed('The browser refused to start the sound of the show.');
  }
  if (context.sampleRate !== soundSampleRate) {
    context.close();
    return failed('The browser refused to play sound at 44100 Hz.');
  }
  const resumed = context.resume();  // now, inside the input event
  if (resumed && resumed.catch) resumed.catch(() => {});
  const openedAt = performance.now();
  let firstFrameTime = null;
  let played = 0;
  let startingAgain = false;  // the page itself stops and starts a stalled output: not said
  const takeNews = (news) => {
    if (news.firstFrameTime !== undefined) firstFrameTime = news.firstFrameTime;
    played = news.played;
    onNews(news);
  };
  const player = scheduled ? scheduleSound(context, takeNews) : null;
  // A stalled output is stopped and started again: the engine then plays on from where it stood.
  const watch = watchOutput(context, (seconds) => {
    sound.brokeUp += 1;
    onBrokeUp(seconds);
  }, () => {
    sound.stalled += 1;
    startingAgain = true;
    const done = () => {
      if (!startingAgain) return;
      startingAgain = false;
      check();
    };
    setTimeout(done, 2 * startGraceMs);  // an engine that never answers: the person is told
    context.suspend().then(() => context.resume()).catch(() => {}).finally(done);
  });

  const sound = {
    context, node: null, stopped: false, workletLoadedBy: null, brokeUp: 0, stalled: 0,
    post(values) {
      if (player) player.post(values);
      else if (sound.node) sound.node.port.postMessage(values, [values.buffer]);
    },
    heardFrame() {
      if (firstFrameTime === null) return -1;
      const playedNow = player ? player.news().played : played;  // scheduled: known at once
      return Math.min((heardContextTime(context) - firstFrameTime) * soundSampleRate, playedNow);
    },
    heardContextTime: () => heardContextTime(context),
    latency: () => ({base: context.baseLatency || 0, output: askForOutputLatency ? context.outputLatency : null}),
    restart() {
      if (context.state === 'closed') return;
      const again = context.resume();
      if (again && again.catch) again.catch(() => {});
    },
    close() {
      clearTimeout(startCheck);
      clearInterval(watch);
      if (player) player.close();
      document.removeEventListener('visibilitychange', check);
      window.removeEventListener('pageshow', check);
      if (context.state !== 'closed') context.close().catch(() => {});
    },
  };

  function check() {
    if (context.state === 'closed' || document.visibilityState === 'hidden') return;
    if (context.state === 'running') {
      if (sound.stopped) {
        sound.stopped = false;
        onRunning();
      }
    } else if (!sound.stopped && !startingAgain && performance.now() - openedAt >= startGraceMs) {
      sound.stopped = true;
      onStopped(context.state);
    }
  }
  context.onstatechange = check;
  document.addEventListener('visibilitychange', check);
  window.addEventListener('pageshow', check);  // back from the back-forward cache
  const startCheck = setTimeout(check, startGraceMs);

  if (player) {
    sound.node = player.output;
    sound.ready = Promise.resolve(sound);
    return sound;
  }
  sound.ready = loadWorklet(context).then((how) => {
    sound.workletLoadedBy = how;
    const node = new AudioWorkletNode(context, 'kelvorinsaa-player',
                                      {numberOfInputs: 0, outputChannelCount: [2]});
    node.connect(context.destination);
    node.port.onmessage = (event) => takeNews(event.data);
    sound.node = node;
    return sound;
  }, () => {
    sound.close();
    throw new Error('The browser refused to start the sound of the show.');
  });
  return sound;
}

function failed(sentence) {
  const ready = Promise.reject(new Error(sentence));
  ready.catch(() => {});
  return {context: null, node: null, stopped: false, brokeUp: 0, stalled: 0, ready, post() {},
          heardFrame: () => -1,
          heardContextTime: () => 0, latency: () => ({base: 0, output: null}), restart() {}, close() {}};
}
