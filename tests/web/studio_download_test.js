// The studio's "Download the show": a song whose bytes the HTML parser would bend (a line ended
// by a carriage return alone, which hides a track line from the parser, "</script>", "<!--",
// quotes) under a name with characters no file name may have is downloaded as NAME.html, made
// safe; opened as a file, that page names the song on its start screen. The page and the song
// are left in OUT_FOLDER (show.html, song.txt) for web.page_sound.download.ENGINE, which holds
// the page's sound to kelvorinsaa-render --song song.txt in each engine.
// Usage: node studio_download_test.js STUDIO.html SONG_SOURCE.txt OUT_FOLDER
'use strict';
const fs = require('fs');
const path = require('path');
const {openStudio} = require('./studio_browser.js');

const [studioPath, songSource, outFolder] = process.argv.slice(2);
const songName = 'Duet: "one" & two';
const fileName = 'Duet_ _one_ & two.html';

function fail(message) {
  console.error(`FAIL: ${message}`);
  process.exitCode = 1;
}

async function main() {
  const song = fs.readFileSync(songSource, 'utf8').trimEnd() +
               '\n# </script><!-- \u201cquoted\u201d & <b>bold</b>\rt6:p4\n';
  fs.mkdirSync(outFolder, {recursive: true});
  fs.writeFileSync(path.join(outFolder, 'song.txt'), song);
  const studio = await openStudio(studioPath, {beforeLoad: 'localStorage.clear()'});
  try {
    const {page} = studio;
    const download = await page.evaluate(async (song, name) => {
      const editor = kelvorinsaaStudio.editor;
      editor.dispatch({changes: {from: 0, to: editor.state.doc.length, insert: song}});
      document.getElementById('save-name').value = name + '.txt';
      document.getElementById('download-show').click();
      const made = kelvorinsaaStudio.exports.show;
      const bytes = new Uint8Array(await made.blob.arrayBuffer());
      let binary = '';
      for (let i = 0; i < bytes.length; i += 8192) {
        binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
      }
      return {name: made.name, base64: btoa(binary)};
    }, song, songName);
    if (download.name !== fileName) fail(`the download is named ${JSON.stringify(download.name)}`);
    const showPath = path.join(outFolder, 'show.html');
    fs.writeFileSync(showPath, Buffer.from(download.base64, 'base64'));

    const show = await studio.browser.newPage();
    await show.goto('file://' + path.resolve(showPath));
    await show.waitForFunction('window.kelvorinsaa && (kelvorinsaa.ready || kelvorinsaa.problem)',
                               {timeout: 60000});
    const seen = await show.evaluate(() => ({
      problem: kelvorinsaa.problem, title: document.title,
      hint: document.getElementById('start-hint').textContent}));
    if (seen.problem) fail(`the downloaded page says: ${seen.problem}`);
    if (!seen.hint.includes(`\u201c${songName}\u201d`)) fail(`its start screen says "${seen.hint}"`);
    if (!seen.title.startsWith(songName)) fail(`its title is "${seen.title}"`);
    if (studio.errors.length > 0) fail(`page errors: ${studio.errors.join('; ')}`);
    if (!process.exitCode) console.log(`ok: ${fileName} names the song, opened as a file`);
  } finally {
    await studio.close();
  }
}

main().catch((e) => fail(e.stack || String(e)));
