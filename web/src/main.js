// SPDX-License-Identifier: BSD-2-Clause
// The page: takes a file, has the codec worker decode it (a bit-stream) or
// encode and decode it (audio), and shows, plays and offers the results.
import {
  ENCODER_DELAY, FRAME_SAMPLES, KIND, SAMPLE_RATE, looksLikeAudioFile,
} from './bitstream_reader.js';
import { OUTCOME, kindsText } from './frame_statistics.js';
import { decodeSpeech } from './speech_input.js';
import { FRAME_MARKS, SpeechViews } from './speech_views.js';
import { wavFile } from './wav_file.js';

const $ = (id) => document.getElementById(id);
const BITSTREAM_NAMES = /\.(723|g723|bit|cod)$/i;
// What each frame of a capture's decoded stream is, in the calls library's order.
const STREAM_MARKS = [null, 'sid', 'untransmitted', 'lost', 'concealed'];

// The leading bytes of pcap (either byte order, micro- or nanoseconds) and
// pcapng files.
function isCapture(bytes) {
  if (bytes.length < 4) return false;
  const magic = new DataView(bytes.buffer, bytes.byteOffset, 4).getUint32(0, false);
  return [0xa1b2c3d4, 0xd4c3b2a1, 0xa1b23c4d, 0x4d3cb2a1, 0x0a0d0d0a].includes(magic);
}

// Requests to the codec worker, answered in order of their ids.
const worker = new Worker(new URL('./codec_worker.js', import.meta.url), { type: 'module' });
const pending = new Map();
let nextId = 1;
worker.onmessage = (event) => {
  const { id, result, error } = event.data;
  const request = pending.get(id);
  pending.delete(id);
  if (error) request.reject(new Error(error));
  else request.resolve(result);
};
function ask(message, transfer = []) {
  const id = nextId++;
  return new Promise((resolve, reject) => {
    pending.set(id, { resolve, reject });
    worker.postMessage({ ...message, id }, transfer);
  });
}

const views = new SpeechViews($('original'), $('decoded'), $('timeline'));
let file = null; // { name, bytes }
let latest = 0; // the run whose result is wanted; older ones are dropped
let downloads = [];
// The last result, for scripts driving the page.
window.g723page = { result: null, views };

