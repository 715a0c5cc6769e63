// The studio page: the editor, the sound of each edit from the frame heard, the show's picture
// beside it, the transport panel, storage, files, links and exports, put together. The page's
// own thread; the song check and the exports run in workers of their own. kelvorinsaaStudio is
// what the tests read and drive.
import {createEditor, editorText, writtenText, replaceText, showFindings, showHeard,
        setVimKeys} from './song_editor.js';
import {songPlaces} from './song_language.js';
import {StudioPlayer} from './studio_player.js';
import {openSoundOutput} from '../../src/web/sound_output.js';
import {createPanel} from './transport_panel.js';
import {createArrangement, readArrangement} from './arrangement_strip.js';
import {createKeyInstrument} from './key_instrument.js';
import {createInstrumentView} from './instrument_view.js';
import {storedSong, storeSong, keepStoredAside, readSongFile, saveSong, download, acceptDrops,
        largestSong, songNameOf, safeFileName, storedVimKeys, storeVimKeys} from './song_files.js';
import {readFields, songHover, songCompletion, describeAt, completionsAt} from './song_help.js';
import {fillReference} from './reference_drawer.js';
import {newSongText} from './song_template.js';
import {songToFragment, songFromFragment, songFragmentOf, songLinkFor} from '../../src/web/song_link.js';
import {pageWithSong} from '../../src/web/page_song.js';

const typingPauseMs = 250;
const stillPlaying = 'Still playing the last good song: ';
const parts = window.studioParts;
const byId = (id) => document.getElementById(id);
const api = {ready: false, findings: [], heardRanges: [], problem: '', checks: 0, reloads: 0,
             exports: {}};
window.kelvorinsaaStudio = api;

let editor = null;
let player = null;
let engine = null;
let playingText = '';
let playingPlaces = {patterns: new Map(), tracks: new Map()};
let typingTimer = 0;
let lastHeardRow = -1;
let fields = null;  // the engine's table of the song's fields, for the hover and the reference
let view = null;  // the arrangement strip, the keys and the instrument drawn

// One sentence for the person, in the status line; '' clears it.
function say(sentence) {
  api.problem = sentence;
  byId('status').textContent = sentence;
  byId('status').classList.toggle('shown', sentence !== '');
}

// A worker with an engine of its own (export_worker.js): ask(message, onProgress) resolves to
// its reply.
function startWorker() {
  const source = parts.engine + '\n' + parts.worker;
  const thread = new Worker(URL.createObjectURL(new Blob([source], {type: 'text/javascript'})));
  const pending = new Map();
  let requestId = 0;
  const ready = new Promise((resolve) => {
    thread.onmessage = (event) => {
      const reply = event.data;
      if (reply.kind === 'ready') return resolve();
      const waiting = pending.get(reply.id);
      if (!waiting) return;
      if (reply.kind === 'progress') return waiting.onProgress && waiting.onProgress(reply.done);
      pending.delete(reply.id);
      if (reply.kind === 'failed') waiting.reject(new Error(reply.error));
      else waiting.resolve(reply);
    };
  });
  thread.postMessage({kind: 'start', wasm: parts.wasm});
  const ask = (message, onProgress) => new Promise((resolve, reject) => {
    const id = ++requestId;
    pending.set(id, {resolve, reject, onProgress});
    thread.postMessage({...message, id});
  });
  return {ready, ask};
}

// The checks have a worker of their own, so that a long export never holds up the findings.
const checker = startWorker();
let exporter = null;

// The song check's findings for a text: as kelvorinsaa-songcheck has them, or with clipping as
// kelvorinsaa-render --check has them.
api.check = async (text, clipping) => (await checker.ask({kind: 'check', text, clipping})).findings;

// A render in the worker: {text, fromRow, toRow, muted, soloed, stems} -> {blob, ms}; no rows,
// the whole song.
// A request to the exports' worker, started at the first.
function askExporter(message, onProgress) {
  if (!exporter) exporter = startWorker();
  return exporter.ask(message, onProgress);
}

api.render = (request, onProgress) => askExporter({kind: 'render', ...request}, onProgress);

async function check(text) {
  const reply = await checker.ask({kind: 'check', text, clipping: false});
  api.checks += 1;
  if (editorText(editor) !== text) return;
  api.findings = reply.findings;
  showFindings(editor, reply.findings);
  // The stretches that clip take the show's length of mixing: found after the rest.
  const full = await checker.ask({kind: 'check', text, clipping: true});
  if (editorText(editor) !== text) return;
  api.findings = full.findings;
  showFindings(editor, full.findings);
}

