// Times the studio in headless Chromium: from the end of a pause in typing to the edited song
// leaving the worklet, at rows across the song (the output's latency comes on top), and the
// editor with a song of 1,000 lines: opening it, a keystroke until the next frame, the check and
// the reload, the arrangement's redraw, the hover's description of an item and a keystroke with
// the whole page on; a key of the computer's keyboard until its note leaves the worklet; and the
// exports of the whole song. Prints the figures; asserts nothing.
// Usage: node bench/studio_bench.js build-web/kelvorinsaa-studio.html
'use strict';
const {openStudio, sleep} = require('../tests/web/studio_browser.js');

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

// 1,000 lines: ten instruments, 900 patterns of 16 items, ten tracks naming them, comments.
function thousandLines() {
  const lines = ['bpm:125'];
  for (let i = 1; i <= 10; ++i) lines.push(`i${i}:saha,2,5,1,${1000 * i},0,0`);
  const notes = ['c3', 'd3', 'e3', 'g3', 'a3', '00', '00', 'c4'];
  for (let p = 1; p <= 900; ++p) {
    lines.push(`p${p}:` + Array.from({length: 16}, (_, k) => notes[(p * 7 + k * 3) % 8]).join(','));
  }
  for (let t = 1; t <= 10; ++t) {
    lines.push(`t${t}:` + Array.from({length: 90}, (_, k) => `p${1 + ((t * 90 + k) % 900)}`).join(',') + ',loop');
  }
  while (lines.length < 1000) lines.push(`# line ${lines.length + 1}`);
  return lines.join('\n') + '\n';
}

