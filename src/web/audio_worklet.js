// The page's player on the audio thread: plays the show's 16-bit stereo buffers, in the order
// the page posts them, as values / 32768, and tells the page how far it has got.
//
// Messages from the page (node.port.postMessage):
//   Int16Array               interleaved left/right values, queued after those posted before
//                            (transfer its buffer); the player ran dry until the first arrives
//   {kind: 'NAME', ...}      a command; kinds this player does not know are ignored, so that a
//                            page can add kinds of its own (none yet)
// Messages to the page, after the first frame played and then once per 1024 frames:
//   {firstFrameTime, played, underruns}: the context time of the first frame played, the frames
//   played since, and how many render quanta found the queue empty after the first frame.
class KelvorinsaaPlayer extends AudioWorkletProcessor {
  constructor() {
    super();
    this.queue = [];
    this.offset = 0;  // frames of queue[0] already played
    this.played = 0;
    this.underruns = 0;
    this.firstFrameTime = undefined;
    this.port.onmessage = (event) => {
      if (event.data instanceof Int16Array) this.queue.push(event.data);
    };
  }

  process(inputs, outputs) {
    const left = outputs[0][0];
    const right = outputs[0][1];
    let i = 0;
    while (i < left.length && this.queue.length > 0) {
      const values = this.queue[0];
      if (this.firstFrameTime === undefined) this.firstFrameTime = currentTime + i / sampleRate;
      const count = Math.min(left.length - i, values.length / 2 - this.offset);
      for (let j = 0; j < count; ++j) {
        left[i + j] = values[2 * (this.offset + j)] / 32768;
        right[i + j] = values[2 * (this.offset + j) + 1] / 32768;
      }
      i += count;
      this.offset += count;
      if (this.offset * 2 === values.length) {
        this.queue.shift();
        this.offset = 0;
      }
    }
    if (i < left.length && this.firstFrameTime !== undefined) this.underruns += 1;
    left.fill(0, i);
    right.fill(0, i);
    const before = this.played;
    this.played += this.firstFrameTime === undefined ? 0 : i;
    if (this.firstFrameTime !== undefined && (before === 0 || (this.played >> 10) !== (before >> 10))) {
      this.port.postMessage({firstFrameTime: this.firstFrameTime, played: this.played,
                             underruns: this.underruns});
    }
    return true;
  }
}

registerProcessor('kelvorinsaa-player', KelvorinsaaPlayer);
