// SPDX-License-Identifier: BSD-2-Clause
// End-to-end test of the page in headless Chromium: it loads cleanly, and
// what it decodes, encodes, marks lost and reports equals the g723 tool's
// output on the same files (written by scripts/test-web.sh into WORK).
//   node tests/web/page_test.cjs PAGE_DIR WORK_DIR
const crypto = require('node:crypto');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const puppeteer = require('puppeteer-core');

const [pageDir, work] = process.argv.slice(2).map((p) => path.resolve(p));
const reference = (name) => path.join(work, name);
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.css': 'text/css', '.wasm': 'application/wasm' };

let failures = 0;
function check(condition, what, detail = '') {
  console.log(`${condition ? 'ok  ' : 'FAIL'} ${what}${detail && !condition ? `\n     ${detail}` : ''}`);
  if (!condition) failures += 1;
}

// std::mt19937_64 written out from its definition, and the tool's draw: a
// frame is lost when 53 random bits as a fraction of 1 fall below the rate.
function mt19937_64(seed) {
  const n = 312;
  const mask = (1n << 64n) - 1n;
  const state = [BigInt.asUintN(64, seed)];
  for (let i = 1; i < n; i++) {
    const previous = state[i - 1];
    state.push((6364136223846793005n * (previous ^ (previous >> 62n)) + BigInt(i)) & mask);
  }
  let index = n;
  return () => {
    if (index === n) {
      for (let i = 0; i < n; i++) {
        const x = (state[i] & ~0x7fffffffn & mask) | (state[(i + 1) % n] & 0x7fffffffn);
        state[i] = state[(i + 156) % n] ^ (x >> 1n) ^ (x & 1n ? 0xb5026f5aa96619e9n : 0n);
      }
      index = 0;
    }
    let y = state[index++];
    y ^= (y >> 29n) & 0x5555555555555555n;
    y ^= (y << 17n) & 0x71d67fffeda60000n;
    y ^= (y << 37n) & 0xfff7eee000000000n;
    y ^= y >> 43n;
    return y & mask;
  };
}
function lostFrames(percent, seed, frames) {
  const random = mt19937_64(BigInt(seed));
  const lost = [];
  for (let i = 0; i < frames; i++) {
    if (percent > 0 && Number(random() >> 11n) * 2 ** -53 < percent / 100) lost.push(i);
  }
  return lost;
}

function serve(root) {
  const missing = [];
  const server = http.createServer((request, response) => {
    const file = path.join(root, decodeURIComponent(new URL(request.url, 'http://x').pathname));
    const name = file.endsWith('/') ? path.join(file, 'index.html') : file;
    if (!name.startsWith(root) || !fs.existsSync(name) || !fs.statSync(name).isFile()) {
      missing.push(request.url);
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': TYPES[path.extname(name)] || 'application/octet-stream' });
    fs.createReadStream(name).pipe(response);
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => resolve({ server, missing, port: server.address().port }));
  });
}

// "frames           254 speech, 3 SID, 32 untransmitted" -> the text after the label.
function field(report, label) {
  const line = report.split('\n').find((l) => l.startsWith(`${label} `));
  return line ? line.slice(label.length).trim() : null;
}
const sha256 = (bytes) => crypto.createHash('sha256').update(bytes).digest('hex');

