// The instrument under the fingers: the computer's keyboard as two octaves (the Z row the lower,
// the Q row the upper, an octave control) and a MIDI keyboard, once the person turns it on,
// play an instrument of the song through the engine's audition voice; step entry writes each
// note played into the pattern line at the editor's cursor and moves on one item. The page's
// thread.
//
// Which instrument: the one whose line holds the cursor; on a track line, that track's
// channel's; anywhere else the last one chosen, which the panel names. The keys play only while
// "Keys play" is on, and then only the two rows' letters and digits without Ctrl, Alt or Meta
// are taken from the editor: arrows, Backspace, Enter and shortcuts work as ever.
const lowerRow = ['z', 's', 'x', 'd', 'c', 'v', 'g', 'b', 'h', 'n', 'j', 'm'];
const upperRow = ['q', '2', 'w', '3', 'e', 'r', '5', 't', '6', 'y', '7', 'u'];
const letters = ['c', 'C', 'd', 'D', 'e', 'f', 'F', 'g', 'G', 'a', 'A', 'b'];  // C ... B

// Semitones above the lower octave's C, by key.
const keySemitones = new Map([...lowerRow.map((key, i) => [key, i]),
                              ...upperRow.map((key, i) => [key, 12 + i])]);

// The engine's note names and their hertz (its note table has fewer than 128 entries).
function noteTable(engine) {
  const hertz = new Map();
  for (let i = 0; i < 128; ++i) {
    const name = engine.UTF8ToString(engine._studio_note_name(i));
    if (name !== '') hertz.set(name, engine._studio_note_hertz(i));
  }
  return hertz;
}

export function noteName(octave, semitone) {
  return letters[semitone % 12] + String(octave + Math.floor(semitone / 12));
}

// The line's head, as the parser reads it: blanks and carriage returns left out.
function headOf(lineText) {
  const compact = lineText.replace(/[ \r]/g, '');
  const match = /^([itp])([-+]?\d+):/.exec(compact);
  return match ? {kind: match[1], number: Number(match[2])} : null;
}

// The items of a pattern line: [from, to] within the line, blanks trimmed; an empty item
// stands where its text would be.
export function lineItems(lineText) {
  const colon = lineText.indexOf(':');
  if (colon < 0) return [];
  const items = [];
  let start = colon + 1;
  for (let i = start; i <= lineText.length; ++i) {
    if (i === lineText.length || lineText[i] === ',') {
      let from = start;
      let to = i;
      while (from < to && /[ \r]/.test(lineText[from])) ++from;
      while (to > from && /[ \r]/.test(lineText[to - 1])) --to;
      items.push([from, to]);
      start = i + 1;
    }
  }
  return items;
}

// The change that writes name at the cursor of a pattern line (the item holding it, or the next
// one; a new one at the line's end) and the cursor's place after it, on the next item.
export function stepEntry(lineText, column, name) {
  const items = lineItems(lineText);
  let index = items.findIndex(([, to]) => column <= to);
  if (index < 0) {
    const end = lineText.replace(/[ \r]+$/, '').length;
    return {from: end, to: end, insert: ',' + name, cursor: end + 1 + name.length};
  }
  const [from, to] = items[index];
  const next = items[index + 1];
  const shift = name.length - (to - from);
  const cursor = next ? next[0] + shift : from + name.length;
  return {from, to, insert: name, cursor};
}

// actions: {editor(), play(instrument, hertz), alone(on): the song muted or not, say(text)}.
export function createKeyInstrument(parent, engine, actions) {
  const box = document.createElement('div');
  box.className = 'keys';
  box.innerHTML = '<label><input type="checkbox" id="keys-play"> Keys play</label> ' +
      '<label>octave <input type="number" id="key-octave" min="1" max="5" value="3"></label> ' +
      '<label><input type="checkbox" id="step-entry"> step entry</label> ' +
      '<label><input type="checkbox" id="keys-alone"> alone</label> ' +
      '<button type="button" id="midi-on">MIDI</button> <span id="key-instrument"></span>';
  parent.append(box);
  const find = (id) => box.querySelector('#' + id);
  // Read at the first note: the engine fills its note table when it starts a song.
  let hertzOf = null;
  const state = {chosen: 1, played: []};

  function cursorLine() {
    const view = actions.editor();
    const head = view.state.selection.main.head;
    return {view, line: view.state.doc.lineAt(head), head};
  }

  // The instrument the cursor chooses, remembered for the lines that choose none.
  function instrument() {
    const {line} = cursorLine();
    const head = headOf(line.text);
    if (head && head.kind === 'i') state.chosen = head.number;
    if (head && head.kind === 't') state.chosen = head.number;  // channel N plays instrument N
    find('key-instrument').textContent = `instrument ${state.chosen}`;
    return state.chosen;
  }

  function writeStep(name) {
    const {view, line, head} = cursorLine();
    const lineHead = headOf(line.text);
    if (!lineHead || lineHead.kind !== 'p') return;
    const change = stepEntry(line.text, head - line.from, name);
    view.dispatch({changes: {from: line.from + change.from, to: line.from + change.to,
                             insert: change.insert},
                   selection: {anchor: line.from + change.cursor}, scrollIntoView: true});
  }

  function playNote(name) {
    if (!hertzOf || hertzOf.size === 0) hertzOf = noteTable(engine);
    const hertz = hertzOf.get(name);
    if (!hertz) return;
    const n = instrument();
    state.played.push({name, instrument: n, at: performance.now()});
    actions.play(n, hertz);
    if (find('step-entry').checked) writeStep(name);
  }

  window.addEventListener('keydown', (event) => {
    if (!find('keys-play').checked || event.ctrlKey || event.altKey || event.metaKey) return;
    const semitone = keySemitones.get(event.key.toLowerCase());
    const target = event.target;
    // Fields that take text keep their keys; a box just ticked or a button does not.
    const inField = (target instanceof HTMLInputElement && /^(text|number|search)$/.test(target.type)) ||
                    target instanceof HTMLSelectElement || target instanceof HTMLTextAreaElement;
    if (semitone === undefined || inField) return;
    event.preventDefault();
    event.stopPropagation();
    if (!event.repeat) playNote(noteName(Number(find('key-octave').value) || 3, semitone));
  }, true);

  find('keys-alone').addEventListener('change', () => actions.alone(find('keys-alone').checked));

  find('midi-on').addEventListener('click', async () => {
    if (!navigator.requestMIDIAccess) return actions.say('This browser has no Web MIDI.');
    find('midi-on').textContent = 'MIDI (asking)';  // the browser may ask the person first
    try {
      const access = await navigator.requestMIDIAccess();
      const listen = (input) => {
        input.onmidimessage = (message) => {
          const [status, key, velocity] = message.data;
          // Note on; MIDI's octave -1 starts at key 0, so the song's octave 1 is keys 24 ... 35.
          if ((status & 0xf0) === 0x90 && velocity > 0) {
            playNote(noteName(Math.floor(key / 12) - 1, key % 12));
          }
        };
      };
      access.inputs.forEach(listen);
      access.onstatechange = (event) => {
        if (event.port.type === 'input') listen(event.port);
      };
      find('midi-on').classList.add('on');
      find('midi-on').textContent = `MIDI (${access.inputs.size} in)`;
    } catch (e) {
      find('midi-on').textContent = 'MIDI';
      actions.say(`The browser refused MIDI: ${e.message}.`.replace(/\.\.$/, '.'));
    }
  });

  return {instrument, playNote, played: () => state.played,
          alone: () => find('keys-alone').checked};
}
