// How the show's page sounds in one engine ($ENGINE) through a sound server of its own, on a quiet
// machine and with one core kept busy: for each way of playing, the page is started by a real
// click in its middle (full screen), what the server's null sink receives is recorded for some
// seconds from the first sound and held against the render value for value (exact seconds from
// the first sound, gaps and their silence, a wrong value). Prints one table row per way and
// load, with the machine's load average before each play, the page's frames and the picture's
// resolution (with the heard second of each change), and where the gaps fell in the show.
// Run by page_sound_bench.sh.
//
// Usage: node page_sound_bench.js PAGE.html RENDER_TOOL SECONDS WAY...
//   WAY: page (the page's own choice for the engine), worklet, scheduled; then, each optional,
//   "@0.3" a latency hint in seconds, "~0.25" the share of the page's time slow frames may take,
//   "=1" the lowest resolution (1: never lowered), "/20" frames a second at most below full
//   resolution, "-nopicture" without WebGL. Or tone: a plain tone from the engine's own source
//   node instead of the show ("tone-pieces" from buffers scheduled ahead, "tone-burn-MS-PERIOD"
//   with the page's thread busy MS ms every PERIOD ms, "tone-frames" asking for every animation
//   frame and drawing nothing).
// LOADS: "quiet busy" (the default), or one of them.
'use strict';
const {execFileSync, spawn} = require('child_process');
const fs = require('fs');
const path = require('path');
const {launchBrowser, serve} = require('../tests/web/browsers.js');
const {compareWithRender, framesAfterFirstSound, pageMiddle, recordServer, xdotool} =
    require('../tests/web/sound_recording.js');

const [pagePath, renderTool, secondsText, ...ways] = process.argv.slice(2);
const engine = process.env.ENGINE;
const sampleRate = 44100;
const recordSeconds = Number(secondsText);
const scratch = process.env.KELVORINSAA_SOUND_SERVER_DIR;
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const loads = (process.env.LOADS || 'quiet busy').split(' ').map((l) => l === 'busy');
const noWebGL = 'HTMLCanvasElement.prototype.getContext = function() { return null; };';

// A plain tone instead of the show: a constant value (0.25, so 8192 at the server) from the
// engine's own source node, started by the click in place of the show. What breaks it up is
// the engine's output, not anything of the page.
const toneValue = 8192;
const toneScript = (variant) => `addEventListener('click', (event) => {
  event.stopImmediatePropagation();
  const context = new AudioContext({sampleRate: 44100});
  const variant = '${variant}';
  let tone;
  if (variant === 'pieces') {
    tone = context.createGain(); tone.connect(context.destination);
    let next = Math.ceil(context.currentTime * 4 + 1);
    const more = () => { while (next / 4 < context.currentTime + 4) {
      const b = context.createBuffer(2, 11025, 44100);
      b.getChannelData(0).fill(0.25); b.getChannelData(1).fill(0.25);
      const s = context.createBufferSource(); s.buffer = b; s.connect(tone); s.start(next / 4); next += 1; } };
    more(); setInterval(more, 100);
  } else {
    tone = new ConstantSourceNode(context, {offset: ${toneValue / 32768}});
    tone.connect(context.destination);
    tone.start();
  }
  if (variant === 'frames') {
    const frame = () => requestAnimationFrame(frame);
    frame();
  }
  if (variant.startsWith('burn')) {
    const [, ms, period] = variant.split('-').map(Number);
    setInterval(() => { const end = performance.now() + ms; while (performance.now() < end); }, period);
  }
  context.resume();
  Object.assign(kelvorinsaa, {playing: true, output: tone});
}, true);`;

// Runs of anything but the tone after its first sound: gaps, as compareWithRender counts them.
function compareWithTone(recording) {
  let i = recording.findIndex((v) => v !== 0);
  const result = {found: i >= 0, exactFrames: 0, gaps: [], wrongAtFrame: null, renderFrame: 0,
                  comparedFrames: 0};
  if (i < 0) return result;
  i -= i % 2;
  const first = i;
  for (; i < recording.length; i += 2) {
    if (recording[i] === toneValue && recording[i + 1] === toneValue) continue;
    const at = i;
    while (i < recording.length && recording[i] !== toneValue) i += 2;
    if (i >= recording.length) break;  // the end of the recording
    if (result.gaps.length === 0) result.exactFrames = (at - first) / 2;
    result.gaps.push({atFrame: (at - first) / 2, silentFrames: (i - at) / 2, lostFrames: 0});
  }
  result.comparedFrames = (i - first) / 2;
  if (result.gaps.length === 0) result.exactFrames = result.comparedFrames;
  return result;
}

