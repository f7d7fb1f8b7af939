// SPDX-License-Identifier: BSD-2-Clause
// The page: takes a file, has the codec worker decode it (a bit-stream) or
// encode and decode it (audio), and shows, plays and offers the results.
// Every long loop runs in the worker, which reports its progress; the page
// only draws fixed-size summaries, so no input blocks it.
import { FRAME_SAMPLES, SAMPLE_RATE, looksLikeAudioFile } from './bitstream_reader.js';
import { kindsText } from './frame_statistics.js';
import { pcmWavLayout } from './pcm_wav_reader.js';
import { decodeSpeech } from './speech_input.js';
import { FRAME_MARKS, SpeechViews } from './speech_views.js';

const $ = (id) => document.getElementById(id);
const BITSTREAM_NAMES = /\.(723|g723|bit|cod)$/i;
// Names of audio files: one the browser cannot decode is refused as `g723
// encode` refuses it, rather than taken for a bit-stream.
const AUDIO_NAMES = /\.(wav|wave|flac|ogg|oga|opus|mp3|aif|aiff|aifc|au|snd|m4a|aac|webm|caf)$/i;
// Progress shows once work has taken this long.
const PROGRESS_AFTER_MS = 500;

// The leading bytes of pcap (either byte order, micro- or nanoseconds) and
// pcapng files.
function isCapture(bytes) {
  if (bytes.length < 4) return false;
  const magic = new DataView(bytes.buffer, bytes.byteOffset, 4).getUint32(0, false);
  return [0xa1b2c3d4, 0xd4c3b2a1, 0xa1b23c4d, 0x4d3cb2a1, 0x0a0d0d0a].includes(magic);
}

class Cancelled extends Error {}

// Requests to the codec worker. Cancelling ends the worker (its loops do not
// stop to read messages) and starts a new one.
let worker = null;
const pending = new Map();
let nextId = 1;
function startWorker() {
  worker = new Worker(new URL('./codec_worker.js', import.meta.url), { type: 'module' });
  worker.onmessage = (event) => {
    const { id, result, error, progress } = event.data;
    const request = pending.get(id);
    if (!request) return;
    if (progress !== undefined) {
      request.onprogress?.(progress);
      return;
    }
    pending.delete(id);
    if (error) request.reject(new Error(error));
    else request.resolve(result);
  };
}
function ask(message, transfer = [], onprogress = null) {
  const id = nextId++;
  return new Promise((resolve, reject) => {
    pending.set(id, { resolve, reject, onprogress });
    worker.postMessage({ ...message, id }, transfer);
  });
}
function cancelWork() {
  worker.terminate();
  for (const request of pending.values()) request.reject(new Cancelled('cancelled'));
  pending.clear();
  startWorker();
}
startWorker();

const views = new SpeechViews({ original: $('original'), decoded: $('decoded'), timeline: $('timeline') });
let file = null; // { name, bytes }
let latest = 0; // the run whose result is wanted; older ones are dropped
let downloads = [];
let kernels = '';
// The last result, for scripts driving the page.
window.g723page = { result: null, views };

function setState(state, text) {
  document.body.dataset.state = state;
  $('status').textContent = text;
}

function finish(state, text) {
  showBusy(false);
  document.body.dataset.runs = String(Number(document.body.dataset.runs) + 1);
  setState(state, text);
}

// The progress bar and the cancel button, shown when work runs long.
let busyTimer = 0;
// A capture is read in one call, which tells no share done: its bar only
// says that work goes on.
function showBusy(on, share = true) {
  clearTimeout(busyTimer);
  if (on) {
    if (share) $('progress').value = 0;
    else $('progress').removeAttribute('value');
    busyTimer = setTimeout(() => { $('busy').hidden = false; }, PROGRESS_AFTER_MS);
  } else {
    $('busy').hidden = true;
  }
}
function progressTo(fraction) {
  $('progress').value = fraction;
}

function settings() {
  const seed = $('seed').value.trim();
  if (!/^\d+$/.test(seed) || BigInt(seed) >= 2n ** 64n) {
    throw new Error(`the seed must be a whole number from 0 to ${2n ** 64n - 1n}`);
  }
  const lossPercent = Number($('loss').value);
  if (!(lossPercent >= 0 && lossPercent <= 100)) throw new Error('the loss must be 0 to 100 %');
  const multipleSid = $('vad').checked && $('multiple-sid').checked;
  return {
    silenceCompression: $('vad').checked,
    singleSid: !multipleSid,
    highPass: true,
    postfilter: $('postfilter').checked,
    lossPercent,
    seed,
  };
}

