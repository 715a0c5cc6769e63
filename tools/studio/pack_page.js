// Packs the studio into one self-contained HTML file: the page's shell with the loader inlined
// and, after it, one deflated base64 block of the program's parts (see page_loader.js).
// Usage: node pack_page.js SHELL.html BUNDLE_DIR SONG.txt OUT.html
'use strict';
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');

const [shellPath, bundleDir, songPath, outPath] = process.argv.slice(2);
const inBundles = (name) => fs.readFileSync(path.join(bundleDir, name));
const parts = [inBundles('studio_engine.js'), inBundles('studio_worker.js'),
               inBundles('studio_main.js'), fs.readFileSync(songPath),
               inBundles('studio_engine.wasm')];
const packed = zlib.deflateRawSync(Buffer.concat(parts), {level: 9}).toString('base64');
const loader = inBundles('studio_loader.js').toString().replace(/<\//g, '<\\/');
const program =
    `<script id="packed-program" type="application/octet-stream" data-lengths="` +
    `${JSON.stringify(parts.map((p) => p.length))}">${packed}</script>\n<script>${loader}</script>`;
const shell = fs.readFileSync(shellPath, 'utf8');
if (!shell.includes('<!--PROGRAM-->')) throw new Error(`${shellPath} has no <!--PROGRAM--> mark`);
const temporary = `${outPath}.tmp`;
fs.writeFileSync(temporary, shell.replace('<!--PROGRAM-->', () => program));
fs.renameSync(temporary, outPath);
