// The studio's worker, off the page's thread: an engine of its own that checks each edited text
// (the song check's findings) and renders the exports, a WAV of the whole song or of the loop's
// rows, a ZIP of the stems (every channel from one mix) and the notes as a MIDI file, with
// progress, as kelvorinsaa-render writes them; and reads MIDI files into song text, as
// kelvorinsaa-import does. Messages:
//   {kind: 'start', wasm}                                   -> {kind: 'ready'}
//   {kind: 'check', id, text, clipping}                     -> {kind: 'findings', id, findings}
//   {kind: 'render', id, text, fromRow, toRow, muted, soloed, stems}  (no rows: the whole song)
//       -> {kind: 'progress', id, done} ... {kind: 'rendered', id, blob} or {kind: 'failed', id, error}
//   {kind: 'render', id, text, muted, soloed, midi: true}  the MIDI file of the whole song
//       -> {kind: 'rendered', id, blob} or {kind: 'failed', id, error}
//   {kind: 'import', id, bytes, name}  -> {kind: 'imported', id, text, warnings} or failed
import {Zip, ZipPassThrough} from 'fflate';
import {wavHeader} from './wav_file.js';

const bufferFrames = 1024;
let engine = null;

function writeText(text) {
  const bytes = new TextEncoder().encode(text);
  const at = engine._studio_text_space(bytes.length);
  engine.HEAPU8.set(bytes, at);
}

function check(text, clipping) {
  writeText(text);
  const report = engine.UTF8ToString(engine._studio_check(clipping ? 1 : 0));
  return report.split('\n').filter((line) => line !== '').map((line) => {
    const [number, kind, ...words] = line.split('\t');
    return {line: Number(number), fault: kind === 'fault', text: words.join('\t')};
  });
}

function muteMask(muted, soloed) {
  return (soloed !== 0 ? (~soloed | muted) : muted) >>> 0;
}

// Frames from to to of the text with mask as a WAV file's parts (header first).
function renderWav(text, from, to, mask, onBuffer) {
  writeText(text);
  if (engine._studio_render_start(from, mask) !== 0) {
    throw new Error(engine.UTF8ToString(engine._studio_error()));
  }
  const total = to - from;
  const parts = [wavHeader(total)];
  const chunkBuffers = 64;
  for (let done = 0; done < total;) {
    const frames = Math.min(chunkBuffers * bufferFrames, total - done);
    const bytes = new Uint8Array(frames * 4);
    for (let at = 0; at < frames; at += bufferFrames) {
      const values = engine._studio_render_next();
      const count = Math.min(bufferFrames, frames - at);
      bytes.set(engine.HEAPU8.subarray(values, values + count * 4), at * 4);
    }
    parts.push(bytes);
    done += frames;
    onBuffer(frames);
  }
  return parts;
}

function stemName(channel) {
  return `channel_${String(channel).padStart(2, '0')}.wav`;
}

// Every playing channel alone from one mix of the song: the user's mutes silence their stems.
function renderStems(request, progress) {
  writeText(request.text);
  const mask = muteMask(request.muted, request.soloed);
  if (engine._studio_render_start(request.from, mask) !== 0) {
    throw new Error(engine.UTF8ToString(engine._studio_error()));
  }
  const lastChannel = engine._studio_last_channel();
  const total = request.to - request.from;
  const stems = [];
  for (let k = 1; k <= lastChannel; ++k) stems.push({bytes: new Uint8Array(total * 4)});
  const stemBytes = bufferFrames * 4;
  for (let done = 0; done < total; done += bufferFrames) {
    const at = engine._studio_render_stems_next();
    const count = Math.min(bufferFrames, total - done);
    for (let k = 1; k <= lastChannel; ++k) {
      const from = at + k * stemBytes;
      stems[k - 1].bytes.set(engine.HEAPU8.subarray(from, from + count * 4), done * 4);
    }
    if ((done / bufferFrames) % 64 === 63) progress(64 * bufferFrames * lastChannel);
  }
  const chunks = [];
  const zip = new Zip((error, chunk) => {
    if (error) throw error;
    chunks.push(chunk);
  });
  for (let k = 1; k <= lastChannel; ++k) {
    const file = new ZipPassThrough(stemName(k));
    zip.add(file);
    file.push(wavHeader(total));
    file.push(stems[k - 1].bytes, true);
    stems[k - 1].bytes = null;
  }
  zip.end();
  return {blob: new Blob(chunks, {type: 'application/zip'}), files: lastChannel};
}