function decibels(value) {
  if (value === null) return 'n/a (the input is silent)';
  if (!Number.isFinite(value)) return 'infinite (no coding error)';
  return `${value.toFixed(2)} dB`;
}

function speedText(frames, seconds) {
  const perSecond = frames / Math.max(seconds, 1e-6);
  return `${Math.round(perSecond)} frames/s ` +
    `(${(perSecond * FRAME_SAMPLES / SAMPLE_RATE).toFixed(0)} times real time) in WebAssembly${kernels}`;
}

// What the tool notes on standard error about concealed frames.
function concealedNote(s) {
  const notClean = s.invalid + s.notSupported;
  return notClean === 0 ? null
    : `${notClean} of ${s.frames} frames concealed (${s.invalid} invalid, ${s.notSupported} at 5.3 kbit/s)`;
}

function showFigures(result) {
  const s = result.statistics;
  $('figure-file').textContent = result.kind === 'bitstream'
    ? `${file.name} (${result.layout === 'slots' ? '24-byte slot' : 'compact'} layout, ${result.fileBytes} bytes)`
    : `${file.name}: ${result.channels} channel${result.channels === 1 ? '' : 's'}, ` +
      `${(result.originalSamples / SAMPLE_RATE).toFixed(2)} s at 8 kHz`;
  $('figure-duration').textContent = `${s.seconds.toFixed(2)} s (${s.frames} frames of 30 ms)`;
  $('figure-frames').textContent = kindsText(s);
  $('figure-bit-rate').textContent = `${s.bitRate.toFixed(0)} bit/s average (meaningful bytes only)`;
  $('figure-lost').textContent = s.markedLost > 0 ? `${s.markedLost} marked lost and concealed` : 'none';
  const notClean = s.invalid + s.notSupported;
  $('figure-not-clean').textContent = (notClean === 0 ? 'none'
    : `${notClean} frame${notClean === 1 ? '' : 's'} concealed (${s.invalid} invalid, ` +
      `${s.notSupported} at 5.3 kbit/s)`) + (result.truncation ? `; ${result.truncation}` : '');
  for (const row of document.querySelectorAll('.with-bitstream')) row.hidden = false;
  for (const row of document.querySelectorAll('.with-original')) row.hidden = !result.quality;
  if (result.quality) {
    $('figure-snr').textContent = decibels(result.quality.snr);
    $('figure-segmental-snr').textContent =
      `${decibels(result.quality.segmentalSnr)} over ${result.quality.segmentsUsed} active segments of 30 ms`;
  }
  $('figure-speed').textContent = speedText(s.frames, result.decodeSeconds);
  $('figures').hidden = false;
}

function offerDownloads(bitstream, wav, suffix = '') {
  for (const url of downloads) URL.revokeObjectURL(url);
  downloads = [];
  const base = (file.name.replace(/\.[^.]*$/, '') || 'speech') + suffix;
  const link = (id, name, bytes, type) => {
    $(id).hidden = !bytes;
    if (!bytes) return;
    const url = URL.createObjectURL(bytes instanceof Blob ? bytes : new Blob([bytes], { type }));
    downloads.push(url);
    $(id).href = url;
    $(id).download = name;
  };
  link('download-bitstream', `${base}.723`, bitstream, 'application/octet-stream');
  link('download-wav', `${base}.decoded.wav`, wav, 'audio/wav');
}

// Everything a result shows, gone: a new run or an error leaves nothing of
// the previous file on screen.
function clearResults() {
  views.clear();
  offerDownloads(null, null);
  for (const id of ['capture', 'figures', 'views', 'player']) $(id).hidden = true;
  $('capture-report').textContent = '';
  $('capture-stream').replaceChildren();
  window.g723page.result = null;
  showPlayer();
}

function showViews(summary, wavs, note) {
  const hasOriginal = Boolean(summary.original);
  $('original-view').hidden = !hasOriginal;
  $('listen').hidden = !hasOriginal;
  $('decoded-note').textContent = note;
  $('views').hidden = false;
  $('player').hidden = false;
  views.show(summary, wavs);
  $('position').max = String(summary.seconds);
  document.querySelector('input[name=listen][value=decoded]').checked = true;
  showPlayer();
}

