// The show page's URL parameters, read and checked: fps, from, frames and warmup choose the
// exact frame-by-frame mode of kelvorinsaa-capture (no sound; frame k shows from + k / fps
// seconds, after warmup frames drawn unseen, 30 by default, or all); bench=N and level=L time
// N frames of each scene. A value that makes no sense gives one sentence naming it instead.
//
// Usage: const {exact, bench, problem} = readPageParams(location.search, showSeconds);
//   exact: null or {fps, fromUs, frames, warmUp (-1: all)}; bench: null or {frames, level};
//   problem: '' or the sentence to show.

function whole(text, low, high) {
  if (!/^\s*[+]?\d+\s*$/.test(text)) return null;
  const value = Number(text);
  return value >= low && value <= high ? value : null;
}

function decimal(text, low, high) {
  if (!/^\s*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\s*$/.test(text)) return null;
  const value = Number(text);
  return value >= low && value <= high ? value : null;
}

function refusal(name, text, wanted) {
  return `The address gives ${name}=${text.slice(0, 40)}, but ${name} must be ${wanted}.`;
}

export function readPageParams(search, showSeconds) {
  const params = new URLSearchParams(search);
  const given = (name) => params.has(name);
  const text = (name) => params.get(name);
  const result = {exact: null, bench: null, problem: ''};
  const refuse = (name, wanted) => {
    result.problem = refusal(name, text(name), wanted);
    return result;
  };

  if (given('fps') || given('from') || given('frames') || given('warmup')) {
    const exact = {fps: 60, fromUs: 0, frames: Infinity, warmUp: 30};
    if (given('fps')) {
      exact.fps = whole(text('fps'), 1, 1000);
      if (exact.fps === null) return refuse('fps', 'a whole number from 1 to 1000');
    }
    if (given('from')) {
      const seconds = decimal(text('from'), 0, showSeconds);
      if (seconds === null) {
        return refuse('from', `a time in seconds from 0 to ${showSeconds.toFixed(2)}, such as 12.5`);
      }
      exact.fromUs = Math.round(seconds * 1e6);
    }
    if (given('frames')) {
      exact.frames = whole(text('frames'), 1, 1e7);
      if (exact.frames === null) return refuse('frames', 'a whole number of frames, at least 1');
    }
    if (given('warmup')) {
      exact.warmUp = text('warmup') === 'all' ? -1 : whole(text('warmup'), 0, 1000000);
      if (exact.warmUp === null) return refuse('warmup', 'a number of frames from 0 to 1000000, or all');
    }
    result.exact = exact;
  }
  if (given('bench')) {
    const bench = {frames: whole(text('bench'), 1, 100000), level: 0.5};
    if (bench.frames === null) return refuse('bench', 'a whole number of frames from 1 to 100000');
    if (given('level')) {
      bench.level = decimal(text('level'), 0, 1);
      if (bench.level === null) return refuse('level', 'a number from 0 to 1');
    }
    result.bench = bench;
  }
  return result;
}