function setState(state, text) {
  document.body.dataset.state = state;
  $('status').textContent = text;
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

function showFigures(result) {
  const s = result.statistics;
  $('figure-file').textContent = result.kind === 'bitstream'
    ? `${file.name} (${result.layout === 'slots' ? '24-byte slot' : 'compact'} layout, ${result.fileBytes} bytes)`
    : `${file.name}: ${result.channels} channel${result.channels === 1 ? '' : 's'}, ` +
      `${(result.original.length / SAMPLE_RATE).toFixed(2)} s at 8 kHz`;
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
  const perSecond = s.frames / Math.max(result.decodeSeconds, 1e-6);
  $('figure-speed').textContent = `${Math.round(perSecond)} frames/s ` +
    `(${(perSecond * FRAME_SAMPLES / SAMPLE_RATE).toFixed(0)} times real time) in WebAssembly`;
  $('figures').hidden = false;
}

// One stream of a capture: its figures from the report, its views, its WAV.
async function showStream(capture, index) {
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
    `read and decoded in ${(capture.decodeSeconds * 1000).toFixed(0)} ms in WebAssembly`;
  for (const row of document.querySelectorAll('.with-original, .with-bitstream')) row.hidden = true;
  $('figures').hidden = false;
  offerDownloads({ bitstream: null, wavFile: wavFile(stream.decoded, SAMPLE_RATE) },
    `-stream${index + 1}`);
  $('original-view').hidden = true;
  $('listen').hidden = true;
  $('decoded-note').textContent = `(stream ${index + 1}, as g723 pcap decodes it)`;
  $('views').hidden = false;
  $('player').hidden = false;
  await views.show(null, stream.decoded, Array.from(stream.frames, (f) => STREAM_MARKS[f]),
    (i) => (i * FRAME_SAMPLES) / SAMPLE_RATE, FRAME_SAMPLES / SAMPLE_RATE);
}

async function showCapture(capture) {
  $('capture-report').textContent = capture.report;
  $('capture-stream').replaceChildren(...capture.streams.map((stream, i) => {
    const option = document.createElement('option');
    option.value = String(i);
    option.textContent = `${i + 1}: ${stream.name}`;
    return option;
  }));
  $('capture').hidden = false;
  if (capture.streams.length > 0) {
    await showStream(capture, 0);
  } else {
    for (const id of ['figures', 'views', 'player']) $(id).hidden = true;
  }
}

function frameMark(kind, outcome) {
  if (outcome === OUTCOME.markedLost) return 'lost';
  if (outcome !== OUTCOME.clean) return 'concealed';
  if (kind === KIND.sid) return 'sid';
  if (kind === KIND.untransmitted) return 'untransmitted';
  return null;
}

function offerDownloads(result, suffix = '') {
  for (const url of downloads) URL.revokeObjectURL(url);
  const base = (file.name.replace(/\.[^.]*$/, '') || 'speech') + suffix;
  const link = (id, name, bytes, type) => {
    const url = URL.createObjectURL(new Blob([bytes], { type }));
    downloads.push(url);
    $(id).href = url;
    $(id).download = name;
  };
  downloads = [];
  $('download-bitstream').hidden = !result.bitstream;
  if (result.bitstream) link('download-bitstream', `${base}.723`, result.bitstream, 'application/octet-stream');
  link('download-wav', `${base}.decoded.wav`, result.wavFile, 'audio/wav');
}

async function showViews(result) {
  const hasOriginal = result.kind === 'audio';
  $('original-view').hidden = !hasOriginal;
  $('listen').hidden = !hasOriginal;
  // Next to an original, the decoded speech is shown without the encoder's
  // look-ahead so that both line up; the download keeps every sample.
  const decoded = hasOriginal
    ? result.decoded.subarray(ENCODER_DELAY, ENCODER_DELAY + result.original.length)
    : result.decoded;
  const shift = hasOriginal ? ENCODER_DELAY : 0;
  $('decoded-note').textContent = hasOriginal ? '(aligned with the original: the 60-sample look-ahead removed)' : '';
  const marks = Array.from(result.kinds, (kind, i) => frameMark(kind, result.outcomes[i]));
  $('views').hidden = false;
  $('player').hidden = false;
  await views.show(hasOriginal ? result.original : null, decoded, marks,
    (i) => (i * FRAME_SAMPLES - shift) / SAMPLE_RATE, FRAME_SAMPLES / SAMPLE_RATE);
  document.querySelector('input[name=listen][value=decoded]').checked = true;
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
  setState('working', `Working on ${file.name}...`);
  views.clear();
  try {
    let result;
    $('capture').hidden = true;
    if (isCapture(new Uint8Array(file.bytes))) {
      const bytes = file.bytes.slice(0);
      result = await ask({ type: 'capture', bytes, settings: options }, [bytes]);
      if (superseded()) return;
      window.g723page.result = result;
      await showCapture(result);
      if (superseded()) return;
      document.body.dataset.runs = String(Number(document.body.dataset.runs) + 1);
      setState('done', `${file.name}: ${result.streams.length} G.723.1 stream` +
        `${result.streams.length === 1 ? '' : 's'}${result.damage ? `; ${result.damage}` : '.'}`);
      return;
    }
    const notes = [];
    let bitstream = BITSTREAM_NAMES.test(file.name);
    let speech = null;
    if (!bitstream) {
      try {
        speech = await decodeSpeech(file.bytes);
      } catch (error) {
        // Not audio the browser knows: a bit-stream under another name.
        if (looksLikeAudioFile(new Uint8Array(file.bytes))) {
          throw new Error(`${file.name} is an audio file the browser cannot decode`);
        }
        bitstream = true;
        notes.push('not audio the browser decodes, so decoded as a bit-stream');
      }
    }
    if (bitstream) {
      const bytes = file.bytes.slice(0);
      result = await ask({ type: 'decode', bytes, layout: $('layout').value, settings: options }, [bytes]);
    } else {
      const samples = speech.samples.buffer;
      result = await ask({ type: 'roundtrip', samples, settings: options }, [samples]);
      result.channels = speech.channels;
    }
    if (superseded()) return;
    result.wavFile = wavFile(result.decoded, SAMPLE_RATE);
    window.g723page.result = result;
    showFigures(result);
    offerDownloads(result);
    await showViews(result);
    if (superseded()) return;
    document.body.dataset.runs = String(Number(document.body.dataset.runs) + 1);
    if (result.truncation) notes.push(result.truncation);
    setState('done', `${file.name}: ${notes.length > 0 ? notes.join('; ') : 'done.'}`);
  } catch (error) {
    if (superseded()) return;
    document.body.dataset.runs = String(Number(document.body.dataset.runs) + 1);
    setState('error', `${file.name}: ${error.message}`);
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
// One SID frame per pause or several only matter with silence compression.
$('vad').addEventListener('change', () => {
  $('multiple-sid').disabled = !$('vad').checked;
});
for (const id of ['vad', 'multiple-sid', 'postfilter', 'loss', 'seed', 'layout']) {
  $(id).addEventListener('change', run);
}
$('capture-stream').addEventListener('change', async () => {
  const capture = window.g723page.result;
  if (capture?.kind !== 'capture') return;
  setState('working', `Showing stream ${Number($('capture-stream').value) + 1}...`);
  await showStream(capture, Number($('capture-stream').value));
  document.body.dataset.runs = String(Number(document.body.dataset.runs) + 1);
  setState('done', `${file.name}: stream ${Number($('capture-stream').value) + 1}.`);
});
$('play').addEventListener('click', () => views.toggle());
for (const radio of document.querySelectorAll('input[name=listen]')) {
  radio.addEventListener('change', () => views.listen(radio.value));
}
document.addEventListener('keydown', (event) => {
  if (event.code === 'Space' && event.target === document.body && !$('player').hidden) {
    event.preventDefault();
    views.toggle();
  }
});
views.onchange = showPlayer;
views.ontime = (time) => {
  $('time').textContent = `${time.toFixed(2)} s`;
};
$('legend').replaceChildren(...Object.values(FRAME_MARKS).map((mark) => {
  const item = document.createElement('li');
  const swatch = document.createElement('span');
  swatch.style.background = mark.color;
  item.append(swatch, `${mark.label} frames`);
  return item;
}));
ask({ type: 'version' }).then(({ version }) => {
  $('version').textContent = `(version ${version})`;
}, (error) => setState('error', `The codec did not load: ${error.message}`));
