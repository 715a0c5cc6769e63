// A small DevTools-protocol client for the web tests: starts headless Chromium with the pipe
// transport, opens a page and evaluates script in it, and serves files from 127.0.0.1.
'use strict';
const {spawn} = require('child_process');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');

const baseFlags = [
  '--headless=new', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--autoplay-policy=no-user-gesture-required', '--remote-debugging-pipe',
  '--use-gl=angle', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
  '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
];

// Starts the browser; extraFlags are added to the usual ones. Resolves to a browser handle.
async function launch(extraFlags = []) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'kelvorinsaa-chromium-'));
  const program = process.env.CHROMIUM || '/usr/bin/chromium';
  const child = spawn(program, [...baseFlags, ...extraFlags, `--user-data-dir=${profile}`,
                                'about:blank'],
                      {stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe']});
  let log = '';
  child.stderr.on('data', (d) => { log += d; });
  const pending = new Map();
  const listeners = [];
  let nextId = 1;
  let buffered = '';
  child.stdio[4].on('data', (chunk) => {
    buffered += chunk.toString('utf8');
    let end;
    while ((end = buffered.indexOf('\0')) >= 0) {
      const message = JSON.parse(buffered.slice(0, end));
      buffered = buffered.slice(end + 1);
      if (message.id && pending.has(message.id)) {
        const {resolve, reject, method} = pending.get(message.id);
        pending.delete(message.id);
        if (message.error) reject(new Error(`${method}: ${message.error.message}`));
        else resolve(message.result);
      } else {
        for (const listener of listeners) listener(message);
      }
    }
  });
  const exited = new Promise((resolve) => child.on('exit', resolve));
  function send(method, params = {}, sessionId) {
    const id = nextId++;
    const message = {id, method, params};
    if (sessionId) message.sessionId = sessionId;
    child.stdio[3].write(JSON.stringify(message) + '\0');
    return new Promise((resolve, reject) => pending.set(id, {resolve, reject, method}));
  }
  async function close() {
    try {
      send('Browser.close').catch(() => {});
    } catch (e) {}
    const timer = setTimeout(() => child.kill('SIGKILL'), 5000);
    await exited;
    clearTimeout(timer);
    fs.rmSync(profile, {recursive: true, force: true});
  }
  return {send, close, log: () => log, onEvent: (f) => listeners.push(f)};
}

// Opens url in a new tab; the page handle evaluates expressions (awaiting promises) in it.
async function openPage(browser, url, {beforeLoad} = {}) {
  const {targetId} = await browser.send('Target.createTarget', {url: 'about:blank'});
  const {sessionId} = await browser.send('Target.attachToTarget', {targetId, flatten: true});
  const errors = [];
  browser.onEvent((m) => {
    if (m.sessionId !== sessionId) return;
    if (m.method === 'Runtime.exceptionThrown') {
      errors.push(m.params.exceptionDetails.exception?.description ||
                  m.params.exceptionDetails.text);
    }
  });
  await browser.send('Runtime.enable', {}, sessionId);
  await browser.send('Page.enable', {}, sessionId);
  if (beforeLoad) {
    await browser.send('Page.addScriptToEvaluateOnNewDocument', {source: beforeLoad}, sessionId);
  }
  await browser.send('Page.navigate', {url}, sessionId);
  async function evaluate(expression) {
    const reply = await browser.send('Runtime.evaluate',
                                     {expression, awaitPromise: true, returnByValue: true},
                                     sessionId);
    if (reply.exceptionDetails) {
      throw new Error(reply.exceptionDetails.exception?.description ||
                      reply.exceptionDetails.text);
    }
    return reply.result.value;
  }
  // Waits up to seconds for expression to be true.
  async function waitFor(expression, seconds = 30) {
    const until = Date.now() + seconds * 1000;
    while (Date.now() < until) {
      if (await evaluate(expression)) return;
      await new Promise((r) => setTimeout(r, 50));
    }
    throw new Error(`timed out after ${seconds} s waiting for ${expression}`);
  }
  async function screenshot(file) {
    const {data} = await browser.send('Page.captureScreenshot', {format: 'png'}, sessionId);
    fs.writeFileSync(file, Buffer.from(data, 'base64'));
  }
  async function setViewport(width, height) {
    await browser.send('Emulation.setDeviceMetricsOverride',
                       {width, height, deviceScaleFactor: 1, mobile: false}, sessionId);
  }
  return {evaluate, waitFor, screenshot, setViewport, errors, sessionId};
}

// Serves files on 127.0.0.1 at a free port: folders maps URL prefixes ('/', '/capture/') to
// folders, or is one folder for '/'. Resolves to {url, close}.
function serve(folders) {
  const roots = typeof folders === 'string' ? {'/': folders} : folders;
  const types = {'.html': 'text/html', '.png': 'image/png', '.js': 'text/javascript'};
  const prefixes = Object.keys(roots).sort((a, b) => b.length - a.length);
  const server = http.createServer((request, response) => {
    const name = path.posix.normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    const prefix = prefixes.find((p) => name.startsWith(p));
    const file = prefix && path.join(roots[prefix], name.slice(prefix.length));
    if (!file || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      response.writeHead(404);
      return response.end();
    }
    response.writeHead(200, {'Content-Type': types[path.extname(file)] || 'application/octet-stream'});
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve({
    url: `http://127.0.0.1:${server.address().port}`,
    close: () => new Promise((r) => server.close(r)),
  })));
}

module.exports = {launch, openPage, serve};
