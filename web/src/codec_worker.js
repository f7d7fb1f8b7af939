// SPDX-License-Identifier: BSD-2-Clause
// The codec, off the page's main thread: the library's WebAssembly module,
// called through its g723_ calls one 30 ms frame at a time, as any host
// calls it.
import createG723 from './g723.mjs';
import {
  ENCODER_DELAY, FRAME_SAMPLES, KIND, SLOT_BYTES, compactBytes, kindOf, readBitstream,
  truncationReason,
} from './bitstream_reader.js';
import { OUTCOME, frameStatistics } from './frame_statistics.js';
import { measureSnr } from './snr_meter.js';

const ready = createG723();

// Scratch memory inside the module for one frame's call.
class FrameCalls {
  constructor(codec) {
    this.codec = codec;
    this.handle = codec._malloc(4);
    this.count = codec._malloc(4);
    this.slot = codec._malloc(SLOT_BYTES);
    this.pcm = codec._malloc(FRAME_SAMPLES * 2);
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
    const samples = new Int16Array(frames * FRAME_SAMPLES);
    const outcomes = new Uint8Array(frames);
    const decoder = this.openDecoder(settings.postfilter);
    const started = performance.now();
    try {
      for (let i = 0; i < frames; i++) {
        c.HEAPU8.set(slots.subarray(i * SLOT_BYTES, (i + 1) * SLOT_BYTES), this.slot);
        const unsupported = kinds[i] === KIND.speech5k3;
        const result = c._g723_decode_frame(decoder, this.slot, this.pcm,
          marks[i] || unsupported ? 1 : 0, this.count);
        samples.set(c.HEAP16.subarray(this.pcm >> 1, (this.pcm >> 1) + FRAME_SAMPLES),
          i * FRAME_SAMPLES);
        outcomes[i] = unsupported ? OUTCOME.notSupported : marks[i] ? OUTCOME.markedLost
          : result !== 0 ? OUTCOME.invalid : OUTCOME.clean;
      }
    } finally {
      this.closeDecoder(decoder);
    }
    const seconds = (performance.now() - started) / 1000;
    return { samples, outcomes, decodeSeconds: seconds };
  }

  // Codes 8 kHz samples padded with zeros far enough that the encoder's
  // look-ahead reaches the last one, as `g723 encode` pads them.
  encode(input, settings) {
    const c = this.codec;
    const frames = Math.ceil((input.length + ENCODER_DELAY) / FRAME_SAMPLES);
    const padded = new Int16Array(frames * FRAME_SAMPLES);
    padded.set(input);
    const slots = new Uint8Array(frames * SLOT_BYTES);
    const kinds = new Uint8Array(frames);
    const encoder = this.openEncoder(settings);
    try {
      for (let i = 0; i < frames; i++) {
        c.HEAP16.set(padded.subarray(i * FRAME_SAMPLES, (i + 1) * FRAME_SAMPLES), this.pcm >> 1);
        this.check(c._g723_encode_frame(encoder, this.pcm, this.slot, this.count), 'encoding');
        slots.set(c.HEAPU8.subarray(this.slot, this.slot + SLOT_BYTES), i * SLOT_BYTES);
        kinds[i] = kindOf(slots[i * SLOT_BYTES]);
      }
    } finally {
      this.closeEncoder(encoder);
    }
    return { slots, kinds };
  }

  version() {
    const pointer = this.codec._malloc(4);
    this.codec._g723_get_version(pointer);
    const text = this.codec.UTF8ToString(this.codec.HEAPU32[pointer >> 2]);
    this.codec._free(pointer);
    return text;
  }
}

const calls = ready.then((codec) => new FrameCalls(codec));

function decodeBitstream(f, message) {
  const stream = readBitstream(new Uint8Array(message.bytes), message.layout);
  const decoded = f.decode(stream.slots, stream.kinds, message.settings);
  const statistics = frameStatistics(stream.kinds, decoded.outcomes);
  return {
    kind: 'bitstream',
    layout: message.layout,
    fileBytes: message.bytes.byteLength,
    bitstream: new Uint8Array(message.bytes),
    kinds: stream.kinds,
    offsets: stream.offsets,
    outcomes: decoded.outcomes,
    decoded: decoded.samples,
    decodeSeconds: decoded.decodeSeconds,
    statistics,
    truncation: stream.truncated
      ? truncationReason(stream.truncated, message.layout, stream.kinds.length) : null,
  };
}

function roundTrip(f, message) {
  const input = new Int16Array(message.samples);
  const coded = f.encode(input, message.settings);
  const decoded = f.decode(coded.slots, coded.kinds, message.settings);
  return {
    kind: 'audio',
    layout: 'compact',
    original: input,
    bitstream: compactBytes(coded.slots, coded.kinds),
    kinds: coded.kinds,
    outcomes: decoded.outcomes,
    decoded: decoded.samples,
    decodeSeconds: decoded.decodeSeconds,
    statistics: frameStatistics(coded.kinds, decoded.outcomes),
    quality: measureSnr(input, decoded.samples, ENCODER_DELAY),
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
      const frames = c._web_capture_frames(reading, i);
      streams.push({
        name: c.UTF8ToString(c._web_capture_stream_name(reading, i)),
        decoded: c.HEAP16.slice(samples, samples + c._web_capture_sample_count(reading, i)),
        frames: c.HEAPU8.slice(frames, frames + c._web_capture_frame_count(reading, i)),
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

self.onmessage = async (event) => {
  const message = event.data;
  try {
    let result;
    if (message.type === 'capture') {
      self.postMessage({ id: message.id, result: await readCapture(message) });
      return;
    }
    const f = await calls;
    if (message.type === 'version') result = { version: f.version() };
    else if (message.type === 'decode') result = decodeBitstream(f, message);
    else if (message.type === 'roundtrip') result = roundTrip(f, message);
    else throw new Error(`unknown request ${message.type}`);
    self.postMessage({ id: message.id, result });
  } catch (error) {
    self.postMessage({ id: message.id, error: error.message || String(error) });
  }
};
