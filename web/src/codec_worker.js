// SPDX-License-Identifier: BSD-2-Clause
// The codec, off the page's main thread: the library's WebAssembly module,
// called through its g723_ calls one 30 ms frame at a time, as any host
// calls it.
import createG723 from './g723.mjs';
import {
  ENCODER_DELAY, FRAME_SAMPLES, KIND, SAMPLE_RATE, SLOT_BYTES, compactBytes, kindOf, readBitstream,
  takeFrameBytes, truncationReason,
} from './bitstream_reader.js';
import { OUTCOME, frameStatistics } from './frame_statistics.js';
import { measureSnr } from './snr_meter.js';
import { MARK, markColumns, summarize } from './speech_summary.js';
import { pcmWavLayout, readPcmWav } from './pcm_wav_reader.js';
import { wavBuffer } from './wav_file.js';

const ready = createG723();

// The longest speech the page takes, decoded: it holds every sample (16 KB
// a second, twice for an audio file), so this bounds its memory.
export const MAX_SECONDS = 4 * 3600;

// Progress of the request under way, posted to the page at most every
// 200 ms; `part` is the share of the whole request this step stands for,
// after `before` of it is done.
let progress = null;
function reportProgress(done) {
  const now = performance.now();
  if (!progress || now - progress.posted < 200) return;
  progress.posted = now;
  self.postMessage({ id: progress.id, progress: progress.before + progress.part * done });
}
function step(before, part) {
  if (progress) Object.assign(progress, { before, part });
}

// Frames handed to the module at a time: their slots and samples are
// copied in and out in one piece, and the module's memory stays small.
const BLOCK_FRAMES = 1024;

// Scratch memory inside the module for a block of frames.
class FrameCalls {
  constructor(codec) {
    this.codec = codec;
    this.handle = codec._malloc(4);
    this.count = codec._malloc(4);
    this.slots = codec._malloc(BLOCK_FRAMES * SLOT_BYTES);
    this.pcm = codec._malloc(BLOCK_FRAMES * FRAME_SAMPLES * 2);
  }

  check(result, what) {
    if (result !== 0) throw new Error(`${what} failed with result ${result}`);
  }

  openDecoder(postfilter) {
    const c = this.codec;
    this.check(c._g723_decoder_open(this.handle), 'opening a decoder');
    const decoder = c.HEAPU32[this.handle >> 2];
    this.check(c._g723_decoder_set_filter_mode(decoder, postfilter ? 1 : 0), 'setting the postfilter');
    return decoder;
  }

  closeDecoder(decoder) {
    this.codec.HEAPU32[this.handle >> 2] = decoder;
    this.codec._g723_decoder_close(this.handle);
  }

  openEncoder(settings) {
    const c = this.codec;
    this.check(c._g723_encoder_open(this.handle), 'opening an encoder');
    const encoder = c.HEAPU32[this.handle >> 2];
    this.check(c._g723_encoder_set_filter_mode(encoder, settings.highPass ? 1 : 0),
      'setting the high-pass filter');
    this.check(c._g723_encoder_set_vad_mode(encoder, settings.silenceCompression ? 1 : 0,
      settings.singleSid ? 1 : 0), 'setting silence compression');
    return encoder;
  }

  closeEncoder(encoder) {
    this.codec.HEAPU32[this.handle >> 2] = encoder;
    this.codec._g723_encoder_close(this.handle);
  }

  // The frames a loss rate and a seed mark lost, as the tool's --loss --seed.
  lossMarks(count, percent, seed) {
    const marks = new Uint8Array(count);
    if (!(percent > 0) || count === 0) return marks;
    const c = this.codec;
    const pointer = c._malloc(count);
    const seed64 = BigInt.asUintN(64, BigInt(seed));
    c._web_mark_losses(percent, Number(seed64 & 0xffffffffn), Number(seed64 >> 32n), count, pointer);
    marks.set(c.HEAPU8.subarray(pointer, pointer + count));
    c._free(pointer);
    return marks;
  }