// WAY[@HINT][~SHARE][=SCALE][/FPS][-nopicture]: fields of the page's plan (sound_plan.js) put in
// before its scripts; what a way leaves out is the engine's own choice.
function planScript(way) {
  if (way.startsWith('tone')) return toneScript(way.slice(5));
  const picture = way.endsWith('-nopicture') ? noWebGL : '';
  const [, how, hint, share, scale, fps] =
      /^(\w+)(?:@([\d.]+))?(?:~([\d.]+))?(?:=([\d.]+))?(?:\/([\d.]+))?/.exec(way);
  const plan = how === 'page' ? {} : {scheduled: how === 'scheduled', latencyHint: 'playback', pictureShare: 0.5};
  if (hint) plan.latencyHint = Number(hint);
  if (share) plan.pictureShare = Number(share);
  if (scale) plan.lowestScale = Number(scale);
  if (fps) plan.lowFps = Number(fps);
  return `window.kelvorinsaaSoundPlan = ${JSON.stringify(plan)};` + picture;
}

// The time the machine's host took from each of its virtual cores ("steal" in /proc/stat, in
// hundredths of a second), read every 25 ms during a play: where a core stands still, no program
// on it can keep its sound going, whatever its priority.
const stealEveryMs = 25;
function readSteal() {
  return fs.readFileSync('/proc/stat', 'utf8').split('\n').filter((l) => /^cpu\d/.test(l))
      .map((l) => Number(l.split(/\s+/)[8]) * 10);
}
function logSteal() {
  const log = [{ms: performance.now(), steal: readSteal()}];
  const timer = setInterval(() => log.push({ms: performance.now(), steal: readSteal()}), stealEveryMs);
  return {log, stop: () => clearInterval(timer)};
}
// The most any one core lost to the host in the window of wall time [from, to).
function stolenIn(log, from, to) {
  const inside = log.filter((s) => s.ms >= from && s.ms < to);
  if (inside.length < 2) return 0;
  const first = inside[0].steal;
  const last = inside[inside.length - 1].steal;
  return Math.max(...last.map((v, i) => v - first[i]));
}

async function playOnce(url, render, file, tone) {
  const browser = await launchBrowser(engine, {headed: true, person: true});
  const recorder = recordServer(file);
  const recordedFromMs = performance.now();
  const steal = logSteal();
  try {
    const page = await browser.openPage(url);
    await page.waitFor('window.kelvorinsaa && (kelvorinsaa.ready || kelvorinsaa.problem)');
    const problem = await page.evaluate('kelvorinsaa.problem');
    if (problem) throw new Error(`the page says: ${problem}`);
    await sleep(500);
    const middle = await pageMiddle(page);
    xdotool('mousemove', middle.x, middle.y, 'click', 1);
    await page.waitFor('kelvorinsaa.playing && kelvorinsaa.output !== null', 60);
    const until = Date.now() + (recordSeconds + 30) * 1000;
    // The file's size first: reading the whole recording often would take a core's time from
    // the engine being measured.
    while (fs.statSync(file).size < recordSeconds * sampleRate * 4 && Date.now() < until) {
      await sleep(1000);
    }
    while (framesAfterFirstSound(file).after < recordSeconds * sampleRate) {
      if (Date.now() > until) throw new Error(`no ${recordSeconds} s of sound in time`);
      await sleep(250);
    }
    const state = JSON.parse(await page.evaluate(`JSON.stringify({brokeUp: kelvorinsaa.brokeUp,
      skipped: kelvorinsaa.pace ? kelvorinsaa.pace.skipped : 0,
      scale: kelvorinsaa.pace ? kelvorinsaa.pace.scale : 1,
      scaled: kelvorinsaa.scaleChanges.map((c) => c.heardSeconds.toFixed(2) + ':' + c.scale).join(' '),
      frames: kelvorinsaa.clockLog.length,
      underruns: kelvorinsaa.underruns, plan: kelvorinsaa.soundPlan})`));
    const {values: recording, first} = framesAfterFirstSound(file);
    const result = tone ? compareWithTone(recording) : compareWithRender(render, recording);
    // Each gap's wall time, from its place in the recording (the recorder keeps a 5 ms latency),
    // and what the host took from a core in the 200 ms before it, the output's buffer and more.
    const firstSoundMs = recordedFromMs + first / 2 / sampleRate * 1000;
    for (const gap of result.gaps) {
      const gapMs = firstSoundMs + gap.atFrame / sampleRate * 1000;
      gap.stolenMs = stolenIn(steal.log, gapMs - 200, gapMs);
    }
    return {state, result, stolenMs: stolenIn(steal.log, -Infinity, Infinity),
            stolenShare: shareStolen(steal.log)};
  } finally {
    steal.stop();
    recorder.kill();
    await new Promise((r) => recorder.once('exit', r));
    await browser.close();
  }
}

