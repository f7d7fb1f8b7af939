// SPDX-License-Identifier: BSD-2-Clause
// The encoder's input from any audio file the browser decodes: decoded and
// converted to 8 kHz by the browser's own OfflineAudioContext (which exists
// only on the page's main thread, and does its work off it). The channels
// go to the codec worker as they are; it mixes and rounds them. They are
// copied out a slice at a time, with the page free to answer in between.
import { SAMPLE_RATE } from './bitstream_reader.js';

const SLICE = 1 << 19;

export async function decodeSpeech(bytes) {
  // A context at 8 kHz has decodeAudioData deliver the file at that rate.
  const context = new OfflineAudioContext(1, 1, SAMPLE_RATE);
  const audio = await context.decodeAudioData(bytes.slice(0));
  const channels = [];
  for (let c = 0; c < audio.numberOfChannels; c++) {
    const copy = new Float32Array(audio.length);
    for (let at = 0; at < audio.length; at += SLICE) {
      audio.copyFromChannel(copy.subarray(at, at + SLICE), c, at);
      await new Promise((resolve) => setTimeout(resolve, 0));
    }
    channels.push(copy.buffer);
  }
  return { channels, length: audio.length };
}
