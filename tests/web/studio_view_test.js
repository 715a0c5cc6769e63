// The studio's song in view and instrument under the fingers: the arrangement's blocks and their
// notes stand on the rows where kelvorinsaa-render --trace has each track entry and note; a key
// played with the song muted, and again with the song paused, sounds, value for value, as the
// render of that note on the instrument's channel, and the paused song stays where it was; step
// entry writes the notes played where the cursor was and moves on; vim's keys, once turned on,
// are on again after a reload.
// Usage: node studio_view_test.js PAGE.html RENDER_TOOL
'use strict';
const fs = require('fs');
const path = require('path');
const {openStudio, run, scratchFolder, rendered, startRecording, takeRecording, findIn, agreeing,
       sleep} = require('./studio_browser.js');

const [pagePath, renderTool] = process.argv.slice(2);
const noteName = /^[cCdDefFgGaAb][1-6]$/;
let failures = 0;

function fail(message) {
  console.error(`FAIL: ${message}`);
  failures += 1;
}

// Per channel, the rows where a track entry begins (its pattern) and the rows with a note.
function traceFacts(trace) {
  const starts = new Map();
  const notes = new Set();
  const last = new Map();
  for (const line of trace.trim().split('\n')) {
    const [row, ...fields] = line.split(' ');
    for (const field of fields) {
      const [channel, entry, pattern, patternRow, event] = field.split(':');
      if (entry === 'end') continue;
      if (last.get(channel) !== entry || patternRow === '0') {
        starts.set(`${channel}@${row}`, pattern.slice(1));
      }
      last.set(channel, entry);
      if (noteName.test(event)) notes.add(`${channel}@${row}`);
    }
  }
  return {starts, notes};
}

function checkArrangement(blocks, trace) {
  const expected = traceFacts(trace);
  const starts = new Map(blocks.map((b) => [`${b.channel}@${b.from}`, String(b.pattern)]));
  const notes = new Set(blocks.flatMap((b) => b.notes.map((n) => `${b.channel}@${n.row}`)));
  for (const [where, pattern] of expected.starts) {
    if (starts.get(where) !== pattern) {
      return fail(`the trace enters p${pattern} at channel@row ${where}; the strip has ` +
                  `${starts.has(where) ? 'p' + starts.get(where) : 'no block'} there`);
    }
  }
  if (starts.size !== expected.starts.size) {
    fail(`the strip has ${starts.size} blocks, the trace ${expected.starts.size} entries`);
  }
  const missing = [...expected.notes].filter((n) => !notes.has(n));
  if (missing.length > 0 || notes.size !== expected.notes.size) {
    fail(`the strip's notes: ${notes.size}, the trace's ${expected.notes.size} ` +
         `(first missing: ${missing[0]})`);
  }
}

async function cursorAt(page, offset) {
  await page.evaluate((offset) => {
    const editor = kelvorinsaaStudio.editor;
    editor.focus();
    editor.dispatch({selection: {anchor: offset}});
  }, offset);
}

// The render of instrument's line at note on the instrument's own channel, alone: the tracks
// below it a rest each, so that the walk reaches it.
function renderedNote(song, instrument, note, scratch) {
  const lines = song.split('\n').filter((line) => /^i\d+:/.test(line));
  for (let k = 1; k < instrument; ++k) lines.push(`t${k}:p901`);
  lines.push('p900:' + note, 'p901:0', `t${instrument}:p900`);
  const file = path.join(scratch, 'note.txt');
  fs.writeFileSync(file, 'bpm:125\n' + lines.join('\n') + '\n');
  return rendered(renderTool, file, ['--to', '2'], scratch);
}

function firstSound(values) {
  const at = values.findIndex((v) => v !== 0);
  return at < 0 ? new Int16Array(0) : values.subarray(at - (at % 2));
}

// Drains the recording until a fifth of a second of it in a row is silent: a fixed wait was
// too short on a loaded machine.
async function untilSilent(page) {
  let silent = 0;  // values
  for (let tries = 0; tries < 50; ++tries) {
    await sleep(100);
    const {values, loud} = await page.evaluate(`(() => {
      const taken = {values: recorded.reduce((n, v) => n + v.length, 0),
                     loud: recorded.some((v) => v.some((x) => x !== 0))};
      recorded = [];
      return taken; })()`);
    silent = loud ? 0 : silent + values;
    if (silent >= 0.2 * 44100 * 2) return;
  }
  fail('the muted song did not fall silent in 5 s');
}