// One stream of a capture: its figures from the report, its views, its WAV.
function showStream(capture, index) {
  const stream = capture.streams[index];
  const figures = capture.reportJson.streams[index];
  $('figure-file').textContent = `${file.name}: stream ${index + 1}, ${stream.name}`;
  $('figure-duration').textContent = `${figures.duration_seconds.toFixed(2)} s ` +
    `(${stream.frames.length} frames of 30 ms, silence included)`;
  $('figure-frames').textContent = `${figures.frames} in ${figures.packets} packets: ` +
    `${figures.sid_frames} SID, ${figures.untransmitted_frames} untransmitted`;
  $('figure-lost').textContent = figures.lost_frames > 0
    ? `${figures.lost_frames} frames in ${figures.lost_packets} packets, concealed` : 'none';
  const notClean = figures.invalid_frames + figures.not_supported_frames;
  $('figure-not-clean').textContent = notClean === 0 ? 'none'
    : `${notClean} frames concealed (${figures.invalid_frames} invalid, ` +
      `${figures.not_supported_frames} at 5.3 kbit/s)`;
  $('figure-speed').textContent = `${capture.streams.reduce((n, s) => n + s.frames.length, 0)} frames ` +
    `read and decoded in ${(capture.decodeSeconds * 1000).toFixed(0)} ms in WebAssembly${kernels}`;
  for (const row of document.querySelectorAll('.with-original, .with-bitstream')) row.hidden = true;
  $('figures').hidden = false;
  offerDownloads(null, stream.wavFile, `-stream${index + 1}`);
  showViews(stream.views, { decoded: stream.wavFile }, `(stream ${index + 1}, as g723 pcap decodes it)`);
}

function showCapture(capture) {
  $('capture-report').textContent = capture.report;
  $('capture-stream').replaceChildren(...capture.streams.map((stream, i) => {
    const option = document.createElement('option');
    option.value = String(i);
    option.textContent = `${i + 1}: ${stream.name}`;
    return option;
  }));
  $('capture').hidden = false;
  if (capture.streams.length > 0) showStream(capture, 0);
}

async function run() {
  if (!file) return;
  let options;
  try {
    options = settings();
  } catch (error) {
    setState('error', error.message);
    return;
  }
  const current = ++latest;
  const superseded = () => current !== latest;
  // A run still under way for an earlier choice is of no more use.
  if (pending.size > 0) cancelWork();
  clearResults();
  setState('working', `Working on ${file.name}...`);
  const capture = isCapture(new Uint8Array(file.bytes));
  showBusy(true, !capture);
  try {
    let result;
    if (capture) {
      const bytes = file.bytes.slice(0);
      result = await ask({ type: 'capture', bytes, settings: options }, [bytes]);
      if (superseded()) return;
      window.g723page.result = result;
      showCapture(result);
      finish('done', `${file.name}: ${result.streams.length} G.723.1 stream` +
        `${result.streams.length === 1 ? '' : 's'}${result.damage ? `; ${result.damage}` : '.'}`);
      return;
    }
    const notes = [];
    let bitstream = BITSTREAM_NAMES.test(file.name);
    let speech = null;
    if (!bitstream && pcmWavLayout(new Uint8Array(file.bytes))) {
      // 16-bit PCM at 8 kHz: the worker reads the samples as they are.
      const wav = file.bytes.slice(0);
      speech = { wav, transfer: [wav] };
    } else if (!bitstream) {
      try {
        const decoded = await decodeSpeech(file.bytes);
        speech = { channels: decoded.channels, transfer: decoded.channels };
      } catch (error) {
        if (AUDIO_NAMES.test(file.name) || looksLikeAudioFile(new Uint8Array(file.bytes))) {
          throw new Error(`is not an audio file that can be read (the browser does not recognise ` +
            `its format)`);
        }
        // Not audio by name or content: a bit-stream under another name.
        bitstream = true;
        notes.push('not audio the browser decodes, so decoded as a bit-stream');
      }
      if (superseded()) return;
    }
    if (bitstream) {
      const bytes = file.bytes.slice(0);
      result = await ask({ type: 'decode', bytes, layout: $('layout').value, settings: options },
        [bytes], progressTo);
    } else {
      result = await ask({ type: 'roundtrip', wav: speech.wav, channels: speech.channels, settings: options },
        speech.transfer, progressTo);
    }
    if (superseded()) return;
    window.g723page.result = result;
    showFigures(result);
    offerDownloads(result.bitstream, result.wavFile);
    const hasOriginal = result.kind === 'audio';
    showViews(result.views, { decoded: result.wavFile, original: result.originalWav },
      hasOriginal ? '(aligned with the original: the 60-sample look-ahead removed)' : '');
    // The tool's notes: where the stream ends early, then what was concealed.
    if (result.truncation) notes.push(result.truncation);
    if (concealedNote(result.statistics)) notes.push(concealedNote(result.statistics));
    finish('done', `${file.name}: ${notes.length > 0 ? notes.join('; ') : 'done.'}`);
  } catch (error) {
    if (superseded()) return;
    clearResults();
    if (error instanceof Cancelled) finish('cancelled', `${file.name}: cancelled.`);
    else finish('error', `${file.name}: ${error.message}`);
  }
}

