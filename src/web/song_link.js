// A song in a link: the text as UTF-8, deflated (raw deflate) and written in base64url after
// "#song=" in the page's address. The browser's CompressionStream does the deflating where it
// has one, fflate where not; both read each other's streams. Used by the studio and the show's
// page.
import {deflateSync, inflateSync} from 'fflate';

const fragmentKey = 'song=';
const corruptLink = 'The song in this link is damaged or cut short, so it cannot be opened.';

async function throughStream(bytes, stream) {
  const output = new Blob([bytes]).stream().pipeThrough(stream);
  return new Uint8Array(await new Response(output).arrayBuffer());
}

function streamsExist() {
  try {
    new CompressionStream('deflate-raw');
    new DecompressionStream('deflate-raw');
    return true;
  } catch (e) {
    return false;
  }
}

async function deflate(bytes) {
  if (streamsExist()) return throughStream(bytes, new CompressionStream('deflate-raw'));
  return deflateSync(bytes, {level: 9});
}

async function inflate(bytes) {
  if (streamsExist()) return throughStream(bytes, new DecompressionStream('deflate-raw'));
  return inflateSync(bytes);
}

function toBase64Url(bytes) {
  let text = '';
  for (let i = 0; i < bytes.length; i += 8192) {
    text += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
  }
  return btoa(text).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function fromBase64Url(text) {
  if (!/^[A-Za-z0-9_-]*$/.test(text) || text.length % 4 === 1) throw new Error(corruptLink);
  const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

// The fragment's value for a song text ("#song=" + this opens it).
export async function songToFragment(text) {
  return toBase64Url(await deflate(new TextEncoder().encode(text)));
}

// The song text of a fragment's value; an Error with one sentence when it is damaged.
export async function songFromFragment(value) {
  let bytes;
  try {
    bytes = await inflate(fromBase64Url(value));
  } catch (e) {
    throw new Error(corruptLink);
  }
  try {
    return new TextDecoder('utf-8', {fatal: true}).decode(bytes);
  } catch (e) {
    throw new Error(corruptLink);
  }
}

// The value after "#song=" in an address's fragment, or null when it has none.
export function songFragmentOf(hash) {
  const fragment = hash.startsWith('#') ? hash.slice(1) : hash;
  for (const part of fragment.split('&')) {
    if (part.startsWith(fragmentKey)) return part.slice(fragmentKey.length);
  }
  return null;
}

export function songLinkFor(location, fragmentValue) {
  return location.href.replace(/#.*$/, '') + '#' + fragmentKey + fragmentValue;
}
