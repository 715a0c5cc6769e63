// The song language for the editor: its highlighting (heads, notes, rests, keywords, numbers,
// comments), and where in the text each pattern's and track's entries stand, read the way the
// engine's parser reads them (blanks and carriage returns left out, lines cut at line feeds, at
// most 1000 of them, items cut at commas), so that the heard entries can be marked.
import {StreamLanguage, HighlightStyle} from '@codemirror/language';
import {tags} from '@lezer/highlight';
import {kindOfHead, lineItems} from './song_items.js';

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
      readLine(line, lineStart, patterns, tracks);
    }
    lineStart = lineEnd + 1;
  }
  return {patterns, tracks};
}

function readLine(line, offset, patterns, tracks) {
  const read = lineItems(line);
  const places = {pattern: patterns, track: tracks}[read.kind];
  if (places) places.set(read.number, read.items.map((item) => [offset + item.from, offset + item.to]));
}
