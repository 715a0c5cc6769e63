// The page around the show: its screens, input, the sound through an AudioWorklet and the main
// loop on animation frames. URL parameters fps, from, frames and warmup play the exact
// frame-by-frame mode of kelvorinsaa-capture (no sound; frame k shows from + k / fps seconds,
// after warmup frames drawn unseen, 30 by default, or all); bench=N times N frames of each
// scene (page_bench.js).
var kelvorinsaa = (function() {
  var sampleRate = 44100;
  var bufferFrames = 1024;
  var leadFrames = 4 * sampleRate;  // sound mixed ahead of what is heard: a busy page never starves it
  var params = new URLSearchParams(location.search);
  var exact = params.has('fps') || params.has('from') || params.has('frames') || params.has('warmup') ? {
    fps: Math.round(Number(params.get('fps') || 60)),
    fromUs: Math.round(Number(params.get('from') || 0) * 1e6),
    frames: params.has('frames') ? Math.round(Number(params.get('frames'))) : Infinity,
    warmUp: params.get('warmup') === 'all' ? -1 : Math.round(Number(params.get('warmup') || 30)),
  } : null;
  var bench = params.has('bench') ? {frames: Math.max(1, Math.round(Number(params.get('bench')))),
                                      level: Number(params.get('level') || 0.5)} : null;
  var page = {
    start: document.getElementById('start'),
    hint: document.getElementById('start-hint'),
    inPage: document.getElementById('in-page'),
    stage: document.getElementById('stage'),
    canvas: document.getElementById('picture'),
    message: document.getElementById('message'),
  };
  var api = {exact: exact, ready: false, playing: false, plays: 0, clockLog: [],
             underruns: 0, played: 0, context: null, output: null, onExactFrame: null, onEnd: null};
  var show = null;  // the show now playing

  function say(sentence) {
    page.start.hidden = true;
    page.stage.hidden = true;
    page.message.hidden = false;
    page.message.textContent = sentence;
    api.problem = sentence;
  }

  function offerStart(words) {
    if (api.readyMs === undefined) api.readyMs = performance.now();  // since the page was opened
    page.hint.textContent = words;
    page.inPage.hidden = false;
    page.start.hidden = false;
    api.ready = true;
  }

  function openPicture() {
    var attributes = {alpha: false, antialias: false, depth: false, stencil: false,
                      premultipliedAlpha: false, preserveDrawingBuffer: !!exact};
    var gl = null;
    try {
      gl = page.canvas.getContext('webgl', attributes);
    } catch (e) {}
    Module['gl'] = gl;
    return !!gl;
  }

  function soundAvailable() {
    return typeof AudioContext === 'function' && typeof AudioWorkletNode === 'function';
  }

  // --- input: any key, click or touch ends the show ---
  function onInput(event) {
    if (!show || !show.running) return;
    event.preventDefault();
    Module._web_input();
  }
  ['keydown', 'mousedown', 'touchstart'].forEach(function(kind) {
    page.stage.addEventListener(kind, onInput, {passive: false});
  });
  document.addEventListener('keydown', function(event) {
    if (show && show.running) return onInput(event);
    if (api.ready && !page.start.hidden && !event.repeat) start(true);
  });
  page.start.addEventListener('click', function(event) {
    if (api.ready) start(event.target !== page.inPage ? true : false);
  });

  // --- sound: the show's buffers, mixed here, played by a worklet ---
  function openSound() {
    var context;
    try {
      context = new AudioContext({sampleRate: sampleRate});
    } catch (e) {
      return Promise.reject(new Error('The browser refused to start the sound of the show.'));
    }
    if (context.sampleRate !== sampleRate) {
      context.close();
      return Promise.reject(new Error('The browser refused to play sound at 44100 Hz.'));
    }
    var url = URL.createObjectURL(new Blob([kelvorinsaaWorkletSource], {type: 'text/javascript'}));
    return context.audioWorklet.addModule(url).then(function() {
      var node = new AudioWorkletNode(context, 'kelvorinsaa-player',
                                      {numberOfInputs: 0, outputChannelCount: [2]});
      node.connect(context.destination);
      return {context: context, node: node};
    }, function() {
      context.close();
      throw new Error('The browser refused to start the sound of the show.');
    });
  }

  // Mixes until the lead is there and hands the buffers to the worklet in one message.
  function topUp(heard) {
    var wanted = Math.ceil((Math.max(heard, 0) + leadFrames) / bufferFrames);
    var count = wanted - Module._web_buffers_mixed();
    if (count <= 0) return;
    var values = new Int16Array(count * bufferFrames * 2);
    for (var i = 0; i < count; ++i) {
      var at = Module._web_mix_buffer() >> 1;
      values.set(HEAP16.subarray(at, at + bufferFrames * 2), i * bufferFrames * 2);
    }
    show.node.port.postMessage(values, [values.buffer]);
  }

  // The show's frame now coming out of the speakers, by the context's own output clock.
  function heardFrame() {
    if (show.firstFrameTime === null) return -1;
    var context = show.context;
    var time = 0;
    if (context.getOutputTimestamp) time = context.getOutputTimestamp().contextTime || 0;
    if (!time) time = context.currentTime - (context.outputLatency || 0) - (context.baseLatency || 0);
    return Math.min((time - show.firstFrameTime) * sampleRate, show.played);
  }

  function livePass() {
    if (!show.running) return;
    var heard = heardFrame();
    topUp(heard);
    var result = Module._web_main_pass(Math.floor(performance.now() - show.startMs), heard);
    if (result & 1) api.clockLog.push(Module._web_shown_frames());
    if (result & 2) return finish();
    requestAnimationFrame(livePass);
  }

  function exactPass() {
    if (!show.running) return;
    var result = Module._web_exact_frame(exact.fps, exact.fromUs, exact.warmUp, show.frame);
    if (api.onExactFrame) api.onExactFrame(show.frame, result & 1);
    show.frame += 1;
    if ((result & 2) || show.frame >= exact.frames) return finish();
    requestAnimationFrame(exactPass);
  }

  function enterFullScreen() {
    var element = page.stage;
    try {
      var asked = element.requestFullscreen ? element.requestFullscreen() :
                  element.webkitRequestFullscreen ? element.webkitRequestFullscreen() : null;
      if (asked && asked.catch) asked.catch(function() {});  // refused: the show plays in the page
    } catch (e) {}
  }

  function start(fullScreen) {
    if (!api.ready) return;
    api.ready = false;
    page.start.hidden = true;
    page.stage.hidden = false;
    if (fullScreen) enterFullScreen();
    show = {running: true, frame: 0, played: 0, firstFrameTime: null, context: null, node: null};
    api.playing = true;
    api.plays += 1;
    api.clockLog = [];
    if (bench) {
      api.bench = runFrameBench(bench.frames, bench.level);
      show.running = false;
      api.playing = false;
      page.stage.hidden = true;
      page.message.hidden = false;
      page.message.textContent = frameBenchTable(api.bench);
      page.message.style.whiteSpace = 'pre';
      page.message.style.fontFamily = 'monospace';
      return;
    }
    if (exact) {
      show.startMs = performance.now();
      requestAnimationFrame(exactPass);
      return;
    }
    openSound().then(function(sound) {
      show.context = api.context = sound.context;
      show.node = api.output = sound.node;
      sound.node.port.onmessage = function(event) {
        var news = event.data;
        if (news.firstFrameTime !== undefined) show.firstFrameTime = news.firstFrameTime;
        show.played = api.played = news.played;
        api.underruns = news.underruns;
        if (show.running) topUp(heardFrame());
      };
      topUp(0);
      if (sound.context.state !== 'running') sound.context.resume();
      show.startMs = performance.now();
      requestAnimationFrame(livePass);
    }, function(problem) {
      show.running = false;
      api.playing = false;
      say(problem.message);
    });
  }

  function finish() {
    show.running = false;
    api.playing = false;
    if (show.context) show.context.close();
    if (document.fullscreenElement && document.exitFullscreen) document.exitFullscreen();
    page.stage.hidden = true;
    if (Module._web_start_up() !== 0) return say('The show\'s built-in song could not be read.');
    offerStart('The show is over. Click anywhere or press a key to play it again in full screen.');
    if (api.onEnd) api.onEnd();
  }

  Module['onRuntimeInitialized'] = function() {
    if (!openPicture()) return say('This browser cannot show Kelvorinsaa: WebGL is not available.');
    if (!exact && !bench && !soundAvailable()) {
      return say('This browser cannot play Kelvorinsaa: Web Audio is not available.');
    }
    if (Module._web_start_up() !== 0) return say('The show\'s built-in song could not be read.');
    if (bench) return offerStart('Frame timing: click anywhere or press a key to start.');
    offerStart(exact ? 'Exact frames at ' + exact.fps + ' per second from ' + exact.fromUs / 1e6 +
                       ' s. Click anywhere or press a key to start.'
                     : 'Click anywhere or press a key to start in full screen.');
  };

  api.start = start;
  api.readPixels = function() {
    var gl = Module['gl'];
    var pixels = new Uint8Array(640 * 480 * 4);
    gl.readPixels(0, 0, 640, 480, gl.RGBA, gl.UNSIGNED_BYTE, pixels);
    return pixels;
  };
  return api;
})();
