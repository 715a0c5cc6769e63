// The song language for the editor: its highlighting (heads, notes, rests, keywords, numbers,
// comments), and where in the text each pattern's and track's entries stand, read the way the
// engine's parser reads them (blanks and carriage returns left out, lines cut at line feeds, at
// most 1000 of them, items cut at commas), so that the heard entries can be marked.
import {StreamLanguage, HighlightStyle} from '@codemirror/language';
import {tags} from '@lezer/highlight';

const noteName = /^[cCdDefFgGaAb][1-6]$/;
const keywords = new Set(['echo1', 'echo0', 'stop', 'vol', 'sld', 'loop', 'bpm']);
const waveforms = new Set(['kantti', 'sini', 'saha', 'kohina']);
const maxLines = 1000;

function itemKind(word, lineKind) {
  if (lineKind === 'pattern') {
    if (noteName.test(word)) return 'note';
    if (keywords.has(word)) return 'keyword';
    if (/^0+$/.test(word)) return 'rest';
    if (/^[-+]?\d+$/.test(word)) return 'number';
    return 'rest';  // any other word is a row without an event
  }
  if (lineKind === 'track') return word === 'loop' ? 'keyword' : 'reference';
  if (lineKind === 'instrument') return waveforms.has(word) ? 'keyword' : 'number';
  return /^[-+]?\d+$/.test(word) ? 'number' : null;
}

function kindOfHead(head) {
  if (head === 'bpm') return 'tempo';
  return {i: 'instrument', p: 'pattern', t: 'track'}[head[0]] || null;
}

export const songLanguage = StreamLanguage.define({
  name: 'kelvorinsaa-song',
  startState: () => ({lineKind: null, inBody: false}),
  token(stream, state) {
    if (stream.sol()) {
      state.lineKind = null;
      state.inBody = false;
      if (stream.match(/^[ \r]*#.*/)) return 'comment';
    }
    if (stream.eatSpace()) return null;
    if (!state.inBody) {
      if (stream.eat(':')) {
        if (state.lineKind !== null || stream.string.slice(0, stream.pos).replace(/[ \r:]/g, '')) {
          state.inBody = true;
        }
        return 'punctuation';
      }
      stream.match(/^[^:]+/);
      const head = stream.current().replace(/[ \r]/g, '');
      state.lineKind = kindOfHead(head) || 'other';
      return state.lineKind === 'other' ? null : 'heading';
    }
    if (stream.eat(',')) return 'punctuation';
    stream.match(/^[^,]+/);
    const kind = itemKind(stream.current().replace(/[ \r]/g, ''), state.lineKind);
    return {note: 'string', keyword: 'keyword', rest: 'null', number: 'number',
            reference: 'labelName'}[kind] || null;
  },
  languageData: {commentTokens: {line: '#'}},
});

export const songHighlightStyle = HighlightStyle.define([
  {tag: tags.comment, color: '#7f8c7f', fontStyle: 'italic'},
  {tag: tags.heading, color: '#f0a8a8', fontWeight: 'bold'},
  {tag: tags.string, color: '#9fd3ff'},
  {tag: tags.keyword, color: '#e6c07b'},
  {tag: tags.null, color: '#6a6a78'},
  {tag: tags.number, color: '#c7a0ff'},
  {tag: tags.labelName, color: '#a8e0a0'},
  {tag: tags.punctuation, color: '#8a8080'},
]);

// strtol's reading of a decimal number: leading white space, a sign, digits; 0 without digits.
export function readNumber(text) {
  const match = /^[\t\v\f]*([-+]?\d+)/.exec(text);
  return match ? Number(match[1]) : 0;
}

// Each pattern's and track's entries in the text, as [from, to] offsets of their items, by
// number: {patterns: Map, tracks: Map}. A later line for the same number wins, as in the parser.
export function songPlaces(text) {
  const patterns = new Map();
  const tracks = new Map();
  let lineStart = 0;
  let lines = 0;
  while (lineStart <= text.length && lines < maxLines) {
    let lineEnd = text.indexOf('\n', lineStart);
    if (lineEnd < 0) lineEnd = text.length;
    const line = text.slice(lineStart, lineEnd);
    const compact = line.replace(/[ \r]/g, '');
    if (compact !== '') {
      ++lines;
      readLine(line, lineStart, compact, patterns, tracks);
    }
    lineStart = lineEnd + 1;
  }
  return {patterns, tracks};
}

function readLine(line, offset, compact, patterns, tracks) {
  if (compact[0] === '#') return;
  const headStart = compact.search(/[^:]/);
  if (headStart < 0) return;
  const colon = compact.indexOf(':', headStart);
  const head = compact.slice(headStart, colon < 0 ? compact.length : colon);
  const kind = head === 'bpm' ? null : {p: patterns, t: tracks}[head[0]];
  if (!kind) return;
  const number = readNumber(head.slice(1));
  // The body's items in the raw line: after the first ':' that follows the head.
  let at = 0;
  while (at < line.length && (line[at] === ' ' || line[at] === '\r' || line[at] === ':')) ++at;
  while (at < line.length && line[at] !== ':') ++at;
  const items = [];
  if (colon >= 0) {
    let start = at + 1;
    for (let i = at + 1; i <= line.length; ++i) {
      if (i === line.length || line[i] === ',') {
        const raw = line.slice(start, i);
        const word = raw.replace(/[ \r]/g, '');
        if (word !== '') {
          const lead = raw.length - raw.replace(/^[ \r]+/, '').length;
          const trail = raw.length - raw.replace(/[ \r]+$/, '').length;
          items.push({from: offset + start + lead, to: offset + i - trail, word});
        }
        start = i + 1;
      }
    }
  }
  kind.set(number, items.map((item) => [item.from, item.to]));
}
