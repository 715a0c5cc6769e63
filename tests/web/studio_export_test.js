// The studio's exports against kelvorinsaa-render, byte for byte: the WAV of the whole song for
// the built-in song and a golden song, the WAV of some rows with mutes and solos, and the ZIP of
// the stems beside the render's --stems folder, the MIDI file beside the render's OUT.mid; and a
// MIDI file opened becomes kelvorinsaa-import's text, which one undo takes away again.
// Usage: node studio_export_test.js PAGE.html RENDER_TOOL SOURCE_DIR IMPORT_TOOL
'use strict';
const crypto = require('crypto');
const fs = require('fs');
const path = require('path');
const {unzipSync} = require('fflate');
const {openStudio, run, scratchFolder} = require('./studio_browser.js');

const [pagePath, renderTool, sourceDir, importTool] = process.argv.slice(2);
const golden = (name) => path.join(sourceDir, 'tests/music/golden', name);
let failures = 0;

function fail(message) {
  console.error(`FAIL: ${message}`);
  failures += 1;
}

function sha256(bytes) {
  return crypto.createHash('sha256').update(bytes).digest('hex');
}

// The page's export as bytes (base64 through the protocol) and how long the worker took.
async function exported(page, request) {
  const reply = await page.evaluate(async (request) => {
    const {blob, ms} = await kelvorinsaaStudio.render(request);
    const bytes = new Uint8Array(await blob.arrayBuffer());
    let binary = '';
    for (let i = 0; i < bytes.length; i += 8192) binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
    return {data: btoa(binary), ms};
  }, request);
  return {bytes: Buffer.from(reply.data, 'base64'), ms: reply.ms};
}

function songText(songPath) {
  return songPath ? fs.readFileSync(songPath, 'utf8') : null;
}

async function main() {
  const scratch = scratchFolder('studio-export');
  const studio = await openStudio(pagePath);
  const {page} = studio;
  const builtIn = await page.evaluate(() => studioParts.builtInSong);
  const cases = [
    {name: 'the built-in song', song: null, options: [], request: {}},
    {name: 'engine_a', song: golden('engine_a.txt'), options: [], request: {}},
    {name: 'engine_b rows 100-180 muting 2 with 1-3 solo', song: golden('engine_b.txt'),
     options: ['--from', '100', '--to', '180', '--mute', '2', '--solo', '1-3'],
     request: {fromRow: 100, toRow: 180, muted: 1 << 2, soloed: 0b1110}},
  ];
  for (const c of cases) {
    const file = path.join(scratch, 'render.wav');
    const began = Date.now();
    run(renderTool, [...(c.song ? ['--song', c.song] : []), ...c.options, file]);
    const renderMs = Date.now() - began;
    const expected = fs.readFileSync(file);
    const request = {text: songText(c.song) ?? builtIn, muted: 0, soloed: 0, stems: false,
                     ...c.request};
    const got = await exported(page, request);
    console.log(`${c.name}: ${got.bytes.length} bytes in ${Math.round(got.ms)} ms, ` +
                `kelvorinsaa-render ${renderMs} ms`);
    if (sha256(got.bytes) !== sha256(expected)) {
      let at = 0;
      while (at < expected.length && got.bytes[at] === expected[at]) ++at;
      fail(`${c.name}: the export differs from kelvorinsaa-render's file at byte ${at} ` +
           `(${got.bytes.length} bytes against ${expected.length})`);
    }
  }

  // Stems: the ZIP holds the files of the render's folder, name for name, byte for byte.
  const stemsDir = path.join(scratch, 'stems');
  run(renderTool, ['--song', golden('engine_c.txt'), '--from', '40', '--to', '72', '--mute', '3',
                   '--stems', stemsDir]);
  const zip = await exported(page, {text: songText(golden('engine_c.txt')), fromRow: 40,
                                    toRow: 72, muted: 1 << 3, soloed: 0, stems: true});
  const files = unzipSync(new Uint8Array(zip.bytes));
  const expectedNames = fs.readdirSync(stemsDir).sort();
  if (JSON.stringify(Object.keys(files).sort()) !== JSON.stringify(expectedNames)) {
    fail(`the stems ZIP holds ${Object.keys(files).sort()}, the render wrote ${expectedNames}`);
  }
  for (const name of expectedNames) {
    if (files[name] && sha256(files[name]) !== sha256(fs.readFileSync(path.join(stemsDir, name)))) {
      fail(`stem ${name} differs from kelvorinsaa-render's`);
    }
  }
  // MIDI: out as the render's file; in as the importer's text, one step of the undo history.
  const midiPath = path.join(scratch, 'engine_b.mid');
  run(renderTool, ['--song', golden('engine_b.txt'), midiPath]);
  const midi = await exported(page, {text: songText(golden('engine_b.txt')), muted: 0, soloed: 0,
                                     midi: true});
  if (sha256(midi.bytes) !== sha256(fs.readFileSync(midiPath))) {
    fail(`the MIDI export (${midi.bytes.length} bytes) is not kelvorinsaa-render's OUT.mid`);
  }
  const importedPath = path.join(scratch, 'imported.txt');
  run(importTool, ['engine_b.mid', importedPath], {cwd: scratch});  // the name the page has
  const before = await page.evaluate(() => kelvorinsaaStudio.editor.state.doc.toString());
  const picker = await page.$('#open-file');
  await picker.uploadFile(midiPath);
  await page.waitForFunction((before) => kelvorinsaaStudio.editor.state.doc.toString() !== before,
                             {timeout: 30000}, before);
  const opened = await page.evaluate(() => ({text: kelvorinsaaStudio.editor.state.doc.toString(),
                                             name: document.getElementById('save-name').value}));
  if (opened.text !== fs.readFileSync(importedPath, 'utf8') || opened.name !== 'engine_b.txt') {
    fail(`the MIDI file opened as ${opened.name}, not as kelvorinsaa-import's text`);
  }
  await page.evaluate(() => kelvorinsaaStudio.editor.focus());
  await page.keyboard.down('Control');
  await page.keyboard.press('z');
  await page.keyboard.up('Control');
  if (await page.evaluate(() => kelvorinsaaStudio.editor.state.doc.toString()) !== before) {
    fail('one undo does not bring back the text from before the MIDI file');
  }

  if (studio.errors.length > 0) fail(`the page threw: ${studio.errors.join('; ')}`);
  await studio.close();
  fs.rmSync(scratch, {recursive: true, force: true});
  if (failures === 0) console.log('PASS: the exports are the render\'s files');
  process.exitCode = failures === 0 ? 0 : 1;
}

main().catch((e) => {
  console.error(`FAIL: ${e.stack || e}`);
  process.exit(1);
});
