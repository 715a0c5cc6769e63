// The arrangement strip: channels by rows, each track entry a block where the engine plays it,
// its notes punched in by pitch, and the heard row as a line over them. The blocks are drawn
// once per song on one canvas; the line moves on a second canvas laid over it. A click seeks to
// the row under it, and on a block also puts the editor's cursor on that pattern's line. The
// page's thread.
const laneHeight = 14;
const fields = 4;  // per channel and row: entry, pattern, row, note hertz (studio_arrangement)
const channelSlots = 30;

// The song's places as the engine walks them (studio_arrangement): per channel, its blocks
// {channel, entry, pattern, from, to, notes: [{row, hertz}]}, rows from ... to - 1.
export function readArrangement(engine, rows) {
  const at = engine._studio_arrangement(rows) >> 2;
  const table = engine.HEAP32.subarray(at, at + rows * channelSlots * fields);
  const blocks = [];
  for (let k = 1; k < channelSlots; ++k) {
    let block = null;
    for (let row = 0; row < rows; ++row) {
      const cell = (row * channelSlots + k) * fields;
      const entry = table[cell];
      // Row 0 of the same entry again: a one-entry track looping on it.
      const fresh = block && (entry !== block.entry || table[cell + 2] === 0);
      if (block && (entry < 0 || fresh)) block = null;
      if (entry >= 0 && !block) {
        block = {channel: k, entry, pattern: table[cell + 1], from: row, to: row, notes: []};
        blocks.push(block);
      }
      if (!block) continue;
      block.to = row + 1;
      if (table[cell + 3] > 0) block.notes.push({row, hertz: table[cell + 3]});
    }
  }
  return blocks;
}

function hue(pattern) {
  return (pattern * 47) % 360;
}

export function createArrangement(parent, actions) {
  const box = document.createElement('div');
  box.className = 'arrangement';
  const blocksCanvas = document.createElement('canvas');
  const lineCanvas = document.createElement('canvas');
  blocksCanvas.id = 'arrangement';
  lineCanvas.className = 'heard-line';
  box.append(blocksCanvas, lineCanvas);
  parent.append(box);
  const state = {blocks: [], rows: 1, channels: 0, heardRow: -1, drawMs: 0};

  function rowAt(x) {
    return Math.max(0, Math.min(state.rows - 1,
                                Math.floor(x / blocksCanvas.clientWidth * state.rows)));
  }

  blocksCanvas.addEventListener('click', (event) => {
    const rect = blocksCanvas.getBoundingClientRect();
    const row = rowAt(event.clientX - rect.left);
    const channel = Math.floor((event.clientY - rect.top) / laneHeight) + 1;
    const block = state.blocks.find((b) => b.channel === channel && b.from <= row && row < b.to);
    actions.seek(row);
    if (block) actions.showPattern(block.pattern);
  });

  function drawBlocks() {
    const began = performance.now();
    const width = Math.max(1, Math.floor(box.clientWidth || 600));
    const height = Math.max(1, state.channels * laneHeight);
    for (const canvas of [blocksCanvas, lineCanvas]) {
      canvas.width = width;
      canvas.height = height;
    }
    const g = blocksCanvas.getContext('2d');
    g.fillStyle = '#180e0e';
    g.fillRect(0, 0, width, height);
    const scale = width / state.rows;
    for (const block of state.blocks) {
      const top = (block.channel - 1) * laneHeight;
      const x = block.from * scale;
      g.fillStyle = `hsl(${hue(block.pattern)}, 35%, 22%)`;
      g.fillRect(x, top + 1, Math.max(1, (block.to - block.from) * scale - 1), laneHeight - 2);
      g.fillStyle = `hsl(${hue(block.pattern)}, 70%, 70%)`;
      for (const note of block.notes) {
        // Six octaves from 32 Hz up to the lane's height.
        const pitch = Math.max(0, Math.min(1, Math.log2(note.hertz / 32) / 6));
        g.fillRect(note.row * scale, top + 1 + (1 - pitch) * (laneHeight - 4),
                   Math.max(1, scale), 2);
      }
    }
    state.drawMs = performance.now() - began;
    drawLine();
  }

  function drawLine() {
    const g = lineCanvas.getContext('2d');
    g.clearRect(0, 0, lineCanvas.width, lineCanvas.height);
    if (state.heardRow < 0) return;
    g.fillStyle = '#fff';
    g.fillRect(Math.floor(state.heardRow * lineCanvas.width / state.rows), 0, 1, lineCanvas.height);
  }

  return {
    // A new song: blocks from readArrangement for rows rows and channels 1 ... channels.
    setSong(blocks, rows, channels) {
      Object.assign(state, {blocks, rows: Math.max(rows, 1), channels});
      drawBlocks();
    },
    setHeardRow(row) {
      if (row === state.heardRow) return;
      state.heardRow = row;
      drawLine();
    },
    redraw: drawBlocks,
    blocks: () => state.blocks,
    drawMs: () => state.drawMs,
  };
}
