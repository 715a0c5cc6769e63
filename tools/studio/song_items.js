// One line of a song as the parser cuts it, with where each part stands in the line as written:
// blanks and carriage returns left out of the words, the head before the first ":" that follows
// any leading ones, the body's items cut at commas (empty ones skipped). For the hover and the
// completion; the page's thread.

// strtol's reading of a decimal number: leading tabs and the like, a sign, digits; 0 without.
export function readNumber(text) {
  const match = /^[\t\v\f]*([-+]?\d+)/.exec(text);
  return match ? Number(match[1]) : 0;
}

const squeezed = (raw) => raw.replace(/[ \r]/g, '');

export function kindOfHead(head) {
  if (head === 'bpm') return 'tempo';
  return {i: 'instrument', p: 'pattern', t: 'track'}[head[0]] || null;
}

// {kind, number, head: {from, to, word}, colon, items: [{from, to, word}]} with offsets in the
// line, kind null for a comment or a line of no kind; colon -1 when the line has none.
export function lineItems(line) {
  const none = {kind: null, number: 0, head: null, colon: -1, items: []};
  if (squeezed(line)[0] === '#') return none;
  let at = 0;
  while (at < line.length && /[ \r:]/.test(line[at])) ++at;
  let colon = at;
  while (colon < line.length && line[colon] !== ':') ++colon;
  const headWord = squeezed(line.slice(at, colon));
  if (headWord === '') return none;
  const head = {from: at, to: colon, word: headWord};
  const kind = kindOfHead(headWord);
  const items = [];
  if (colon < line.length) {
    let start = colon + 1;
    for (let i = colon + 1; i <= line.length; ++i) {
      if (i < line.length && line[i] !== ',') continue;
      const raw = line.slice(start, i);
      const word = squeezed(raw);
      if (word !== '') {
        const lead = raw.length - raw.replace(/^[ \r]+/, '').length;
        const trail = raw.length - raw.replace(/[ \r]+$/, '').length;
        items.push({from: start + lead, to: i - trail, word});
      }
      start = i + 1;
    }
  }
  return {kind, number: readNumber(headWord.slice(1)), head,
          colon: colon < line.length ? colon : -1, items};
}

// The rows a pattern's items take: "vol" and "sld" share theirs with their argument.
export function patternRows(items) {
  let rows = 0;
  for (let i = 0; i < items.length; ++i) {
    if (items[i].word === 'vol' || items[i].word === 'sld') ++i;
    ++rows;
  }
  return rows;
}

// What the whole text holds for the hover and the completion: the tempo, the defined patterns'
// row counts, and the instrument, pattern and track numbers in use.
export function songOutline(text) {
  const outline = {tempo: 0, patternRows: new Map(), instruments: new Set(), tracks: new Set()};
  let lines = 0;
  for (const line of text.split('\n')) {
    if (squeezed(line) === '' || ++lines > 1000) continue;
    const read = lineItems(line);
    if (read.kind === 'tempo' && outline.tempo === 0) {
      outline.tempo = readNumber(squeezed(line.slice(read.colon + 1)).split(':')[0]);
    } else if (read.kind === 'pattern') {
      outline.patternRows.set(read.number, patternRows(read.items));
    } else if (read.kind === 'instrument') {
      outline.instruments.add(read.number);
    } else if (read.kind === 'track') {
      outline.tracks.add(read.number);
    }
  }
  return outline;
}
