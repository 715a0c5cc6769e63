// The studio's live sound: the engine's player mixes buffer by buffer a little ahead of the ear
// and the worklet plays them; each buffer's song frame, level, peaks and clipping are kept by its
// place in the stream, so that the picture, the panel and the highlights follow what comes out of
// the speakers. A change (an edit, a seek, a mute, a loop) cuts the stream where the worklet
// stands: what was mixed ahead for the old state is dropped and the new one is heard from there.
// Paused, the song is held still where the cut put it while the stream goes on with the audition
// voice alone, so the keys sound as ever.
const sampleRate = 44100;
const bufferFrames = 1024;
const leadFrames = 2 * sampleRate;  // a page busy drawing or typing never starves the output
const firstBuffers = 8;  // mixed at once after a cut, so the new sound comes out without a gap
const keptFrames = 8 * sampleRate;  // of the stream's history, for the picture and the panel
const visualLagFrames = 4096;        // the show's picture runs this far behind its mixer

export class StudioPlayer {
  constructor(engine, sound) {
    this.engine = engine;
    this.sound = sound;
    this.records = [];  // per buffer posted: stream, song, songAfter, level, peak, clipped, peaks, held
    this.posted = 0;    // stream frames posted to the worklet
    this.report = {played: 0, gapFrames: 0, underruns: 0, firstFrameTime: undefined};
    this.paused = false;
    this.reloadMs = [];  // how long each reload of an edited song took, for the figures
    this.loop = null;    // the loop's first frame and the frame after its last
    this.clipsDropped = 0;  // clipped frames the engine counted in sound dropped at a cut
  }

  // The worklet's news (audio_worklet.js): how far it has played.
  news(data) {
    Object.assign(this.report, data, {at: performance.now()});
    const cut = this.lastCut;
    if (cut && cut.playedMs === undefined && data.played >= cut.stream) {
      cut.playedMs = performance.now() - cut.began;  // the new sound is leaving the worklet
    }
    this.topUp();
  }

  writeText(text) {
    const bytes = new TextEncoder().encode(text);
    const at = this.engine._studio_text_space(bytes.length);
    this.engine.HEAPU8.set(bytes, at);
  }

  // Why the engine refused the text, as the parser words it ("line 12: ...").
  error() {
    return this.engine.UTF8ToString(this.engine._studio_error()).replace(/^song: /, '');
  }

  // '' or why the song cannot play.
  start(text) {
    this.writeText(text);
    if (this.engine._studio_start() !== 0) return this.error();
    this.topUp();
    return '';
  }

  samplesPerRow() {
    return this.engine._studio_samples_per_row();
  }

  endRow() {
    return Math.floor(this.engine._studio_end_frame() / Math.max(this.samplesPerRow(), 1));
  }

  lastChannel() {
    return this.engine._studio_last_channel();
  }

  // Where the new sound can begin: a buffer after where the worklet should be by now, so that
  // it is there in time and starts whole; should it come late, the worklet skips what it has
  // already played of it.
  cutPoint() {
    const since = this.report.at === undefined ? 0 :
        Math.max(0, (performance.now() - this.report.at) * sampleRate / 1000);
    return Math.min(Math.floor(this.report.played + since) + bufferFrames, this.posted);
  }

  recordAt(stream) {
    let low = 0;
    let high = this.records.length - 1;
    let found = null;
    while (low <= high) {
      const middle = (low + high) >> 1;
      if (this.records[middle].stream <= stream) {
        found = this.records[middle];
        low = middle + 1;
      } else {
        high = middle - 1;
      }
    }
    return found;
  }

  songFrameAt(stream) {
    const record = this.recordAt(stream);
    if (!record) return 0;
    if (record.held) return record.song;
    const frame = record.song + Math.min(stream - record.stream, bufferFrames);
    // A buffer in which the loop went back: its end, then its start again.
    if (record.songAfter < record.song && this.loop && frame >= this.loop.end) {
      return this.loop.start + (frame - this.loop.end);
    }
    return frame;
  }

  // Cuts the stream where the worklet stands and runs change(songFrameThere) on the engine, which
  // puts the engine where the stream goes on; returns what change returned.
  cut(change) {
    const began = performance.now();
    const stream = this.cutPoint();
    const result = change(this.songFrameAt(stream));
    while (this.records.length > 0 && this.records[this.records.length - 1].stream >= stream) {
      this.records.pop();
    }
    // The clipped frames of what was dropped were never heard: the count goes on from the last
    // buffer kept.
    const kept = this.records[this.records.length - 1];
    this.clipsDropped = this.engine._studio_clipped_frames() - (kept ? kept.clipped : 0);
    this.posted = stream;
    // Enough for what the worklet may have played meanwhile, which it skips, and a little more;
    // the rest of the lead comes with its next news.
    const late = (performance.now() - began) * sampleRate / 1000;
    const values = this.mixValues(firstBuffers + Math.ceil(late / bufferFrames));
    this.lastCut = {stream, began, changeMs: performance.now() - began};
    this.sound.node.port.postMessage({kind: 'dropFrom', frame: stream, values}, [values.buffer]);
    return result;
  }

  // The edited text from the same frame (the same place of the same row in a new tempo); '' or
  // why the song was refused (the old one plays on).
  reload(text) {
    const began = performance.now();
    const problem = this.cut((frame) => {
      this.writeText(text);
      return this.engine._studio_reload(frame) === 0 ? '' : this.error();
    });
    this.reloadMs.push(performance.now() - began);
    return problem;
  }

