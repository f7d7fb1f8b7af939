// SPDX-License-Identifier: BSD-2-Clause
// What a coded stream held, frame by frame, in the figures `g723 info` and
// `g723 roundtrip` print.
import { FRAME_SAMPLES, KIND, MEANINGFUL_BYTES, SAMPLE_RATE } from './bitstream_reader.js';

// How the decoder took each frame.
export const OUTCOME = { clean: 0, invalid: 1, notSupported: 2, markedLost: 3 };

export function frameStatistics(kinds, outcomes) {
  const byKind = [0, 0, 0, 0];
  let bytes = 0;
  for (const kind of kinds) {
    byKind[kind] += 1;
    bytes += MEANINGFUL_BYTES[kind];
  }
  const count = (outcome) => outcomes.reduce((n, o) => n + (o === outcome ? 1 : 0), 0);
  const frames = kinds.length;
  const seconds = (frames * FRAME_SAMPLES) / SAMPLE_RATE;
  return {
    frames,
    byKind,
    bytes,
    seconds,
    bitRate: frames === 0 ? 0 : (bytes * 8) / seconds,
    invalid: count(OUTCOME.invalid),
    notSupported: count(OUTCOME.notSupported),
    markedLost: count(OUTCOME.markedLost),
  };
}

// "254 speech, 3 SID, 32 untransmitted" (5.3 kbit/s only when present).
export function kindsText(statistics) {
  const k = statistics.byKind;
  let text = `${k[KIND.speech]} speech, ${k[KIND.sid]} SID, ${k[KIND.untransmitted]} untransmitted`;
  if (k[KIND.speech5k3] > 0) text += `, ${k[KIND.speech5k3]} at 5.3 kbit/s`;
  return text;
}
