// SPDX-License-Identifier: BSD-2-Clause
// The encoder's input from any audio file the browser decodes: decoded and
// converted to 8 kHz by the browser's own OfflineAudioContext, channels
// mixed down by averaging, then rounded half away from zero and clipped to
// 16 bits, as the tool prepares its input.
import { SAMPLE_RATE } from './bitstream_reader.js';

const FULL_SCALE = 32768;

function toPcm16(value) {
  if (Number.isNaN(value)) return 0;
  const rounded = Math.sign(value) * Math.floor(Math.abs(value) + 0.5);
  return Math.max(-32768, Math.min(32767, rounded));
}

export async function decodeSpeech(bytes) {
  // A context at 8 kHz has decodeAudioData deliver the file at that rate.
  const context = new OfflineAudioContext(1, 1, SAMPLE_RATE);
  const audio = await context.decodeAudioData(bytes.slice(0));
  const channels = [];
  for (let c = 0; c < audio.numberOfChannels; c++) channels.push(audio.getChannelData(c));
  const samples = new Int16Array(audio.length);
  for (let i = 0; i < audio.length; i++) {
    let sum = 0;
    for (const channel of channels) sum += channel[i];
    samples[i] = toPcm16((sum / channels.length) * FULL_SCALE);
  }
  return { samples, channels: audio.numberOfChannels };
}
