// The transport panel: play and pause, the bar of rows to seek on, the loop from row to row,
// mute and solo per channel with each channel's level, the time and row, the output peak and the
// clipped frames, as the terminal player's display shows them, for the sound heard now.
import {createLevelHistory} from './level_history.js';

const fullScale = 3.0;  // a channel's level at the output's full scale

function element(tag, attributes = {}, children = []) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) {
    if (key === 'text') node.textContent = value;
    else node.setAttribute(key, value);
  }
  for (const child of children) node.append(child);
  return node;
}

function clock(seconds) {
  const minutes = Math.floor(seconds / 60);
  return `${minutes}:${(seconds - minutes * 60).toFixed(2).padStart(5, '0')}`;
}

// actions: {playPause(), seek(row), loop(from, to), mutes(muted, soloed)}.
export function createPanel(parent, actions) {
  const play = element('button', {type: 'button', id: 'play', text: 'Play'});
  const playState = element('span', {id: 'state', text: 'paused'});
  const time = element('span', {id: 'time', text: '0:00.00'});
  const row = element('span', {id: 'row', text: 'row 0'});
  const seek = element('input', {type: 'range', id: 'seek', min: 0, max: 1, value: 0,
                                 'aria-label': 'Row'});
  const loopOn = element('input', {type: 'checkbox', id: 'loop-on'});
  const loopFrom = element('input', {type: 'number', id: 'loop-from', min: 0, value: 0});
  const loopTo = element('input', {type: 'number', id: 'loop-to', min: 1, value: 64});
  const peak = element('span', {id: 'peak', text: 'peak -99.9 dBFS'});
  const clipped = element('span', {id: 'clipped', text: '0 clipped frames'});
  const channels = element('div', {id: 'channels'});
  parent.append(
    element('div', {class: 'transport'}, [play, playState, time, row, peak, clipped]), seek,
    element('div', {class: 'loop'}, [element('label', {}, [loopOn, ' loop rows ']), loopFrom,
                                     ' to ', loopTo]),
    channels);

  const state = {muted: 0, soloed: 0, channelCount: 0, meters: [], seeking: false};
  play.addEventListener('click', () => actions.playPause());
  seek.addEventListener('input', () => { state.seeking = true; });
  seek.addEventListener('change', () => {
    state.seeking = false;
    actions.seek(Number(seek.value));
  });
  const applyLoop = () => {
    const from = Math.max(0, Math.floor(Number(loopFrom.value) || 0));
    const to = Math.floor(Number(loopTo.value) || 0);
    actions.loop(loopOn.checked && to > from ? from : 0, loopOn.checked && to > from ? to : 0);
  };
  for (const input of [loopOn, loopFrom, loopTo]) input.addEventListener('change', applyLoop);

  function toggle(which, channel) {
    state[which] ^= 1 << channel;
    actions.mutes(state.muted >>> 0, state.soloed >>> 0);
    for (const [k, buttons] of state.meters.entries()) {
      if (!buttons) continue;
      buttons.mute.classList.toggle('on', (state.muted >>> k & 1) === 1);
      buttons.solo.classList.toggle('on', (state.soloed >>> k & 1) === 1);
    }
  }

  function buildChannels(count) {
    state.channelCount = count;
    state.meters = [];
    channels.replaceChildren();
    for (let k = 1; k <= count; ++k) {
      const mute = element('button', {type: 'button', class: 'mute', text: 'M',
                                      title: `Mute channel ${k}`});
      const solo = element('button', {type: 'button', class: 'solo', text: 'S',
                                      title: `Solo channel ${k}`});
      const bar = element('div', {class: 'bar'});
      const history = element('canvas', {class: 'history', title: `Channel ${k}'s level`});
      mute.addEventListener('click', () => toggle('muted', k));
      solo.addEventListener('click', () => toggle('soloed', k));
      channels.append(element('div', {class: 'channel'}, [
        element('span', {class: 'number', text: String(k)}), mute, solo,
        element('div', {class: 'meter'}, [bar]), history]));
      state.meters[k] = {mute, solo, bar, history: createLevelHistory(history)};
    }
  }

  // facts: what the player hears now (StudioPlayer.heard()) and the song's shape.
  function update(facts) {
    if (facts.lastChannel !== state.channelCount) buildChannels(facts.lastChannel);
    play.textContent = facts.paused || facts.atEnd ? 'Play' : 'Pause';
    playState.textContent = (facts.atEnd ? 'at the end' : facts.paused ? 'paused' : 'playing') +
                            (facts.looping ? ', loop' : '');
    time.textContent = clock(facts.seconds);
    row.textContent = `row ${facts.row} of ${facts.endRow}`;
    const dbfs = facts.peak > 0 ? 20 * Math.log10(facts.peak / 32768) : -99.9;
    peak.textContent = `peak ${dbfs.toFixed(1)} dBFS`;
    clipped.textContent = `${facts.clipped} clipped frame${facts.clipped === 1 ? '' : 's'}`;
    clipped.classList.toggle('warn', facts.clipped > 0);
    seek.max = String(facts.endRow);
    if (!state.seeking) seek.value = String(facts.row);
    for (let k = 1; k <= state.channelCount; ++k) {
      const level = Math.min(1, (facts.peaks[k] || 0) / fullScale);
      state.meters[k].bar.style.width = `${(100 * Math.sqrt(level)).toFixed(1)}%`;
      state.meters[k].history.push(level);
    }
  }

  return {update, mutes: () => ({muted: state.muted >>> 0, soloed: state.soloed >>> 0})};
}
