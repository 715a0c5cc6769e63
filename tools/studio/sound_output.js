// The studio's sound output: an AudioContext at 44100 Hz with the show's worklet player, loaded
// from the page's own text so that it works from a file too, resumed on a person's input.
const sampleRate = 44100;

// From a blob where the page has an origin; a page opened as a file has none, and some engines
// load its worklet only from a data: address.
async function loadWorklet(context, source) {
  try {
    await context.audioWorklet.addModule(
        URL.createObjectURL(new Blob([source], {type: 'text/javascript'})));
  } catch (e) {
    const bytes = new TextEncoder().encode(source);
    let binary = '';
    for (let i = 0; i < bytes.length; ++i) binary += String.fromCharCode(bytes[i]);
    await context.audioWorklet.addModule('data:text/javascript;base64,' + btoa(binary));
  }
}

// Resolves to {context, node}; rejects with an Error of one sentence.
export async function openSound(workletSource) {
  if (typeof AudioContext !== 'function' || typeof AudioWorkletNode !== 'function') {
    throw new Error('This browser cannot play the studio\'s sound: Web Audio is not available.');
  }
  let context;
  try {
    context = new AudioContext({sampleRate, latencyHint: 'interactive'});
  } catch (e) {
    throw new Error('The browser refused to start the studio\'s sound.');
  }
  if (context.sampleRate !== sampleRate) {
    context.close();
    throw new Error('The browser refused to play sound at 44100 Hz.');
  }
  try {
    await loadWorklet(context, workletSource);
  } catch (e) {
    context.close();
    throw new Error('The browser refused to start the studio\'s sound.');
  }
  const node = new AudioWorkletNode(context, 'kelvorinsaa-player',
                                    {numberOfInputs: 0, outputChannelCount: [2]});
  node.connect(context.destination);
  return {context, node};
}

// The context resumes at the next click or key when the browser held it back.
export function resumeOnInput(context) {
  const resume = () => {
    if (context.state !== 'running' && context.state !== 'closed') context.resume();
  };
  for (const kind of ['pointerdown', 'keydown']) document.addEventListener(kind, resume, true);
  return resume;
}
