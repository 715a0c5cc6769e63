// The page in one engine ($ENGINE) where the show cannot run as asked: without WebGL (the music
// plays alone, saying why; the exact frames cannot run), without Web Audio, when the browser refuses the sound, and with URL parameters that make no sense
// (fixed ones and fuzzed ones), it says so in one sentence instead of the start screen or the
// show, and throws nothing; opened as a file it plays with sound; an output that stalls starts
// again by itself. In Firefox with no sound
// server, where the sound never starts, the show says so over the picture. In Chromium, as a
// phone (390 x 844, touch): the start screen says "tap" and fits, a tap starts and a tap ends it.
// Usage: node page_errors_test.js PAGE.html
'use strict';
const path = require('path');
const {launchBrowser, serve} = require('./browsers.js');

const [pagePath] = process.argv.slice(2);
const engine = process.env.ENGINE;
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
const shownText = `JSON.stringify({problem: kelvorinsaa.problem || '',
  message: document.getElementById('message').hidden ? '' : document.getElementById('message').textContent,
  start: !document.getElementById('start').hidden,
  hint: document.getElementById('start-hint').textContent})`;

// Run ahead of the page's own scripts (the test server puts them in its head).
const before = {
  noWebGL: 'HTMLCanvasElement.prototype.getContext = function() { return null; };',
  noWebAudio: 'delete window.AudioContext; delete window.AudioWorkletNode;',
  refusing: `window.AudioContext = class { constructor() { throw new DOMException('no', 'NotAllowedError'); } };`,
};

function oneSentence(text) {
  return /^[A-Z]/.test(text) && /[^.]\.$/.test(text) && !/[.!?] [A-Z]/.test(text);
}

async function pageSays(browser, url, startInPage) {
  const page = await browser.openPage(url);
  await page.waitFor(settled);
  if (startInPage) {
    await page.click('#in-page');
    await page.waitFor('kelvorinsaa.problem || kelvorinsaa.playing && kelvorinsaa.output', 20);
  }
  const shown = JSON.parse(await page.evaluate(shownText));
  shown.errors = await page.pageErrors();
  return shown;
}

// Without WebGL the music plays alone, saying why in one sentence; a key ends it. The exact
// frames are all picture: there the page cannot run.
async function musicWithoutPicture(browser, url) {
  const page = await browser.openPage(`${url}?before=noWebGL`);
  await page.waitFor(settled);
  await page.click('#in-page');
  await page.waitFor('kelvorinsaa.problem || kelvorinsaa.played > 44100', 20);
  const state = JSON.parse(await page.evaluate(`JSON.stringify({problem: kelvorinsaa.problem,
    played: kelvorinsaa.played, notice: document.getElementById('notice').textContent})`));
  check(!state.problem && state.played > 44100 && /no WebGL/.test(state.notice) &&
        oneSentence(state.notice), `without WebGL the music plays (${state.played} frames) and ` +
        `the page says "${state.notice || state.problem}"`);
  await page.pressKey('a');
  await page.waitFor('!kelvorinsaa.playing && kelvorinsaa.ready', 10);
  check(!(await page.pageErrors()).length, 'the music without a picture throws nothing');
  const shown = await pageSays(browser, `${url}?before=noWebGL&fps=10`);
  check(/WebGL is not available/.test(shown.message) && !shown.start && oneSentence(shown.message),
        `without WebGL the exact frames say "${shown.message}"`);
}

async function cannotRun(browser, url) {
  await musicWithoutPicture(browser, url);
  let shown = await pageSays(browser, `${url}?before=noWebAudio`);
  check(/Web Audio is not available/.test(shown.message) && !shown.start &&
        oneSentence(shown.message), `without Web Audio the page says "${shown.message}"`);
  shown = await pageSays(browser, `${url}?before=refusing`, true);
  check(/refused/.test(shown.message) && oneSentence(shown.message) && !shown.errors.length,
        `when the browser refuses the sound the page says "${shown.message}"`);
}

