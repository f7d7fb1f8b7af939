// SPDX-License-Identifier: BSD-2-Clause
// The original and decoded speech on one time axis: waveform and
// spectrogram of each, the frame marks along the decoded one, a cursor, and
// one player that plays either from any point and switches between them
// while playing. Everything is drawn from the worker's fixed-size summaries
// (speech_summary.js) in one pass per canvas, so a redraw costs the same for
// any length of speech and any number of marked frames; playing is the
// browser's own audio element on the WAV files.
import { MARK, SPECTRUM_BINS, SPECTRUM_COLUMNS } from './speech_summary.js';

// Frame marks as the views show them; speech frames stay unmarked.
export const FRAME_MARKS = {
  [MARK.sid]: { label: 'SID', color: 'rgba(40, 110, 230, 0.30)' },
  [MARK.untransmitted]: { label: 'untransmitted', color: 'rgba(120, 120, 120, 0.25)' },
  [MARK.lost]: { label: 'lost', color: 'rgba(220, 30, 30, 0.45)' },
  [MARK.concealed]: { label: 'concealed', color: 'rgba(240, 150, 0, 0.50)' },
};

const WAVE_HEIGHT = 72;
const SPECTRUM_HEIGHT = 128;
const WAVE_COLOR = '#3b6e8f';
const PLAYED_COLOR = '#17384d';

// Spectrogram colours from level 0 to 255: dark blue through red to pale
// yellow.
const PALETTE = (() => {
  const stops = [[0, [13, 8, 40]], [80, [70, 20, 110]], [150, [190, 40, 70]], [210, [245, 140, 40]],
    [255, [252, 250, 190]]];
  const colours = new Uint8Array(256 * 3);
  for (let v = 0; v < 256; v++) {
    const upper = stops.findIndex(([at]) => at >= v);
    const [a, ca] = stops[Math.max(0, upper - 1)];
    const [b, cb] = stops[upper];
    const t = b === a ? 0 : (v - a) / (b - a);
    for (let k = 0; k < 3; k++) colours[3 * v + k] = Math.round(ca[k] + (cb[k] - ca[k]) * t);
  }
  return colours;
})();

// The spectrogram as a picture of SPECTRUM_COLUMNS x SPECTRUM_BINS pixels,
// highest frequency at the top, made once per result.
function spectrumPicture(levels) {
  const canvas = document.createElement('canvas');
  canvas.width = SPECTRUM_COLUMNS;
  canvas.height = SPECTRUM_BINS;
  const context = canvas.getContext('2d');
  const image = context.createImageData(SPECTRUM_COLUMNS, SPECTRUM_BINS);
  for (let c = 0; c < SPECTRUM_COLUMNS; c++) {
    for (let k = 0; k < SPECTRUM_BINS; k++) {
      const at = 4 * ((SPECTRUM_BINS - 1 - k) * SPECTRUM_COLUMNS + c);
      const v = levels[c * SPECTRUM_BINS + k];
      image.data[at] = PALETTE[3 * v];
      image.data[at + 1] = PALETTE[3 * v + 1];
      image.data[at + 2] = PALETTE[3 * v + 2];
      image.data[at + 3] = 255;
    }
  }
  context.putImageData(image, 0, 0);
  return canvas;
}

// A label every 1, 2, 5, 10... seconds, at most about ten along the axis.
function labelInterval(duration, width) {
  const steps = [0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200];
  const most = Math.max(2, Math.min(12, Math.floor(width / 70)));
  return steps.find((step) => duration / step <= most) ?? 14400;
}

function timeText(seconds, interval) {
  if (interval >= 60) {
    const m = Math.floor(seconds / 60);
    const s = Math.round(seconds - 60 * m);
    return `${m}:${String(s).padStart(2, '0')}`;
  }
  return `${Number(seconds.toFixed(2))} s`;
}