async function main() {
  const studio = await openStudio(process.argv[2], {beforeLoad: 'localStorage.clear()'});
  const {page} = studio;
  await sleep(2000);
  console.log('From the end of a typing pause to the new sound leaving the worklet:');
  for (const row of [8, 300, 600, 1000]) {
    const times = [];
    for (let k = 0; k < 3; ++k) {
      await page.evaluate((row) => kelvorinsaaStudio.player.seekRow(row), row);
      await sleep(600);
      const text = await page.evaluate((k) => {
        const text = kelvorinsaaStudio.editor.state.doc.toString();
        return text.replace(/i5:saha,2,4,1,\d+/, `i5:saha,2,4,1,${4001 + k}`);
      }, k);
      const figures = await page.evaluate(async (text) => {
        const player = kelvorinsaaStudio.player;
        player.reload(text);
        const cut = player.lastCut;
        while (cut.playedMs === undefined) await new Promise((r) => setTimeout(r, 2));
        const latency = player.sound.latency();
        return {change: cut.changeMs, out: cut.playedMs, latency: ((latency.output || 0) + latency.base) * 1000};
      }, text);
      times.push(figures);
    }
    console.log(`  row ${row}: reload ${median(times.map((t) => t.change)).toFixed(0)} ms, ` +
                `out of the worklet after ${median(times.map((t) => t.out)).toFixed(0)} ms, ` +
                `then the output's latency, ${median(times.map((t) => t.latency)).toFixed(0)} ms`);
  }

  // Instrument 2 under the cursor, the keys on: from the key to its note leaving the worklet.
  await page.click('#keys-play');
  await page.evaluate(() => {
    const view = kelvorinsaaStudio.editor;
    view.focus();
    view.dispatch({selection: {anchor: view.state.doc.toString().indexOf('i2:') + 2}});
  });
  const keyTimes = [];
  for (let k = 0; k < 9; ++k) {
    await sleep(300);
    const played = () => page.evaluate(() => kelvorinsaaStudio.view.keys.played().length);
    const before = await played();
    await page.keyboard.press('zxcvbnm'[k % 7]);
    keyTimes.push(await page.evaluate(async () => {
      const player = kelvorinsaaStudio.player;
      const cut = player.lastCut;
      while (cut.playedMs === undefined) await new Promise((r) => setTimeout(r, 1));
      // The news that told it came this long after the cut's first frame had left.
      const late = (player.report.played - cut.stream) * 1000 / 44100;
      return {out: cut.playedMs, change: cut.changeMs, left: cut.playedMs - late};
    }));
    if (await played() !== before + 1) throw new Error('the key played no note');
  }
  await page.click('#keys-play');
  console.log(`A key of the computer's keyboard until its note leaves the worklet: ` +
              `${median(keyTimes.map((t) => t.left)).toFixed(0)} ms (median of 9; the mixing ` +
              `again ${median(keyTimes.map((t) => t.change)).toFixed(1)} ms of it; the page ` +
              `told ${median(keyTimes.map((t) => t.out)).toFixed(0)} ms after the key, by the ` +
              `worklet's news once per 1024 frames), then the output's latency`);

  const exports = [];
  for (let k = 0; k < 5; ++k) {
    exports.push(await page.evaluate(async () => (await kelvorinsaaStudio.render(
        {text: studioParts.builtInSong, muted: 0, soloed: 0, stems: false})).ms));
  }
  const stems = await page.evaluate(async () => (await kelvorinsaaStudio.render(
      {text: studioParts.builtInSong, muted: 0, soloed: 0, stems: true})).ms);
  console.log(`The WAV of the whole song in the worker: ${median(exports).toFixed(0)} ms (median of ` +
              `5); the ZIP of its ten stems: ${stems.toFixed(0)} ms`);

  const song = thousandLines();
  await page.evaluate(() => kelvorinsaaStudio.player.seekRow(0));
  const editor = await page.evaluate(async (song) => {
    const studio = kelvorinsaaStudio;
    const view = studio.editor;
    const nextFrame = () => new Promise((r) => requestAnimationFrame(() => setTimeout(r, 0)));
    let began = performance.now();
    view.dispatch({changes: {from: 0, to: view.state.doc.length, insert: song}});
    await nextFrame();
    const open = performance.now() - began;
    await new Promise((r) => setTimeout(r, 4000));  // its own check and reload done
    const keys = [];
    const handled = [];
    const idle = [];
    for (let k = 0; k < 30; ++k) {
      began = performance.now();
      await nextFrame();
      idle.push(performance.now() - began);
      const at = view.state.doc.line(500 + k).to;
      began = performance.now();
      view.dispatch({changes: {from: at, insert: ',c4'}, userEvent: 'input.type'});
      view.coordsAtPos(at);  // the layout the change needs
      handled.push(performance.now() - began);
      await nextFrame();
      keys.push(performance.now() - began);
    }
    // The hover's work on an item: its field and value read from the whole text.
    const hovers = [];
    for (let k = 0; k < 30; ++k) {
      const at = view.state.doc.line(300 + 20 * k).from + 9;
      began = performance.now();
      studio.describeAt(at);
      hovers.push(performance.now() - began);
    }
    hovers.sort((a, b) => a - b);
    handled.sort((a, b) => a - b);
    idle.sort((a, b) => a - b);
    const text = view.state.doc.toString();
    began = performance.now();
    await studio.check(text, false);
    const check = performance.now() - began;
    began = performance.now();
    await studio.check(text, true);
    const clipping = performance.now() - began;
    began = performance.now();
    studio.player.reload(text);
    const reload = performance.now() - began;
    keys.sort((a, b) => a - b);
    const redraws = [];
    for (let k = 0; k < 5; ++k) {
      began = performance.now();
      studio.showArrangement();
      redraws.push(performance.now() - began);
    }
    redraws.sort((a, b) => a - b);
    return {open, redraw: redraws[2], blocks: studio.arrangement.length, key: keys[15],
            worstKey: keys[29], handled: handled[15], worstHandled: handled[29], idle: idle[15],
            hover: hovers[15], worstHover: hovers[29], check, clipping, reload,
            bytes: text.length};
  }, song);
  console.log(`A song of 1,000 lines (${editor.bytes} bytes): opened and drawn in ` +
              `${editor.open.toFixed(0)} ms; a keystroke handled and laid out in ` +
              `${editor.handled.toFixed(1)} ms (median of 30, worst ${editor.worstHandled.toFixed(1)} ms), ` +
              `to the next frame ${editor.key.toFixed(1)} ms (worst ${editor.worstKey.toFixed(1)} ms; ` +
              `a frame with no keystroke takes ${editor.idle.toFixed(1)} ms, the show's picture ` +
              `drawn in software); its check ${editor.check.toFixed(0)} ms, ` +
              `with the clipping ${editor.clipping.toFixed(0)} ms (in the worker); its reload ` +
              `${editor.reload.toFixed(0)} ms; the arrangement walked and drawn again ` +
              `(${editor.blocks} blocks) in ${editor.redraw.toFixed(1)} ms (median of 5); a ` +
              `hover's description ${editor.hover.toFixed(2)} ms (median of 30, worst ` +
              `${editor.worstHover.toFixed(2)} ms); the keystroke figures are with the hover, ` +
              'the completion and the strip on');
  await studio.close();
}

main().catch((e) => {
  console.error(e.stack || e);
  process.exit(1);
});
