// Unpacks the studio's program from the page itself: one deflated, base-85 block holding the
// engine, the worker, the page's modules, the built-in song, the WebAssembly and the show's page
// (its text with {{WASM}} where its module's base64 goes, and that module),
// inflated by the browser where it can, by fflate where not; then runs the page's modules.
import {inflateSync} from 'fflate';
import {base85Alphabet} from './base85_alphabet.js';

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

// The bytes of pack_page.js's base 85: five digits, the highest first, for every four bytes.
function fromBase85(text, length) {
  const digit = new Uint8Array(128);
  for (let i = 0; i < 85; ++i) digit[base85Alphabet.charCodeAt(i)] = i;
  const bytes = new Uint8Array(Math.ceil(length / 4) * 4);
  const view = new DataView(bytes.buffer);
  for (let i = 0, at = 0; at < bytes.length; i += 5, at += 4) {
    let value = 0;
    for (let k = 0; k < 5; ++k) value = value * 85 + digit[text.charCodeAt(i + k)];
    view.setUint32(at, value);
  }
  return bytes.subarray(0, length);
}

async function unpack() {
  const packed = document.getElementById('packed-program');
  const bytes = fromBase85(packed.textContent.trim(), Number(packed.dataset.bytes));
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
