// Plays a stream of 16-bit stereo values as AudioBufferSourceNodes started one after another on
// the context's timeline, seconds ahead of the ear: the engine's own graph then plays them with
// nothing of the page on its way, where a worklet fed by messages broke up on a busy machine.
// Each piece starts on a quarter second of context time and lasts whole quarter seconds: such
// times are exact in binary and fall on whole frames at 44100 Hz, so no engine resamples a piece
// to a fraction of a frame, and the values come out as posted (value / 32768). Main thread.
//
// Usage: const player = scheduleSound(context, onNews);
//   player.output              // the node all pieces play through (a gain of 1: values unchanged)
//   player.post(int16Values);  // after what was posted before
//   player.news();             // {firstFrameTime, played, underruns, gapFrames}, as the worklet's
//   player.close();
// onNews gets the news after each post and four times a second, also in a hidden tab, where
// no animation frame asks for more sound.
const rate = 44100;
const pieceFrames = rate / 4;
const firstDelay = 0.1;  // seconds from the first post to the first sound, at least
const newsMs = 250;

export function scheduleSound(context, onNews) {
  const output = context.createGain();
  output.connect(context.destination);
  const pending = new Int16Array(pieceFrames * 2);
  let pendingFrames = 0;
  let firstQuarter = null;  // the quarter second of context time where frame 0 of the stream starts
  let scheduled = 0;        // frames of the stream given to the context
  let underruns = 0;
  let gapFrames = 0;

  const quarterNotBefore = (time) => Math.ceil(time * 4);
  const played = () => firstQuarter === null ? 0 :
      Math.max(0, Math.min(Math.floor((context.currentTime - firstQuarter / 4) * rate), scheduled));

  function startPiece() {
    const buffer = context.createBuffer(2, pieceFrames, rate);
    const left = buffer.getChannelData(0);
    const right = buffer.getChannelData(1);
    for (let i = 0; i < pieceFrames; ++i) {
      left[i] = pending[2 * i] / 32768;
      right[i] = pending[2 * i + 1] / 32768;
    }
    const now = context.currentTime;
    if (firstQuarter === null) firstQuarter = quarterNotBefore(now + firstDelay);
    let quarter = firstQuarter + scheduled / pieceFrames;
    if (quarter / 4 < now + 0.01) {  // the page came too late: the stream goes on after a gap
      const later = quarterNotBefore(now + firstDelay);
      underruns += 1;
      gapFrames += (later - quarter) * pieceFrames;
      firstQuarter += later - quarter;
      quarter = later;
    }
    const source = context.createBufferSource();
    source.buffer = buffer;
    source.connect(output);
    source.start(quarter / 4);
    scheduled += pieceFrames;
  }

  const player = {
    output,
    post(values) {
      let at = 0;
      while (at < values.length) {
        const count = Math.min(values.length - at, (pieceFrames - pendingFrames) * 2);
        pending.set(values.subarray(at, at + count), pendingFrames * 2);
        pendingFrames += count / 2;
        at += count;
        if (pendingFrames === pieceFrames) {
          startPiece();
          pendingFrames = 0;
        }
      }
      onNews(player.news());
    },
    // Frames counted from the stream's first frame, as the worklet counts them: the gaps after a
    // late page move the stream's start, not its frames.
    news: () => ({firstFrameTime: firstQuarter === null ? undefined : firstQuarter / 4,
                  played: played(), underruns, gapFrames}),
    close: () => clearInterval(newsTimer),
  };
  const newsTimer = setInterval(() => onNews(player.news()), newsMs);
  return player;
}
