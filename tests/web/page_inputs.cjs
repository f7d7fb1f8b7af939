// SPDX-License-Identifier: BSD-2-Clause
// Inputs for the page's tests and measurements, made on the spot rather than
// kept in the checkout: long calls built from the bundled speech, and
// repeatable random bytes.
const fs = require('node:fs');

// 16-bit mono WAV header for `dataBytes` bytes of samples at `rate`.
function wavHeader(dataBytes, rate) {
  const header = Buffer.alloc(44);
  header.write('RIFF', 0, 'latin1');
  header.writeUInt32LE(36 + dataBytes, 4);
  header.write('WAVEfmt ', 8, 'latin1');
  header.writeUInt32LE(16, 16);
  header.writeUInt16LE(1, 20);
  header.writeUInt16LE(1, 22);
  header.writeUInt32LE(rate, 24);
  header.writeUInt32LE(rate * 2, 28);
  header.writeUInt16LE(2, 32);
  header.writeUInt16LE(16, 34);
  header.write('data', 36, 'latin1');
  header.writeUInt32LE(dataBytes, 40);
  return header;
}

// `seconds` of 8 kHz speech: the sample (8 kHz mono 16-bit WAV with a
// 44-byte header) over and over, each pass at another level so that the
// coded frames do not simply repeat.
function longCall(speechWav, seconds) {
  const wav = fs.readFileSync(speechWav);
  const speech = new Int16Array(wav.buffer.slice(wav.byteOffset + 44, wav.byteOffset + wav.length));
  const total = Math.round(seconds * 8000);
  const samples = new Int16Array(total);
  const levels = [1, 0.7, 0.45, 0.85, 0.3];
  for (let at = 0, pass = 0; at < total; at += speech.length, pass++) {
    const level = levels[pass % levels.length];
    const count = Math.min(speech.length, total - at);
    for (let i = 0; i < count; i++) samples[at + i] = Math.round(speech[i] * level);
  }
  return Buffer.concat([wavHeader(total * 2, 8000), Buffer.from(samples.buffer)]);
}

// `size` bytes from a fixed xorshift generator: the same "random" file in
// every run.
function randomBytes(size, seed = 0x9e3779b9) {
  const bytes = Buffer.alloc(size);
  let x = seed >>> 0;
  for (let i = 0; i < size; i++) {
    x ^= x << 13; x >>>= 0;
    x ^= x >>> 17;
    x ^= x << 5; x >>>= 0;
    bytes[i] = x & 0xff;
  }
  return bytes;
}

module.exports = { longCall, randomBytes };

// node tests/web/page_inputs.cjs SPEECH_WAV DIR: writes the 30-minute call
// and the 1 MB of random bytes (as random.wav and random.723) into DIR.
if (require.main === module) {
  const path = require('node:path');
  const [speech, dir] = process.argv.slice(2);
  fs.writeFileSync(path.join(dir, 'call-30min.wav'), longCall(speech, 1800));
  const random = randomBytes(1 << 20);
  fs.writeFileSync(path.join(dir, 'random.wav'), random);
  fs.writeFileSync(path.join(dir, 'random.723'), random);
}
