// The studio's texts: a Share link opens the studio with the text byte for byte (the built-in
// song, and a song of every character the language allows, also where the browser has no
// CompressionStream); a damaged link, a binary file and a paste too large each give one sentence
// and keep the text; a CR LF song shows plain line ends and is saved and linked as it came; the
// song check's findings are kelvorinsaa-songcheck's lines for the songs the project keeps, and
// with the clipping check kelvorinsaa-render --check's. The show's page plays a link's song as the
// render plays it. The hover names the field of every item of the golden songs, and the
// completion in a track line offers the patterns the text defines.
// Usage: node studio_text_test.js PAGE.html SONGCHECK_TOOL RENDER_TOOL SOURCE_DIR
'use strict';
const {spawnSync} = require('child_process');
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');
const {openStudio, scratchFolder, rendered, startRecording, takeRecording, findIn, agreeing,
       sleep} = require('./studio_browser.js');

const [pagePath, songcheckTool, renderTool, sourceDir] = process.argv.slice(2);
let failures = 0;

function fail(message) {
  console.error(`FAIL: ${message}`);
  failures += 1;
}

function editorText(page) {
  return page.evaluate(() => kelvorinsaaStudio.editor.state.doc.toString());
}

async function shareLink(page, text) {
  await page.evaluate((text) => {
    const editor = kelvorinsaaStudio.editor;
    editor.dispatch({changes: {from: 0, to: editor.state.doc.length, insert: text}});
  }, text);
  await page.click('#share');
  await page.waitForFunction((length) => kelvorinsaaStudio.sharedLink &&
                             document.getElementById('share-link').value.length > 0, {}, text.length);
  const link = await page.evaluate(() => kelvorinsaaStudio.sharedLink);
  await page.evaluate(() => { kelvorinsaaStudio.sharedLink = ''; });
  return link;
}

// Every byte the song language reads, as text: line feeds, carriage returns, tabs, blanks, all
// of printable ASCII, and letters beyond it in a comment.
function everyCharacter() {
  let printable = '';
  for (let c = 32; c < 127; ++c) printable += String.fromCharCode(c);
  return `bpm:125\r\ni1:sini,2,16,1,4000,0,-60\n\tp1:c4,\t00,vol,50, d 4\n# ${printable}\n` +
         `# äöå € 𝄞 \u00a0\u2028\n\n\nt1:p1,loop\r\n${printable}\n\v\f\x01\x7f`;
}

// kelvorinsaa-songcheck's lines for a song file.
function songcheckLines(file) {
  const result = spawnSync(songcheckTool, [file], {encoding: 'utf8'});
  return result.stderr.split('\n').filter((line) => line !== '');
}

function renderCheckLines(file) {
  const result = spawnSync(renderTool, ['--check', file], {encoding: 'utf8'});
  return (result.stdout + result.stderr).split('\n').filter((line) => line !== '');
}

function pageLines(file, findings) {
  return findings.map((f) => (f.line === 0 ? `${file}: ${f.text}` : `${file}:${f.line}: ${f.text}`));
}

// What --check finds beyond the song check (the stretches that clip), as "LINE: text".
function clippingLines(file) {
  const checked = renderCheckLines(file).map((line) => line.slice(file.length + 2))
                                        .filter((line) => /^(line \d+|song): /.test(line))
                                        .map((line) => line.replace(/^line (\d+): /, '$1: ')
                                                           .replace(/^song: /, '0: '));
  const plain = new Set(songcheckLines(file).map((line) => line.slice(file.length))
                                            .map((line) => line.replace(/^:(\d+): warning: /, '$1: ')
                                                               .replace(/^: warning: /, '0: ')));
  return checked.filter((line) => !plain.has(line));
}

function keptSongs() {
  const named = (folder) => fs.readdirSync(folder).filter((n) => n.endsWith('.txt'))
                              .map((n) => path.join(folder, n));
  return [...['song_parse', 'player', 'render'].flatMap((c) => named(path.join(sourceDir, 'fuzz/corpus', c))),
          ...named(path.join(sourceDir, 'tests/music/golden')),
          path.join(sourceDir, 'src/music/song.txt')];
}

const instrumentFields = ['waveform', 'attack length', 'decay length', 'sustain length',
                          'release length', 'mod rate', 'pitch slide', 'pan', 'filter'];