  // Decodes 24-byte slots; a 5.3 kbit/s frame is concealed as lost, as the
  // tool does, and a frame the decoder refuses is concealed by the decoder.
  decode(slots, kinds, settings) {
    const c = this.codec;
    const frames = kinds.length;
    const marks = this.lossMarks(frames, settings.lossPercent, settings.seed);
    const wav = wavBuffer(frames * FRAME_SAMPLES, SAMPLE_RATE);
    const { samples } = wav;
    const outcomes = new Uint8Array(frames);
    const decoder = this.openDecoder(settings.postfilter);
    const started = performance.now();
    try {
      for (let first = 0; first < frames; first += BLOCK_FRAMES) {
        const count = Math.min(BLOCK_FRAMES, frames - first);
        c.HEAPU8.set(slots.subarray(first * SLOT_BYTES, (first + count) * SLOT_BYTES), this.slots);
        for (let k = 0; k < count; k++) {
          const i = first + k;
          const unsupported = kinds[i] === KIND.speech5k3;
          const result = c._g723_decode_frame(decoder, this.slots + k * SLOT_BYTES,
            this.pcm + k * FRAME_SAMPLES * 2, marks[i] || unsupported ? 1 : 0, this.count);
          outcomes[i] = unsupported ? OUTCOME.notSupported : marks[i] ? OUTCOME.markedLost
            : result !== 0 ? OUTCOME.invalid : OUTCOME.clean;
        }
        samples.set(c.HEAP16.subarray(this.pcm >> 1, (this.pcm >> 1) + count * FRAME_SAMPLES),
          first * FRAME_SAMPLES);
        reportProgress((first + count) / frames);
      }
    } finally {
      this.closeDecoder(decoder);
    }
    const seconds = (performance.now() - started) / 1000;
    return { samples, wav: wav.bytes, outcomes, decodeSeconds: seconds };
  }

  // Codes 8 kHz samples padded with zeros far enough that the encoder's
  // look-ahead reaches the last one, as `g723 encode` pads them.
  encode(input, settings) {
    const c = this.codec;
    const frames = Math.ceil((input.length + ENCODER_DELAY) / FRAME_SAMPLES);
    const slots = new Uint8Array(frames * SLOT_BYTES);
    const kinds = new Uint8Array(frames);
    const encoder = this.openEncoder(settings);
    const started = performance.now();
    try {
      for (let first = 0; first < frames; first += BLOCK_FRAMES) {
        const count = Math.min(BLOCK_FRAMES, frames - first);
        const from = first * FRAME_SAMPLES;
        const to = Math.max(from, Math.min(input.length, (first + count) * FRAME_SAMPLES));
        c.HEAP16.set(input.subarray(from, to), this.pcm >> 1);
        c.HEAP16.fill(0, (this.pcm >> 1) + to - from, (this.pcm >> 1) + count * FRAME_SAMPLES);
        for (let k = 0; k < count; k++) {
          this.check(c._g723_encode_frame(encoder, this.pcm + k * FRAME_SAMPLES * 2,
            this.slots + k * SLOT_BYTES, this.count), 'encoding');
        }
        slots.set(c.HEAPU8.subarray(this.slots, this.slots + count * SLOT_BYTES), first * SLOT_BYTES);
        for (let i = first; i < first + count; i++) kinds[i] = kindOf(slots[i * SLOT_BYTES]);
        reportProgress((first + count) / frames);
      }
    } finally {
      this.closeEncoder(encoder);
    }
    return { slots, kinds, encodeSeconds: (performance.now() - started) / 1000 };
  }

  kernels() {
    return this.codec.UTF8ToString(this.codec._web_kernel_path());
  }

  version() {
    const pointer = this.codec._malloc(4);
    this.codec._g723_get_version(pointer);
    const text = this.codec.UTF8ToString(this.codec.HEAPU32[pointer >> 2]);
    this.codec._free(pointer);
    return text;
  }
}

const calls = ready.then((codec) => {
  takeFrameBytes((kind) => codec._web_frame_bytes(kind));
  return new FrameCalls(codec);
});

// Frame marks as speech_summary.js ranks them.
function frameMark(kind, outcome) {
  if (outcome === OUTCOME.markedLost) return MARK.lost;
  if (outcome !== OUTCOME.clean) return MARK.concealed;
  if (kind === KIND.sid) return MARK.sid;
  if (kind === KIND.untransmitted) return MARK.untransmitted;
  return MARK.none;
}

