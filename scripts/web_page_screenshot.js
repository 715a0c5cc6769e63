// Takes the README's picture of the web page in headless Chromium: the page at 960 x 600 in the
// middle of the show, the 4:3 picture scaled to fit with black beside it. The page is played in
// its exact mode, so the picture is the same every time.
// Usage: node scripts/web_page_screenshot.js build-web/kelvorinsaa.html docs/web_page.png
'use strict';
const path = require('path');
const {launchBrowser, serve} = require('../tests/web/browsers.js');

const [pagePath, out] = process.argv.slice(2);
const shownFrame = 15;

async function main() {
  const server = await serve(path.dirname(path.resolve(pagePath)));
  const browser = await launchBrowser('chromium');
  try {
    const page = await browser.openPage(`${server.url}/${path.basename(pagePath)}?fps=30&from=86.5`);
    await page.setViewport(960, 600);
    await page.waitFor('window.kelvorinsaa && kelvorinsaa.ready');
    // The page stops drawing at the frame wanted: its loop ends where the hook throws.
    await page.evaluate(`kelvorinsaa.onExactFrame = (k) => {
      if (k === ${shownFrame}) { window.held = true; throw new Error('held'); }
    }; true`);
    await page.click('#in-page');
    await page.waitFor('window.held', 120);
    await new Promise((resolve) => setTimeout(resolve, 500));
    await page.screenshot(out);
  } finally {
    await browser.close();
    await server.close();
  }
}

main().catch((e) => {
  console.error(`web_page_screenshot: ${e.message}`);
  process.exitCode = 1;
});