// Each item of a line as written, [offset of its first character, the field it is], read in
// the plain way: the golden songs have blanks only after commas.
function expectedFields(line, lineStart) {
  const colon = line.indexOf(':');
  const head = line.slice(0, colon).trim();
  if (line.trim() === '' || line.trim()[0] === '#' || colon < 0) return [];
  const kind = head === 'bpm' ? 'tempo' : {i: 'instrument', p: 'pattern', t: 'track'}[head[0]];
  const places = [[lineStart + line.indexOf(head), kind === 'tempo' ? 'tempo line' : `${kind} number`]];
  let at = colon + 1;
  let argumentOf = null;
  let index = 0;
  for (const piece of line.slice(colon + 1).split(',')) {
    const word = piece.trim();
    const from = lineStart + at + piece.indexOf(word);
    at += piece.length + 1;
    if (word === '') continue;
    const field = {tempo: 'tempo', track: 'track entry', instrument: instrumentFields[index] || 'ignored',
                   pattern: argumentOf || 'row'}[kind];
    argumentOf = kind === 'pattern' && !argumentOf ? {vol: 'volume', sld: 'slide'}[word] : null;
    places.push([from, field, word]);
    ++index;
  }
  return places;
}

async function languageHelp(page) {
  const golden = path.join(sourceDir, 'tests/music/golden');
  for (const name of fs.readdirSync(golden).filter((n) => n.endsWith('.txt'))) {
    const text = fs.readFileSync(path.join(golden, name), 'utf8');
    const places = [];
    let lineStart = 0;
    for (const line of text.split('\n')) {
      places.push(...expectedFields(line, lineStart));
      lineStart += line.length + 1;
    }
    const seen = await page.evaluate((text, places) => {
      const editor = kelvorinsaaStudio.editor;
      editor.dispatch({changes: {from: 0, to: editor.state.doc.length, insert: text}});
      return places.map(([at]) => kelvorinsaaStudio.describeAt(at + 1));
    }, text, places);
    places.forEach(([at, field, word], k) => {
      const got = seen[k];
      const where = `${name} at ${at} (${JSON.stringify(word || text.slice(at, at + 4))})`;
      if (!got || got.field !== field) return fail(`${where}: the hover names ${got && got.field}, not ${field}`);
      const frames = /length$/.test(field) && Number(word);
      if (frames && got.facts[0] !== `${frames} frame${frames === 1 ? '' : 's'} = ` +
                                      `${Number((frames / 44.1).toPrecision(6))} ms`) {
        fail(`${where}: the hover says ${got.facts[0]}`);
      }
    });
  }
  // A real pointer over an item of an instrument line shows the hover; and the options a
  // comma opens in a track line: the patterns the text defines, and loop.
  const text = fs.readFileSync(path.join(golden, 'test_song.txt'), 'utf8');
  const defined = [...text.matchAll(/^p(\d+):/gm)].map((m) => `p${Number(m[1])}`);
  const trackEnd = text.indexOf('\n', text.search(/^t1:/m));
  const point = await page.evaluate((text, at) => {
    const editor = kelvorinsaaStudio.editor;
    editor.dispatch({changes: {from: 0, to: editor.state.doc.length, insert: text},
                     selection: {anchor: at}});
    editor.focus();
    const box = editor.coordsAtPos(text.indexOf('\ni1:') + 12);
    return {x: box.left + 2, y: (box.top + box.bottom) / 2};
  }, text, trackEnd);
  await page.mouse.move(point.x, point.y);
  await page.waitForSelector('.cm-tooltip-hover .song-help', {timeout: 5000})
            .catch(() => fail('no hover shows over an instrument line'));
  await page.keyboard.type(',');
  await page.waitForSelector('.cm-tooltip-autocomplete', {timeout: 5000})
            .catch(() => fail('a comma in a track line opens no completion'));
  const offered = await page.$$eval('.cm-tooltip-autocomplete .cm-completionLabel',
                                    (labels) => labels.map((l) => l.textContent));
  if (JSON.stringify(offered.sort()) !== JSON.stringify([...defined, 'loop'].sort())) {
    fail(`a track line offers ${offered}, the text defines ${defined}`);
  }
  await page.keyboard.press('Escape');
}