// The text as it stands now is heard from the frame the speakers are at.
function hearText(text) {
  if (!player) return;
  const problem = playingText === '' ? player.start(text) : player.reload(text);
  api.reloads += 1;
  if (problem) {
    say(`${stillPlaying}${problem}.`.replace(/\.\.$/, '.'));
    return;
  }
  playingText = text;
  playingPlaces = songPlaces(text);
  lastHeardRow = -1;
  showArrangement();
  if (api.problem.startsWith(stillPlaying)) say('');
}

let storageRefused = false;

function textChanged(text) {
  // The address keeps a link's song only until the text changes: a reload opens what is stored.
  if (songFragmentOf(location.hash) !== null) {
    history.replaceState(null, '', location.pathname + location.search);
  }
  if (!storeSong(writtenText(editor)) && !storageRefused) {
    storageRefused = true;
    say('This browser keeps nothing for the page, so a reload would lose the text: save it.');
  }
  clearTimeout(typingTimer);
  typingTimer = setTimeout(() => {
    check(text).catch(() => {});
    hearText(text);
  }, typingPauseMs);
}

function setText(text) {
  replaceText(editor, text);
}

// "New" and "The show's song" replace the whole text: the stored one is kept aside, and undo
// brings it back.
function replaceWholeSong(text) {
  keepStoredAside();
  setText(text);
  say('The text before is kept: undo (Ctrl-Z) brings it back.');
}

function wireLanguageHelp() {
  fields = readFields(engine.UTF8ToString(engine._studio_fields()));
  api.describeAt = (pos) => describeAt(fields, editorText(editor), pos);
  api.completionsAt = (pos) => completionsAt(fields, editorText(editor), pos);
  byId('reference-button').addEventListener('click', () => {
    const drawer = byId('reference');
    if (drawer.hidden) fillReference(drawer, fields);
    drawer.hidden = !drawer.hidden;
    byId('reference-button').classList.toggle('on', !drawer.hidden);
  });
}

// A MIDI file (it begins "MThd") becomes song text as kelvorinsaa-import writes it, in one step
// of the undo history; what had to change to fit is told in the status line.
async function importMidi(file) {
  let reply;
  try {
    reply = await askExporter({kind: 'import', bytes: new Uint8Array(await file.arrayBuffer()),
                               name: file.name});
  } catch (e) {
    return say(`${file.name} could not be imported: ${e.message}.`.replace(/\.\.$/, '.'));
  }
  setText(reply.text);
  byId('save-name').value = file.name.replace(/\.[^.]*$/, '') + '.txt';
  const warnings = reply.warnings;
  say(warnings.length === 0 ? '' :
      `${file.name} was imported; ${warnings.length === 1 ? 'one thing' : warnings.length + ' things'}` +
      ` had to change to fit: ${warnings[0]}${warnings.length > 1 ? ' ...' : ''}`);
}

async function openFile(file) {
  try {
    const head = new Uint8Array(await file.slice(0, 4).arrayBuffer());
    if (String.fromCharCode(...head) === 'MThd') return await importMidi(file);
    setText(await readSongFile(file));
    byId('save-name').value = file.name;
  } catch (e) {
    say(e.message);
  }
}

