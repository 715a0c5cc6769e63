// A recording of what a page played, held against the render of the show: where it stands in
// the render, how long it stays equal value for value from its first sound, and the gaps a
// starved audio output puts in it: silence, or frames skipped, after which the render goes on
// (perhaps some frames further). Any other difference is a wrong value, not a gap.
//
// Also the recording itself, from the test's own sound server's null sink, and the real click
// that starts a page.
//
// Usage: const result = compareWithRender(render, recording);  // Int16Arrays of stereo values
//   {found, exactFrames, gaps: [{atFrame, silentFrames, lostFrames}], wrongAtFrame, comparedFrames}
//   const recorder = recordServer(file); ... recorder.kill();
//   framesAfterFirstSound(file)  // {values, after}: the recording, its frames from the first sound
//   xdotool('mousemove', x, y, 'click', 1); await pageMiddle(page)  // {x, y} on the screen
'use strict';
const {execFileSync, spawn} = require('child_process');
const fs = require('fs');

const probeValues = 1024;
const sampleRate = 44100;

function xdotool(...words) {
  execFileSync('xdotool', words.map(String));
}

function recordServer(file) {
  const out = fs.openSync(file, 'w');
  const recorder = spawn('parec', ['-d', 'recorder.monitor', '--format=s16le', `--rate=${sampleRate}`,
                                   '--channels=2', '--raw', '--latency-msec=5'],
                         {stdio: ['ignore', out, 'inherit']});
  fs.closeSync(out);
  return recorder;
}

function framesAfterFirstSound(file) {
  const bytes = fs.readFileSync(file);
  const values = new Int16Array(bytes.buffer, bytes.byteOffset, bytes.length >> 1);
  const first = values.findIndex((v) => v !== 0);
  return {values, first, after: first < 0 ? 0 : (values.length - first) / 2};
}

// The middle of the page's viewport on the screen.
async function pageMiddle(page) {
  const [x, y] = await page.evaluate(`[Math.round(screenX + outerWidth / 2),
    Math.round(screenY + outerHeight - innerHeight / 2)]`);
  return {x, y};
}

// Index in render where values[from .. from + probe] stand, searched in [low, high).
function findRun(render, values, from, low, high, probeLength = probeValues) {
  const probe = Math.min(probeLength, values.length - from);
  if (probe < 64) return -1;
  const first = values[from];
  for (let at = Math.max(0, low - (low % 2)); at < Math.min(high, render.length - probe); at += 2) {
    if (render[at] !== first) continue;
    let i = 1;
    while (i < probe && render[at + i] === values[from + i]) ++i;
    if (i === probe) return at;
  }
  return -1;
}

// The recording from its first sound (a frame with a value other than 0).
function fromFirstSound(recording) {
  let first = recording.findIndex((v) => v !== 0);
  if (first < 0) return new Int16Array(0);
  first -= first % 2;
  return recording.subarray(first);
}

function compareWithRender(render, wholeRecording) {
  const recording = fromFirstSound(wholeRecording);
  const result = {found: false, exactFrames: 0, gaps: [], wrongAtFrame: null,
                  comparedFrames: recording.length / 2};
  let j = findRun(render, recording, 0, 0, render.length);
  if (j < 0) return result;
  result.found = true;
  result.renderFrame = j / 2;
  let i = 0;
  // The last buffer may be cut short by the end of the recording: it is not judged.
  const end = recording.length - 2 * probeValues;
  while (i < end && j < render.length) {
    while (i < end && j < render.length && recording[i] === render[j]) { ++i; ++j; }
    if (i >= end || j >= render.length) break;
    i -= i % 2;
    j -= j % 2;
    if (result.gaps.length === 0) result.exactFrames = i / 2;
    let resumed = i;
    while (resumed < recording.length && recording[resumed] === 0 && recording[resumed + 1] === 0) {
      resumed += 2;
    }
    // After silence, or straight on where the output skipped frames to catch up.
    // A shorter run where the output skipped again soon after.
    let at = findRun(render, recording, resumed, j - 2 * 44100, j + 20 * 2 * 44100);
    if (at < 0) at = findRun(render, recording, resumed, j - 2 * 44100, j + 20 * 2 * 44100, 128);
    if (at < 0) {
      if (resumed >= end) break;  // silent up to the end of the recording
      result.wrongAtFrame = i / 2;
      return result;
    }
    result.gaps.push({atFrame: i / 2, silentFrames: (resumed - i) / 2, lostFrames: (at - j) / 2});
    i = resumed;
    j = at;
  }
  if (result.gaps.length === 0) result.exactFrames = Math.min(i, end) / 2;
  result.comparedFrames = Math.min(i, end) / 2;
  return result;
}

module.exports = {compareWithRender, findRun, framesAfterFirstSound, pageMiddle, recordServer, xdotool};
