// The live picture's pace (src/web/picture_pace.js) on made-up animation frames: slow frames
// halve the resolution before any pass is skipped, never below the plan's lowest; there, drawing
// keeps to its share of the time, and below full resolution to the plan's frames a second; the picture goes back up when frames keep to the display's
// period and the wait is over, and a step up that had to come down again doubles the wait. Usage: node picture_pace_test.mjs
import assert from 'node:assert/strict';
import {pacePicture} from '../../src/web/picture_pace.js';

const periodMs = 1000 / 60;

// Animation frames every period for `ms`, each drawn pass costing costAt(scale) ms of the next
// frames; returns the passes drawn.
function run(pace, clock, ms, costAt) {
  let drawn = 0;
  let busyUntil = 0;
  for (const end = clock.now + ms; clock.now < end;) {
    clock.now = Math.max(clock.now + periodMs, busyUntil);
    if (!pace.wantsPass(clock.now)) continue;
    pace.drew(clock.now);
    busyUntil = clock.now + costAt(pace.scale);
    drawn += 1;
  }
  return drawn;
}

const fillBound = (fullMs) => (scale) => fullMs * scale * scale;

function test(name, body) {
  try {
    body();
    console.log(`ok: ${name}`);
  } catch (e) {
    console.error(`FAIL: ${name}: ${e.message}`);
    process.exitCode = 1;
  }
}

test('slow frames lower the resolution first, then skip passes within the share', () => {
  const scales = [];
  const pace = pacePicture({share: 0.25, lowestScale: 0.5, onScale: (s) => scales.push(s)});
  const clock = {now: 0};
  run(pace, clock, 2000, fillBound(60));  // 15 ms a frame at half: fits
  assert.deepEqual(scales, [0.5]);
  assert.equal(pace.skipped, 0);
  run(pace, clock, 5000, () => 200);      // too slow even at half: passes wait, no lower scale
  assert.deepEqual(scales, [0.5]);
  const before = pace.skipped;
  const drawn = run(pace, clock, 10000, () => 200);
  assert.ok(pace.skipped > before);
  assert.ok(drawn * 200 <= 0.3 * 10000, `${drawn} frames of 200 ms in 10 s`);
});

test('the picture comes back up when there is room, and waits longer after a step that failed', () => {
  const scales = [];
  const pace = pacePicture({share: 0.5, lowestScale: 0.5, onScale: (s) => scales.push(s)});
  const clock = {now: 0};
  run(pace, clock, 1000, fillBound(120));  // 30 ms at half: not slow, but no room to go up
  assert.deepEqual(scales, [0.5]);
  run(pace, clock, 10000, fillBound(120));
  assert.deepEqual(scales, [0.5]);
  const cameDownAt = clock.now;
  run(pace, clock, 20000, fillBound(20));  // now 5 ms at half: up after the wait, and it stays
  assert.deepEqual(scales, [0.5, 1]);
  assert.ok(cameDownAt > 0);
  // A machine where full resolution is slow but half leaves room goes up and down again with
  // growing waits between.
  const upAt = [];
  const pace2 = pacePicture({share: 0.5, lowestScale: 0.5, onScale: (s) => upAt.push([s, clock.now])});
  clock.now = 0;
  run(pace2, clock, 60000, (scale) => (scale === 1 ? 60 : 3));
  const ups = upAt.filter(([s]) => s === 1).map(([, t]) => t);
  const downs = upAt.filter(([s]) => s === 0.5).map(([, t]) => t);
  assert.ok(ups.length >= 2 && ups.length <= 5, `${ups.length} steps up in 60 s`);
  const waits = ups.map((t, i) => t - downs[i]);
  for (let i = 1; i < waits.length; ++i) assert.ok(waits[i] >= 1.9 * waits[i - 1], `waits ${waits}`);
});

test('below full resolution the picture keeps to the plan\'s frames a second, and only there', () => {
  const pace = pacePicture({share: 0.5, lowestScale: 0.5, lowFps: 20});
  const clock = {now: 0};
  assert.ok(run(pace, clock, 2000, () => 1) > 100);  // fast at full resolution: every frame
  run(pace, clock, 1000, fillBound(100));  // 25 ms at half: no room to go back up
  assert.equal(pace.scale, 0.5);
  const drawn = run(pace, clock, 10000, fillBound(100));
  assert.ok(drawn >= 180 && drawn <= 200, `${drawn} frames in 10 s`);
});

test('a plan without a lower resolution only skips passes', () => {
  const scales = [];
  const pace = pacePicture({share: 0.5, lowestScale: 1, onScale: (s) => scales.push(s)});
  run(pace, {now: 0}, 5000, () => 100);
  assert.deepEqual(scales, []);
  assert.ok(pace.skipped > 0);
});