// One signal's view: a canvas with the waveform over the spectrogram, and a
// cursor line; the decoded one also carries the marks.
class SignalView {
  constructor(container, summary, marks) {
    this.container = container;
    this.summary = summary;
    this.marks = marks;
    this.picture = spectrumPicture(summary.spectrum);
    this.canvas = document.createElement('canvas');
    this.canvas.className = 'signal';
    this.canvas.style.height = `${WAVE_HEIGHT + SPECTRUM_HEIGHT}px`;
    this.cursor = document.createElement('div');
    this.cursor.className = 'cursor';
    container.replaceChildren(this.canvas, this.cursor);
    this.fraction = 0;
  }

  draw() {
    const width = Math.max(1, this.container.clientWidth);
    const ratio = window.devicePixelRatio || 1;
    const pixels = Math.round(width * ratio);
    const height = Math.round((WAVE_HEIGHT + SPECTRUM_HEIGHT) * ratio);
    if (this.canvas.width !== pixels || this.canvas.height !== height) {
      this.canvas.width = pixels;
      this.canvas.height = height;
    }
    const g = this.canvas.getContext('2d');
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    g.clearRect(0, 0, width, WAVE_HEIGHT + SPECTRUM_HEIGHT);
    g.imageSmoothingEnabled = true;
    g.drawImage(this.picture, 0, WAVE_HEIGHT, width, SPECTRUM_HEIGHT);
    this.drawMarks(g, width);
    this.drawWave(g, width);
    this.placeCursor();
  }

  // Runs of equal columns as one rectangle each.
  drawMarks(g, width) {
    if (!this.marks) return;
    const n = this.marks.length;
    let start = 0;
    for (let c = 1; c <= n; c++) {
      if (c < n && this.marks[c] === this.marks[start]) continue;
      const mark = FRAME_MARKS[this.marks[start]];
      if (mark) {
        const x0 = (start / n) * width;
        const x1 = (c / n) * width;
        g.fillStyle = mark.color;
        g.fillRect(x0, 0, Math.max(1, x1 - x0), WAVE_HEIGHT);
      }
      start = c;
    }
  }

  // The lowest and highest sample under each pixel, from the peaks: one path.
  drawWave(g, width) {
    const peaks = this.summary.peaks;
    const columns = peaks.length / 2;
    const middle = WAVE_HEIGHT / 2;
    const columnsDrawn = Math.max(1, Math.round(width));
    g.fillStyle = WAVE_COLOR;
    g.beginPath();
    for (let x = 0; x < columnsDrawn; x++) {
      const first = Math.floor((x * columns) / columnsDrawn);
      const last = Math.max(first + 1, Math.floor(((x + 1) * columns) / columnsDrawn));
      let low = 0;
      let high = 0;
      for (let c = first; c < last; c++) {
        low = Math.min(low, peaks[2 * c]);
        high = Math.max(high, peaks[2 * c + 1]);
      }
      const top = middle - high * middle;
      const bottom = middle - low * middle;
      g.rect(x, top, 1, Math.max(1, bottom - top));
    }
    g.fill();
  }

  setPosition(fraction) {
    this.fraction = fraction;
    this.placeCursor();
  }

  placeCursor() {
    this.cursor.style.left = `${(this.fraction * 100).toFixed(4)}%`;
  }
}

export class SpeechViews {
  constructor(containers) {
    this.containers = containers; // { original, decoded, timeline }
    this.signals = [];
    this.players = {};
    this.listening = null;
    this.duration = 0;
    this.urls = [];
    this.onchange = null;
    this.ontime = null;
    this.frame = 0;
    new ResizeObserver(() => this.draw()).observe(containers.decoded);
    for (const which of ['original', 'decoded']) this.listenForSeeking(containers[which]);
  }

