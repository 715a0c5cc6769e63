// The studio's editor: CodeMirror with line numbers, undo and redo, search, the song language's
// highlighting, the song check's findings as diagnostics on their lines, and the entries being
// heard marked in the text. Lines end only at line feeds, so a carriage return stays in the text
// as it was written; but a song whose every line feed follows a carriage return (a file saved on
// Windows, a link made from one) is shown with plain line feeds and given back with CR LF again.
// vim's keys (normal, insert and visual modes, ex commands) are there on request.
import {EditorView, keymap, lineNumbers, highlightActiveLine, highlightActiveLineGutter,
        highlightSpecialChars, drawSelection, Decoration} from '@codemirror/view';
import {EditorState, StateField, StateEffect, Compartment} from '@codemirror/state';
import {vim} from '@replit/codemirror-vim';
import {history, defaultKeymap, historyKeymap, indentWithTab, isolateHistory} from '@codemirror/commands';
import {searchKeymap, highlightSelectionMatches} from '@codemirror/search';
import {syntaxHighlighting, bracketMatching} from '@codemirror/language';
import {setDiagnostics, lintGutter, lintKeymap} from '@codemirror/lint';
import {songLanguage, songHighlightStyle} from './song_language.js';

const setHeard = StateEffect.define();
const vimKeys = new Compartment();
const setCrLf = StateEffect.define();

// Whether the text came with CR LF line ends, which writtenText gives back.
const crLfField = StateField.define({
  create: () => false,
  update(crLf, transaction) {
    for (const effect of transaction.effects) {
      if (effect.is(setCrLf)) crLf = effect.value;
    }
    return crLf;
  },
});

// Only then is taking the carriage returns out undone exactly by putting one before every line
// feed.
function hasCrLfLineEnds(text) {
  return text.includes('\r\n') && !/(^|[^\r])\n/.test(text);
}

function shownText(text) {
  return hasCrLfLineEnds(text) ? text.replace(/\r\n/g, '\n') : text;
}
const heardMark = Decoration.mark({class: 'heard'});

const heardField = StateField.define({
  create: () => Decoration.none,
  update(marks, transaction) {
    marks = marks.map(transaction.changes);
    for (const effect of transaction.effects) {
      if (effect.is(setHeard)) marks = effect.value;
    }
    return marks;
  },
  provide: (field) => EditorView.decorations.from(field),
});

const theme = EditorView.theme({
  '&': {height: '100%', backgroundColor: '#140c0c', color: '#e0d6d6'},
  '.cm-content': {fontFamily: 'ui-monospace, monospace', caretColor: '#f0a8a8'},
  '.cm-gutters': {backgroundColor: '#1c1212', color: '#7a6a6a', border: 'none'},
  '.cm-activeLine': {backgroundColor: '#22161680'},
  '.heard': {backgroundColor: '#f0a8a855', outline: '1px solid #f0a8a8', borderRadius: '2px'},
  '&.cm-focused .cm-selectionBackground, .cm-selectionBackground': {backgroundColor: '#503030'},
}, {dark: true});

// onChange(text) after every change of the text; a change that would make the text longer than
// largest characters is refused, and onRefused() told. more: further extensions (the hover, the
// completion).
export function createEditor(parent, text, onChange, largest, onRefused, more = []) {
  return new EditorView({
    parent,
    state: EditorState.create({
      doc: shownText(text),
      extensions: [
        vimKeys.of([]),  // first, so that vim's keys come before the others
        crLfField.init(() => hasCrLfLineEnds(text)),
        EditorState.lineSeparator.of('\n'),
        EditorState.transactionFilter.of((transaction) => {
          if (!transaction.docChanged || transaction.newDoc.length <= largest) return transaction;
          onRefused();
          return [];
        }),
        lineNumbers(), highlightActiveLineGutter(), highlightSpecialChars(), history(),
        drawSelection(), highlightActiveLine(), highlightSelectionMatches(), bracketMatching(),
        songLanguage, syntaxHighlighting(songHighlightStyle), lintGutter(), heardField, theme,
        keymap.of([...defaultKeymap, ...historyKeymap, ...searchKeymap, ...lintKeymap,
                   indentWithTab]),
        more,
        EditorView.updateListener.of((update) => {
          if (update.docChanged) onChange(update.state.doc.toString());
        }),
      ],
    }),
  });
}

export function setVimKeys(view, on) {
  view.dispatch({effects: vimKeys.reconfigure(on ? vim() : [])});
}

// The text as shown, which the song check and the sound take (the parser drops carriage returns).
export function editorText(view) {
  return view.state.doc.toString();
}

// The text with the line ends it came with: what is saved, stored and shared.
export function writtenText(view) {
  const text = view.state.doc.toString();
  return view.state.field(crLfField) ? text.replace(/\n/g, '\r\n') : text;
}

// Replaces the whole text (an opened file, a link): one step of the undo history, joined with no
// typing before or after it.
export function replaceText(view, text) {
  view.dispatch({changes: {from: 0, to: view.state.doc.length, insert: shownText(text)},
                 effects: setCrLf.of(hasCrLfLineEnds(text)), annotations: isolateHistory.of('full')});
}

// findings: [{line, fault, text}] as the song check gives them; line 0 goes on the first line.
export function showFindings(view, findings) {
  const doc = view.state.doc;
  const diagnostics = findings.map((finding) => {
    const line = doc.line(Math.min(Math.max(finding.line, 1), doc.lines));
    return {from: line.from, to: line.to, severity: finding.fault ? 'error' : 'warning',
            message: finding.text};
  });
  view.dispatch(setDiagnostics(view.state, diagnostics));
}

// ranges: [[from, to], ...] of the entries heard now, in the text as it stands.
export function showHeard(view, ranges) {
  const length = view.state.doc.length;
  const marks = ranges.filter(([from, to]) => from < to && to <= length)
                      .sort((a, b) => a[0] - b[0])
                      .map(([from, to]) => heardMark.range(from, to));
  view.dispatch({effects: setHeard.of(Decoration.set(marks, true))});
}