async function main() {
  const scratch = scratchFolder('studio-view');
  const studio = await openStudio(pagePath, {beforeLoad: 'localStorage.clear()'});
  const {page} = studio;
  const song = await page.evaluate(() => studioParts.builtInSong);

  const tracePath = path.join(scratch, 'trace.txt');
  run(renderTool, ['--trace', tracePath]);
  checkArrangement(await page.evaluate(() => kelvorinsaaStudio.arrangement),
                   fs.readFileSync(tracePath, 'utf8'));

  // A key: instrument 2's line under the cursor, the song muted, 'b' in octave 3 is g3.
  await page.click('#keys-play');
  await page.click('#keys-alone');
  await startRecording(page);
  const note = firstSound(renderedNote(song, 2, 'g3', scratch));
  const audible = note.findLastIndex((v) => v !== 0) + 1;
  // Then the song paused instead of muted: silent, held still, and the key sounds as before.
  for (const how of ['with the song muted', 'with the song paused']) {
    if (how.endsWith('paused')) {
      await page.click('#keys-alone');
      await page.click('#play');
    }
    await untilSilent(page);  // the song's sound mixed before the mute or pause has come out
    const songBefore = await page.evaluate(() => kelvorinsaaStudio.player.heardSongFrame());
    // On a busy machine the change can come after the cut's frame has played, and the worklet
    // skips what it has played of the note: from where it is heard on it must be the render's,
    // and a note skipped whole is played again, up to three times.
    let agreement = '';
    for (let tries = 0; tries < 3 && agreement !== 'whole'; ++tries) {
      await untilSilent(page);
      await cursorAt(page, song.indexOf('i2:') + 2);
      await page.keyboard.press('b');
      await sleep(400);
      const heard = firstSound(await takeRecording(page));
      const at = findIn(note, heard);
      const same = at < 0 ? 0 : agreeing(note, at, heard);
      if (heard.length === 0) agreement = 'nothing heard';
      else if (at >= 0 && at + same >= audible) agreement = 'whole';
      else agreement = `the render's for ${same / 2} frames from its frame ${at / 2} of ${audible / 2}`;
    }
    if (agreement !== 'whole') fail(`${how}, the key's sound is ${agreement}`);
    const songAfter = await page.evaluate(() => kelvorinsaaStudio.player.heardSongFrame());
    if (how.endsWith('paused') && songAfter !== songBefore) {
      fail(`the paused song moved from frame ${songBefore} to ${songAfter} while the key played`);
    }
  }
  if (await page.evaluate(() => kelvorinsaaStudio.editor.state.doc.toString()) !== song) {
    fail('the key was typed into the text as well');
  }

  // Step entry on p3's second item: 'c' is e3 there, 'v' f3 on the item after it.
  await page.click('#step-entry');
  const p3 = song.indexOf('p3:g3,') + 6;
  await cursorAt(page, p3);
  await page.keyboard.press('c');
  await page.keyboard.press('v');
  const after = await page.evaluate(() => {
    const state = kelvorinsaaStudio.editor.state;
    return {text: state.doc.toString(), cursor: state.selection.main.head};
  });
  const wanted = song.slice(0, p3) + 'e3,f3' + song.slice(p3 + 5);
  if (after.text !== wanted) {
    fail(`step entry wrote ${JSON.stringify(after.text.slice(p3 - 6, p3 + 14))}`);
  }
  if (after.cursor !== p3 + 6) fail(`step entry left the cursor at ${after.cursor - p3} of p3`);

  // vim's keys: on after a reload, where 'x' in normal mode takes a character away.
  await page.click('#vim-keys');
  const again = await studio.open('', '');
  await again.evaluate(() => kelvorinsaaStudio.editor.focus());
  await again.keyboard.press('x');
  const vim = await again.evaluate(() => ({on: document.getElementById('vim-keys').checked,
                                           text: kelvorinsaaStudio.editor.state.doc.toString()}));
  if (!vim.on || vim.text.length !== after.text.length - 1) {
    fail(`after a reload vim keys are ${vim.on ? 'on' : 'off'} and 'x' made the text ` +
         `${vim.text.length - after.text.length} characters longer`);
  }

  if (studio.errors.length > 0) fail(`page errors: ${studio.errors.join('; ')}`);
  await studio.close();
  if (failures > 0) process.exit(1);
  console.log('the arrangement stands as traced; a key (song muted or paused), step entry and ' +
              'vim keys do what they should');
}

main().catch((e) => {
  console.error(`FAIL: ${e.stack || e}`);
  process.exit(1);
});
