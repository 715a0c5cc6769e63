// How finely and how often the live picture is drawn, so that the sound keeps the machine: a
// frame that keeps the next animation frame waiting more than 15 ms past the display's period
// is slow. Slow frames first halve the picture's resolution (each frame's drawing then comes in
// bursts a quarter as long, which a sound thread waiting for a core sits out; fewer frames
// alone did not hold Firefox's sound), down to the plan's lowest scale; there, the next passes
// wait, so that drawing takes at most its share of the page's time. Below full resolution the
// plan may also hold the picture to some frames a second (Firefox's sound broke up less). When
// frames keep to the display's period, the picture tries twice the resolution after a wait,
// which doubles each time the try had to come down again (a frame's cost is not seen below the
// period, so only a try tells whether the higher resolution fits). Main thread.
//
// Usage: const pace = pacePicture({share: 0.5, lowestScale: 0.5, lowFps: 20, onScale(scale) {}});
//   if (pace.wantsPass(performance.now())) { ...draw...; if (drawn) pace.drew(now); }
//   pace.scale, pace.skipped  // the resolution now (1: the show's own), passes not drawn

const slowPassMs = 15;
// Displays refresh at least this often: where every frame is slow from the start, no shorter
// time between animation frames is ever seen.
const longestPeriodMs = 1000 / 30;
const costSamples = 4;     // frames measured at a resolution before it is judged
const onTime = 1.25;       // frames this close to the display's period leave room to go up
const firstUpWaitMs = 3000;
const longestUpWaitMs = 64000;

export function pacePicture({share = 0.5, lowestScale = 1, lowFps = Infinity, onScale = () => {}} = {}) {
  let periodMs = longestPeriodMs;  // the shortest time seen between animation frames
  let calledAt = null;
  let drawnAt = null;
  let frameMs = 0;          // a drawn frame's cost, smoothed
  let measured = 0;         // frames measured at this resolution
  let lastPassAt = 0;
  let changedAt = 0;
  let cameUp = false;       // the last change was a step up
  let upWaitMs = firstUpWaitMs;

  const pace = {scale: 1, skipped: 0};

  function rescale(scale, now) {
    pace.scale = scale;
    changedAt = now;
    frameMs = 0;
    measured = 0;
    onScale(scale);
  }

  // A slow frame above the lowest resolution halves it; below full resolution, frames that keep
  // to the display's period double it once the wait is over.
  function judgeResolution(now) {
    if (measured < costSamples) return;
    const budget = periodMs + slowPassMs;
    if (frameMs > budget && pace.scale > lowestScale) {
      if (cameUp) upWaitMs = Math.min(upWaitMs * 2, longestUpWaitMs);
      cameUp = false;
      rescale(pace.scale / 2, now);
    } else if (pace.scale < 1 && frameMs <= periodMs * onTime && now - changedAt >= upWaitMs) {
      cameUp = true;
      rescale(pace.scale * 2, now);
    }
  }

  pace.wantsPass = (now) => {
    if (calledAt !== null) periodMs = Math.min(periodMs, now - calledAt);
    calledAt = now;
    if (drawnAt !== null) {
      frameMs = measured === 0 ? now - drawnAt : frameMs * 0.75 + (now - drawnAt) * 0.25;
      measured += 1;
      drawnAt = null;
      judgeResolution(now);
    }
    const fast = frameMs <= periodMs + slowPassMs || pace.scale > lowestScale ||
                 now - lastPassAt >= frameMs / share;
    const fps = pace.scale < 1 ? lowFps : Infinity;
    if (fast && now - lastPassAt >= 1000 / fps - periodMs / 2) {
      lastPassAt = now;
      return true;
    }
    pace.skipped += 1;
    return false;
  };
  pace.drew = (now) => {
    drawnAt = now;
  };
  return pace;
}
