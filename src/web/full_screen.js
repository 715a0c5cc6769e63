// Full screen for the show's stage where the browser has element full screen (iPhone Safari
// has none: the show then plays in the page), turned to landscape where the browser lets a page
// lock the orientation, so that a phone shows the 4:3 picture whole. Main thread.
//
// Usage: enterFullScreen(element) inside the input event; leaveFullScreen() at the end.

export function enterFullScreen(element) {
  const ask = element.requestFullscreen || element.webkitRequestFullscreen;
  if (!ask) return;
  let asked = null;
  try {
    asked = ask.call(element);
  } catch (e) {
    return;  // refused: the show plays in the page
  }
  Promise.resolve(asked).then(lockLandscape, () => {});
}

function lockLandscape() {
  try {
    const orientation = screen.orientation;
    if (orientation && orientation.lock) orientation.lock('landscape').catch(() => {});
  } catch (e) {}
}

export function leaveFullScreen() {
  try {
    if (screen.orientation && screen.orientation.unlock) screen.orientation.unlock();
  } catch (e) {}
  const shown = document.fullscreenElement || document.webkitFullscreenElement;
  const leave = document.exitFullscreen || document.webkitExitFullscreen;
  if (!shown || !leave) return;
  const left = leave.call(document);
  if (left && left.catch) left.catch(() => {});
}
