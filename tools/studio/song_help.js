// The language at hand: what the item under the pointer is (its field, its value in the song's
// units, its range and what a value outside does, from the engine's table of fields), and the
// completion of heads, waveform words, keywords, notes and the patterns the text defines. The
// page's thread; CodeMirror's hover tooltip and autocompletion show them.
import {hoverTooltip} from '@codemirror/view';
import {autocompletion} from '@codemirror/autocomplete';
import {lineItems, readNumber, songOutline} from './song_items.js';

// The engine's table (studio_fields) as the hover reads it.
export function readFields(json) {
  const table = JSON.parse(json);
  const byPlace = new Map(table.fields.map((f) => [`${f.kind} ${f.item}`, f]));
  table.field = (kind, item) => byPlace.get(`${kind} ${item}`);
  table.keyword = (kind, word) => table.keywords.find((k) => k.kind === kind && k.word === word);
  table.noteHz = new Map(table.notes);
  table.wavePeriod = Math.trunc(table.sampleRate / table.basePitch);
  return table;
}

const shown = (x) => String(Number(x.toPrecision(6)));

function ms(table, frames) {
  return `${shown(frames * 1000 / table.sampleRate)} ms`;
}

function rowFrames(table, tempo) {
  const divisor = Math.trunc(tempo * 10 / 25);
  return tempo >= 3 && divisor > 0 ? Math.trunc(table.sampleRate * 6 / divisor) : 0;
}

// Rows as beats (four rows a beat) and seconds at the text's tempo.
function rowsWords(table, rows, tempo) {
  const frames = rowFrames(table, tempo);
  const time = frames > 0 ? `, ${shown(rows * frames / table.sampleRate)} s` : '';
  return `${rows} row${rows === 1 ? '' : 's'} (${shown(rows / 4)} beats${time})`;
}

// The value of a numeric field as the engine uses it.
const valueWords = {
  'tempo': (t, v) => {
    const frames = rowFrames(t, v);
    return frames > 0 ? `${v} bpm: a row is ${frames} frames (${ms(t, frames)}), an echo ` +
                        `${3 * frames} frames` : `${v} bpm: no row length (the parser refuses it)`;
  },
  'mod rate': (t, v) => v === 0 ? '0: no ring modulation'
      : `${v}: a sine at ${shown(v / 100 * t.sampleRate / t.wavePeriod)} Hz multiplies the sample`,
  'pitch slide': (t, v) => `${v}: the pitch moves by ${shown(v / 1000)} of the base pitch every ` +
                           `${t.wavePeriod} frames (${ms(t, t.wavePeriod)})`,
  'pan': (t, v) => {
    const left = Math.fround(Math.fround(v) / 100);
    return `${v}: ${shown(left)} of the channel to the left, ${shown(Math.fround(1 - left))} ` +
           'to the right';
  },
  'filter': (t, v) => {
    const c = Math.fround(Math.fround(v) / 100);
    return v === 0 ? '0: no filter'
        : `${v}: y = x \u00d7 ${shown(Math.fround(1 - c))} + ${shown(c)} \u00d7 y_before`;
  },
  'volume': (t, v) => `${v}: the channel's gain is ${shown(Math.fround(v / 100))}`,
  'slide': (t, v) => `${v}: ${shown(Math.fround(v / 100000))} added to the playback rate per frame`,
};

function numberFacts(table, field, word, tempo) {
  const value = readNumber(word);
  const facts = [];
  const plural = value === 1 ? '' : 's';
  if (field.unit === 'frames') facts.push(`${value} frame${plural} = ${ms(table, value)}`);
  else if (valueWords[field.name]) facts.push(valueWords[field.name](table, value, tempo));
  if (!/^[-+]?\d+$/.test(word)) facts.push(`"${word}" is no number: it reads as ${value}`);
  const band = field.outside.find((b) => (b.low === null || value >= b.low) &&
                                         (b.high === null || value <= b.high));
  if (band) facts.push(`outside ${field.low}...${field.high}: ${band.text}`);
  return facts;
}