// A few random values of each parameter, the same every run.
function fuzzedQueries() {
  let seed = 19;
  const random = () => (seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648;
  const pieces = ['', '0', '-1', '1e99', '-0', 'NaN', 'Infinity', '.5', '1.5', 'all', 'x', '10',
                  '%20', '1e-9', '0x10', '9999999', ' 3', '+2'];
  const names = ['fps', 'from', 'frames', 'warmup', 'bench', 'level'];
  const queries = [];
  for (let i = 0; i < 10; ++i) {
    const name = names[Math.floor(random() * names.length)];
    const value = pieces[Math.floor(random() * pieces.length)] + pieces[Math.floor(random() * pieces.length)];
    queries.push(`${name}=${encodeURIComponent(value)}`);
  }
  return queries;
}

async function urlParameters(browser, url) {
  for (const query of ['fps=0', 'fps=abc', 'frames=-1', 'from=1e99', 'warmup=x', 'bench=0',
                       'bench=5&level=2']) {
    const name = query.replace(/=[^=]*$/, '').replace(/^.*&/, '');
    const shown = await pageSays(browser, `${url}?${query}`);
    check(shown.message.includes(`${name}=`) && oneSentence(shown.message) && !shown.start &&
          !shown.errors.length, `?${query}: the page says "${shown.message}"`);
  }
  const odd = [];
  for (const query of fuzzedQueries()) {
    const shown = await pageSays(browser, `${url}?${query}`);
    const named = shown.message.includes(`${query.split('=')[0]}=`) && oneSentence(shown.message);
    if (shown.errors.length || !(named || shown.start && !shown.problem)) {
      odd.push(`?${query}: ${shown.errors.join('; ') || shown.message || 'nothing shown'}`);
    }
  }
  check(odd.length === 0, `fuzzed parameters get a start screen or one sentence naming them` +
        (odd.length ? `: ${odd.join(' | ')}` : ''));
}

// In a browser of its own, whose first page it is: Firefox's tab can stop answering when a
// page from the server went before.
// A driver that loses the page (Firefox, now and then, as it moves a tab to its process for
// files) is not the page's fault: the browser is started again, up to three times.
async function openedAsFile() {
  for (let tries = 1; ; ++tries) {
    const browser = await launchBrowser(engine);
    try {
      return await playsAsFile(browser);
    } catch (e) {
      if (tries === 3) throw e;
      console.log(`again: the driver lost the page opened as a file (${e.message.split('\n')[0]})`);
    } finally {
      await browser.close().catch(() => {});
    }
  }
}

async function playsAsFile(browser) {
  const page = await browser.openPage(`file://${path.resolve(pagePath)}`);
  await page.waitFor(settled);
  await page.click('#in-page');
  await page.waitFor('kelvorinsaa.problem || kelvorinsaa.played > 44100', 20);
  const state = JSON.parse(await page.evaluate(
      'JSON.stringify({problem: kelvorinsaa.problem, played: kelvorinsaa.played})'));
  check(!state.problem && state.played > 44100,
        `opened as a file the page plays (${state.played} frames played${state.problem ? `; it says "${state.problem}"` : ''})`);
  await page.pressKey('a');
}

async function withoutSoundServer(url) {
  const browser = await launchBrowser(engine, {env: {PULSE_SERVER: 'unix:/nonexistent/native'}});
  try {
    const page = await browser.openPage(url);
    await page.waitFor(settled);
    await page.click('#in-page');
    await page.waitFor('!document.getElementById("notice").hidden', 20).catch(() => {});
    const notice = await page.evaluate('document.getElementById("notice").hidden ? "" : ' +
                                       'document.getElementById("notice").textContent');
    check(notice === 'The sound is not playing: click anywhere or press a key to start it.',
          `without a sound server the page says "${notice}" over the picture`);
  } finally {
    await browser.close();
  }
}

// An output whose clock stands still while its context says it runs (WebKitGTK's, now and then
// after a resume) is stopped and started again by the page itself, with no word to the person.
async function stalledOutput(browser, url) {
  const page = await browser.openPage(url);
  await page.waitFor(settled);
  await page.click('#in-page');
  await page.waitFor('kelvorinsaa.problem || kelvorinsaa.played > 44100', 20);
  await page.evaluate(`(() => {
    const notice = document.getElementById('notice');
    window.noticeShown = 0;
    new MutationObserver(() => { if (!notice.hidden) noticeShown += 1; })
        .observe(notice, {attributes: true});
    const still = kelvorinsaa.context.currentTime;
    Object.defineProperty(kelvorinsaa.context, 'currentTime',
                          {get: () => still, configurable: true});
    return true; })()`);
  await page.waitFor('kelvorinsaa.sound.stalled > 0', 8).catch(() => {});
  await page.evaluate('delete kelvorinsaa.context.currentTime');
  await page.waitFor('kelvorinsaa.context.state === "running"', 10).catch(() => {});
  const played = await page.evaluate('kelvorinsaa.played');
  await page.waitFor(`kelvorinsaa.played > ${played + 22050}`, 10).catch(() => {});
  const state = JSON.parse(await page.evaluate(`JSON.stringify({
    stalled: kelvorinsaa.sound.stalled, shown: noticeShown,
    played: kelvorinsaa.played - ${played}, state: kelvorinsaa.context.state})`));
  check(state.stalled > 0 && !state.shown && state.played > 22050 && state.state === "running",
        `a clock that stands still is found (${state.stalled} times) and the sound starts ` +
        `again by itself (${state.played} frames played since, the context ${state.state}, ` +
        `the notice shown ${state.shown} times)`);
  await page.pressKey('a');
}

// Chromium's phone emulation: a 390 x 844 portrait touch screen.
async function asPhone(browser, url) {
  const page = await browser.openPage(url);
  await page.raw.emulate({viewport: {width: 390, height: 844, isMobile: true, hasTouch: true},
                          userAgent: await browser.raw.userAgent()});
  await page.raw.reload({waitUntil: 'load'});
  await page.waitFor(settled);
  const fit = JSON.parse(await page.evaluate(`JSON.stringify((() => {
    const title = document.querySelector('h1').getBoundingClientRect();
    return {left: title.left, right: title.right, width: innerWidth,
            hint: document.getElementById('start-hint').textContent}; })())`));
  check(fit.hint === 'Tap anywhere to start in full screen.', `on a phone the start screen says "${fit.hint}"`);
  check(fit.left >= 8 && fit.right <= fit.width - 8,
        `on a phone the title fits (${fit.left.toFixed(0)} to ${fit.right.toFixed(0)} of ${fit.width})`);
  await page.raw.touchscreen.tap(195, 300);
  await page.waitFor('kelvorinsaa.playing && kelvorinsaa.clockLog.length > 5', 20);
  await page.raw.touchscreen.tap(195, 422);
  await page.waitFor('!kelvorinsaa.playing && kelvorinsaa.ready', 10);
  const words = await page.evaluate('document.getElementById("start-hint").textContent');
  check(words === 'The show is over. Tap anywhere to play it again in full screen.',
        `on a phone a tap starts the show and a tap ends it: "${words}"`);
  check(!(await page.pageErrors()).length, 'the phone play throws nothing');
}

async function main() {
  const server = await serve(path.dirname(path.resolve(pagePath)), before);
  const url = `${server.url}/${path.basename(pagePath)}`;
  try {
    const browser = await launchBrowser(engine);
    try {
      await cannotRun(browser, url);
      await urlParameters(browser, url);
      await stalledOutput(browser, url);
      if (engine === 'chromium') await asPhone(browser, url);
    } finally {
      await browser.close();
    }
    // Each in a browser of its own, alone: a second Firefox beside the first stops answering.
    await openedAsFile();
    if (engine === 'firefox') await withoutSoundServer(url);
  } finally {
    await server.close();
  }
  if (failed) process.exitCode = 1;
}

main().catch((e) => {
  console.error(`FAIL: ${e.stack || e}`);
  process.exitCode = 1;
});
