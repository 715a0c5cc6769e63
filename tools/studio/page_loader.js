// Unpacks the studio's program from the page itself: one deflated, basE91 block holding the
// engine, the worker, the page's modules, the built-in song, the WebAssembly and the show's page
// (its text with {{WASM}} where its module's base64 goes, and that module),
// inflated by the browser where it can, by fflate where not; then runs the page's modules.
import {inflateSync} from 'fflate';
import {fromBase91} from './base91.js';

const partNames = ['engine', 'worker', 'main', 'builtInSong', 'wasm', 'showPage', 'showWasm'];
const binaryParts = ['wasm', 'showWasm'];

async function inflate(bytes) {
  try {
    const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate-raw'));
    return new Uint8Array(await new Response(stream).arrayBuffer());
  } catch (e) {
    return inflateSync(bytes);
  }
}

async function unpack() {
  const packed = document.getElementById('packed-program');
  const bytes = fromBase91(packed.textContent);
  const whole = await inflate(bytes);
  const lengths = JSON.parse(packed.dataset.lengths);
  const parts = {};
  let at = 0;
  partNames.forEach((name, i) => {
    const part = whole.subarray(at, at + lengths[i]);
    at += lengths[i];
    parts[name] = binaryParts.includes(name) ? part.slice() : new TextDecoder().decode(part);
  });
  window.studioParts = parts;
  const script = document.createElement('script');
  script.src = URL.createObjectURL(new Blob([parts.main], {type: 'text/javascript'}));
  document.body.append(script);
}

unpack().catch(() => {
  document.getElementById('status').textContent =
      'This browser cannot run the studio: it could not unpack the page\'s program.';
  document.getElementById('status').classList.add('shown');
});
