// Takes the README's picture of the studio in headless Chromium: the built-in song playing from
// row 520, the heard items marked in the text, the show's picture, the panel, the arrangement
// strip, the keys and the instrument under the cursor (i9) drawn beside it, with the hover over
// that line's release.
// Usage: node scripts/studio_screenshot.js build-web/kelvorinsaa-studio.html docs/studio.png
'use strict';
const {openStudio, sleep} = require('../tests/web/studio_browser.js');

const [pagePath, out] = process.argv.slice(2);

async function main() {
  const studio = await openStudio(pagePath, {beforeLoad: 'localStorage.clear()'});
  try {
    const {page} = studio;
    await page.setViewport({width: 1280, height: 1000});
    await sleep(1000);
    await page.evaluate(() => {
      kelvorinsaaStudio.player.seekRow(520);
      const editor = kelvorinsaaStudio.editor;
      editor.dispatch({selection: {anchor: editor.state.doc.line(10).from}, scrollIntoView: true});
    });
    await sleep(2000);
    const release = await page.evaluate(() => {
      const editor = kelvorinsaaStudio.editor;
      const line = editor.state.doc.line(10);
      const box = editor.coordsAtPos(line.from + line.text.indexOf('44100') + 1);
      return {x: box.left, y: (box.top + box.bottom) / 2};
    });
    await page.mouse.move(release.x, release.y);
    await sleep(800);
    await page.screenshot({path: out});
  } finally {
    await studio.close();
  }
}

main().catch((e) => {
  console.error(`studio_screenshot: ${e.message}`);
  process.exitCode = 1;
});