function fieldFacts(field) {
  const range = field.low === null ? 'all it takes' : `${field.low} to ${field.high}`;
  return [field.meaning, `takes: ${field.takes}`, `does what its name says: ${range}`];
}

function patternItemFacts(table, word, row, pattern, tempo) {
  const where = `row ${row} of pattern ${pattern}, after ${rowsWords(table, row, tempo)}`;
  const hz = table.noteHz.get(word);
  if (hz) {
    return [`note ${word}: ${hz} Hz, its sample played at ${hz}/${table.basePitch} = ` +
            `${shown(Math.fround(hz / table.basePitch))} of its speed`, where];
  }
  const keyword = table.keyword('pattern', /^0+$/.test(word) ? '00' : word);
  if (keyword) return [`${word}: ${keyword.meaning}`, where];
  return [`"${word}" is no note or keyword: it plays as a rest`, where];
}

function trackEntryFacts(table, outline, entries, index, tempo) {
  const word = entries[index].word;
  if (word === 'loop') return [`loop: ${table.keyword('track', 'loop').meaning}`];
  const pattern = readNumber(word.slice(1));
  let start = 0;
  for (let i = 0; i < index; ++i) {
    if (entries[i].word === 'loop') continue;
    start += outline.patternRows.get(readNumber(entries[i].word.slice(1))) || 0;
  }
  const rows = outline.patternRows.get(pattern);
  const length = rows === undefined ? 'which no pattern line defines'
                                    : rowsWords(table, rows, tempo);
  return [`pattern ${pattern}: ${length}`,
          `starts at row ${start} of the track, after ${rowsWords(table, start, tempo)}`];
}

// What stands at offset pos of text: {from, to, field, title, facts} or null.
export function describeAt(table, text, pos) {
  const lineStart = text.lastIndexOf('\n', pos - 1) + 1;
  const lineEnd = text.indexOf('\n', pos) < 0 ? text.length : text.indexOf('\n', pos);
  const read = lineItems(text.slice(lineStart, lineEnd));
  if (!read.kind) return null;
  const at = pos - lineStart;
  const place = (part, field, facts) => ({from: lineStart + part.from, to: lineStart + part.to,
                                          field: field.name, title: field.name, facts});
  if (at >= read.head.from && at <= read.head.to) {
    const field = table.field(read.kind, 0);
    const named = read.kind === 'tempo' ? 'the tempo line' : `${read.kind} ${read.number}`;
    return place(read.head, field, [`${read.head.word}: ${named}`, ...fieldFacts(field)]);
  }
  const index = read.items.findIndex((item) => at >= item.from && at <= item.to);
  if (index < 0) return null;
  const item = read.items[index];
  const outline = songOutline(text);
  if (read.kind === 'pattern') {
    let row = 0;
    for (let i = 0; i < index; ++i) {
      const keyword = read.items[i].word;
      if (keyword === 'vol' || keyword === 'sld') {
        if (i + 1 === index) {
          const field = table.field('pattern', keyword === 'vol' ? -1 : -2);
          return place(item, field, [...numberFacts(table, field, item.word, outline.tempo),
                                     ...fieldFacts(field)]);
        }
        ++i;
      }
      ++row;
    }
    const field = table.field('pattern', 1);
    return place(item, field, patternItemFacts(table, item.word, row, read.number, outline.tempo));
  }
  if (read.kind === 'track') {
    const field = table.field('track', 1);
    return place(item, field, trackEntryFacts(table, outline, read.items, index, outline.tempo));
  }
  const field = table.field(read.kind, index + 1);
  if (!field) {
    return {from: lineStart + item.from, to: lineStart + item.to, field: 'ignored',
            title: 'ignored', facts: ['the parser reads no further than item 9']};
  }
  if (field.name === 'waveform') {
    const known = table.waveforms.includes(item.word);
    return place(item, field, [known ? `${item.word}` : `unknown waveform "${item.word}": the ` +
                               'line keeps the waveform of the line before', ...fieldFacts(field)]);
  }
  return place(item, field, [...numberFacts(table, field, item.word, outline.tempo),
                             ...fieldFacts(field)]);
}

