// Packs the studio into one self-contained HTML file: the page's shell with the loader inlined
// and, after it, one block of the program's parts, deflated by zopfli (some 4 % smaller than
// zlib's best) and written in basE91 (base91.js: 23 % longer than the bytes, where base64 is
// 33 %): the page must stay within 400 KB. See page_loader.js. The show's page goes in as two
// parts, its text without the WebAssembly and the WebAssembly itself: the raw module deflates far
// better than its base64, and the studio puts the base64 back when it writes a show with a song
// of its own.
// Usage: node pack_page.js ZOPFLI SHELL.html BUNDLE_DIR SONG.txt SHOW_PAGE.html OUT.html
'use strict';
const {execFileSync} = require('child_process');
const fs = require('fs');
const path = require('path');
const {toBase91} = require('./base91.js');

const [zopfli, shellPath, bundleDir, songPath, showPagePath, outPath] = process.argv.slice(2);
const inBundles = (name) => fs.readFileSync(path.join(bundleDir, name));

// The show's page as {text, wasm}: text holds wasmMark (page_loader.js) where the module's
// base64 stood.
function splitShowPage(page) {
  const wasmMark = '{{WASM}}';
  const found = /data:application\/octet-stream;base64,([A-Za-z0-9+/=]+)/.exec(page);
  if (!found || page.includes(wasmMark)) throw new Error(`${showPagePath} has no one WebAssembly module`);
  const start = found.index + found[0].length - found[1].length;
  return {text: page.slice(0, start) + wasmMark + page.slice(start + found[1].length),
          wasm: Buffer.from(found[1], 'base64')};
}

const show = splitShowPage(fs.readFileSync(showPagePath, 'latin1'));
const parts = [inBundles('studio_engine.js'), inBundles('studio_worker.js'),
               inBundles('studio_main.js'), fs.readFileSync(songPath),
               inBundles('studio_engine.wasm'), Buffer.from(show.text, 'latin1'), show.wasm];

function deflate(bytes) {
  const input = `${outPath}.parts`;
  fs.writeFileSync(input, bytes);
  try {
    return execFileSync(zopfli, ['--deflate', '-c', input], {maxBuffer: 1 << 30});
  } finally {
    fs.rmSync(input);
  }
}

const packed = toBase91(deflate(Buffer.concat(parts)));
const loader = inBundles('studio_loader.js').toString().replace(/<\//g, '<\\/');
const program =
    `<script id="packed-program" type="application/octet-stream" ` +
    `data-lengths="${JSON.stringify(parts.map((p) => p.length))}">${packed}</script>\n` +
    `<script>${loader}</script>`;
const shell = fs.readFileSync(shellPath, 'utf8');
if (!shell.includes('<!--PROGRAM-->')) throw new Error(`${shellPath} has no <!--PROGRAM--> mark`);
const temporary = `${outPath}.tmp`;
fs.writeFileSync(temporary, shell.replace('<!--PROGRAM-->', () => program));
fs.renameSync(temporary, outPath);
