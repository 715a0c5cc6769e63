// The show's web page: the start screen, the person's input, the show with its sound ahead of
// what is heard and the picture on animation frames following the sound heard (fewer of them
// when frames are slow, so that the sound keeps the machine; the music alone where there is no
// WebGL), its end, and the exact frame mode and frame timing of the URL parameters
// (page_params.js). The entry of the page's bundle; window.kelvorinsaa is what the tests read.
// Main thread.
import {frameBenchTable, runFrameBench} from './frame_bench.js';
import {enterFullScreen, leaveFullScreen} from './full_screen.js';
import {inviteTo, screens, showMessage, showNotice, showStage, showStart, touchScreen} from './page_screens.js';
import {readPageParams} from './page_params.js';
import {openPicture, picture, resizePicture} from './picture.js';
import {pacePicture} from './picture_pace.js';
import {beginPlayerSession} from './player_session.js';
import {bufferFrames, engine} from './show_engine.js';
import {songFragmentOf, songFromFragment} from './song_link.js';
import {pageSong} from './page_song.js';
import {soundPlan} from './sound_plan.js';
import {openSoundOutput, soundAvailable, soundSampleRate} from './sound_output.js';

const leadFrames = 4 * soundSampleRate;  // sound mixed ahead of what is heard: a busy page never starves it
const songRefused = 'The show\'s built-in song could not be read.';
const noPicture = 'There is no picture: this browser has no WebGL, so the music plays alone.';

const api = {exact: null, ready: false, playing: false, plays: 0, clockLog: [], underruns: 0,
             played: 0, context: null, output: null, sound: null, problem: '', restorations: 0,
             brokeUp: 0, pace: null, scaleChanges: [], soundPlan: null,
             onExactFrame: null, onLiveFrame: null, onEnd: null};
window.kelvorinsaa = api;
let settings = {exact: null, bench: null};
let show = null;  // the show now playing, or the last one

function say(sentence) {
  showMessage(sentence);
  api.problem = sentence;
}

function offerStart(words) {
  if (api.readyMs === undefined) api.readyMs = performance.now();  // since the page was opened
  showStart(words);
  api.ready = true;
}

// The song the show plays (the built-in one), made ready from its start.
function startUpShow() {
  return engine.startUp(!!picture.gl) === 0;
}

// --- input: a key, a click or a tap starts the show; while it plays, ends it, or starts the
// sound again when the page has said it stopped ---
function onShowInput(event) {
  if (!show || !show.running) return;
  event.preventDefault();  // a tap's touchend: no mouse events after it
  if (show.sound && show.sound.stopped) {
    show.sound.restart();
  } else if (!picture.gl) {
    finish();
  } else if (!settings.bench) {
    engine.input();
  }
}
document.addEventListener('keydown', (event) => {
  if (show && show.running) return onShowInput(event);
  if (api.ready && !screens.start.hidden && !event.repeat) start(true);
});
screens.start.addEventListener('click', (event) => {
  if (api.ready) start(event.target !== screens.inPage);
});
screens.stage.addEventListener('mousedown', onShowInput);
screens.stage.addEventListener('touchend', onShowInput, {passive: false});

// --- the live show ---
// Mixes until the lead is there and hands the buffers to the player in one message.
function topUp(playing) {
  const heard = playing.sound.heardFrame();
  const wanted = Math.ceil((Math.max(heard, 0) + leadFrames) / bufferFrames);
  const count = wanted - engine.buffersMixed();
  if (count > 0) playing.sound.post(engine.mixBuffers(count));
}

function livePass() {
  if (!show.running) return;
  topUp(show);
  const heard = show.sound.heardFrame();
  if (!picture.gl) {
    if (heard >= engine.showSeconds() * soundSampleRate) return finish();
    return requestAnimationFrame(livePass);
  }
  const now = performance.now();
  if (show.pace.wantsPass(now)) {
    const result = engine.mainPass(Math.floor(now - show.startMs), heard);
    if (result & 1) {
      show.pace.drew(now);
      api.clockLog.push(engine.shownFrames());
      if (api.onLiveFrame) api.onLiveFrame();
    }
    if (result & 2) return finish();
  }
  requestAnimationFrame(livePass);
}

function soundStoppedNotice() {
  return 'The sound is not playing: ' + (touchScreen() ? 'tap' : 'click anywhere or press a key') +
         ' to start it.';
}

// Inside the input event: the sound first, since WebKit starts it only there and not after the
// request for full screen.
function startSound(playing) {
  api.soundPlan = soundPlan();
  playing.pace = api.pace = pacePicture({share: api.soundPlan.pictureShare,
                                         lowestScale: api.soundPlan.lowestScale,
                                         lowFps: api.soundPlan.lowFps, onScale: scalePicture});
  playing.sound = api.sound = openSoundOutput({
    scheduled: api.soundPlan.scheduled,
    latencyHint: api.soundPlan.latencyHint,
    onNews(news) {
      api.played = news.played;
      api.underruns = news.underruns;
      if (playing.running) topUp(playing);
    },
    onStopped(state) {
      api.soundStopped = state;
      if (playing.running) showNotice(soundStoppedNotice());
    },
    onRunning() {
      api.soundStopped = '';
      showNotice(picture.gl ? null : noPicture);
    },
    onBrokeUp() {
      api.brokeUp += 1;
    },
  });
  api.context = playing.sound.context;
  api.output = null;
  playing.sound.ready.then(() => {
    if (!playing.running) return;
    api.output = playing.sound.node;
    topUp(playing);
    requestAnimationFrame(livePass);
  }, (problem) => {
    playing.running = false;
    api.playing = false;
    if (playing.session) playing.session.end();
    leaveFullScreen();
    say(problem.message);
  });
}

