// SPDX-License-Identifier: BSD-2-Clause
// The original and decoded speech on one time axis: waveform and spectrogram
// of each (wavesurfer.js and its plugins), the frame kinds along the decoded
// one, and one player that plays either from any point and switches between
// them while playing.
import WaveSurfer from '../vendor/wavesurfer.esm.js';
import SpectrogramPlugin from '../vendor/plugins/spectrogram.esm.js';
import RegionsPlugin from '../vendor/plugins/regions.esm.js';
import TimelinePlugin from '../vendor/plugins/timeline.esm.js';
import { SAMPLE_RATE } from './bitstream_reader.js';
import { wavFile } from './wav_file.js';

// Frame kinds as the strip shows them; speech frames stay unmarked.
export const FRAME_MARKS = {
  sid: { label: 'SID', color: 'rgba(40, 110, 230, 0.30)' },
  untransmitted: { label: 'untransmitted', color: 'rgba(120, 120, 120, 0.25)' },
  lost: { label: 'lost', color: 'rgba(220, 30, 30, 0.40)' },
  concealed: { label: 'concealed', color: 'rgba(240, 150, 0, 0.45)' },
};

// A label every 1, 2, 5, 10... seconds, about ten along the axis.
function labelInterval(duration) {
  const steps = [0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600];
  return steps.find((step) => duration / step <= 12) ?? 7200;
}

function createView(container, timeline, duration) {
  const regions = RegionsPlugin.create();
  const plugins = [
    SpectrogramPlugin.create({
      labels: true, height: 128, fftSamples: 256, frequencyMax: SAMPLE_RATE / 2,
      colorMap: 'roseus',
    }),
    regions,
  ];
  if (timeline) {
    plugins.push(TimelinePlugin.create({
      container: timeline, height: 20, timeInterval: labelInterval(duration) / 5,
      primaryLabelInterval: labelInterval(duration), secondaryLabelInterval: labelInterval(duration),
      style: { fontSize: '12px', color: '#1d2731' },
      formatTimeCallback: (seconds) => `${Number(seconds.toFixed(2))} s`,
    }));
  }
  const wave = WaveSurfer.create({
    container, height: 72, sampleRate: SAMPLE_RATE, waveColor: '#3b6e8f', progressColor: '#17384d',
    cursorColor: '#c0392b', cursorWidth: 2, dragToSeek: true, plugins,
  });
  return { wave, regions, url: null };
}

function load(view, samples) {
  const blob = new Blob([wavFile(samples, SAMPLE_RATE)], { type: 'audio/wav' });
  view.url = URL.createObjectURL(blob);
  return new Promise((resolve, reject) => {
    view.wave.once('ready', resolve);
    view.wave.once('error', reject);
    view.wave.load(view.url);
  });
}

// Runs of equally marked frames as [start, end, mark] in seconds.
function markRuns(marks, frameStart, frameSeconds, duration) {
  const runs = [];
  for (let i = 0; i < marks.length; i++) {
    const mark = marks[i];
    if (!mark) continue;
    const start = Math.max(0, frameStart(i));
    const end = Math.min(duration, frameStart(i) + frameSeconds);
    const last = runs[runs.length - 1];
    if (last && last.mark === mark && Math.abs(last.end - start) < 1e-9) last.end = end;
    else if (end > start) runs.push({ start, end, mark });
  }
  return runs;
}

export class SpeechViews {
  constructor(originalContainer, decodedContainer, timelineContainer) {
    this.containers = { original: originalContainer, decoded: decodedContainer, timeline: timelineContainer };
    this.original = null;
    this.decoded = null;
    this.listening = null;
  }

  // `original` may be null (a bit-stream has none). `decoded` is already
  // aligned with it; `frameStart(i)` places frame i on the time axis. Each
  // result gets views of its own.
  async show(original, decoded, marks, frameStart, frameSeconds) {
    this.clear();
    const duration = decoded.length / SAMPLE_RATE;
    this.decoded = createView(this.containers.decoded, this.containers.timeline, duration);
    this.original = original ? createView(this.containers.original, null, duration) : null;
    const views = [this.original, this.decoded].filter(Boolean);
    for (const view of views) {
      for (const other of views) {
        if (other !== view) view.wave.on('interaction', (time) => other.wave.setTime(time));
      }
      view.wave.on('play', () => this.onchange?.());
      view.wave.on('pause', () => this.onchange?.());
      view.wave.on('timeupdate', (time) => this.ontime?.(time));
    }
    this.listening = this.decoded;
    const loading = [load(this.decoded, decoded)];
    if (original) loading.push(load(this.original, original));
    await Promise.all(loading);
    for (const run of markRuns(marks, frameStart, frameSeconds, this.decoded.wave.getDuration())) {
      this.decoded.regions.addRegion({
        start: run.start, end: run.end, color: FRAME_MARKS[run.mark].color, drag: false,
        resize: false,
      });
    }
  }

  clear() {
    for (const view of [this.original, this.decoded]) {
      if (!view) continue;
      view.wave.destroy();
      URL.revokeObjectURL(view.url);
    }
    this.original = null;
    this.decoded = null;
    this.listening = null;
  }

  playing() {
    return this.listening?.wave.isPlaying() ?? false;
  }

  toggle() {
    if (!this.listening) return;
    if (this.playing()) this.listening.wave.pause();
    else this.listening.wave.play();
  }

  // Carries on from the same moment in the other signal.
  listen(which) {
    const next = which === 'original' && this.original ? this.original : this.decoded;
    if (!next || next === this.listening) return;
    const wasPlaying = this.playing();
    const time = this.listening.wave.getCurrentTime();
    this.listening.wave.pause();
    this.listening = next;
    next.wave.setTime(time);
    if (wasPlaying) next.wave.play();
    this.onchange?.();
  }
}
