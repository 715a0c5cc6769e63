// The show page's screens (page.html): the start screen with its hint, the stage with the
// picture and its notice line, and the one-sentence message where the show cannot run. Words
// for the person's device: "tap" on a touch screen, "click anywhere or press a key" elsewhere.
// Main thread.

const element = (id) => document.getElementById(id);
export const screens = {
  start: element('start'),
  hint: element('start-hint'),
  inPage: element('in-page'),
  stage: element('stage'),
  canvas: element('picture'),
  notice: element('notice'),
  message: element('message'),
};

// A screen whose main pointer is a finger and that cannot hover.
export function touchScreen() {
  return typeof matchMedia === 'function' && matchMedia('(hover: none) and (pointer: coarse)').matches;
}

// "Click anywhere or press a key to X", or "Tap anywhere to X" on a touch screen.
export function inviteTo(what) {
  return (touchScreen() ? 'Tap anywhere to ' : 'Click anywhere or press a key to ') + what + '.';
}

export function showMessage(sentence) {
  screens.start.hidden = true;
  screens.stage.hidden = true;
  screens.message.hidden = false;
  screens.message.textContent = sentence;
}

export function showStart(words) {
  screens.hint.textContent = words;
  screens.inPage.hidden = false;
  screens.start.hidden = false;
  screens.stage.hidden = true;
}

export function showStage() {
  screens.start.hidden = true;
  screens.stage.hidden = false;
  screens.notice.hidden = true;
}

// A line over the picture while the show plays; null takes it away.
export function showNotice(sentence) {
  screens.notice.hidden = sentence === null;
  screens.notice.textContent = sentence || '';
}