function tooltipDom(description) {
  const box = document.createElement('div');
  box.className = 'song-help';
  const title = document.createElement('strong');
  title.textContent = description.title;
  box.append(title);
  for (const fact of description.facts) {
    const line = document.createElement('div');
    line.textContent = fact;
    box.append(line);
  }
  return box;
}

// The hover: table() gives the table once the engine has it (null before).
export function songHover(table) {
  return hoverTooltip((view, pos) => {
    const fields = table();
    const description = fields && describeAt(fields, view.state.doc.toString(), pos);
    if (!description) return null;
    return {pos: description.from, end: description.to, above: true,
            create: () => ({dom: tooltipDom(description)})};
  }, {hoverTime: 250});
}

const keywordOptions = ['echo1', 'echo0', 'stop', 'vol', 'sld', '00'];

function nextFree(used) {
  let n = 1;
  while (used.has(n)) ++n;
  return n;
}

// The options for the word before pos: {from, options, long} or null; long: the pattern's
// notes and keywords, too many to open at every comma.
export function completionsAt(table, text, pos) {
  const lineStart = text.lastIndexOf('\n', pos - 1) + 1;
  const before = text.slice(lineStart, pos);
  const word = /[A-Za-z0-9]*$/.exec(before)[0];
  const from = pos - word.length;
  const read = lineItems(before);
  const outline = songOutline(text);
  const option = (label, detail) => ({label, detail});
  if (!before.includes(':')) {
    return {from, options: [
      option('bpm:', 'tempo'),
      option(`i${nextFree(outline.instruments)}:`, 'instrument'),
      option(`p${nextFree(new Set(outline.patternRows.keys()))}:`, 'pattern'),
      option(`t${nextFree(outline.tracks)}:`, 'track')]};
  }
  const itemIndex = read.items.length - (word !== '' ? 1 : 0);
  if (read.kind === 'instrument' && itemIndex === 0) {
    return {from, options: table.waveforms.map((w) => option(w, 'waveform'))};
  }
  if (read.kind === 'pattern') {
    const previous = read.items[itemIndex - 1];
    if (previous && (previous.word === 'vol' || previous.word === 'sld')) return null;
    return {from, long: true, options: [
      ...keywordOptions.map((k) => option(k, table.keyword('pattern', k).meaning)),
      ...table.notes.map(([name, hz]) => option(name, `${hz} Hz`))]};
  }
  if (read.kind === 'track') {
    const patterns = [...outline.patternRows.keys()].sort((a, b) => a - b);
    return {from, options: [
      ...patterns.map((p) => option(`p${p}`, `${outline.patternRows.get(p)} rows`)),
      option('loop', table.keyword('track', 'loop').meaning)]};
  }
  return null;
}

export function songCompletion(table) {
  return autocompletion({override: [(context) => {
    const fields = table();
    if (!fields) return null;
    const found = completionsAt(fields, context.state.doc.toString(), context.pos);
    if (!found) return null;
    const word = context.state.doc.sliceString(found.from, context.pos);
    const before = context.state.doc.sliceString(Math.max(0, context.pos - 1), context.pos);
    // A separator opens the short lists (waveforms, patterns), not the 78 notes and keywords.
    const opened = word !== '' || (/[:,]/.test(before) && !found.long);
    if (!opened && !context.explicit) return null;
    // A word typed whole that nothing longer continues needs nothing: Enter ends the line.
    const longer = found.options.filter((o) => o.label.startsWith(word));
    if (!context.explicit && longer.length === 1 && longer[0].label === word) return null;
    return {...found, validFor: /^[A-Za-z0-9]*$/};
  }]});
}