// Of the play's 200 ms windows (one every 25 ms), the share in which the host took 20 ms or
// more from one core: what a gap's own window is held against.
function shareStolen(log) {
  let windows = 0;
  let stolen = 0;
  for (let i = 0, j = 0; i < log.length; ++i) {
    while (j < log.length && log[j].ms - log[i].ms < 200) ++j;
    if (j >= log.length) break;
    windows += 1;
    if (log[j].steal.some((v, c) => v - log[i].steal[c] >= 20)) stolen += 1;
  }
  return windows ? stolen / windows : 0;
}

function describe({result, state, stolenMs, stolenShare}) {
  const seconds = (frames) => (frames / sampleRate).toFixed(2);
  if (!result.found) return 'nothing of the render';
  const silence = result.gaps.reduce((sum, g) => sum + g.silentFrames, 0);
  const wrong = result.wrongAtFrame === null ? '' : `, a wrong value at ${seconds(result.wrongAtFrame)} s`;
  const gaps = result.gaps.length ? `${result.gaps.length} gaps (${seconds(silence)} s of silence)`
                                  : '0 gaps';
  const at = result.gaps.slice(0, 12).map((g) => `${seconds(g.atFrame + result.renderFrame)}` +
      `(${Math.round(g.silentFrames / 44.1)}/${Math.round(g.lostFrames / 44.1)} ms, ` +
      `host ${g.stolenMs} ms)`).join(' ');
  return `${seconds(result.exactFrames)} s exact of ${seconds(result.comparedFrames)}, ${gaps}${wrong}; ` +
         `page: ${state.frames} frames, ${state.skipped} passes skipped, scale ${state.scale} (${state.scaled}), broke up ${state.brokeUp}, ` +
         `ran dry ${state.underruns}; the host took ${(stolenMs / 1000).toFixed(2)} s of a core, ` +
         `20 ms or more in ${(stolenShare * 100).toFixed(1)} % of 200 ms windows` +
         (at ? `; gaps at show time ${at}` : '');
}

async function main() {
  const renderFile = path.join(scratch, 'render.raw');
  execFileSync(renderTool, ['--frames', String((recordSeconds + 40) * sampleRate), renderFile]);
  const bytes = fs.readFileSync(renderFile);
  const render = new Int16Array(bytes.buffer, bytes.byteOffset, bytes.length / 2);
  const scripts = {};
  ways.forEach((way, i) => { scripts[`way${i}`] = planScript(way); });
  const server = await serve(path.dirname(path.resolve(pagePath)), scripts);
  try {
    for (const [i, way] of ways.entries()) {
      for (const busy of loads) {
        const load = fs.readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ');
        const loop = busy ? spawn('sh', ['-c', 'while :; do :; done'], {stdio: 'ignore'}) : null;
        try {
          const url = `${server.url}/${path.basename(pagePath)}?before=way${i}`;
          const played = await playOnce(url, render, path.join(scratch, `${engine}_${i}_${busy}.raw`),
                                        way.startsWith('tone'));
          console.log(`| ${engine} | ${way} | ${busy ? 'one core busy' : 'quiet'} | load ${load} | ` +
                      `${describe(played)} |`);
        } catch (e) {
          console.log(`| ${engine} | ${way} | ${busy ? 'one core busy' : 'quiet'} | load ${load} | ` +
                      `failed: ${e.message} |`);
        } finally {
          if (loop) loop.kill();
        }
      }
    }
  } finally {
    await server.close();
  }
}

main().catch((e) => {
  console.error(`FAIL: ${e.message || e}`);
  process.exitCode = 1;
});