async function main() {
  const scratch = scratchFolder('studio-text');
  const studio = await openStudio(pagePath, {beforeLoad: 'localStorage.clear()'});
  let {page} = studio;
  const builtIn = await page.evaluate(() => studioParts.builtInSong);

  // Links, opened in a new tab; also by a browser without CompressionStream.
  const noStreams = 'delete window.CompressionStream; delete window.DecompressionStream;';
  for (const [name, text] of [['the built-in song', builtIn], ['every character', everyCharacter()]]) {
    const link = await shareLink(page, text);
    const fragment = link.slice(link.indexOf('#'));
    for (const [how, beforeLoad] of [['', ''], [' without CompressionStream', noStreams]]) {
      // (the stored text stays: the link's text must win over it)
      const other = await studio.open(fragment, beforeLoad);
      const opened = await editorText(other);
      if (opened !== text) fail(`${name}${how}: the link opened ${JSON.stringify(opened.slice(0, 80))}`);
      await other.close();
    }
  }
  const fflateLink = await (async () => {
    const other = await studio.open('', 'localStorage.clear();' + noStreams);
    const link = await shareLink(other, everyCharacter());
    await other.close();
    return link;
  })();
  const fromFflate = await studio.open(fflateLink.slice(fflateLink.indexOf('#')));
  if (await editorText(fromFflate) !== everyCharacter()) fail('a link deflated by fflate opens differently');
  await fromFflate.close();

  // The show's page with a link's song (another tempo): it says so, and plays that song.
  const ownSong = builtIn.replace('bpm:125', 'bpm:140').replace('i5:saha', 'i5:sini');
  fs.writeFileSync(path.join(scratch, 'own.txt'), ownSong);
  const ownLink = await shareLink(page, ownSong);
  const show = await studio.browser.newPage();
  await show.goto(studio.url.replace(/[^/]*$/, 'kelvorinsaa.html') + ownLink.slice(ownLink.indexOf('#')));
  await show.waitForFunction(() => window.kelvorinsaa && kelvorinsaa.ready, {timeout: 60000});
  if (!/a song of its own/.test(await show.evaluate(() => document.body.innerText))) {
    fail('the show\'s start screen does not say that it plays the link\'s song');
  }
  await show.evaluate(() => kelvorinsaa.start(false));
  await show.waitForFunction(() => kelvorinsaa.output, {timeout: 20000});
  await startRecording(show, true);
  await sleep(2500);
  const heard = await takeRecording(show);
  const ownRender = rendered(renderTool, path.join(scratch, 'own.txt'), ['--frames', '800000'],
                             scratch);
  const at = findIn(ownRender, heard);
  if (heard.length < 44100 || at < 0 || agreeing(ownRender, at, heard) !== heard.length) {
    fail('the show\'s page does not play the link\'s song as kelvorinsaa-render does');
  }
  await show.close();

  // A damaged link, cut short or with a wrong character: one sentence, the stored text kept.
  const goodLink = await shareLink(page, builtIn);
  const value = goodLink.slice(goodLink.indexOf('#song=') + 6);
  for (const damaged of [value.slice(0, value.length - 9), value.replace(/^./, '*'), 'AAAA']) {
    const other = await studio.open(`#song=${damaged}`);
    const seen = await other.evaluate(() => ({problem: kelvorinsaaStudio.problem,
                                              text: kelvorinsaaStudio.editor.state.doc.toString()}));
    if (!/^[^.]+ damaged or cut short[^.]*\.$/.test(seen.problem) || seen.text !== builtIn) {
      fail(`a damaged link (${damaged.slice(0, 12)}...) gave ${JSON.stringify(seen.problem)}`);
    }
    await other.close();
  }

  // A binary file and a paste too large: one sentence each, the text as it was.
  const binary = path.join(scratch, 'picture.png');
  fs.writeFileSync(binary, Buffer.from([0x89, 0x50, 0x4e, 0x47, 0, 0, 0, 0x0d, 0xff, 0xfe]));
  const before = await editorText(page);
  const input = await page.$('#open-file');
  await input.uploadFile(binary);
  await page.waitForFunction(() => kelvorinsaaStudio.problem.includes('picture.png'));
  await page.evaluate(() => {
    const editor = kelvorinsaaStudio.editor;
    editor.dispatch({changes: {from: 0, insert: 'x'.repeat(2 << 20)}, userEvent: 'input.paste'});
  });
  const after = await page.evaluate(() => ({problem: kelvorinsaaStudio.problem,
                                            text: kelvorinsaaStudio.editor.state.doc.toString()}));
  if (after.text !== before || !/larger than 1 MiB/.test(after.problem)) {
    fail(`a paste too large gave ${JSON.stringify(after.problem)}`);
  }

  // The song check, against the tools, for every song the project keeps.
  for (const file of keptSongs()) {
    const text = fs.readFileSync(file, 'utf8');
    // A file that is no text (bytes beyond UTF-8, NUL) never comes into the editor.
    if (!Buffer.from(text, 'utf8').equals(fs.readFileSync(file)) || text.includes('\0')) continue;
    const quick = await page.evaluate((text) => kelvorinsaaStudio.check(text, false), text);
    const expected = songcheckLines(file);
    const got = pageLines(file, quick);
    if (JSON.stringify(got) !== JSON.stringify(expected)) {
      fail(`${path.basename(file)}: the studio finds ${JSON.stringify(got)}, ` +
           `kelvorinsaa-songcheck ${JSON.stringify(expected)}`);
    }
  }
  for (const file of keptSongs().filter((f) => /golden|song\.txt/.test(f))) {
    const text = fs.readFileSync(file, 'utf8');
    const [quick, full] = await page.evaluate(async (text) => [
      await kelvorinsaaStudio.check(text, false), await kelvorinsaaStudio.check(text, true)], text);
    const plain = new Set(quick.map((f) => f.text));
    const got = full.filter((f) => !plain.has(f.text))
                    .map((f) => `${f.line}: ${f.text.replace(/^warning: /, '')}`);
    const expected = clippingLines(file);
    if (JSON.stringify(got) !== JSON.stringify(expected)) {
      fail(`${path.basename(file)}: the studio finds ${JSON.stringify(got)} clipping, ` +
           `kelvorinsaa-render --check ${JSON.stringify(expected)}`);
    }
  }

  await languageHelp(page);

  // The findings stand on their lines in the editor.
  await page.evaluate((text) => {
    const editor = kelvorinsaaStudio.editor;
    editor.dispatch({changes: {from: 0, to: editor.state.doc.length, insert: text}});
  }, builtIn.replace('p3:g3', 'p3:g3,vol'));
  await page.waitForFunction(() => document.querySelectorAll('.cm-lintRange-error, .cm-lintRange-warning').length > 0,
                             {timeout: 20000});
  await sleep(200);

  // A song with CR LF line ends, opened as a file: shown with plain line ends, saved and shared
  // as the bytes it came with, and opened from its link as it was opened from the file.
  const crLf = builtIn.replace(/\n/g, '\r\n');
  fs.writeFileSync(path.join(scratch, 'windows.txt'), crLf);
  await (await page.$('#open-file')).uploadFile(path.join(scratch, 'windows.txt'));
  await page.waitForFunction(() => document.getElementById('save-name').value === 'windows.txt');
  const seen = await page.evaluate(() => document.querySelector('.cm-content').innerText);
  if (await editorText(page) !== builtIn || seen.includes('\u240d')) {
    fail('a CR LF song is not shown with plain line ends');
  }
  await page.evaluate(() => {
    const create = URL.createObjectURL;
    URL.createObjectURL = (blob) => { kelvorinsaaStudio.savedBlob = blob; return create(blob); };
  });
  await page.click('#save');
  const saved = await page.evaluate(async () =>
    Array.from(new Uint8Array(await kelvorinsaaStudio.savedBlob.arrayBuffer())));
  if (!Buffer.from(saved).equals(Buffer.from(crLf))) fail('a CR LF song is saved with other bytes');
  await page.click('#share');
  await page.waitForFunction(() => kelvorinsaaStudio.sharedLink);
  const crLfLink = await page.evaluate(() => kelvorinsaaStudio.sharedLink);
  const linked = zlib.inflateRawSync(Buffer.from(crLfLink.split('#song=')[1], 'base64url'));
  if (!linked.equals(Buffer.from(crLf))) fail('a CR LF song\'s link holds other bytes');
  const fromLink = await studio.open(crLfLink.slice(crLfLink.indexOf('#')));
  if (await editorText(fromLink) !== builtIn) fail('a CR LF song\'s link opens differently');
  await fromLink.close();

  if (studio.errors.length > 0) fail(`the page threw: ${studio.errors.join('; ')}`);
  await studio.close();
  fs.rmSync(scratch, {recursive: true, force: true});
  if (failures === 0) console.log('PASS: links, files, the song check and the hover hold the text');
  process.exitCode = failures === 0 ? 0 : 1;
}

main().catch((e) => {
  console.error(`FAIL: ${e.stack || e}`);
  process.exit(1);
});
