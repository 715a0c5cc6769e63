// The reference drawer: a short page of the song language made from the engine's table of fields
// (the one the lint and the hover read), by line kind: each item's field, unit, what the parser
// takes, where it does what its name says and what a value outside does; then the keywords, the
// waveforms and the notes. The page's thread.

const lineHeads = {tempo: 'bpm:N', instrument: 'iN:', pattern: 'pN:', track: 'tN:'};

function element(tag, text, className) {
  const made = document.createElement(tag);
  if (text !== undefined) made.textContent = text;
  if (className) made.className = className;
  return made;
}

function itemLabel(field) {
  if (field.item === 0) return 'head';
  if (field.item === -1) return 'after vol';
  if (field.item === -2) return 'after sld';
  return field.kind === 'pattern' || field.kind === 'track' ? 'each item' : `item ${field.item}`;
}

function fieldRow(field) {
  const row = element('tr');
  const range = field.low === null ? 'all it takes' : `${field.low} to ${field.high}`;
  const outside = [...new Set(field.outside.map((band) => band.text))];
  const cells = [itemLabel(field), field.name + (field.unit ? ` (${field.unit})` : ''),
                 field.meaning, field.takes,
                 range + (outside.length ? `; outside: ${outside.join('; ')}` : '')];
  for (const text of cells) row.append(element('td', text));
  return row;
}

function kindTable(table, kind) {
  const section = element('section');
  section.append(element('h3', `${kind} line, ${lineHeads[kind]}`));
  const grid = element('table');
  const head = element('tr');
  for (const title of ['item', 'field', 'what it does', 'the parser takes', 'works as named']) {
    head.append(element('th', title));
  }
  grid.append(head);
  for (const field of table.fields.filter((f) => f.kind === kind)) grid.append(fieldRow(field));
  section.append(grid);
  return section;
}

function wordList(title, entries) {
  const section = element('section');
  section.append(element('h3', title));
  const list = element('dl');
  for (const [word, meaning] of entries) list.append(element('dt', word), element('dd', meaning));
  section.append(list);
  return section;
}

// Fills parent with the reference for table (see song_help.js readFields).
export function fillReference(parent, table) {
  parent.replaceChildren(element('h2', 'The song language'),
                         element('p', 'Blanks and carriage returns are left out everywhere; a ' +
                                      'line starting with # is a comment. Channel N plays track ' +
                                      'N with instrument N.'));
  for (const kind of ['tempo', 'instrument', 'pattern', 'track']) {
    parent.append(kindTable(table, kind));
  }
  parent.append(wordList('keywords', table.keywords.map((k) => [k.word, k.meaning])));
  parent.append(wordList('waveforms', [[table.waveforms.join(', '),
                                        table.field('instrument', 1).meaning]]));
  const octave = table.notes.filter(([name]) => name.endsWith('4'));
  const octaveWords = octave.map(([n, hz]) => `${n} ${hz}`).join(', ');
  parent.append(wordList('notes', [['c1 ... b6', 'a capital letter is the sharp (C4 is c#4); ' +
                                    `octave 4: ${octaveWords} Hz; each octave is the one ` +
                                    'above halved, the remainder dropped']]));
}
