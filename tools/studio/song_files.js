// Where the studio's text is kept and where it goes: the browser's storage as it is typed, song
// files opened from a picker or dropped on the page, saved as a download named by the person.
// A file that is no song text gives one sentence and leaves the text as it was.
const storageKey = 'kelvorinsaa-studio-song';
const beforeLinkKey = 'kelvorinsaa-studio-song-before-link';
const vimKeysKey = 'kelvorinsaa-studio-vim-keys';
export const largestSong = 1 << 20;  // bytes; the parser reads no more than 1000 lines anyway

export function storedSong() {
  try {
    return localStorage.getItem(storageKey);
  } catch (e) {
    return null;
  }
}

// false when the browser keeps nothing (private modes, a full storage).
export function storeSong(text) {
  try {
    localStorage.setItem(storageKey, text);
    return true;
  } catch (e) {
    return false;
  }
}

// Whether the editor takes vim's keys: off until the person turns them on.
export function storedVimKeys() {
  try {
    return localStorage.getItem(vimKeysKey) === 'on';
  } catch (e) {
    return false;
  }
}

export function storeVimKeys(on) {
  try {
    localStorage.setItem(vimKeysKey, on ? 'on' : 'off');
  } catch (e) {}
}

// A link's song replaces the stored one: the stored one is kept aside first.
export function keepStoredAside() {
  const stored = storedSong();
  try {
    if (stored !== null) localStorage.setItem(beforeLinkKey, stored);
  } catch (e) {}
}

// Resolves to the text of a song file; rejects with an Error of one sentence.
export async function readSongFile(file) {
  if (file.size > largestSong) {
    throw new Error(`${file.name} is ${file.size} bytes, more than a song can be (1 MiB), so it ` +
                    'was not opened.');
  }
  const bytes = new Uint8Array(await file.arrayBuffer());
  let text = null;
  try {
    text = new TextDecoder('utf-8', {fatal: true}).decode(bytes);
  } catch (e) {}
  if (text === null || bytes.includes(0)) {
    throw new Error(`${file.name} is not a song: it holds bytes that are not text, so it was ` +
                    'not opened.');
  }
  return text;
}

export function download(blob, name) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(blob);
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

// The song's name: the name box's without its extension ("song" when there is none).
export function songNameOf(boxValue) {
  return boxValue.trim().replace(/\.[^.]*$/, '') || 'song';
}

// name as a file's name on any system: no path separators, no characters Windows refuses, no
// control characters, no leading dot, and no blank or dot at the end.
export function safeFileName(name) {
  const safe = name.replace(/[\/\\:*?"<>|\x00-\x1f\x7f]/g, '_').replace(/^[.\s]+|[.\s]+$/g, '');
  return safe || 'song';
}

export function saveSong(text, name) {
  download(new Blob([text], {type: 'text/plain'}), name || 'song.txt');
}

// open(file) for every file dropped on the page.
export function acceptDrops(target, open) {
  target.addEventListener('dragover', (event) => {
    event.preventDefault();
    event.dataTransfer.dropEffect = 'copy';
  });
  target.addEventListener('drop', (event) => {
    event.preventDefault();
    const file = event.dataTransfer.files[0];
    if (file) open(file);
  });
}