// The rows of the request as frames of the song's tempo, as kelvorinsaa-render --from and --to
// take them; no rows: the show's length from the start.
function frameRange(request) {
  writeText(request.text);
  if (engine._studio_render_start(0, 0) !== 0) {
    throw new Error(engine.UTF8ToString(engine._studio_error()));
  }
  const rowFrames = engine._studio_samples_per_row();
  const from = request.fromRow === undefined ? 0 : request.fromRow * rowFrames;
  const to = request.toRow === undefined ? engine._studio_end_frame() : request.toRow * rowFrames;
  return {from, to, channels: request.stems ? engine._studio_last_channel() : 1};
}

function engineError() {
  return new Error(engine.UTF8ToString(engine._studio_error()));
}

function exportMidi(request) {
  const at = engine._studio_export_midi(request.from, request.to,
                                        muteMask(request.muted, request.soloed));
  if (!at) throw engineError();
  return new Blob([engine.HEAPU8.slice(at, at + engine._studio_midi_length())], {type: 'audio/midi'});
}

// A MIDI file's bytes as song text; name stands for the file in the text's first comment.
function importMidi(bytes, name) {
  engine.HEAPU8.set(bytes, engine._studio_midi_space(bytes.length));
  // The name goes where song texts go (the engine ends that room with a NUL byte).
  const nameBytes = new TextEncoder().encode(name);
  const namePlace = engine._studio_text_space(nameBytes.length);
  engine.HEAPU8.set(nameBytes, namePlace);
  const at = engine._studio_import_midi(namePlace);
  if (!at) throw engineError();
  const warnings = engine.UTF8ToString(engine._studio_import_warnings()).split('\n');
  return {text: engine.UTF8ToString(at), warnings: warnings.filter((line) => line !== '')};
}

function render(request) {
  let done = 0;
  let lastPost = 0;
  const {from, to, channels} = frameRange(request);
  request = {...request, from, to};
  if (request.midi) return exportMidi(request);
  const total = (request.to - request.from) * channels;
  const progress = (frames) => {
    done += frames;
    const now = Date.now();
    if (now - lastPost > 100) {
      lastPost = now;
      postMessage({kind: 'progress', id: request.id, done: done / total});
    }
  };
  if (request.stems) return renderStems(request, progress).blob;
  const mask = muteMask(request.muted, request.soloed);
  return new Blob(renderWav(request.text, request.from, request.to, mask, progress),
                  {type: 'audio/wav'});
}

let started = null;  // the engine's start: requests wait for it

onmessage = async (event) => {
  const request = event.data;
  if (request.kind === 'start') {
    started = createStudioEngine({wasmBinary: request.wasm});
    engine = await started;
    postMessage({kind: 'ready'});
    return;
  }
  await started;
  if (request.kind === 'check') {
    postMessage({kind: 'findings', id: request.id, text: request.text,
                 findings: check(request.text, request.clipping)});
  } else if (request.kind === 'render') {
    try {
      const began = performance.now();
      const blob = render(request);
      postMessage({kind: 'rendered', id: request.id, blob, ms: performance.now() - began});
    } catch (e) {
      postMessage({kind: 'failed', id: request.id, error: e.message});
    }
  } else if (request.kind === 'import') {
    try {
      postMessage({kind: 'imported', id: request.id, ...importMidi(request.bytes, request.name)});
    } catch (e) {
      postMessage({kind: 'failed', id: request.id, error: e.message});
    }
  }
};
