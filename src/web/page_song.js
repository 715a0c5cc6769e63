// A song carried inside the show's page: the studio's "Download the show" writes the page with
// an element that holds the author's song and its name, and the page plays that song instead of
// the built-in one. The text is a JSON array of its lines (split at line feeds only), one to a
// line of the file: readable in the file, and every character comes back as it was, carriage
// returns and all, which the HTML parser would otherwise turn into line feeds. Used by the
// studio (writing) and the show's page (reading).
const elementId = 'kelvorinsaa-song';
// Where the page's template takes the element; a page without one plays the built-in song.
export const songMark = '<!--SONG-->';

function escapeAttribute(text) {
  return text.replace(/&/g, '&amp;').replace(/"/g, '&quot;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
}

// The element for text under name. "<" is written as \u003c inside the JSON, so no "</script"
// or "<!--" can end or bend the element early.
export function songElement(text, name) {
  const lines = text.split('\n').map((line) => JSON.stringify(line).replace(/</g, '\\u003c'));
  return `<script type="application/json" id="${elementId}" data-name="${escapeAttribute(name)}">` +
         `[\n${lines.join(',\n')}\n]</script>`;
}

// The page's own song, {text, name}; null when it holds none; an Error when it is damaged.
export function pageSong(document) {
  const element = document.getElementById(elementId);
  if (!element) return null;
  const lines = JSON.parse(element.textContent);
  if (!Array.isArray(lines) || !lines.every((line) => typeof line === 'string')) {
    throw new Error('the song in this page is not a list of lines');
  }
  return {text: lines.join('\n'), name: element.dataset.name || 'song'};
}

// The show's page (with its mark) holding text under name, its title naming the song too.
export function pageWithSong(page, text, name) {
  if (!page.includes(songMark)) throw new Error('the show\'s page has no place for a song');
  return page.replace(songMark, () => songElement(text, name))
             .replace('<title>Kelvorinsaa</title>', () => `<title>${escapeAttribute(name)} - Kelvorinsaa</title>`);
}