async function share() {
  const value = await songToFragment(writtenText(editor));
  const link = songLinkFor(location, value);
  const showLink = link.replace(/[^/]*(#.*)$/, 'kelvorinsaa.html$1');
  history.replaceState(null, '', '#song=' + value);
  byId('share-link').value = link;
  byId('show-link').href = showLink;
  byId('share-box').hidden = false;
  try {
    await navigator.clipboard.writeText(link);
  } catch (e) {}
  api.sharedLink = link;
}

function songName() {
  return songNameOf(byId('save-name').value);
}

// The show's page as the build made it: its WebAssembly's base64 put back in its place.
function showPageTemplate() {
  const wasm = parts.showWasm;
  let binary = '';
  for (let i = 0; i < wasm.length; i += 8192) {
    binary += String.fromCharCode.apply(null, wasm.subarray(i, i + 8192));
  }
  return parts.showPage.replace('{{WASM}}', () => btoa(binary));
}

// The show's page with the song as written inside it, NAME.html: it plays that song wherever it
// is opened, with nothing beside it.
function downloadShow() {
  const name = songName();
  const blob = new Blob([pageWithSong(showPageTemplate(), writtenText(editor), name)],
                        {type: 'text/html'});
  const fileName = `${safeFileName(name)}.html`;
  api.exports.show = {blob, name: fileName};
  download(blob, fileName);
}

function loopRange() {
  const from = Math.floor(Number(byId('loop-from').value) || 0);
  const to = Math.floor(Number(byId('loop-to').value) || 0);
  return {from, to};
}

async function exportSound(kind) {
  const text = playingText || editorText(editor);
  const rows = {};
  if (kind === 'loop') {
    const range = loopRange();
    if (!(range.to > range.from)) return say('The loop\'s rows run from a row to a later one.');
    rows.fromRow = range.from;
    rows.toRow = range.to;
  }
  const mutes = panel.mutes();
  const progress = byId('export-progress');
  progress.hidden = false;
  progress.value = 0;
  try {
    const reply = await api.render({text, ...rows, muted: mutes.muted, soloed: mutes.soloed,
                                    stems: kind === 'stems', midi: kind === 'midi'},
                                   (done) => { progress.value = done; });
    const name = safeFileName(songName());
    api.exports[kind] = {blob: reply.blob, ms: reply.ms};
    download(reply.blob, kind === 'stems' ? `${name}_stems.zip` :
             kind === 'loop' ? `${name}_rows_${rows.fromRow}-${rows.toRow}.wav` :
             kind === 'midi' ? `${name}.mid` : `${name}.wav`);
  } catch (e) {
    say(`The export failed: ${e.message}.`.replace(/\.\.$/, '.'));
  } finally {
    progress.hidden = true;
  }
}

function highlightHeard(heard) {
  if (heard.row === lastHeardRow) return;
  lastHeardRow = heard.row;
  const places = player.placesOfRow(heard.row);
  api.heardRow = heard.row;
  api.heardPlaces = places;
  if (!places || editorText(editor) !== playingText) return showHeard(editor, []);
  const ranges = [];
  for (const place of places) {
    if (place.finished) continue;
    const track = playingPlaces.tracks.get(place.channel);
    if (track && track[place.entry]) ranges.push(track[place.entry]);
    const pattern = playingPlaces.patterns.get(place.pattern);
    if (pattern && pattern[place.row]) ranges.push(pattern[place.row]);
  }
  api.heardRanges = ranges;
  showHeard(editor, ranges);
}

function showArrangement() {
  const rows = player.endRow();
  api.arrangement = readArrangement(engine, rows);
  view.arrangement.setSong(api.arrangement, rows, player.lastChannel());
}

// The cursor to the start of pattern's line, as the text heard places it.
function showPattern(pattern) {
  const items = playingPlaces.patterns.get(pattern);
  if (!items || items.length === 0 || editorText(editor) !== playingText) return;
  const line = editor.state.doc.lineAt(items[0][0]);
  editor.dispatch({selection: {anchor: line.from}, scrollIntoView: true});
  editor.focus();
}

// Mutes as the panel has them, or every channel while the keys play alone.
function applyMutes() {
  const mutes = panel.mutes();
  if (view.keys.alone()) player.setMutes(0xfffffffe, 0);
  else player.setMutes(mutes.muted, mutes.soloed);
}

function createView() {
  const parent = byId('view-panel');
  const arrangement = createArrangement(parent, {
    seek: (row) => player && player.seekRow(row), showPattern});
  const keys = createKeyInstrument(parent, engine, {
    editor: () => editor, say,
    play: (n, hertz) => player && player.cut((frame) => (player.paused ?
        engine._studio_audition_held(n, hertz) : engine._studio_audition(n, hertz, frame))),
    alone: () => player && applyMutes(),
  });
  const instrument = createInstrumentView(parent, engine);
  return {arrangement, keys, instrument};
}

function followCursor() {
  const line = editor.state.doc.lineAt(editor.state.selection.main.head);
  view.instrument.show(line.text, line.number, api.reloads);
}

let panel = null;
let hasPicture = false;  // the browser gave a WebGL context
const startMs = performance.now();

function frame() {
  if (player) {
    player.topUp();
    engine._studio_keep_states_ahead(4);  // a third of a millisecond each: later seeks are quick
    const heard = player.heard();
    if (hasPicture) {
      engine._studio_draw(Math.floor(performance.now() - startMs), heard.shownFrames,
                          heard.shownLevel);
    }
    panel.update({...heard, paused: player.paused || player.sound.context.state !== 'running',
                  atEnd: heard.song >= engine._studio_end_frame(), looping: player.loop !== null,
                  endRow: player.endRow(), lastChannel: player.lastChannel()});
    highlightHeard(heard);
    view.arrangement.setHeardRow(heard.row);
    followCursor();
    api.heard = heard;
  }
  requestAnimationFrame(frame);
}

async function loadEngine(canvas) {
  const gl = canvas.getContext('webgl', {alpha: false, antialias: false, depth: false,
                                         stencil: false, premultipliedAlpha: false,
                                         preserveDrawingBuffer: true});
  const script = document.createElement('script');
  script.src = URL.createObjectURL(new Blob([parts.engine], {type: 'text/javascript'}));
  await new Promise((resolve, reject) => {
    script.onload = resolve;
    script.onerror = reject;
    document.head.append(script);
  });
  const instance = await createStudioEngine({wasmBinary: parts.wasm, gl});
  if (gl) instance._studio_picture_start();
  return {instance, picture: !!gl};
}

async function initialText() {
  const fragment = songFragmentOf(location.hash);
  if (fragment !== null) {
    try {
      const text = await songFromFragment(fragment);
      keepStoredAside();
      return {text};
    } catch (e) {
      return {text: storedSong() ?? parts.builtInSong, problem: e.message};
    }
  }
  return {text: storedSong() ?? parts.builtInSong};
}

function wireButtons() {
  byId('open').addEventListener('click', () => byId('open-file').click());
  byId('open-file').addEventListener('change', (event) => {
    if (event.target.files[0]) openFile(event.target.files[0]);
    event.target.value = '';
  });
  byId('save').addEventListener('click', () => saveSong(writtenText(editor), byId('save-name').value));
  byId('share').addEventListener('click', () => share());
  byId('export-wav').addEventListener('click', () => exportSound('whole'));
  byId('export-loop').addEventListener('click', () => exportSound('loop'));
  byId('export-stems').addEventListener('click', () => exportSound('stems'));
  byId('export-midi').addEventListener('click', () => exportSound('midi'));
  byId('download-show').addEventListener('click', () => downloadShow());
  byId('vim-keys').addEventListener('change', (event) => {
    storeVimKeys(event.target.checked);
    setVimKeys(editor, event.target.checked);
    editor.focus();
  });
  byId('built-in').addEventListener('click', () => replaceWholeSong(parts.builtInSong));
  byId('new-song').addEventListener('click', () => replaceWholeSong(newSongText));
  byId('full-screen').addEventListener('click', () => {
    const box = byId('picture-box');
    const ask = box.requestFullscreen || box.webkitRequestFullscreen;
    if (ask) Promise.resolve(ask.call(box)).catch(() => say('The browser refused full screen.'));
  });
  acceptDrops(document.body, openFile);
}

const clickToHear = 'Click anywhere or press a key to hear the song.';
const brokeUp = 'The sound broke up for a moment: the machine was too busy to keep it going.';

// The sound starts at once where the browser lets it, and otherwise at the first click or key.
async function startSound(first) {
  const sound = openSoundOutput({
    latencyHint: 'interactive',
    onNews: (news) => player && player.news(news),
    onStopped: () => {
      if ((!api.problem || api.problem === brokeUp) && !(player && player.paused)) say(clickToHear);
    },
    onRunning: () => { if (api.problem === clickToHear) say(''); },
    // Once, until the status line says something else: an edit that fails is worth more.
    onBrokeUp: () => { if (!api.problem) say(brokeUp); },
  });
  const restart = () => {
    if (sound.context && sound.context.state !== 'running' && !(player && player.paused)) {
      sound.restart();
    }
  };
  for (const kind of ['pointerdown', 'keydown']) document.addEventListener(kind, restart, true);
  try {
    await sound.ready;
  } catch (e) {
    return say(e.message);
  }
  player = new StudioPlayer(engine, sound);
  api.player = player;
  hearText(first.text);
}

async function main() {
  const loaded = await loadEngine(byId('picture'));
  engine = loaded.instance;
  api.engine = engine;
  const first = await initialText();
  editor = createEditor(byId('editor'), first.text, textChanged, largestSong, () => {
    say('That would make the song larger than 1 MiB, so the text was left as it was.');
  }, [songHover(() => fields), songCompletion(() => fields)]);
  api.editor = editor;
  byId('vim-keys').checked = storedVimKeys();
  setVimKeys(editor, byId('vim-keys').checked);
  panel = createPanel(byId('panel'), {
    playPause: () => {
      if (!player) return;
      const atEnd = player.heardSongFrame() >= engine._studio_end_frame();
      const stopped = player.paused || player.sound.context.state !== 'running';
      player.setPaused(!atEnd && !stopped);  // from the start again after the end
    },
    seek: (row) => player && player.seekRow(row),
    loop: (from, to) => player && player.setLoop(from, to),
    mutes: () => player && applyMutes(),
  });
  view = createView();
  api.view = view;
  api.showArrangement = showArrangement;
  wireButtons();
  wireLanguageHelp();
  hasPicture = loaded.picture;
  if (!hasPicture) byId('picture-box').classList.add('no-picture');
  storeSong(first.text);
  await checker.ready;
  check(first.text).catch(() => {});
  await startSound(first);
  if (first.problem) say(first.problem);
  api.ready = true;
  requestAnimationFrame(frame);
}

main();
