// What a page that plays a piece tells the system while it plays: the title in the media
// controls (Media Session) and a screen that does not dim or lock (Screen Wake Lock, asked again
// when the tab is shown, since the system lets it go while hidden). Each only where it exists.
// Main thread.
//
// Usage: const session = beginPlayerSession('Kelvorinsaa'); ... session.end();

export function beginPlayerSession(title) {
  let wakeLock = null;
  let ended = false;
  const media = navigator.mediaSession;
  try {
    if (media && typeof MediaMetadata === 'function') media.metadata = new MediaMetadata({title});
    if (media) media.playbackState = 'playing';
  } catch (e) {}

  function keepAwake() {
    if (ended || !navigator.wakeLock || document.visibilityState !== 'visible') return;
    navigator.wakeLock.request('screen').then((lock) => {
      if (ended) return lock.release();
      wakeLock = lock;
    }, () => {});
  }
  function onVisibility() {
    if (document.visibilityState === 'visible' && (!wakeLock || wakeLock.released)) keepAwake();
  }
  document.addEventListener('visibilitychange', onVisibility);
  keepAwake();

  return {
    end() {
      ended = true;
      document.removeEventListener('visibilitychange', onVisibility);
      if (wakeLock) wakeLock.release().catch(() => {});
      wakeLock = null;
      try {
        if (media) media.playbackState = 'none';
      } catch (e) {}
    },
    holdsWakeLock: () => !!wakeLock && !wakeLock.released,
  };
}