  seekRow(row) {
    this.cut(() => this.engine._studio_seek(row));
  }

  setMutes(muted, soloed) {
    this.cut((frame) => this.engine._studio_set_mutes(muted, soloed, frame));
  }

  // Rows from to to (exclusive) over and over; to <= from plays on to the end.
  setLoop(from, to) {
    this.cut((frame) => this.engine._studio_set_loop(from, to, frame));
    const rowFrames = this.samplesPerRow();
    this.loop = to > from ? {start: from * rowFrames, end: to * rowFrames} : null;
  }

  // Paused, the engine is put back to the frame heard at the cut and stays there; playing again
  // goes on from it (from the start after the end).
  async setPaused(paused) {
    const context = this.sound.context;
    if (paused !== this.paused) {
      this.cut((frame) => {
        if (paused) this.engine._studio_restart(frame);
        this.paused = paused;
      });
    }
    if (paused) return undefined;
    if (this.heardSongFrame() >= this.engine._studio_end_frame()) this.seekRow(0);  // again
    return context.state === 'running' ? undefined : context.resume();
  }

  mix(count) {
    this.sound.post(this.mixValues(count));
  }

  // The next count buffers of the engine, kept in the records as posted.
  mixValues(count) {
    const engine = this.engine;
    const values = new Int16Array(count * bufferFrames * 2);
    for (let i = 0; i < count; ++i) {
      const song = engine._studio_frame();
      const stream = this.posted + i * bufferFrames;
      const clipped = engine._studio_clipped_frames() - this.clipsDropped;
      if (this.paused) {
        const at = engine._studio_mix_held_buffer() >> 1;
        const buffer = engine.HEAP16.subarray(at, at + bufferFrames * 2);
        values.set(buffer, i * bufferFrames * 2);
        const peak = buffer.reduce((most, v) => Math.max(most, Math.abs(v)), 0);
        this.records.push({stream, song, songAfter: song, held: true, level: engine._studio_level(),
                           peak, clipped, peaks: new Float32Array(30)});
        continue;
      }
      const at = engine._studio_mix_buffer() >> 1;
      values.set(engine.HEAP16.subarray(at, at + bufferFrames * 2), i * bufferFrames * 2);
      const peaksAt = engine._studio_channel_peaks() >> 2;
      this.records.push({
        stream, song, songAfter: engine._studio_frame(),
        level: engine._studio_level(), peak: engine._studio_buffer_peak(),
        clipped: engine._studio_clipped_frames() - this.clipsDropped,
        peaks: engine.HEAPF32.slice(peaksAt, peaksAt + 30),
      });
    }
    this.posted += count * bufferFrames;
    while (this.records.length > 0 && this.records[0].stream < this.posted - keptFrames) {
      this.records.shift();
    }
    return values;
  }

  topUp() {
    const ahead = this.posted - this.report.played;
    const wanted = Math.ceil((leadFrames - ahead) / bufferFrames);
    const end = this.engine._studio_end_frame();
    const ended = this.engine._studio_at_end() && this.engine._studio_frame() >= end;
    if (wanted > 0 && (this.paused || !ended)) {
      this.mix(wanted);
    }
  }

  // The stream frame now coming out of the speakers, by the context's output clock; -1 before.
  heardStream() {
    const report = this.report;
    if (report.firstFrameTime === undefined) return -1;
    const frame = (this.sound.heardContextTime() - report.firstFrameTime) * sampleRate - report.gapFrames;
    return Math.max(0, Math.min(Math.floor(frame), report.played));
  }

  heardSongFrame() {
    const stream = this.heardStream();
    return stream < 0 ? 0 : this.songFrameAt(stream);
  }

  // What the speakers give now: song frame, row, the panel's figures and the picture's clock.
  heard() {
    const stream = this.heardStream();
    const record = stream >= 0 ? this.recordAt(stream) : null;
    const shownRecord = stream >= 0 ? this.recordAt(stream + visualLagFrames - bufferFrames) : null;
    const end = this.engine._studio_end_frame();  // the player plays silence from there
    // Before the first sound comes out: where the stream begins.
    const first = this.records.length > 0 ? this.records[0].stream : 0;
    const song = Math.min(this.songFrameAt(Math.max(stream, first)), end);
    const rowFrames = Math.max(this.samplesPerRow(), 1);
    return {
      stream, song, row: Math.floor(song / rowFrames), seconds: song / sampleRate,
      peak: record ? record.peak : 0, clipped: record ? record.clipped : 0,
      peaks: record ? record.peaks : new Float32Array(30),
      shownFrames: shownRecord ? shownRecord.songAfter : 0,
      shownLevel: shownRecord ? shownRecord.level : 0,
    };
  }

  // Per channel number, the entry, pattern and row of the heard row's tick (null: not known).
  placesOfRow(row) {
    const at = this.engine._studio_row_places(row);
    if (!at) return null;
    const fields = this.engine.HEAP32.subarray(at >> 2, (at >> 2) + 30 * 4);
    const places = [];
    for (let k = 1; k < 30; ++k) {
      if (fields[k * 4] === -1 && fields[k * 4 + 1] === -1) continue;
      places.push({channel: k, entry: fields[k * 4], pattern: fields[k * 4 + 1],
                   row: fields[k * 4 + 2], finished: fields[k * 4 + 3] === 1});
    }
    return places;
  }
}
