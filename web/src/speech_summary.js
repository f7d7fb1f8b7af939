// SPDX-License-Identifier: BSD-2-Clause
// What the page draws of a signal, made in the codec worker with a size that
// does not grow with the signal's length: the waveform's lowest and highest
// sample in each of a fixed number of columns, a spectrogram of a fixed
// number of columns, and the frame marks folded into columns. Drawing them
// costs the same for a second of speech as for an hour.
import { FRAME_SAMPLES, SAMPLE_RATE } from './bitstream_reader.js';

// What a frame is marked as, in rising order of what matters to see.
export const MARK = { none: 0, untransmitted: 1, sid: 2, concealed: 3, lost: 4 };

export const WAVE_COLUMNS = 2048;
export const SPECTRUM_COLUMNS = 512;
export const SPECTRUM_BINS = 128;
export const MARK_COLUMNS = 4096;
const FFT_SIZE = 2 * SPECTRUM_BINS;
// Windows averaged into one spectrogram column, at most.
const WINDOWS_PER_COLUMN = 8;
// Shown range of the spectrogram: from 100 dB below full scale up.
const FLOOR_DB = -100;

// Lowest and highest sample of each column, scaled to -1 .. 1, as pairs.
function wavePeaks(samples) {
  const peaks = new Float32Array(2 * WAVE_COLUMNS);
  const n = samples.length;
  for (let c = 0; c < WAVE_COLUMNS; c++) {
    const start = Math.floor((c * n) / WAVE_COLUMNS);
    const end = Math.max(start + 1, Math.floor(((c + 1) * n) / WAVE_COLUMNS));
    let low = 0;
    let high = 0;
    for (let i = start; i < end && i < n; i++) {
      const v = samples[i];
      if (v < low) low = v;
      if (v > high) high = v;
    }
    peaks[2 * c] = low / 32768;
    peaks[2 * c + 1] = high / 32768;
  }
  return peaks;
}

// An in-place radix-2 FFT of FFT_SIZE complex values.
const twiddles = (() => {
  const t = new Float64Array(FFT_SIZE);
  for (let k = 0; k < FFT_SIZE / 2; k++) {
    t[2 * k] = Math.cos((-2 * Math.PI * k) / FFT_SIZE);
    t[2 * k + 1] = Math.sin((-2 * Math.PI * k) / FFT_SIZE);
  }
  return t;
})();
const hann = Float64Array.from({ length: FFT_SIZE }, (_, i) => 0.5 - 0.5 * Math.cos((2 * Math.PI * i) / FFT_SIZE));

function fft(re, im) {
  const n = re.length;
  for (let i = 1, j = 0; i < n; i++) {
    let bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) {
      const r = re[i];
      re[i] = re[j];
      re[j] = r;
      const m = im[i];
      im[i] = im[j];
      im[j] = m;
    }
  }
  for (let size = 2; size <= n; size *= 2) {
    const step = n / size;
    for (let start = 0; start < n; start += size) {
      for (let k = 0; k < size / 2; k++) {
        const wr = twiddles[2 * k * step];
        const wi = twiddles[2 * k * step + 1];
        const a = start + k;
        const b = a + size / 2;
        const tr = re[b] * wr - im[b] * wi;
        const ti = re[b] * wi + im[b] * wr;
        re[b] = re[a] - tr;
        im[b] = im[a] - ti;
        re[a] += tr;
        im[a] += ti;
      }
    }
  }
}

// Column-major levels 0 .. 255 (0 at FLOOR_DB and below, 255 at full
// scale), lowest frequency first: each column the mean power of up to
// WINDOWS_PER_COLUMN Hann windows spread over its span.
function spectrogram(samples) {
  const levels = new Uint8Array(SPECTRUM_COLUMNS * SPECTRUM_BINS);
  const re = new Float64Array(FFT_SIZE);
  const im = new Float64Array(FFT_SIZE);
  const power = new Float64Array(SPECTRUM_BINS);
  const n = samples.length;
  // Full scale: a full-scale sine's peak bin with this window.
  const reference = (32768 * FFT_SIZE / 4) ** 2;
  for (let c = 0; c < SPECTRUM_COLUMNS; c++) {
    const start = Math.floor((c * n) / SPECTRUM_COLUMNS);
    const end = Math.floor(((c + 1) * n) / SPECTRUM_COLUMNS);
    const windows = Math.max(1, Math.min(WINDOWS_PER_COLUMN, Math.floor((end - start) / FFT_SIZE)));
    power.fill(0);
    for (let w = 0; w < windows; w++) {
      const at = start + Math.floor(((end - start - FFT_SIZE) * (w + 0.5)) / windows);
      for (let i = 0; i < FFT_SIZE; i++) {
        const index = at + i;
        re[i] = index >= 0 && index < n ? samples[index] * hann[i] : 0;
        im[i] = 0;
      }
      fft(re, im);
      for (let k = 0; k < SPECTRUM_BINS; k++) power[k] += re[k] * re[k] + im[k] * im[k];
    }
    for (let k = 0; k < SPECTRUM_BINS; k++) {
      const db = 10 * Math.log10(power[k] / windows / reference + 1e-30);
      levels[c * SPECTRUM_BINS + k] = Math.max(0, Math.min(255, Math.round(((db - FLOOR_DB) / -FLOOR_DB) * 255)));
    }
  }
  return levels;
}

export function summarize(samples) {
  return { seconds: samples.length / SAMPLE_RATE, peaks: wavePeaks(samples), spectrum: spectrogram(samples) };
}

// Frame marks (0 none, then higher for what matters more to see) folded
// into MARK_COLUMNS columns over `seconds`: each column keeps the highest
// mark among the frames it touches, so a single lost frame in an hour still
// shows.
// `shift` is the time axis's start, in seconds into frame 0.
export function markColumns(marks, shift, seconds) {
  const columns = new Uint8Array(MARK_COLUMNS);
  if (seconds <= 0) return columns;
  const frameSeconds = FRAME_SAMPLES / SAMPLE_RATE;
  const scale = MARK_COLUMNS / seconds;
  for (let i = 0; i < marks.length; i++) {
    const mark = marks[i];
    if (mark === 0) continue;
    const frameStart = i * frameSeconds - shift;
    const start = Math.max(0, frameStart);
    const end = Math.min(seconds, frameStart + frameSeconds);
    if (end <= start) continue;
    const last = Math.min(MARK_COLUMNS - 1, Math.floor(end * scale - 1e-9));
    for (let c = Math.floor(start * scale); c <= last; c++) if (columns[c] < mark) columns[c] = mark;
  }
  return columns;
}