async function open(chosen) {
  if (!chosen) return;
  file = { name: chosen.name, bytes: await chosen.arrayBuffer() };
  await run();
}

function showPlayer() {
  $('play').textContent = views.playing() ? 'Pause' : 'Play';
}

$('file').addEventListener('change', (event) => {
  open(event.target.files[0]);
  // Choosing the same file again reads it again.
  event.target.value = '';
});
const drop = $('drop');
drop.addEventListener('dragover', (event) => {
  event.preventDefault();
  drop.classList.add('over');
});
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', (event) => {
  event.preventDefault();
  drop.classList.remove('over');
  open(event.dataTransfer.files[0]);
});
$('cancel').addEventListener('click', () => {
  latest += 1;
  cancelWork();
  clearResults();
  finish('cancelled', `${file?.name ?? 'The work'}: cancelled.`);
});
// One SID frame per pause or several only matter with silence compression.
$('vad').addEventListener('change', () => {
  $('multiple-sid').disabled = !$('vad').checked;
});
for (const id of ['vad', 'multiple-sid', 'postfilter', 'loss', 'seed', 'layout']) {
  $(id).addEventListener('change', run);
}
$('capture-stream').addEventListener('change', () => {
  const capture = window.g723page.result;
  if (capture?.kind !== 'capture') return;
  const index = Number($('capture-stream').value);
  showStream(capture, index);
  finish('done', `${file.name}: stream ${index + 1}.`);
});
$('play').addEventListener('click', () => views.toggle());
for (const radio of document.querySelectorAll('input[name=listen]')) {
  radio.addEventListener('change', () => views.listen(radio.value));
}
// The position slider: arrows move by a second, page keys by ten, Home and
// End to either end; dragging it moves anywhere.
const position = $('position');
position.addEventListener('input', () => views.setTime(Number(position.value)));
position.addEventListener('keydown', (event) => {
  const steps = { ArrowLeft: -1, ArrowDown: -1, ArrowRight: 1, ArrowUp: 1, PageDown: -10, PageUp: 10 };
  let to = null;
  if (event.key in steps) to = views.time() + steps[event.key];
  else if (event.key === 'Home') to = 0;
  else if (event.key === 'End') to = views.duration;
  if (to === null) return;
  event.preventDefault();
  views.setTime(to);
});
document.addEventListener('keydown', (event) => {
  if (event.code === 'Space' && event.target === document.body && !$('player').hidden) {
    event.preventDefault();
    views.toggle();
  }
});
views.onchange = showPlayer;
views.ontime = (time, duration) => {
  const text = `${time.toFixed(2)} s`;
  $('time').textContent = text;
  position.value = String(time);
  position.setAttribute('aria-valuetext', `${text} of ${duration.toFixed(2)} s`);
};
$('legend').replaceChildren(...Object.values(FRAME_MARKS).map((mark) => {
  const item = document.createElement('li');
  const swatch = document.createElement('span');
  swatch.style.background = mark.color;
  item.append(swatch, `${mark.label} frames`);
  return item;
}));
ask({ type: 'version' }).then(({ version, kernels: path }) => {
  $('version').textContent = `(version ${version})`;
  kernels = path === 'sse2' ? ' SIMD' : '';
  document.body.dataset.kernels = path;
}, (error) => setState('error', `The codec did not load: ${error.message}`));
