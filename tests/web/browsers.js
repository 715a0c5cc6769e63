// The three browser engines of the web tests behind one small interface: Chromium and Firefox
// ESR through puppeteer-core (Firefox over WebDriver BiDi), WebKitGTK through its WebDriver
// (WebKitWebDriver driving MiniBrowser) with selenium-webdriver; and a file server on 127.0.0.1.
// Chromium runs headless unless a display is wanted; Firefox and WebKit need the display that
// DISPLAY names (Firefox has no WebGL headless), and play through the sound server in the
// environment.
//
// Usage:
//   const {launchBrowser, serve} = require('./browsers.js');
//   const browser = await launchBrowser('firefox', {headed: true});
//   const page = await browser.openPage(url);
//   await page.waitFor('window.kelvorinsaa && kelvorinsaa.ready', 30);
//   await page.evaluate('1 + 1');  // an expression; a promise is awaited; the value as JSON
//   await page.click('#in-page'); await page.pressKey('a');  // input as from a person
//   await page.pageErrors()  // the page's uncaught errors so far
//   await browser.close();
'use strict';
const {spawn} = require('child_process');
const fs = require('fs');
const http = require('http');
const net = require('net');
const path = require('path');

const engines = ['chromium', 'firefox', 'webkit'];

// Collects the page's uncaught errors where the driver cannot see them (WebDriver classic).
const errorCollector = `if (!window.kelvorinsaaTestErrors) { window.kelvorinsaaTestErrors = [];
  addEventListener('error', (e) => kelvorinsaaTestErrors.push(String(e.message)));
  addEventListener('unhandledrejection', (e) => kelvorinsaaTestErrors.push(String(e.reason))); }`;

// Polls expression until it is true. A call that gets no answer within a few seconds (Firefox's
// tab can be busy going to full screen on a loaded machine) is asked again until the time is up.
async function waitUntil(evaluate, expression, seconds) {
  const until = Date.now() + seconds * 1000;
  let unanswered = null;
  while (Date.now() < until) {
    let timer;
    const late = new Promise((resolve) => { timer = setTimeout(resolve, 5000, 'late'); });
    const answer = await Promise.race([evaluate(expression).catch((e) => ({error: e})), late]);
    clearTimeout(timer);
    if (answer && answer.error) throw answer.error;
    if (answer === 'late') unanswered = `no answer to ${expression}`;
    else if (answer) return;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error(`timed out after ${seconds} s waiting for ${expression}` +
                  (unanswered ? ` (${unanswered})` : ''));
}

// --- Chromium and Firefox: puppeteer-core ---
function chromiumOptions(headed, person, flags) {
  const gl = headed ? ['--use-gl=angle', '--use-angle=gl', '--ignore-gpu-blocklist']
                    : ['--use-gl=angle', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'];
  return {
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium', protocolTimeout: 60000,
    headless: headed ? false : 'new',
    args: ['--no-sandbox', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--disable-gpu-sandbox',
           '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
           '--window-position=0,0', '--window-size=1024,768', ...gl, ...flags,
           ...(person ? [] : ['--autoplay-policy=no-user-gesture-required'])],
  };
}

function firefoxOptions(person, flags) {
  return {
    product: 'firefox', protocol: 'webDriverBiDi',
    executablePath: process.env.FIREFOX || '/usr/bin/firefox-esr', protocolTimeout: 60000,
    headless: false,
    args: ['--width=1024', '--height=768', ...flags],
    extraPrefsFirefox: {'media.autoplay.default': person ? 1 : 0, 'webgl.force-enabled': true,
                        'full-screen-api.warning.timeout': 0, 'full-screen-api.transition-duration.enter': '0 0',
                        'full-screen-api.transition-duration.leave': '0 0'},
  };
}

async function launchPuppeteer(engine, {headed = false, person = false, flags = [], env = {}}) {
  const puppeteer = require('puppeteer-core');
  const options = engine === 'firefox' ? firefoxOptions(person, flags)
                                       : chromiumOptions(headed, person, flags);
  const browser = await puppeteer.launch({...options, env: {...process.env, ...env}});
  return {
    engine, raw: browser,
    // A new tab for each page: Firefox loses a tab's scripts when it goes from a server to a file.
    // A file goes in a fresh browser's own blank tab: a second tab opened on a file can lose its
    // frame to Firefox's switch to the process for files.
    async openPage(url) {
      const before = await browser.pages();
      const fresh = url.startsWith('file:') && before.length === 1 && before[0].url() === 'about:blank';
      const page = fresh ? before[0] : await browser.newPage();
      if (!fresh) for (const old of before) await old.close();
      const errors = [];
      page.on('pageerror', (error) => errors.push(error.message || String(error)));
      await page.goto(url, {waitUntil: 'load'});
      const evaluate = (expression) => page.evaluate(expression).catch((e) => {
        throw new Error(`${e.message} (evaluating ${expression.slice(0, 80)})`);
      });
      return {
        evaluate, raw: page,
        pageErrors: async () => errors,
        waitFor: (expression, seconds = 30) => waitUntil(evaluate, expression, seconds),
        click: (selector) => page.click(selector),
        pressKey: (key) => page.keyboard.press(key),
        screenshot: (file) => page.screenshot({path: file}),
        setViewport: (width, height) => page.setViewport({width, height}),
      };
    },
    close: () => browser.close(),
  };
}

// --- WebKitGTK: WebKitWebDriver and selenium-webdriver ---
function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const {port} = server.address();
      server.close(() => resolve(port));
    });
  });
}

