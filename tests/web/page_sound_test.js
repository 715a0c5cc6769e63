// The web page in one engine ($ENGINE, run_page_test.sh), started with a click on "Play in the
// page": an AudioWorklet of the test records what the page plays for 11 s, which must be sample
// for sample the renderer's stream / 32768, with no gap; the picture's clock never goes back
// and follows the sound; a key ends the show and the page offers to play it again. In Firefox the
// page asks nothing about the output's latency (a question that can hang its tab). With SONG, the
// page holds a song of its own (the studio's "Download the show") and plays it as
// kelvorinsaa-render --song SONG does.
// Usage: node page_sound_test.js PAGE.html RENDER_TOOL [SONG]
'use strict';
const {execFileSync} = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {launchBrowser, serve} = require('./browsers.js');
const {findRun} = require('./sound_recording.js');

const [pagePath, renderTool, songPath] = process.argv.slice(2);
const sampleRate = 44100;
const recordSeconds = 11;

function fail(message) {
  console.error(`FAIL: ${message}`);
  process.exitCode = 1;
}

// Records the output of the page's player as 16-bit values, 8192 frames to a message: a message
// for every 128 frames keeps a loaded page's thread too busy to answer the test.
const recorder = `(async () => {
  const source = "class Recorder extends AudioWorkletProcessor {" +
    " constructor() { super(); this.left = new Float32Array(8192); this.right = new Float32Array(8192); this.at = 0; }" +
    " process(inputs) { const i = inputs[0]; if (i.length !== 2) return true;" +
    " if (this.at + i[0].length > 8192) { this.port.postMessage([this.left.slice(0, this.at), this.right.slice(0, this.at)]); this.at = 0; }" +
    " this.left.set(i[0], this.at); this.right.set(i[1], this.at); this.at += i[0].length;" +
    " return true; } } registerProcessor('test-recorder', Recorder);";
  const url = URL.createObjectURL(new Blob([source], {type: 'text/javascript'}));
  await kelvorinsaa.context.audioWorklet.addModule(url);
  const node = new AudioWorkletNode(kelvorinsaa.context, 'test-recorder', {numberOfInputs: 1, numberOfOutputs: 0});
  window.recorded = [];
  window.notWhole = 0;
  node.port.onmessage = (event) => {
    const [left, right] = event.data;
    const values = new Int16Array(left.length * 2);
    for (let i = 0; i < left.length; ++i) {
      values[2 * i] = Math.round(left[i] * 32768);
      values[2 * i + 1] = Math.round(right[i] * 32768);
      if (values[2 * i] !== left[i] * 32768 || values[2 * i + 1] !== right[i] * 32768) ++notWhole;
    }
    recorded.push(values);
  };
  kelvorinsaa.output.connect(node);
  return true;
})()`;

// Counts the page's questions about the output's latency: in Firefox one of them can hang the
// tab for good (a lock of its audio thread held across a call to the sound server), so there
// the page must ask none.
const latencyWatch = `window.latencyQuestions = 0;
  for (const name of ['outputLatency', 'getOutputTimestamp']) {
    const was = Object.getOwnPropertyDescriptor(AudioContext.prototype, name);
    if (!was) continue;
    Object.defineProperty(AudioContext.prototype, name, was.get
      ? {configurable: true, get() { ++latencyQuestions; return was.get.call(this); }}
      : {configurable: true, value(...words) { ++latencyQuestions; return was.value.apply(this, words); }});
  }`;

const recordedFrames = `recorded.reduce((n, v) => n + v.length / 2, 0)`;

// The recording as base64 of little-endian 16-bit values, from its first sound on.
const recordingFromFirstSound = `(() => {
  const all = new Int16Array(recorded.reduce((n, v) => n + v.length, 0));
  let at = 0;
  for (const v of recorded) { all.set(v, at); at += v.length; }
  let first = all.findIndex((v) => v !== 0);
  first -= first % 2;
  const bytes = new Uint8Array(all.buffer, first * 2);
  let text = '';
  for (let i = 0; i < bytes.length; i += 8192) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
  return btoa(text);
})()`;


async function main() {
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'kelvorinsaa-web-sound-'));
  const renderFile = path.join(scratch, 'render.raw');
  execFileSync(renderTool, [...(songPath ? ['--song', songPath] : []),
                            '--frames', String((recordSeconds + 12) * sampleRate), renderFile]);
  const renderBytes = fs.readFileSync(renderFile);
  const render = new Int16Array(renderBytes.buffer, renderBytes.byteOffset, renderBytes.length / 2);
  fs.rmSync(scratch, {recursive: true, force: true});

  const server = await serve(path.dirname(path.resolve(pagePath)), {latencyWatch});
  try {
    await playAndCheck(server, render);
  } finally {
    await server.close();
  }
}

