// Frame timing in the page (?bench=N&level=L), as kelvorinsaa-framebench does it under OpenGL:
// every scene of the script from its first row, 20 frames to warm up and N timed ones 9 ms of
// show time apart, each timed up to a finished drawing (a pixel read back, which waits for the
// whole frame); no sound runs. Main thread.
import {engine} from './show_engine.js';

const sceneCount = 21;
const layerNames = ['text', 'rings', 'spirals', 'fan'];

export function runFrameBench(gl, frames, level) {
  const pixel = new Uint8Array(4);
  const results = [];
  let ms = 0;
  for (let scene = 0; scene < sceneCount; ++scene) {
    let total = 0;
    let worst = 0;
    for (let frame = -20; frame < frames; ++frame) {
      ms += 9;
      const start = performance.now();
      engine.benchFrame(scene, ms, level);
      gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, pixel);
      const took = performance.now() - start;
      if (frame < 0) continue;
      total += took;
      worst = Math.max(worst, took);
    }
    const layers = engine.benchLayers(scene);
    const names = layerNames.filter((name, bit) => layers & (1 << bit));
    results.push({scene, layers: names.join('+') || 'none', drawMs: total / frames,
                  worstMs: worst, fps: 1000 / (total / frames)});
  }
  return results;
}

export function frameBenchTable(results) {
  const lines = ['scene  layers              draw ms    worst      fps'];
  for (const r of results) {
    lines.push(String(r.scene).padStart(5) + '  ' + r.layers.padEnd(18) +
               r.drawMs.toFixed(2).padStart(9) + r.worstMs.toFixed(2).padStart(9) +
               r.fps.toFixed(1).padStart(9));
  }
  return lines.join('\n');
}
