// The page as a person starts it, in one engine ($ENGINE), through the test's own sound server
// (run_page_test.sh): a real click in the middle of the start screen under a window manager,
// so full screen; what the server received must be the render's values for at least 10 s from
// the first sound. Gaps (the browser's output starved by a busy machine) are counted and the
// play tried again, up to three times, the last with 1000 ms buffers in the sound server; a
// wrong value fails at once, and so does the page's own player running dry. Then the WebGL
// context is lost and restored while the sound plays on, and the sound is stopped as the system
// stops it: the page must say so, and the next real click must start it again. A key then ends
// the show.
// Usage: node page_server_test.js PAGE.html RENDER_TOOL
// KELVORINSAA_PAGE_SERVER_SECONDS: seconds to record from the first sound (default 13);
// KELVORINSAA_LATENCY_HINT: another latencyHint for the page's AudioContext, to measure with.
'use strict';
const {execFileSync} = require('child_process');
const fs = require('fs');
const path = require('path');
const {launchBrowser, serve} = require('./browsers.js');
const {compareWithRender, framesAfterFirstSound, pageMiddle, recordServer, xdotool} =
    require('./sound_recording.js');

const [pagePath, renderTool] = process.argv.slice(2);
const engine = process.env.ENGINE;
const sampleRate = 44100;
const wantedSeconds = 10;
const recordSeconds = Number(process.env.KELVORINSAA_PAGE_SERVER_SECONDS || 13);
const attempts = 3;
const scratch = process.env.KELVORINSAA_SOUND_SERVER_DIR;

