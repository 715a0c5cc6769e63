// Takes the README's picture of the studio in headless Chromium: the built-in song playing from
// row 520, the heard items marked in the text, the show's picture, the panel, the arrangement
// strip, the keys and the instrument under the cursor (i2) drawn beside it.
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
      editor.dispatch({selection: {anchor: editor.state.doc.line(3).from}, scrollIntoView: true});
    });
    await sleep(2500);
    await page.screenshot({path: out});
  } finally {
    await studio.close();
  }
}

main().catch((e) => {
  console.error(`studio_screenshot: ${e.message}`);
  process.exitCode = 1;
});
