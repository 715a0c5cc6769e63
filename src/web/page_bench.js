// Frame timing in the page (?bench=N&level=L), as kelvorinsaa-framebench does it under OpenGL:
// every scene of the script from its first row, 20 frames to warm up and N timed ones 9 ms of
// show time apart, each timed up to a finished drawing (a pixel read back, which waits for the
// whole frame); no sound runs.
function runFrameBench(frames, level) {
  var gl = Module['gl'];
  var layerNames = ['text', 'rings', 'spirals', 'fan'];
  var pixel = new Uint8Array(4);
  var results = [];
  var ms = 0;
  for (var scene = 0; scene < 21; ++scene) {
    var total = 0;
    var worst = 0;
    for (var frame = -20; frame < frames; ++frame) {
      ms += 9;
      var start = performance.now();
      Module._web_bench_frame(scene, ms, level);
      gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, pixel);
      var took = performance.now() - start;
      if (frame < 0) continue;
      total += took;
      worst = Math.max(worst, took);
    }
    var layers = Module._web_bench_layers(scene);
    var names = layerNames.filter(function(name, bit) { return layers & (1 << bit); });
    results.push({scene: scene, layers: names.join('+') || 'none', drawMs: total / frames,
                  worstMs: worst, fps: 1000 / (total / frames)});
  }
  return results;
}

function frameBenchTable(results) {
  var lines = ['scene  layers              draw ms    worst      fps'];
  results.forEach(function(r) {
    lines.push(String(r.scene).padStart(5) + '  ' + r.layers.padEnd(18) +
               r.drawMs.toFixed(2).padStart(9) + r.worstMs.toFixed(2).padStart(9) +
               r.fps.toFixed(1).padStart(9));
  });
  return lines.join('\n');
}
