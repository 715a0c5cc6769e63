// A channel's level over the last seconds heard, as a small strip of bars beside its mute and
// solo buttons: one bar per frame of the page, the newest on the right. The page's thread.
const kept = 90;  // bars: about a second and a half at 60 frames a second

export function createLevelHistory(canvas) {
  const levels = new Float32Array(kept);
  let newest = 0;
  canvas.width = kept;
  canvas.height = 12;
  const g = canvas.getContext('2d');
  return {
    // level: 0 ... 1 of the output's full scale.
    push(level) {
      newest = (newest + 1) % kept;
      levels[newest] = level;
      g.clearRect(0, 0, kept, canvas.height);
      g.fillStyle = '#e0c060';
      for (let i = 0; i < kept; ++i) {
        const value = levels[(newest + 1 + i) % kept];
        const bar = Math.round(Math.sqrt(value) * canvas.height);
        if (bar > 0) g.fillRect(i, canvas.height - bar, 1, bar);
      }
    },
  };
}
