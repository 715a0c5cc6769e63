// Where the studio's text is kept and where it goes: the browser's storage as it is typed, song
// files opened from a picker or dropped on the page, saved as a download named by the person.
// A file that is no song text gives one sentence and leaves the text as it was.
const storageKey = 'kelvorinsaa-studio-song';
const beforeLinkKey = 'kelvorinsaa-studio-song-before-link';
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
