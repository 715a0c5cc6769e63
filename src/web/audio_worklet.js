// The page's player on the audio thread: plays the show's 16-bit stereo buffers, in the order
// the page posts them, as values / 32768, and tells the page how far it has got.
//
// Messages from the page (node.port.postMessage):
//   Int16Array               interleaved left/right values, queued after those posted before
//                            (transfer its buffer); the player ran dry until the first arrives
//   {kind: 'NAME', ...}      a command; kinds this player does not know are ignored, so that a
//                            page can add kinds of its own
//   {kind: 'dropFrom', frame, values}  drops what is queued from frame `frame` of the stream on
//                            (frames counted as `played` counts them) and queues values as that
//                            frame on; what of them, and of the values posted next, lies before
//                            the frame now playing is skipped (the studio's edits and seeks)
// Messages to the page, after the first frame played and then once per 1024 frames:
//   {firstFrameTime, played, underruns, gapFrames}: the context time of the first frame played,
//   the frames played since, how many render quanta found the queue empty after the first frame
//   and how many frames those quanta missed.
class KelvorinsaaPlayer extends AudioWorkletProcessor {
  constructor() {
    super();
    this.queue = [];
    this.offset = 0;  // frames of queue[0] already played
    this.played = 0;
    this.underruns = 0;
    this.firstFrameTime = undefined;
    this.gapFrames = 0;
    this.skip = 0;
    this.port.onmessage = (event) => {
      let values = event.data;
      if (values.kind === 'dropFrom') {
        this.dropFrom(values.frame);
        values = values.values;
      }
      if (values instanceof Int16Array) this.queueSkipping(values);
    };
  }

  queueSkipping(values) {
    const skipped = Math.min(this.skip, values.length / 2);
    this.skip -= skipped;
    if (skipped * 2 < values.length) this.queue.push(values.subarray(skipped * 2));
  }

  dropFrom(frame) {
    let keep = Math.max(frame - this.played, 0);
    const kept = [];
    let offset = this.offset;
    for (const values of this.queue) {
      if (keep <= 0) break;
      const left = values.length / 2 - offset;
      kept.push(left <= keep ? values : values.subarray(0, 2 * (offset + keep)));
      keep -= Math.min(left, keep);
      offset = 0;
    }
    if (kept.length === 0) this.offset = 0;
    this.queue = kept;
    this.skip = Math.max(this.played - frame, 0);
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
    if (i < left.length && this.firstFrameTime !== undefined) {
      this.underruns += 1;
      this.gapFrames += left.length - i;
    }
    left.fill(0, i);
    right.fill(0, i);
    const before = this.played;
    this.played += this.firstFrameTime === undefined ? 0 : i;
    if (this.firstFrameTime !== undefined && (before === 0 || (this.played >> 10) !== (before >> 10))) {
      this.port.postMessage({firstFrameTime: this.firstFrameTime, played: this.played,
                             underruns: this.underruns, gapFrames: this.gapFrames});
    }
    return true;
  }
}

registerProcessor('kelvorinsaa-player', KelvorinsaaPlayer);
