// SPDX-License-Identifier: BSD-2-Clause
// SNR and segmental SNR of decoded speech against the encoder's 8 kHz input,
// as `g723 roundtrip` measures them: input sample i against decoded sample
// i + delay; 240-sample segments, each limited to -10..35 dB, leaving out
// segments whose input RMS is below 100.
const SILENCE_RMS = 100;
const FLOOR_DB = -10;
const CEILING_DB = 35;
const SEGMENT_SAMPLES = 240;

export function measureSnr(input, decoded, delay) {
  const compared = Math.max(0, Math.min(input.length, decoded.length - delay));
  let signal = 0;
  let noise = 0;
  let segmentSum = 0;
  let segmentsUsed = 0;
  for (let start = 0; start < compared; start += SEGMENT_SAMPLES) {
    const end = Math.min(compared, start + SEGMENT_SAMPLES);
    let segmentSignal = 0;
    let segmentNoise = 0;
    for (let i = start; i < end; i++) {
      const x = input[i];
      const error = x - decoded[i + delay];
      signal += x * x;
      noise += error * error;
      segmentSignal += x * x;
      segmentNoise += error * error;
    }
    if (segmentSignal / (end - start) >= SILENCE_RMS * SILENCE_RMS) {
      const db = segmentNoise > 0 ? 10 * Math.log10(segmentSignal / segmentNoise) : CEILING_DB;
      segmentSum += Math.min(CEILING_DB, Math.max(FLOOR_DB, db));
      segmentsUsed += 1;
    }
  }
  return {
    snr: signal <= 0 ? null : noise <= 0 ? Infinity : 10 * Math.log10(signal / noise),
    segmentalSnr: segmentsUsed === 0 ? null : segmentSum / segmentsUsed,
    segmentsUsed,
  };
}
