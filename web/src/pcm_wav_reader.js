// SPDX-License-Identifier: BSD-2-Clause
// 16-bit PCM WAV files at 8 kHz, the usual telephony recording, read as
// they are: their samples are the encoder's input without any conversion.
// The browser's own decoder would scale positive and negative samples
// differently on their way to floats, so that loud samples came back one
// step off; it still serves every other format and rate.
import { SAMPLE_RATE } from './bitstream_reader.js';

const PCM = 1;
const EXTENSIBLE = 0xfffe;

// Where the samples are and how many channels they interleave, or null when
// `bytes` is not a 16-bit PCM WAV at 8 kHz. Reads only the chunk headers.
export function pcmWavLayout(bytes) {
  if (bytes.length < 12) return null;
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const tag = (at) => String.fromCharCode(bytes[at], bytes[at + 1], bytes[at + 2], bytes[at + 3]);
  if (tag(0) !== 'RIFF' || tag(8) !== 'WAVE') return null;
  let format = null;
  for (let at = 12; at + 8 <= bytes.length;) {
    const size = view.getUint32(at + 4, true);
    const body = at + 8;
    if (tag(at) === 'fmt ' && size >= 16 && body + 16 <= bytes.length) {
      let code = view.getUint16(body, true);
      if (code === EXTENSIBLE && size >= 26 && body + 26 <= bytes.length) code = view.getUint16(body + 24, true);
      format = {
        code, channels: view.getUint16(body + 2, true), rate: view.getUint32(body + 4, true),
        bits: view.getUint16(body + 14, true),
      };
    } else if (tag(at) === 'data') {
      if (!format || format.code !== PCM || format.bits !== 16 || format.rate !== SAMPLE_RATE ||
        format.channels < 1) return null;
      // A data chunk that claims more than the file holds ends with the file.
      const frames = Math.floor(Math.min(size, bytes.length - body) / (2 * format.channels));
      return { offset: body, frames, channels: format.channels };
    }
    at = body + size + (size & 1);
  }
  return null;
}

// The samples, channels mixed by averaging and rounded half away from zero,
// into `out` (frames long).
export function readPcmWav(bytes, layout, out) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const { offset, frames, channels } = layout;
  if (channels === 1 && (bytes.byteOffset + offset) % 2 === 0) {
    out.set(new Int16Array(bytes.buffer, bytes.byteOffset + offset, frames));
    return;
  }
  for (let i = 0; i < frames; i++) {
    if (channels === 1) {
      out[i] = view.getInt16(offset + 2 * i, true);
      continue;
    }
    let sum = 0;
    for (let c = 0; c < channels; c++) sum += view.getInt16(offset + 2 * (i * channels + c), true);
    const mean = sum / channels;
    out[i] = Math.sign(mean) * Math.floor(Math.abs(mean) + 0.5);
  }
}