async function main() {
  check(mt19937_64(5489n)() === 14514284786278117030n &&
    (() => { const r = mt19937_64(5489n); let v; for (let i = 0; i < 10000; i++) v = r(); return v; })()
      === 9981545732273789042n, 'reference generator gives mt19937_64\'s published outputs');

  const { server, missing, port } = await serve(pageDir);
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'g723-page-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--autoplay-policy=no-user-gesture-required', '--mute-audio'],
  });
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1200, height: 1100 });
    const problems = [];
    let step = 'loading';
    const watch = (target) => target.on('console', (m) => {
      if (m.type() === 'error') problems.push(`console: ${m.text()}`);
    });
    watch(page);
    page.on('workercreated', watch);
    page.on('pageerror', (e) => problems.push(`page error: ${e.message}`));
    // A media element that is torn down with its view for the next result
    // drops its own blob request; anything else failing is a fault.
    page.on('requestfailed', (r) => {
      if (r.url().startsWith('blob:') && r.failure()?.errorText === 'net::ERR_ABORTED') return;
      problems.push(`request failed: ${r.url()} (${r.failure()?.errorText}) during: ${step}`);
    });
    page.on('response', (r) => { if (r.status() >= 400) problems.push(`HTTP ${r.status()}: ${r.url()}`); });
    page.on('request', (r) => {
      if (!r.url().startsWith(`http://127.0.0.1:${port}/`) && !/^(blob|data):/.test(r.url())) {
        problems.push(`outside request: ${r.url()}`);
      }
    });
    page.setDefaultTimeout(60000);

    await page.goto(`http://127.0.0.1:${port}/`, { waitUntil: 'networkidle0' });
    await page.waitForFunction(() => document.getElementById('version').textContent !== '');
    // "(version orm.tessivo.1.1)" against the tool's "g723 1.1.0 (library orm.tessivo.1.1)".
    const version = (await page.$eval('#version', (e) => e.textContent)).replace(/^\(version (.*)\)$/, '$1');
    check(fs.readFileSync(reference('version.txt'), 'utf8').includes(`(library ${version})`),
      'page loads the library and shows its version', version);

    // Chooses a file (or applies settings) and waits for the page to finish.
    const run = async (action) => {
      const runs = await page.$eval('body', (b) => Number(b.dataset.runs));
      step = action.toString();
      await action();
      await page.waitForFunction((n) => Number(document.body.dataset.runs) > n, {}, runs);
      const state = await page.$eval('body', (b) => b.dataset.state);
      if (state !== 'done') throw new Error(`page: ${await page.$eval('#status', (e) => e.textContent)}`);
    };
    const choose = (name) => run(async () => (await page.$('#file')).uploadFile(reference(name)));
    const set = (id, value) => run(() => page.$eval(`#${id}`, (e, v) => {
      if (e.type === 'checkbox') e.checked = v; else e.value = v;
      e.dispatchEvent(new Event('change'));
    }, value));
    const result = () => page.evaluate(async () => {
      const r = window.g723page.result;
      const digest = async (a) => Array.from(new Uint8Array(await crypto.subtle.digest(
        'SHA-256', new Uint8Array(a.buffer, a.byteOffset, a.byteLength))),
      (b) => b.toString(16).padStart(2, '0')).join('');
      return {
        decoded: await digest(r.decoded), bitstream: Array.from(r.bitstream),
        lost: Array.from(r.outcomes).flatMap((o, i) => (o === 3 ? [i] : [])),
        decodeSeconds: r.decodeSeconds, frames: r.kinds.length,
      };
    });
    const shown = (id) => page.$eval(`#figure-${id}`, (e) => e.textContent);
    const nativeSamples = (name) => sha256(fs.readFileSync(reference(name)));

    // The sample's bit-stream: samples, figures and views.
    await choose('speech.723');
    let got = await result();
    check(got.decoded === nativeSamples('speech.raw'), 'decoding speech.723 gives g723 decode\'s samples');
    const info = fs.readFileSync(reference('speech.info.txt'), 'utf8');
    for (const [id, label] of [['file', 'file'], ['duration', 'duration'], ['frames', 'frames'],
      ['bit-rate', 'bit rate'], ['not-clean', 'not clean']]) {
      const text = await shown(id);
      check(text === field(info, label), `shown ${label} is g723 info's`, `page "${text}", tool "${field(info, label)}"`);
    }
    const painted = await page.evaluate(() => {
      const canvases = (root) => [...root.querySelectorAll('*')].flatMap((e) =>
        (e.tagName === 'CANVAS' ? [e] : []).concat(e.shadowRoot ? canvases(e.shadowRoot) : []));
      return canvases(document.getElementById('decoded')).filter((c) => {
        if (c.width === 0 || c.height === 0) return false;
        const pixels = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
        const colours = new Set();
        let opaque = 0;
        for (let i = 0; i < pixels.length; i += 4) {
          if (pixels[i + 3] > 0) opaque += 1;
          if (colours.size < 64) colours.add(pixels.slice(i, i + 4).join());
        }
        return opaque > pixels.length / 4 / 100 && colours.size > 1;
      }).map((c) => c.height);
    });
    check(painted.length >= 2 && painted.some((h) => h >= 100),
      'waveform and spectrogram canvases are painted', JSON.stringify(painted));
    await page.screenshot({ path: reference('page-decoded.png'), fullPage: true });

    // A stream cut inside a frame: every whole frame decoded, and the tool's
    // reason shown.
    await choose('cut.723');
    check((await result()).decoded === nativeSamples('cut.raw'), 'a cut stream decodes its whole frames as the tool does');
    const reason = fs.readFileSync(reference('cut.error.txt'), 'utf8').trim().replace(/^g723: /, '');
    check((await page.$eval('#status', (e) => e.textContent)) === reason, 'and says where it ends as the tool does', reason);

    // The same stream in 24-byte slots.
    await run(() => page.select('#layout', 'slots'));
    await choose('speech.slots.723');
    check((await result()).decoded === nativeSamples('speech.raw'), 'the slot layout decodes to the same samples');
    await run(() => page.select('#layout', 'compact'));

    // Losses: the frames the seed marks, concealed as the tool conceals them.
    await choose('speech.723');
    await set('postfilter', false);
    await set('seed', '3');
    await set('loss', '5');
    got = await result();
    check(JSON.stringify(got.lost) === JSON.stringify(lostFrames(5, 3n, got.frames)),
      '5 % loss, seed 3: the frames marked lost are those of the seed', JSON.stringify(got.lost));
    check(got.decoded === nativeSamples('speech.loss5.raw'),
      '... and decode to g723 decode --no-postfilter --loss 5 --seed 3');
    await set('postfilter', true);
    await set('seed', '1099511627783');
    await set('loss', '20');
    got = await result();
    check(got.lost.length > 30 && JSON.stringify(got.lost) === JSON.stringify(lostFrames(20, 1099511627783n, got.frames)),
      '20 % loss with a seed above 32 bits marks the seed\'s frames', JSON.stringify(got.lost));
    check(got.decoded === nativeSamples('speech.loss20.raw'), '... and decodes to g723 decode --loss 20 --seed 1099511627783');
    check((await shown('lost')) === `${got.lost.length} marked lost and concealed`, 'the lost frames are counted');

    // Encoding the 8 kHz sample, silence compression on and off.
    await set('loss', '0');
    await choose('speech.wav');
    got = await result();
    check(sha256(Buffer.from(got.bitstream)) === sha256(fs.readFileSync(reference('speech.723'))),
      'encoding speech.wav gives g723 encode\'s bytes');
    check(got.decoded === nativeSamples('speech.raw'), '... and decodes back to g723 decode\'s samples');
    const roundtrip = fs.readFileSync(reference('speech.roundtrip.txt'), 'utf8');
    for (const [id, label] of [['snr', 'SNR'], ['segmental-snr', 'segmental SNR']]) {
      const text = await shown(id);
      check(text === field(roundtrip, label), `shown ${label} is g723 roundtrip's`, `page "${text}", tool "${field(roundtrip, label)}"`);
    }
    // The same speech at 16 kHz in two channels (each sample twice, the
    // second channel negated half-way), resampled and mixed by the browser.
    const wav = fs.readFileSync(reference('speech.wav'));
    const mono = new Int16Array(wav.buffer.slice(wav.byteOffset + 44, wav.byteOffset + wav.length));
    const wide = Buffer.alloc(44 + mono.length * 8);
    wav.copy(wide, 0, 0, 44);
    wide.writeUInt32LE(36 + mono.length * 8, 4);
    wide.writeUInt16LE(2, 22);
    wide.writeUInt32LE(16000, 24);
    wide.writeUInt32LE(64000, 28);
    wide.writeUInt16LE(4, 32);
    wide.writeUInt32LE(mono.length * 8, 40);
    mono.forEach((v, i) => {
      for (const j of [0, 1]) {
        wide.writeInt16LE(v, 44 + (2 * i + j) * 4);
        wide.writeInt16LE(i < mono.length / 2 ? v : Math.max(-32767, -v), 44 + (2 * i + j) * 4 + 2);
      }
    });
    fs.writeFileSync(reference('speech-16k-stereo.wav'), wide);
    await choose('speech-16k-stereo.wav');
    got = await result();
    const snr = parseFloat(await shown('snr'));
    check(got.frames === 289 && (await shown('file')).includes('2 channels, 8.66 s') && snr > 0 && snr < 20,
      'a 16 kHz stereo file is resampled and mixed down', `${got.frames} frames, ${await shown('file')}, SNR ${snr}`);

    await set('vad', false);
    await choose('speech.wav');
    got = await result();
    check(sha256(Buffer.from(got.bitstream)) === sha256(fs.readFileSync(reference('speech.no-vad.723'))),
      'without silence compression: g723 encode --no-vad\'s bytes');

    // Playing from a point, then switching to the original while playing.
    await set('vad', true);
    await set('seed', '3');
    await set('loss', '5');
    await page.screenshot({ path: reference('page-roundtrip.png'), fullPage: true });
    const playback = () => page.evaluate(() => {
      const { original, decoded } = window.g723page.views;
      return [original, decoded].map((v) => ({ playing: v.wave.isPlaying(), time: v.wave.getCurrentTime() }));
    });
    await page.click('#decoded');
    const from = (await playback())[1].time;
    await page.click('#play');
    await page.waitForFunction(() => window.g723page.views.decoded.wave.getCurrentTime() > 0.2 +
      window.g723page.views.original.wave.getCurrentTime());
    const before = await playback();
    await page.click('input[name=listen][value=original]');
    await new Promise((resolve) => setTimeout(resolve, 300));
    const after = await playback();
    check(from > 1 && !before[0].playing && before[1].playing && after[0].playing && !after[1].playing &&
      after[0].time >= before[1].time && after[0].time < before[1].time + 1,
    'playing from a clicked point, then switching to the original goes on from there',
    JSON.stringify({ from, before, after }));
    await page.click('#play');

    // A packet capture: the tool's report, and each stream decoded as the
    // tool writes it.
    await choose('rtp-stream.pcap');
    const report = await page.$eval('#capture-report', (e) => e.textContent);
    check(report === fs.readFileSync(reference('capture.report.txt'), 'utf8'),
      'the capture\'s report is g723 pcap\'s', report);
    const streams = JSON.parse(fs.readFileSync(reference('capture.report.json'), 'utf8')).streams;
    const written = fs.readdirSync(reference('capture')).sort();
    const pageStreams = await page.evaluate(async () => {
      const digest = async (a) => Array.from(new Uint8Array(await crypto.subtle.digest(
        'SHA-256', new Uint8Array(a.buffer, a.byteOffset, a.byteLength))),
      (b) => b.toString(16).padStart(2, '0')).join('');
      return Promise.all(window.g723page.result.streams.map(async (s) => ({
        name: s.name, decoded: await digest(s.decoded),
        kinds: Array.from(s.frames).reduce((k, f) => { k[f] += 1; return k; }, [0, 0, 0, 0, 0]),
      })));
    });
    const wavSamples = (file) => {
      const bytes = fs.readFileSync(file);
      for (let at = 12; at + 8 <= bytes.length; at += 8 + bytes.readUInt32LE(at + 4)) {
        if (bytes.toString('latin1', at, at + 4) === 'data') return bytes.subarray(at + 8, at + 8 + bytes.readUInt32LE(at + 4));
      }
      throw new Error(`${file} has no data chunk`);
    };
    check(pageStreams.length === streams.length && streams.length === written.length && streams.length > 0,
      'the page finds the capture\'s streams', JSON.stringify(pageStreams.map((s) => s.name)));
    pageStreams.forEach((stream, i) => {
      check(stream.name === streams[i].name && stream.decoded === sha256(wavSamples(path.join(reference('capture'), written[i]))),
        `stream ${i + 1} decodes to the samples g723 pcap writes`);
      check(stream.kinds[1] === streams[i].sid_frames && stream.kinds[2] === streams[i].untransmitted_frames &&
        stream.kinds[3] === streams[i].lost_frames, `stream ${i + 1}'s frame kinds are those of the report`,
      JSON.stringify(stream.kinds));
    });
    await page.screenshot({ path: reference('page-capture.png'), fullPage: true });

    // Decoding speed on a longer stream: the sample without silence
    // compression twenty times over, the best of three runs.
    let best = Infinity;
    for (let i = 0; i < 3; i++) {
      await choose('speed.723');
      got = await result();
      best = Math.min(best, got.decodeSeconds);
    }
    console.log(`page decoding speed: ${Math.round(got.frames / best)} frames/s ` +
      `(${got.frames} frames in ${(best * 1000).toFixed(1)} ms, postfilter on, best of 3)`);

    check(problems.length === 0 && missing.length === 0, 'no console error and no failed request',
      problems.concat(missing).join('\n     '));
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  if (failures > 0) {
    console.log(`${failures} check(s) failed`);
    process.exit(1);
  }
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