function fail(message) {
  throw new Error(message);
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function pictureIsDrawn(page) {
  return page.evaluate(`new Promise((resolve) => { setTimeout(() => resolve(false), 10000);
    kelvorinsaa.onLiveFrame = () => {
      kelvorinsaa.onLiveFrame = null;
      const p = kelvorinsaa.readPixels(); let sum = 0;
      for (let i = 0; i < p.length; i += 4) sum += p[i] + p[i + 1] + p[i + 2];
      resolve(sum > 0); }; })`);
}

// Loses the context in the middle of the show and lets it come back.
async function loseAndRestorePicture(page) {
  const canvas = 'document.getElementById("picture")';
  await page.evaluate(`window.lostContext = ${canvas}.getContext('webgl').getExtension('WEBGL_lose_context');
    lostContext.loseContext(), true`);
  await page.waitFor(`${canvas}.getContext('webgl').isContextLost()`, 5);
  await sleep(700);
  await page.evaluate('lostContext.restoreContext(), true');
  await page.waitFor('kelvorinsaa.restorations === 1', 10);
  if (!await pictureIsDrawn(page)) fail('after the context came back the picture is black or still');
  const drawnBefore = await page.evaluate('kelvorinsaa.clockLog.length');
  await page.waitFor(`kelvorinsaa.clockLog.length > ${drawnBefore + 10}`, 20);
}

async function playOnce(browser, url, render, attempt) {
  const page = await browser.openPage(url);
  await page.waitFor('window.kelvorinsaa && (kelvorinsaa.ready || kelvorinsaa.problem)');
  const problem = await page.evaluate('kelvorinsaa.problem');
  if (problem) fail(`the page says: ${problem}`);
  const hint = await page.evaluate('document.getElementById("start-hint").textContent');
  if (!/^Click anywhere or press a key/.test(hint)) fail(`the start screen says "${hint}"`);

  const file = path.join(scratch, `${engine}_${attempt}.raw`);
  const recorder = recordServer(file);
  try {
    await sleep(500);
    const middle = await pageMiddle(page);
    xdotool('mousemove', middle.x, middle.y, 'click', 1);
    await page.waitFor('kelvorinsaa.playing && kelvorinsaa.output !== null', 60);
    await page.waitFor('kelvorinsaa.played > 0', 10);
    const fullScreen = await page.evaluate('!!(document.fullscreenElement || document.webkitFullscreenElement)');
    if (!fullScreen) fail('the click did not bring the show to full screen');

    // The context is lost once the sound wanted is in: making the GL objects again keeps a
    // software renderer busy, and a gap that causes on a loaded machine is counted, not failed.
    const until = Date.now() + (recordSeconds + 30) * 1000;
    let lost = false;
    while (!lost || framesAfterFirstSound(file).after < recordSeconds * sampleRate) {
      if (Date.now() > until) fail(`the server did not receive ${recordSeconds} s of sound in time`);
      if (!lost && framesAfterFirstSound(file).after > (wantedSeconds + 0.5) * sampleRate) {
        const played = await page.evaluate('kelvorinsaa.played');
        await loseAndRestorePicture(page);
        lost = true;
        await page.waitFor(`kelvorinsaa.played > ${played + sampleRate}`, 10);
        console.log('ok: the context was lost and restored; the picture draws on, the sound too');
      }
      await sleep(200);
    }
  } finally {
    recorder.kill();
    await new Promise((r) => recorder.once('exit', r));
  }
  const recording = framesAfterFirstSound(file);
  let result = compareWithRender(render, recording.values);
  const seconds = (frames) => (frames / sampleRate).toFixed(2);
  // An output that starts with something else before the render (WebKitGTK's, now and then)
  // counts as a gap at the first sound, and the play is tried again: what follows must still
  // be the render's values.
  for (let skip = 512; !result.found && skip <= sampleRate; skip += 512) {
    const from = recording.first - (recording.first % 2) + 2 * skip;
    result = compareWithRender(render, recording.values.subarray(from));
    if (result.found) {
      console.log(`measured: ${engine}: the first ${seconds(skip)} s of sound were none of the render`);
      result.exactFrames = 0;
    }
  }
  if (!result.found) fail('the server received nothing of the render');
  if (result.wrongAtFrame !== null) {
    fail(`the server received a wrong value ${seconds(result.wrongAtFrame)} s after the first sound`);
  }
  // The page's own question for the latencies: asking Firefox for its output's can hang the tab.
  const state = await page.evaluate('JSON.stringify({underruns: kelvorinsaa.underruns, ' +
                                    'latency: kelvorinsaa.sound.latency()})');
  console.log(`measured: ${engine}: the server received the render's values for ` +
              `${seconds(result.exactFrames)} s from the first sound; ${result.gaps.length} gaps in ` +
              `${seconds(result.comparedFrames)} s` +
              (result.gaps.length ? ` (at ${result.gaps.map((g) => seconds(g.atFrame)).join(', ')} s)` : '') +
              `; the page's player ran dry ${JSON.parse(state).underruns} times; latencies ${state}`);
  if (JSON.parse(state).underruns) fail('the page\'s player ran dry: the page mixed too little ahead');
  return {page, result};
}

// The system stops the sound: the page says so, and the next real click starts it again.
async function stopAndRestart(page) {
  await page.evaluate('kelvorinsaa.context.suspend().then(() => true)');
  await page.waitFor('!document.getElementById("notice").hidden', 10);
  const notice = await page.evaluate('document.getElementById("notice").textContent');
  if (!/^The sound is not playing: click anywhere or press a key to start it\.$/.test(notice)) {
    fail(`with the sound stopped the page says "${notice}"`);
  }
  const played = await page.evaluate('kelvorinsaa.played');
  xdotool('mousemove', 512, 384, 'click', 1);
  await page.waitFor('kelvorinsaa.context.state === "running" && document.getElementById("notice").hidden', 10);
  await page.waitFor(`kelvorinsaa.played > ${played + sampleRate / 2}`, 10);
  if (!await page.evaluate('kelvorinsaa.playing')) fail('the click that started the sound ended the show');
  const stalled = await page.evaluate('kelvorinsaa.sound.stalled');
  console.log(`ok: with the sound stopped the page says "${notice}", and a click starts it again` +
              (stalled ? ` (its output stood still ${stalled} times; the page started it again)` : ''));
  xdotool('key', 'space');
  await page.waitFor('!kelvorinsaa.playing && kelvorinsaa.ready', 10);
  const words = await page.evaluate('document.getElementById("start-hint").textContent');
  if (!/^The show is over\./.test(words)) fail(`after a key the page says "${words}"`);
  console.log('ok: a key ends the show');
}

async function main() {
  const renderFile = path.join(scratch, 'render.raw');
  execFileSync(renderTool, ['--frames', String((recordSeconds + 40) * sampleRate), renderFile]);
  const renderBytes = fs.readFileSync(renderFile);
  const render = new Int16Array(renderBytes.buffer, renderBytes.byteOffset, renderBytes.length / 2);
  const hint = process.env.KELVORINSAA_LATENCY_HINT;
  const asked = Number.isNaN(Number(hint)) ? JSON.stringify(hint) : Number(hint);
  const server = await serve(path.dirname(path.resolve(pagePath)), {latency: `window.AudioContext =
    class extends AudioContext { constructor(o) { super({...o, latencyHint: ${asked}}); } };`});
  try {
    for (let attempt = 1; ; ++attempt) {
      // The last try asks the sound server for long buffers, as the show's own test does: what
      // it then receives shows whether the values are right when nothing starves the output.
      const env = attempt === attempts ? {PULSE_LATENCY_MSEC: '1000'} : {};
      const browser = await launchBrowser(engine, {headed: true, person: true, env});
      try {
        const url = `${server.url}/${path.basename(pagePath)}${hint ? '?before=latency' : ''}`;
        const {page, result} = await playOnce(browser, url,
                                              render, attempt);
        if (result.exactFrames >= wantedSeconds * sampleRate) {
          console.log(`ok: ${engine}: more than ${wantedSeconds} s of the render's values from the first sound`);
          await stopAndRestart(page);
          const errors = await page.pageErrors();
          if (errors.length) fail(`errors in the page: ${errors.join('; ')}`);
          return;
        }
        if (attempt >= attempts) {
          fail(`${attempts} plays had a gap before ${wantedSeconds} s of sound from the first`);
        }
        console.log(`again: a gap after ${(result.exactFrames / sampleRate).toFixed(2)} s` +
                    (attempt + 1 === attempts ? ', with 1000 ms buffers in the sound server' : ''));
      } finally {
        await browser.close();
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
