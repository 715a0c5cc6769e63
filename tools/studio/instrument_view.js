// The instrument drawn: for the instrument line under the cursor, its rendered sample as the
// engine holds it (the extremes of each column's frames) and over it the envelope as the synth
// shapes it from the line's lengths: a rise by 1/attack per frame, a fall by the same step for
// the decay's frames (past zero when the decay is longer than the attack), the held level, and
// a straight release to 0. The page's thread.
import {readNumber} from './song_items.js';

const millisecondsPerFrame = 1000 / 44100;

// The four lengths of an instrument line as the parser reads them, or null for another line.
export function envelopeLengths(lineText) {
  const compact = lineText.replace(/[ \r]/g, '');
  const match = /^i([-+]?\d+):(.*)$/.exec(compact);
  if (!match) return null;
  const items = match[2].split(',');
  const value = (i) => (i < items.length ? readNumber(items[i]) : 0);
  return {instrument: Number(match[1]), attack: value(1), decay: value(2), sustain: value(3),
          release: value(4)};
}

// The envelope's corners, [frame, amplitude], as rendering steps: the attack's step is
// 1/attack (a zero attack is one frame of step 1), and a length of zero or less skips its
// segment, so a negative attack leaves the level at 0 and turns the decay into a rise.
export function envelopeCorners({attack, decay, sustain, release}) {
  const step = attack === 0 ? 1 : 1 / attack;
  const a = attack === 0 ? 1 : Math.max(attack, 0);
  const d = Math.max(decay, 0);
  const s = Math.max(sustain, 0);
  const r = release > 0 ? release : 1;
  const peak = a * step;
  const held = peak - d * step;
  return [[0, 0], [a, peak], [a + d, held], [a + d + s, held], [a + d + s + r, 0]];
}

export function createInstrumentView(parent, engine) {
  const canvas = document.createElement('canvas');
  canvas.id = 'instrument-view';
  const caption = document.createElement('div');
  caption.className = 'instrument-caption';
  parent.append(canvas, caption);
  let shown = '';

  function draw(lengths) {
    const n = lengths.instrument;
    const count = engine._studio_sample_length(n);
    const at = engine._studio_sample(n) >> 2;
    const frames = engine.HEAPF32.subarray(at, at + count);
    const width = canvas.width = Math.max(1, Math.floor(parent.clientWidth || 400));
    const height = canvas.height = 90;
    const g = canvas.getContext('2d');
    g.fillStyle = '#140c0c';
    g.fillRect(0, 0, width, height);
    const corners = envelopeCorners(lengths);
    let most = 1;
    for (let i = 0; i < count; ++i) most = Math.max(most, Math.abs(frames[i]));
    for (const [, amplitude] of corners) most = Math.max(most, Math.abs(amplitude));
    const span = Math.max(count, corners[4][0], 1);
    const y = (value) => height / 2 - value / most * (height / 2 - 2);
    g.fillStyle = '#9fd3ff';
    for (let x = 0; x < width; ++x) {
      const from = Math.floor(x * span / width);
      const to = Math.min(count, Math.max(from + 1, Math.floor((x + 1) * span / width)));
      let low = Infinity;
      let high = -Infinity;
      for (let i = from; i < to; ++i) {
        low = Math.min(low, frames[i]);
        high = Math.max(high, frames[i]);
      }
      if (high >= low) g.fillRect(x, y(high), 1, Math.max(1, y(low) - y(high)));
    }
    // The envelope and its mirror: the waveform swings between the two.
    g.strokeStyle = '#e6c07b';
    for (const sign of [1, -1]) {
      g.beginPath();
      for (const [frame, amplitude] of corners) g.lineTo(frame / span * width, y(sign * amplitude));
      g.stroke();
    }
    const ms = (frames) => `${frames} (${(frames * millisecondsPerFrame).toFixed(1)} ms)`;
    caption.textContent = `instrument ${n}: attack ${ms(lengths.attack)}, decay ` +
        `${ms(lengths.decay)}, sustain ${ms(lengths.sustain)}, release ${ms(lengths.release)} ` +
        `frames; held level ${corners[2][1].toFixed(2)}; sample ${count} frames`;
  }

  return {
    // The line under the cursor (lineNumber of the text); drawn again when the cursor goes to
    // another line or the song heard changes (songKey), so typing redraws after the reload.
    show(lineText, lineNumber, songKey) {
      const lengths = envelopeLengths(lineText);
      const key = lengths ? `${songKey}:${lineNumber}` : '';
      if (!lengths || key === shown) return;
      shown = key;
      draw(lengths);
    },
  };
}
