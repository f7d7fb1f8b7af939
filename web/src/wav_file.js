// SPDX-License-Identifier: BSD-2-Clause
// A WAV file of 16-bit mono samples: 44-byte header, little-endian data.

// An empty file for `count` samples, and its samples to fill in place.
export function wavBuffer(count, sampleRate) {
  const dataBytes = count * 2;
  const buffer = new ArrayBuffer(44 + dataBytes);
  const view = new DataView(buffer);
  const text = (offset, value) => {
    for (let i = 0; i < value.length; i++) view.setUint8(offset + i, value.charCodeAt(i));
  };
  text(0, 'RIFF');
  view.setUint32(4, 36 + dataBytes, true);
  text(8, 'WAVE');
  text(12, 'fmt ');
  view.setUint32(16, 16, true);
  view.setUint16(20, 1, true); // PCM
  view.setUint16(22, 1, true); // mono
  view.setUint32(24, sampleRate, true);
  view.setUint32(28, sampleRate * 2, true);
  view.setUint16(32, 2, true);
  view.setUint16(34, 16, true);
  text(36, 'data');
  view.setUint32(40, dataBytes, true);
  return { bytes: new Uint8Array(buffer), samples: new Int16Array(buffer, 44, count) };
}

export function wavFile(samples, sampleRate) {
  const wav = wavBuffer(samples.length, sampleRate);
  wav.samples.set(samples);
  return wav.bytes;
}