async function playAndCheck(server, render) {
  const browser = await launchBrowser(process.env.ENGINE);
  try {
    const page = await browser.openPage(`${server.url}/${path.basename(pagePath)}?before=latencyWatch`);
    await page.waitFor('window.kelvorinsaa && (kelvorinsaa.ready || kelvorinsaa.problem)');
    const problem = await page.evaluate('kelvorinsaa.problem || ""');
    if (problem) return fail(`the page says: ${problem}`);
    await page.click('#in-page');
    await page.waitFor('kelvorinsaa.output !== null', 20);
    await page.evaluate(recorder);
    await page.waitFor(`${recordedFrames} > ${sampleRate} * ${recordSeconds}`, recordSeconds * 6);
    const state = JSON.parse(await page.evaluate(`JSON.stringify({
      playing: kelvorinsaa.playing, underruns: kelvorinsaa.underruns, notWhole,
      rate: kelvorinsaa.context.sampleRate, clock: kelvorinsaa.clockLog,
      played: kelvorinsaa.played, latency: kelvorinsaa.sound.latency(), latencyQuestions, title: navigator.mediaSession ?
        navigator.mediaSession.metadata && navigator.mediaSession.metadata.title : 'Kelvorinsaa'})`));
    const recording = new Int16Array(Buffer.from(await page.evaluate(recordingFromFirstSound), 'base64').buffer);

    if (state.rate !== sampleRate) fail(`the context runs at ${state.rate} Hz`);
    if (state.title !== 'Kelvorinsaa') fail(`the media controls show the title "${state.title}"`);
    if (state.notWhole) fail(`${state.notWhole} recorded values are not 16-bit values / 32768`);
    if (state.underruns) fail(`the player ran dry ${state.underruns} times`);
    if (process.env.ENGINE === 'firefox' && state.latencyQuestions) {
      fail(`the page asked Firefox ${state.latencyQuestions} times for the output's latency`);
    }
    const at = findRun(render, recording, 0, 0, render.length);
    if (at < 0) return fail('the recorded sound is nowhere in the render');
    const compared = Math.min(recording.length, render.length - at);
    let differ = 0;
    while (differ < compared && recording[differ] === render[at + differ]) ++differ;
    if (differ < compared) {
      fail(`the sound differs from the render ${differ / 2 / sampleRate} s into the recording`);
    } else if (compared < 2 * sampleRate * 10) {
      fail(`only ${compared / 2 / sampleRate} s of sound recorded after the first sound`);
    } else {
      console.log(`ok: ${(compared / 2 / sampleRate).toFixed(2)} s recorded from frame ${at / 2} ` +
                  'of the render on, equal value for value, no gap');
    }

    const clock = state.clock;
    const back = clock.findIndex((v, i) => i > 0 && v < clock[i - 1]);
    if (back >= 0) fail(`the picture's clock went back at drawn frame ${back}`);
    const shownSeconds = (clock[clock.length - 1] - 4096) / sampleRate;
    const playedSeconds = state.played / sampleRate;
    // What is heard lags what the player has handed on by the output's latency, as the engine
    // reports it, and a slow picture's last frame by up to a second more.
    const latency = state.latency.base + (state.latency.output || 0);
    if (clock.length < 10 || !(shownSeconds >= playedSeconds - latency - 1) ||
        !(shownSeconds <= playedSeconds + 0.05)) {
      fail(`the picture shows ${shownSeconds.toFixed(2)} s of sound after ${clock.length} frames ` +
           `when about ${playedSeconds.toFixed(2)} s have been played`);
    } else {
      console.log(`ok: ${clock.length} frames drawn, the clock never back, at ` +
                  `${shownSeconds.toFixed(2)} s when ${playedSeconds.toFixed(2)} s were played`);
    }

    await page.pressKey('a');
    await page.waitFor('!kelvorinsaa.playing && kelvorinsaa.ready', 10);
    const words = await page.evaluate('document.getElementById("start-hint").textContent');
    if (!/play it again/.test(words)) fail(`after a key the page says "${words}"`);
    await page.click('#in-page');
    await page.waitFor('kelvorinsaa.clockLog.length > 0', 20);
    console.log('ok: a key ends the show, and it plays again');
    const errors = await page.pageErrors();
    if (errors.length) fail(`errors in the page: ${errors.join('; ')}`);
  } finally {
    await browser.close().catch(() => {});
  }
}

main().catch((e) => fail(e.stack || String(e)));