// The live picture's resolution (picture_pace.js); the exact frames keep the show's own.
function scalePicture(scale) {
  if (show && show.sound && scale !== picture.scale) {
    api.scaleChanges.push({heardSeconds: show.sound.heardFrame() / soundSampleRate, scale});
  }
  resizePicture(scale);
  engine.setPictureScale(scale);
}

// --- the exact frames and the frame timing ---
function exactPass() {
  if (!show.running) return;
  const result = engine.exactFrame(settings.exact, show.frame);
  if (api.onExactFrame) api.onExactFrame(show.frame, result & 1);
  show.frame += 1;
  if ((result & 2) || show.frame >= settings.exact.frames) return finish();
  requestAnimationFrame(exactPass);
}

function frameBench() {
  api.bench = runFrameBench(picture.gl, settings.bench.frames, settings.bench.level);
  show.running = false;
  api.playing = false;
  showMessage(frameBenchTable(api.bench));
  screens.message.style.whiteSpace = 'pre';
  screens.message.style.fontFamily = 'monospace';
}

function start(fullScreen) {
  if (!api.ready) return;
  api.ready = false;
  showStage();
  show = {running: true, frame: 0, sound: null, session: null, startMs: performance.now(), pace: null};
  api.playing = true;
  api.plays += 1;
  api.clockLog = [];
  api.scaleChanges = [];
  if (settings.bench) return frameBench();
  if (settings.exact) {
    if (fullScreen) enterFullScreen(screens.stage);
    requestAnimationFrame(exactPass);
    return;
  }
  startSound(show);
  if (!picture.gl) showNotice(noPicture);
  if (fullScreen) enterFullScreen(screens.stage);
  show.session = beginPlayerSession('Kelvorinsaa');
}

function finish() {
  show.running = false;
  scalePicture(1);
  api.playing = false;
  if (show.sound) show.sound.close();
  if (show.session) show.session.end();
  leaveFullScreen();
  showNotice(null);
  if (!startUpShow()) return say(songRefusal());
  offerStart('The show is over. ' + inviteTo('play it again in full screen'));
  if (api.onEnd) api.onEnd();
}

function onPictureRestored() {
  engine.pictureRestored();
  api.restorations += 1;
}

// The page's own song (a page the studio's "Download the show" wrote), then a link's
// (#song=..., as the studio shares it), replace the built-in one: resolves to false, after
// saying why, when either is damaged.
async function takeSongs() {
  try {
    const own = pageSong(document);
    if (own) {
      engine.useSong(own.text);
      api.pageSongName = own.name;
    }
  } catch (problem) {
    say(`The song in this page is damaged, so it cannot be played: ${problem.message}.`);
    return false;
  }
  const fragment = songFragmentOf(location.hash);
  if (fragment === null) return true;
  try {
    engine.useSong(await songFromFragment(fragment));
    api.linkSong = true;
    return true;
  } catch (problem) {
    say(problem.message);
    return false;
  }
}

function songRefusal() {
  const problem = engine.songProblem();
  if (api.linkSong) return `The song in this link cannot be played: ${problem}.`.replace(/\.\.$/, '.');
  if (api.pageSongName !== undefined) {
    return `The song “${api.pageSongName}” cannot be played: ${problem}.`.replace(/\.\.$/, '.');
  }
  return songRefused;
}

// What the start screen says of the song before its invitation.
function songWords() {
  if (api.linkSong) return 'This link plays the show with a song of its own. ';
  if (api.pageSongName !== undefined) return `The show with the song “${api.pageSongName}”. `;
  return '';
}

engine.whenLoaded(async () => {
  const read = readPageParams(location.search, engine.showSeconds());
  if (read.problem) return say(read.problem);
  settings = read;
  api.exact = settings.exact;
  const gl = openPicture(screens.canvas, {keepDrawing: !!settings.exact, onRestored: onPictureRestored});
  const soundOnly = !settings.exact && !settings.bench;
  if (!gl && !(soundOnly && soundAvailable())) {
    return say('This browser cannot show Kelvorinsaa: WebGL is not available.');
  }
  engine.setContext(gl);
  if (soundOnly && !soundAvailable()) {
    return say('This browser cannot play Kelvorinsaa: Web Audio is not available.');
  }
  if (!(await takeSongs())) return;
  if (!startUpShow()) return say(songRefusal());
  if (settings.bench) return offerStart('Frame timing: ' + inviteTo('start').toLowerCase());
  const exact = settings.exact;
  offerStart(exact ? `Exact frames at ${exact.fps} per second from ${exact.fromUs / 1e6} s. ` +
                     inviteTo('start')
                   : songWords() + (gl ? '' : noPicture + ' ') + inviteTo('start in full screen'));
});

api.start = start;
// The drawing buffer, bottom row first, at the picture's resolution now (picture.scale).
api.readPixels = function() {
  const gl = picture.gl;
  const pixels = new Uint8Array(gl.drawingBufferWidth * gl.drawingBufferHeight * 4);
  gl.readPixels(0, 0, gl.drawingBufferWidth, gl.drawingBufferHeight, gl.RGBA, gl.UNSIGNED_BYTE, pixels);
  return pixels;
};
api.scalePicture = scalePicture;