  // `summary` from the worker (speech_summary.js); the WAV files (blobs or
  // bytes) play.
  // `shift` is how far the decoded file runs ahead of the views' time axis.
  show(summary, wavs) {
    this.clear();
    this.duration = summary.seconds;
    this.shift = summary.shift;
    const decoded = new SignalView(this.containers.decoded, summary.decoded, summary.marks);
    this.signals = [decoded];
    if (summary.original) this.signals.unshift(new SignalView(this.containers.original, summary.original, null));
    for (const [which, bytes] of Object.entries(wavs)) {
      if (!bytes) continue;
      const url = URL.createObjectURL(bytes instanceof Blob ? bytes : new Blob([bytes], { type: 'audio/wav' }));
      this.urls.push(url);
      const audio = new Audio();
      audio.preload = 'auto';
      audio.src = url;
      audio.addEventListener('play', () => this.changed());
      audio.addEventListener('pause', () => this.changed());
      audio.addEventListener('ended', () => this.changed());
      this.players[which] = audio;
    }
    this.listening = 'decoded';
    this.draw();
    this.setTime(0);
  }

  clear() {
    for (const audio of Object.values(this.players)) {
      audio.pause();
      audio.removeAttribute('src');
      audio.load();
    }
    for (const url of this.urls) URL.revokeObjectURL(url);
    this.urls = [];
    this.players = {};
    this.signals = [];
    this.listening = null;
    this.duration = 0;
    cancelAnimationFrame(this.frame);
    for (const which of ['original', 'decoded', 'timeline']) this.containers[which].replaceChildren();
  }

  draw() {
    for (const view of this.signals) view.draw();
    this.drawTimeline();
  }

  drawTimeline() {
    const box = this.containers.timeline;
    if (this.signals.length === 0) return;
    const width = box.clientWidth;
    const interval = labelInterval(this.duration, width);
    const labels = [];
    for (let t = 0; t <= this.duration + 1e-9; t += interval) {
      const label = document.createElement('span');
      label.textContent = timeText(t, interval);
      label.style.left = `${((t / this.duration) * 100).toFixed(3)}%`;
      labels.push(label);
    }
    box.replaceChildren(...labels);
  }

  // Pointer presses and drags on a view seek there.
  listenForSeeking(container) {
    const seek = (event) => {
      if (!this.listening) return;
      const box = container.getBoundingClientRect();
      const fraction = Math.min(1, Math.max(0, (event.clientX - box.left) / box.width));
      this.setTime(fraction * this.duration);
    };
    container.addEventListener('pointerdown', (event) => {
      if (event.button !== 0) return;
      container.setPointerCapture(event.pointerId);
      seek(event);
    });
    container.addEventListener('pointermove', (event) => {
      if (container.hasPointerCapture(event.pointerId)) seek(event);
    });
  }

  player() {
    return this.players[this.listening] ?? null;
  }

  // Time on the views' axis; the decoded file next to an original runs the
  // encoder's look-ahead ahead of it.
  offset(which) {
    return which === 'decoded' ? this.shift : 0;
  }

  time() {
    const audio = this.player();
    if (!audio) return 0;
    return Math.min(this.duration, Math.max(0, audio.currentTime - this.offset(this.listening)));
  }

  setTime(seconds) {
    const audio = this.player();
    if (!audio) return;
    const t = Math.min(this.duration, Math.max(0, seconds));
    audio.currentTime = t + this.offset(this.listening);
    this.showTime(t);
  }

  showTime(t) {
    for (const view of this.signals) view.setPosition(this.duration > 0 ? t / this.duration : 0);
    this.ontime?.(t, this.duration);
  }

  playing() {
    const audio = this.player();
    return Boolean(audio && !audio.paused && !audio.ended);
  }

  toggle() {
    const audio = this.player();
    if (!audio) return;
    if (this.playing()) audio.pause();
    else audio.play().catch(() => this.changed());
  }

  // Carries on from the same moment in the other signal.
  listen(which) {
    if (!this.players[which] || which === this.listening) return;
    const wasPlaying = this.playing();
    const t = this.time();
    this.player().pause();
    this.listening = which;
    this.setTime(t);
    if (wasPlaying) this.player().play().catch(() => this.changed());
    this.changed();
  }

  // While playing, the cursor follows once per displayed frame.
  changed() {
    cancelAnimationFrame(this.frame);
    const follow = () => {
      this.showTime(this.time());
      if (this.playing()) this.frame = requestAnimationFrame(follow);
    };
    follow();
    this.onchange?.();
  }
}