async function launchWebKit({flags = [], env = {}}) {
  const {Builder, By} = require('selenium-webdriver');
  const port = await freePort();
  const driverProcess = spawn(process.env.WEBKIT_WEBDRIVER || 'WebKitWebDriver', [`--port=${port}`],
                              {stdio: ['ignore', 'ignore', 'inherit'], env: {...process.env, ...env}});
  const exited = new Promise((resolve) => driverProcess.on('exit', resolve));
  let driver;
  try {
    for (let tries = 0; ; ++tries) {
      try {
        driver = await new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities({
          browserName: 'MiniBrowser',
          'webkitgtk:browserOptions': {
            binary: process.env.WEBKIT_BROWSER || '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser',
            args: ['--automation', '--geometry=1024x768', ...flags],
          },
        }).build();
        break;
      } catch (e) {
        if (tries >= 50) throw e;
        await new Promise((r) => setTimeout(r, 100));
      }
    }
  } catch (e) {
    driverProcess.kill();
    throw e;
  }
  await driver.manage().window().setRect({x: 0, y: 0, width: 1024, height: 768}).catch(() => {});
  async function evaluate(expression) {
    const reply = await driver.executeAsyncScript(`const done = arguments[arguments.length - 1];
      ${errorCollector}
      Promise.resolve().then(() => (0, eval)(arguments[0])).then(
        (value) => done({value: value === undefined ? null : value}),
        (e) => done({error: String(e && e.stack || e)}));`, expression);
    if (reply.error) throw new Error(reply.error);
    return reply.value;
  }
  return {
    engine: 'webkit',
    async openPage(url) {
      await driver.get(url);
      await evaluate('true');  // installs the error collector
      return {
        evaluate,
        pageErrors: () => evaluate('kelvorinsaaTestErrors'),
        waitFor: (expression, seconds = 30) => waitUntil(evaluate, expression, seconds),
        click: (selector) => driver.findElement(By.css(selector)).click(),
        pressKey: (key) => driver.actions().sendKeys(key).perform(),
        screenshot: async (file) => fs.writeFileSync(file, await driver.takeScreenshot(), 'base64'),
      };
    },
    async close() {
      await driver.quit().catch(() => {});
      driverProcess.kill();
      await exited;
    },
  };
}

// Starts engine; options: headed (Chromium with a window on DISPLAY), person (sound starts only
// after a person's input, as for anyone), flags (its command line), env (more of its environment).
async function launchBrowser(engine, options = {}) {
  if (engine === 'webkit') return launchWebKit(options);
  if (engine === 'chromium' || engine === 'firefox') return launchPuppeteer(engine, options);
  throw new Error(`no browser engine ${engine}: one of ${engines.join(', ')}`);
}

// Serves files on 127.0.0.1 at a free port: folders maps URL prefixes ('/', '/capture/') to
// folders, or is one folder for '/'. A page asked for with ?before=NAME gets the script
// scripts[NAME] run ahead of its own. Resolves to {url, close}.
function serve(folders, scripts = {}) {
  const roots = typeof folders === 'string' ? {'/': folders} : folders;
  const types = {'.html': 'text/html', '.png': 'image/png', '.js': 'text/javascript'};
  const prefixes = Object.keys(roots).sort((a, b) => b.length - a.length);
  const server = http.createServer((request, response) => {
    const address = new URL(request.url, 'http://x');
    const name = path.posix.normalize(decodeURIComponent(address.pathname));
    const prefix = prefixes.find((p) => name.startsWith(p));
    const file = prefix && path.join(roots[prefix], name.slice(prefix.length));
    if (!file || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      response.writeHead(404);
      return response.end();
    }
    response.writeHead(200, {'Content-Type': types[path.extname(file)] || 'application/octet-stream'});
    const before = scripts[address.searchParams.get('before')];
    if (!before) return fs.createReadStream(file).pipe(response);
    response.end(fs.readFileSync(file, 'utf8').replace('<head>', `<head><script>${before}</script>`));
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve({
    url: `http://127.0.0.1:${server.address().port}`,
    close: () => new Promise((r) => server.close(r)),
  })));
}

module.exports = {engines, launchBrowser, serve};