function refuseLonger(frames) {
  const seconds = (frames * FRAME_SAMPLES) / SAMPLE_RATE;
  if (seconds > MAX_SECONDS) {
    throw new Error(`is ${(seconds / 3600).toFixed(1)} hours long decoded; the page takes at most ` +
      `${MAX_SECONDS / 3600} hours (g723 decode takes any length)`);
  }
}

// The views' summaries of the decoded speech (and of the original, when
// there is one) and the frame marks, on one time axis: next to an original,
// the decoded speech is shown without the encoder's look-ahead so that both
// line up.
function views(original, decoded, kinds, outcomes) {
  const shift = original ? ENCODER_DELAY : 0;
  const shown = original ? decoded.subarray(shift, shift + original.length) : decoded;
  const seconds = shown.length / SAMPLE_RATE;
  const marks = new Uint8Array(kinds.length);
  for (let i = 0; i < kinds.length; i++) marks[i] = frameMark(kinds[i], outcomes[i]);
  return {
    seconds,
    shift: shift / SAMPLE_RATE,
    original: original ? summarize(original) : null,
    decoded: summarize(shown),
    marks: markColumns(marks, shift / SAMPLE_RATE, seconds),
  };
}

function decodeBitstream(f, message) {
  const bytes = new Uint8Array(message.bytes);
  const stream = readBitstream(bytes, message.layout);
  refuseLonger(stream.kinds.length);
  step(0, 0.9);
  const decoded = f.decode(stream.slots, stream.kinds, message.settings);
  step(0.9, 0.1);
  const statistics = frameStatistics(stream.kinds, decoded.outcomes);
  return {
    kind: 'bitstream',
    layout: message.layout,
    fileBytes: bytes.byteLength,
    bitstream: bytes,
    kinds: stream.kinds,
    outcomes: decoded.outcomes,
    wavFile: wavBlob(decoded.wav),
    decodeSeconds: decoded.decodeSeconds,
    statistics,
    truncation: stream.truncated
      ? truncationReason(stream.truncated, message.layout, stream.kinds.length) : null,
    views: views(null, decoded.samples, stream.kinds, decoded.outcomes),
  };
}

// The encoder's input: a 16-bit WAV at 8 kHz as it is, or the browser's
// floats rounded half away from zero and clipped to 16 bits, channels mixed
// down by averaging, as the tool prepares its input.
function encoderInput(message) {
  if (message.wav) {
    const bytes = new Uint8Array(message.wav);
    const layout = pcmWavLayout(bytes);
    refuseLonger(Math.ceil((layout.frames + ENCODER_DELAY) / FRAME_SAMPLES));
    const original = wavBuffer(layout.frames, SAMPLE_RATE);
    readPcmWav(bytes, layout, original.samples);
    return { original, channels: layout.channels };
  }
  const channels = message.channels.map((buffer) => new Float32Array(buffer));
  const length = channels[0]?.length ?? 0;
  refuseLonger(Math.ceil((length + ENCODER_DELAY) / FRAME_SAMPLES));
  const original = wavBuffer(length, SAMPLE_RATE);
  const samples = original.samples;
  const count = channels.length;
  for (let i = 0; i < length; i++) {
    let sum = 0;
    for (let c = 0; c < count; c++) sum += channels[c][i];
    const value = (sum / count) * 32768;
    const rounded = Number.isNaN(value) ? 0 : Math.sign(value) * Math.floor(Math.abs(value) + 0.5);
    samples[i] = Math.max(-32768, Math.min(32767, rounded));
  }
  return { original, channels: count };
}

const wavBlob = (bytes) => new Blob([bytes], { type: 'audio/wav' });

function roundTrip(f, message) {
  const { original, channels } = encoderInput(message);
  const input = original.samples;
  step(0, 0.6);
  const coded = f.encode(input, message.settings);
  step(0.6, 0.3);
  const decoded = f.decode(coded.slots, coded.kinds, message.settings);
  step(0.9, 0.1);
  return {
    kind: 'audio',
    layout: 'compact',
    channels,
    originalSamples: input.length,
    originalWav: wavBlob(original.bytes),
    bitstream: compactBytes(coded.slots, coded.kinds),
    kinds: coded.kinds,
    outcomes: decoded.outcomes,
    wavFile: wavBlob(decoded.wav),
    encodeSeconds: coded.encodeSeconds,
    decodeSeconds: decoded.decodeSeconds,
    statistics: frameStatistics(coded.kinds, decoded.outcomes),
    quality: measureSnr(input, decoded.samples, ENCODER_DELAY),
    views: views(input, decoded.samples, coded.kinds, decoded.outcomes),
  };
}

