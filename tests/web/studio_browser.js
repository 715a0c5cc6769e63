// What the studio's tests share: headless Chromium through puppeteer-core with the studio page
// served from 127.0.0.1, the native tools' files, a recorder of what the page plays (in any
// engine) and the check of an edit's splice.
'use strict';
const {execFileSync} = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {serve} = require('./browsers.js');

const sampleRate = 44100;

async function openStudio(pagePath, {fragment = '', beforeLoad} = {}) {
  const puppeteer = require('puppeteer-core');
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: 'new',
    args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required', '--use-gl=angle',
           '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--disable-background-timer-throttling', '--disable-renderer-backgrounding'],
  });
  const server = await serve(path.dirname(path.resolve(pagePath)));
  const url = `${server.url}/${path.basename(pagePath)}`;
  const errors = [];
  async function open(hash = fragment, script = beforeLoad) {
    const page = await browser.newPage();
    page.on('pageerror', (e) => errors.push(e.message));
    await page.setViewport({width: 1400, height: 900});
    if (script) await page.evaluateOnNewDocument(script);
    await page.goto(url + hash);
    await page.waitForFunction('window.kelvorinsaaStudio && kelvorinsaaStudio.ready',
                               {timeout: 60000});
    return page;
  }
  const page = await open();
  return {browser, page, open, url, errors,
          close: async () => { await browser.close(); await server.close(); }};
}

// Runs a native tool; returns its standard output.
function run(tool, args, options = {}) {
  return execFileSync(tool, args, {maxBuffer: 1 << 30, ...options});
}

function scratchFolder(name) {
  return fs.mkdtempSync(path.join(os.tmpdir(), `kelvorinsaa-${name}-`));
}

// kelvorinsaa-render's raw stream for a song with extra options, as 16-bit values.
function rendered(renderTool, songPath, options, scratch) {
  const file = path.join(scratch, `render-${Math.random().toString(36).slice(2)}.raw`);
  run(renderTool, [...(songPath ? ['--song', songPath] : []), ...options, file]);
  const bytes = fs.readFileSync(file);
  fs.rmSync(file);
  return new Int16Array(bytes.buffer, bytes.byteOffset, bytes.length / 2);
}

// Records the studio's output (or the show page's: show true) as 16-bit values in
// window.recorded. The worklet comes from a Blob where the engine takes one, else a data: URL.
function recorderExpression(show) {
  const sound = show ? '{context: kelvorinsaa.context, node: kelvorinsaa.output}'
                     : 'kelvorinsaaStudio.player.sound';
  return `(async () => {
    const sound = ${sound};
    const context = sound.context;
    const source = 'class Recorder extends AudioWorkletProcessor {' +
      ' process(inputs) { const i = inputs[0];' +
      ' if (i.length === 2) this.port.postMessage([i[0].slice(), i[1].slice()]);' +
      ' return true; } } registerProcessor("test-recorder", Recorder);';
    try {
      const blob = new Blob([source], {type: 'text/javascript'});
      await context.audioWorklet.addModule(URL.createObjectURL(blob));
    } catch (e) {
      await context.audioWorklet.addModule('data:text/javascript,' + encodeURIComponent(source));
    }
    const node = new AudioWorkletNode(context, 'test-recorder',
                                      {numberOfInputs: 1, numberOfOutputs: 0});
    window.recorded = [];
    node.port.onmessage = (event) => {
      const [left, right] = event.data;
      const values = new Int16Array(left.length * 2);
      for (let i = 0; i < left.length; ++i) {
        values[2 * i] = Math.round(left[i] * 32768);
        values[2 * i + 1] = Math.round(right[i] * 32768);
      }
      window.recorded.push(values);
    };
    sound.node.connect(node);
    return true;
  })()`;
}

// page: a puppeteer page or browsers.js's page; anything with evaluate(expression).
async function startRecording(page, show = false) {
  await page.evaluate(recorderExpression(show));
}

const recordingFromFirstSound = `(() => {
  const all = new Int16Array(recorded.reduce((n, v) => n + v.length, 0));
  let at = 0;
  for (const v of recorded) { all.set(v, at); at += v.length; }
  recorded = [];
  let first = all.findIndex((v) => v !== 0);
  if (first < 0) first = all.length;
  first -= first % 2;
  const bytes = new Uint8Array(all.buffer, first * 2);
  let binary = '';
  for (let i = 0; i < bytes.length; i += 8192) {
    binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
  }
  return btoa(binary);
})()`;

// The recording so far, from its first sound on, as 16-bit values; the recording starts over.
async function takeRecording(page) {
  const bytes = Buffer.from(await page.evaluate(recordingFromFirstSound), 'base64');
  return new Int16Array(bytes.buffer, bytes.byteOffset, bytes.length / 2);
}

// Where values (from index from on) first stand in reference, searching whole frames; -1.
function findIn(reference, values, from = 0, probe = 1024) {
  const length = Math.min(probe, values.length - from);
  if (length <= 0) return -1;
  outer: for (let at = 0; at + length <= reference.length; at += 2) {
    for (let i = 0; i < length; ++i) if (reference[at + i] !== values[from + i]) continue outer;
    return at;
  }
  return -1;
}

// How many values of values from index from on equal reference from index at on.
function agreeing(reference, at, values, from = 0) {
  let i = 0;
  while (from + i < values.length && at + i < reference.length &&
         reference[at + i] === values[from + i]) ++i;
  return i;
}

// Whether recording is before's sound up to some frame and after's from that same frame on, as
// the native player's reload sounds: {at, change} (where in before it began, where the change
// came), or {problem}.
function spliceOf(recording, before, after) {
  const at = findIn(before, recording);
  if (at < 0) return {problem: 'the recording does not begin with the sound before'};
  const same = agreeing(before, at, recording);
  if (same === recording.length) return {problem: 'the change was never heard'};
  const rest = agreeing(after, at + same, recording, same);
  if (same + rest < recording.length) {
    return {problem: `${(same + rest) / 2} frames of ${recording.length / 2} are the splice`};
  }
  return {at, change: same};
}

function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

module.exports = {openStudio, run, scratchFolder, rendered, startRecording, takeRecording, findIn,
                  agreeing, spliceOf, sleep, sampleRate};
