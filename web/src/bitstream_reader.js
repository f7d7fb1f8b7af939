// SPDX-License-Identifier: BSD-2-Clause
// Splits a bit-stream file into frames, as `g723 decode` and `g723 info` read
// it. In the compact layout the two low bits of each frame's first byte give
// its kind and so its length; in the slot layout every frame takes 24 bytes.

export const FRAME_SAMPLES = 240;
export const SLOT_BYTES = 24;
export const SAMPLE_RATE = 8000;
// Decoded speech lags the encoder's input by its look-ahead.
export const ENCODER_DELAY = 60;

export const KIND = { speech: 0, speech5k3: 1, sid: 2, untransmitted: 3 };
export const KIND_NAMES = ['speech', '5.3 kbit/s', 'SID', 'untransmitted'];
// Meaningful bytes of each kind: what a compact file stores. The table is
// the library's own, which the worker takes from the WebAssembly module as
// it loads (takeFrameBytes), before any bit-stream is read.
export const MEANINGFUL_BYTES = [];
export function takeFrameBytes(frameBytes) {
  for (let kind = 0; kind < 4; kind++) MEANINGFUL_BYTES[kind] = frameBytes(kind);
}

export function kindOf(firstByte) {
  return firstByte & 3;
}

// Leading bytes of the audio containers users hand over by mistake.
export function looksLikeAudioFile(bytes) {
  if (bytes.length < 12) return false;
  const text = (start) => String.fromCharCode(...bytes.subarray(start, start + 4));
  const tag = text(0);
  const form = text(8);
  if (tag === 'RIFF' || tag === 'RIFX' || tag === 'RF64') return form === 'WAVE';
  if (tag === 'FORM') return form === 'AIFF' || form === 'AIFC';
  return tag === 'fLaC' || tag === 'OggS' || tag === '.snd';
}

// Returns the frames as zero-padded 24-byte slots with their kinds and byte
// offsets, and the frame the stream ends inside, if any.
export function readBitstream(bytes, layout) {
  if (bytes.length === 0) throw new Error('is empty');
  if (looksLikeAudioFile(bytes)) throw new Error('is an audio file, not a G.723.1 bit-stream');
  const offsets = [];
  let position = 0;
  let truncated = null;
  while (position < bytes.length) {
    const kind = kindOf(bytes[position]);
    const length = layout === 'slots' ? SLOT_BYTES : MEANINGFUL_BYTES[kind];
    const available = bytes.length - position;
    if (available < length) {
      truncated = { offset: position, kind, length, present: available };
      break;
    }
    offsets.push(position);
    position += length;
  }
  const count = offsets.length;
  const slots = new Uint8Array(count * SLOT_BYTES);
  const kinds = new Uint8Array(count);
  offsets.forEach((offset, i) => {
    const kind = kindOf(bytes[offset]);
    const length = layout === 'slots' ? SLOT_BYTES : MEANINGFUL_BYTES[kind];
    kinds[i] = kind;
    slots.set(bytes.subarray(offset, offset + length), i * SLOT_BYTES);
  });
  return { slots, kinds, offsets: Uint32Array.from(offsets), truncated };
}

// The tool's wording for a stream that ends inside a frame.
export function truncationReason(truncated, layout, wholeFrames) {
  const what = layout === 'slots' ? '24-byte slot' : `${KIND_NAMES[truncated.kind]} frame`;
  return `ends inside a frame: the ${what} at byte ${truncated.offset} needs ${truncated.length} ` +
    `bytes, only ${truncated.present} remain; the ${wholeFrames} whole frames before it were decoded`;
}

// The compact layout of coded slots: each frame only its meaningful bytes.
export function compactBytes(slots, kinds) {
  let total = 0;
  for (const kind of kinds) total += MEANINGFUL_BYTES[kind];
  const bytes = new Uint8Array(total);
  let position = 0;
  kinds.forEach((kind, i) => {
    const length = MEANINGFUL_BYTES[kind];
    bytes.set(slots.subarray(i * SLOT_BYTES, i * SLOT_BYTES + length), position);
    position += length;
  });
  return bytes;
}