// The capture module is loaded when the first capture comes; a page built
// without libpcap has none.
let captureModule = null;
function captureCalls() {
  captureModule ??= import('./g723_capture.mjs').then((m) => m.default(), () => {
    throw new Error('this page was built without packet captures');
  });
  return captureModule;
}

// What each frame of a capture's decoded stream is, in the calls library's
// order (speech, SID, untransmitted, lost, concealed), as marks.
const STREAM_MARKS = [MARK.none, MARK.sid, MARK.untransmitted, MARK.lost, MARK.concealed];

// A capture's G.723.1 streams, decoded, with `g723 pcap`'s report.
async function readCapture(message) {
  const c = await captureCalls();
  const bytes = new Uint8Array(message.bytes);
  const copy = c._malloc(bytes.length);
  c.HEAPU8.set(bytes, copy);
  const started = performance.now();
  const reading = c._web_capture_read(copy, bytes.length, message.settings.postfilter ? 1 : 0);
  const decodeSeconds = (performance.now() - started) / 1000;
  c._free(copy);
  try {
    const error = c.UTF8ToString(c._web_capture_error(reading));
    if (error) throw new Error(`is not a capture that can be read (${error})`);
    const streams = [];
    for (let i = 0; i < c._web_capture_streams(reading); i++) {
      const samples = c._web_capture_samples(reading, i) >> 1;
      const count = c._web_capture_sample_count(reading, i);
      const wav = wavBuffer(count, SAMPLE_RATE);
      wav.samples.set(c.HEAP16.subarray(samples, samples + count));
      const framesAt = c._web_capture_frames(reading, i);
      const frames = c.HEAPU8.slice(framesAt, framesAt + c._web_capture_frame_count(reading, i));
      const marks = Uint8Array.from(frames, (f) => STREAM_MARKS[f] ?? MARK.none);
      const seconds = count / SAMPLE_RATE;
      streams.push({
        name: c.UTF8ToString(c._web_capture_stream_name(reading, i)),
        wavFile: wavBlob(wav.bytes),
        frames,
        views: {
          seconds, shift: 0, original: null, decoded: summarize(wav.samples),
          marks: markColumns(marks, 0, seconds),
        },
      });
    }
    return {
      kind: 'capture',
      report: c.UTF8ToString(c._web_capture_report(reading, 0)),
      reportJson: JSON.parse(c.UTF8ToString(c._web_capture_report(reading, 1))),
      damage: c.UTF8ToString(c._web_capture_damage(reading)),
      streams,
      decodeSeconds,
    };
  } finally {
    c._web_capture_free(reading);
  }
}

// The big arrays of a result move to the page rather than being copied;
// the WAV files go as blobs, made here, off the page's thread.
function transfers(result) {
  const buffers = new Set();
  const add = (a) => { if (a?.buffer instanceof ArrayBuffer) buffers.add(a.buffer); };
  for (const part of [result, ...(result.streams ?? [])]) {
    for (const key of ['bitstream', 'kinds', 'outcomes', 'frames']) add(part[key]);
  }
  return [...buffers];
}

self.onmessage = async (event) => {
  const message = event.data;
  progress = { id: message.id, posted: performance.now(), before: 0, part: 1 };
  try {
    let result;
    if (message.type === 'capture') {
      result = await readCapture(message);
    } else {
      const f = await calls;
      if (message.type === 'version') result = { version: f.version(), kernels: f.kernels() };
      else if (message.type === 'decode') result = decodeBitstream(f, message);
      else if (message.type === 'roundtrip') result = roundTrip(f, message);
      else throw new Error(`unknown request ${message.type}`);
    }
    self.postMessage({ id: message.id, result }, transfers(result));
  } catch (error) {
    self.postMessage({ id: message.id, error: error.message || String(error) });
  } finally {
    progress = null;
  }
};
