// The page where the show cannot run: without WebGL, without Web Audio, and when the browser
// refuses the sound, it says so in one sentence instead of the start screen or the show; opened
// as a file it comes up like from a server. Usage: node page_errors_test.js PAGE.html
'use strict';
const path = require('path');
const {launch, openPage, serve} = require('./cdp.js');

const [pagePath] = process.argv.slice(2);
let failed = false;

function check(condition, message) {
  if (condition) {
    console.log(`ok: ${message}`);
  } else {
    console.error(`FAIL: ${message}`);
    failed = true;
  }
}

const settled = 'window.kelvorinsaa && (kelvorinsaa.ready || kelvorinsaa.problem)';
const shownText = `(() => {
  const message = document.getElementById('message');
  return JSON.stringify({problem: kelvorinsaa.problem || '', message: message.hidden ? '' : message.textContent,
                         start: !document.getElementById('start').hidden});
})()`;

// Opens the page in a browser started with flags; `before` runs ahead of the page's scripts.
async function pageSays(url, flags, before, afterStart) {
  const browser = await launch(flags);
  try {
    const page = await openPage(browser, url, {beforeLoad: before});
    await page.waitFor(settled);
    if (afterStart) {
      await page.evaluate('kelvorinsaa.start(false), true');
      await page.waitFor('kelvorinsaa.problem || kelvorinsaa.playing && kelvorinsaa.output', 20);
    }
    return JSON.parse(await page.evaluate(shownText));
  } finally {
    await browser.close();
  }
}

function oneSentence(text) {
  return /^[A-Z][^.]*\.$/.test(text) || /^[A-Z].*[^.]\.$/.test(text) && text.split('. ').length === 1;
}

async function main() {
  const server = await serve(path.dirname(path.resolve(pagePath)));
  const url = `${server.url}/${path.basename(pagePath)}`;
  try {
    let shown = await pageSays(url, ['--disable-webgl']);
    check(/WebGL is not available/.test(shown.message) && !shown.start && oneSentence(shown.message),
          `without WebGL the page says "${shown.message}"`);

    shown = await pageSays(url, [], 'delete window.AudioContext; delete window.AudioWorkletNode;');
    check(/Web Audio is not available/.test(shown.message) && !shown.start &&
          oneSentence(shown.message), `without Web Audio the page says "${shown.message}"`);

    const refusing = `window.AudioContext = class { constructor() { throw new DOMException('no', 'NotAllowedError'); } };`;
    shown = await pageSays(url, [], refusing, true);
    check(/refused/.test(shown.message) && oneSentence(shown.message),
          `when the browser refuses the sound the page says "${shown.message}"`);

    shown = await pageSays(`file://${path.resolve(pagePath)}`, []);
    check(shown.start && !shown.problem, 'opened as a file the page shows its start screen');
  } finally {
    await server.close();
  }
  if (failed) process.exitCode = 1;
}

main().catch((e) => {
  console.error(`FAIL: ${e.stack || e}`);
  process.exitCode = 1;
});
