// The header kelvorinsaa-render's WAV files begin with (libsndfile's, for 16-bit stereo at
// 44100 Hz): RIFF, a 16-byte fmt chunk and the data chunk's head, 44 bytes.
const sampleRate = 44100;
const channels = 2;
const bytesPerFrame = 4;

export function wavHeader(frames) {
  const dataBytes = frames * bytesPerFrame;
  const header = new DataView(new ArrayBuffer(44));
  const text = (at, word) => [...word].forEach((c, i) => header.setUint8(at + i, c.charCodeAt(0)));
  text(0, 'RIFF');
  header.setUint32(4, 36 + dataBytes, true);
  text(8, 'WAVE');
  text(12, 'fmt ');
  header.setUint32(16, 16, true);
  header.setUint16(20, 1, true);  // PCM
  header.setUint16(22, channels, true);
  header.setUint32(24, sampleRate, true);
  header.setUint32(28, sampleRate * bytesPerFrame, true);
  header.setUint16(32, bytesPerFrame, true);
  header.setUint16(34, 16, true);
  text(36, 'data');
  header.setUint32(40, dataBytes, true);
  return new Uint8Array(header.buffer);
}
