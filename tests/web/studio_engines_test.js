// The studio in one engine ($ENGINE, run_page_test.sh), as a person meets it: served from
// 127.0.0.1 it opens with the show's song and no error; after a click it plays, and what its
// player puts out is kelvorinsaa-render's stream value for value; an edit typed while it plays is
// heard as the render of the old song spliced to the render of the new one; and its WAV export is
// the render's file byte for byte.
// A player starved by a loaded machine leaves gaps: they are counted, and a run with gaps that
// fails is tried again (as is a run the browser broke off); a wrong value with no gap fails at
// once.
// Usage: node studio_engines_test.js PAGE.html RENDER_TOOL
'use strict';
const crypto = require('crypto');
const fs = require('fs');
const path = require('path');
const {launchBrowser, serve} = require('./browsers.js');
const {compareWithRender} = require('./sound_recording.js');
const {run, scratchFolder, rendered, startRecording, takeRecording, spliceOf, sleep,
       sampleRate} = require('./studio_browser.js');

const [pagePath, renderTool] = process.argv.slice(2);
const engine = process.env.ENGINE;
const attempts = 3;
const playedSeconds = 4;

// The whole song's WAV as the page exports it: its length and SHA-256, worked out in the page,
// in window.exported when done (longer than one call to the page may take).
const startExport = `window.exported = null; (async () => {
  const {blob} = await kelvorinsaaStudio.render({text: studioParts.builtInSong, muted: 0,
                                                 soloed: 0, stems: false});
  const bytes = await blob.arrayBuffer();
  const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
  return {length: bytes.byteLength,
          sha256: Array.from(digest, (b) => b.toString(16).padStart(2, '0')).join('')};
})().then((d) => { window.exported = d; },
          (e) => { window.exported = {problem: String(e)}; });
true`;

// The render of the show's song as the page has it, and of the same with one edit: instrument
// 5's pitch slide 2 becomes 3.
function renderSongs(text, scratch, renders) {
  renders.slideAt = text.indexOf('i5:saha,2,4,1,4000,0,2') + 22;
  renders.editedText = text.slice(0, renders.slideAt - 1) + '3' + text.slice(renders.slideAt);
  for (const [name, song] of [['old', text], ['edited', renders.editedText]]) {
    const file = path.join(scratch, `${name}.txt`);
    fs.writeFileSync(file, song);
    renders[name] = rendered(renderTool, file, ['--frames', '2000000'], scratch);
  }
}

