// How the show's page sounds in one engine ($ENGINE) through a sound server of its own, on a quiet
// machine and with one core kept busy: for each way of playing, the page is started by a real
// click in its middle (full screen), what the server's null sink receives is recorded for some
// seconds from the first sound and held against the render value for value (exact seconds from
// the first sound, gaps and their silence, a wrong value). Prints one table row per way and
// load, with the machine's load average before each play. Run by page_sound_bench.sh.
//
// Usage: node page_sound_bench.js PAGE.html RENDER_TOOL SECONDS WAY...
//   WAY: page (the page's own choice for the engine), worklet, worklet@0.3 (a latency hint in
//   seconds), scheduled, scheduled@0.3; "~0.25" after it: slow frames take at most that share
//   of the page's time (0.5 by default); a "-nopicture" suffix plays it without WebGL.
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
const noWebGL = 'HTMLCanvasElement.prototype.getContext = function() { return null; };';

function planScript(way) {
  const [wanted, share] = way.replace(/-nopicture$/, '').split('~');
  const [how, hint] = wanted.split('@');
  const picture = way.endsWith('-nopicture') ? noWebGL : '';
  if (how === 'page') return picture;
  const plan = {scheduled: how === 'scheduled', latencyHint: hint ? Number(hint) : 'playback',
                pictureShare: share ? Number(share) : 0.5};
  return `window.kelvorinsaaSoundPlan = ${JSON.stringify(plan)};` + picture;
}

async function playOnce(url, render, file) {
  const browser = await launchBrowser(engine, {headed: true, person: true});
  const recorder = recordServer(file);
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
    while (framesAfterFirstSound(file).after < recordSeconds * sampleRate) {
      if (Date.now() > until) throw new Error(`no ${recordSeconds} s of sound in time`);
      await sleep(250);
    }
    const state = JSON.parse(await page.evaluate(`JSON.stringify({brokeUp: kelvorinsaa.brokeUp,
      skipped: kelvorinsaa.skippedPasses, frames: kelvorinsaa.clockLog.length,
      underruns: kelvorinsaa.underruns, plan: kelvorinsaa.soundPlan})`));
    return {state, result: compareWithRender(render, framesAfterFirstSound(file).values)};
  } finally {
    recorder.kill();
    await new Promise((r) => recorder.once('exit', r));
    await browser.close();
  }
}

function describe({result, state}) {
  const seconds = (frames) => (frames / sampleRate).toFixed(2);
  if (!result.found) return 'nothing of the render';
  const silence = result.gaps.reduce((sum, g) => sum + g.silentFrames, 0);
  const wrong = result.wrongAtFrame === null ? '' : `, a wrong value at ${seconds(result.wrongAtFrame)} s`;
  const gaps = result.gaps.length ? `${result.gaps.length} gaps (${seconds(silence)} s of silence)`
                                  : '0 gaps';
  return `${seconds(result.exactFrames)} s exact of ${seconds(result.comparedFrames)}, ${gaps}${wrong}; ` +
         `page: ${state.frames} frames, ${state.skipped} passes skipped, broke up ${state.brokeUp}, ` +
         `ran dry ${state.underruns}`;
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
      for (const busy of [false, true]) {
        const load = fs.readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ');
        const loop = busy ? spawn('sh', ['-c', 'while :; do :; done'], {stdio: 'ignore'}) : null;
        try {
          const url = `${server.url}/${path.basename(pagePath)}?before=way${i}`;
          const played = await playOnce(url, render, path.join(scratch, `${engine}_${i}_${busy}.raw`));
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