// One run in a browser of its own: {problems, gaps} (gaps: whether the player ran dry).
async function attempt(server, scratch, renders) {
  const problems = [];
  let gaps = false;
  const browser = await launchBrowser(engine, {person: true});
  try {
    const page = await browser.openPage(`${server.url}/${path.basename(pagePath)}`);
    await page.evaluate('localStorage.clear()');
    await page.waitFor('window.kelvorinsaaStudio && (kelvorinsaaStudio.ready || ' +
                       'kelvorinsaaStudio.problem && ' +
                       '!/hear the song/.test(kelvorinsaaStudio.problem))', 60);
    const opened = await page.evaluate(`({ready: kelvorinsaaStudio.ready,
      problem: kelvorinsaaStudio.problem,
      builtIn: kelvorinsaaStudio.editor.state.doc.toString() === studioParts.builtInSong})`);
    if (!opened.ready) return {problems: [`the studio says: ${opened.problem}`], gaps};
    if (!opened.builtIn) problems.push('the editor does not hold the show\'s song');
    if (!renders.old) renderSongs(await page.evaluate('studioParts.builtInSong'), scratch, renders);

    // A person's click (in the file name box at the top) starts the sound: WebKit starts none
    // before one.
    await page.click('#save-name');
    await page.waitFor('kelvorinsaaStudio.player && kelvorinsaaStudio.heard && ' +
                       'kelvorinsaaStudio.heard.row > 4', 30);
    await startRecording(page);
    const recordedFrames = 'recorded.reduce((n, v) => n + v.length / 2, 0)';
    await page.waitFor(`${recordedFrames} >= ${playedSeconds * sampleRate}`, 60);
    const played = compareWithRender(renders.old, await takeRecording(page));
    gaps = gaps || played.gaps.length > 0;
    if (!played.found) {
      problems.push('what the studio played is nowhere in the render');
    } else if (played.wrongAtFrame !== null) {
      problems.push(`what the studio played differs from the render ${played.wrongAtFrame} ` +
                    `frames in (after ${played.gaps.length} gaps)`);
    } else if (played.comparedFrames < (playedSeconds - 1) * sampleRate) {
      problems.push(`only ${played.comparedFrames} frames of sound in ${playedSeconds} s`);
    } else {
      console.log(`${engine}: ${played.comparedFrames} frames played as rendered from frame ` +
                  `${played.renderFrame} on, ${played.gaps.length} gaps`);
    }

    // An edit typed into the editor, the one renderSongs made.
    const reloads = await page.evaluate('kelvorinsaaStudio.reloads');
    await page.evaluate(`(() => {
      kelvorinsaaStudio.editor.focus();
      kelvorinsaaStudio.editor.dispatch({selection: {anchor: ${renders.slideAt - 1},
                                                     head: ${renders.slideAt}}});
    })()`);
    await page.pressKey('3');
    await page.waitFor(`kelvorinsaaStudio.reloads > ${reloads}`, 20);
    await sleep(3000);
    const splice = spliceOf(await takeRecording(page), renders.old, renders.edited);
    if (splice.problem) problems.push(`an edit while playing: ${splice.problem}`);
    else console.log(`${engine}: the edit heard ${Math.floor(splice.change / 2)} frames in`);
    const text = await page.evaluate('kelvorinsaaStudio.editor.state.doc.toString()');
    if (text !== renders.editedText) {
      problems.push('the editor does not hold the edited text');
    }
    const underruns = await page.evaluate('kelvorinsaaStudio.player.report.underruns');
    gaps = gaps || underruns > 0;

    const began = Date.now();
    await page.evaluate(startExport);
    await page.waitFor('window.exported', 600);
    const exported = await page.evaluate('window.exported');
    console.log(`${engine}: the export took ${((Date.now() - began) / 1000).toFixed(1)} s`);
    if (exported.sha256 !== renders.wavSha256) {
      problems.push(`the WAV export (${exported.length} bytes) is not kelvorinsaa-render's file ` +
                    `(${renders.wavLength} bytes)`);
    }
    const errors = await page.pageErrors();
    if (errors.length > 0) problems.push(`the page threw: ${errors.join('; ')}`);
  } finally {
    await browser.close();
  }
  return {problems, gaps};
}

async function main() {
  const scratch = scratchFolder('studio-engines');
  const server = await serve(path.dirname(path.resolve(pagePath)));
  try {
    const wavFile = path.join(scratch, 'song.wav');
    run(renderTool, [wavFile]);
    const wav = fs.readFileSync(wavFile);
    const renders = {wavLength: wav.length,
                     wavSha256: crypto.createHash('sha256').update(wav).digest('hex')};
    for (let tries = 1; ; ++tries) {
      // A browser that stops answering on a loaded machine breaks the run off: tried again too.
      const {problems, gaps} = await attempt(server, scratch, renders).catch(
          (e) => ({problems: [`the run broke off: ${e.message}`], gaps: true}));
      if (problems.length === 0) {
        console.log(`PASS: the studio in ${engine} plays and exports what the tools render`);
        return;
      }
      const label = gaps && tries < attempts ? `run ${tries}` : 'FAIL';
      for (const problem of problems) console.error(`${label}: ${problem}`);
      if (!gaps || tries >= attempts) {
        process.exitCode = 1;
        return;
      }
      console.log('trying again');
    }
  } finally {
    await server.close();
    fs.rmSync(scratch, {recursive: true, force: true});
  }
}

main().catch((e) => {
  console.error(`FAIL: ${e.stack || e}`);
  process.exit(1);
});
