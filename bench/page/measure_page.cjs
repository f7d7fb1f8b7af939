// SPDX-License-Identifier: BSD-2-Clause
// Measures the page on hard inputs, each in a browser of its own: the
// longest main-thread task (PerformanceObserver longtask), the time from
// choosing the file to the page's answer (results or an error), and the
// peak memory of all the browser's processes (resident set, sampled every
// 100 ms).
//   node bench/page/measure_page.cjs PAGE_DIR SPEECH_WAV [LIMIT_SECONDS]
// Prints a Markdown table. An input the page does not answer within
// LIMIT_SECONDS (default 60) is reported as such.
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const puppeteer = require('puppeteer-core');
const { longCall, randomBytes } = require('../../tests/web/page_inputs.cjs');

const [pageDir, speechWav, limitArgument] = process.argv.slice(2);
const limit = Number(limitArgument || 60) * 1000;
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.css': 'text/css', '.wasm': 'application/wasm' };

function serve(root) {
  const server = http.createServer((request, response) => {
    const name = path.join(root, decodeURIComponent(new URL(request.url, 'http://x').pathname));
    const file = name.endsWith('/') ? path.join(name, 'index.html') : name;
    if (!file.startsWith(root) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// Resident memory of a process and all its descendants, in bytes.
function treeMemory(root) {
  const parents = new Map();
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      parents.set(Number(entry), Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]));
    } catch { /* gone meanwhile */ }
  }
  let total = 0;
  for (const pid of parents.keys()) {
    let p = pid;
    while (p && p !== root) p = parents.get(p);
    if (p !== root) continue;
    try {
      const status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
      total += Number(/VmRSS:\s+(\d+)/.exec(status)?.[1] ?? 0) * 1024;
    } catch { /* gone meanwhile */ }
  }
  return total;
}

async function measure(port, work, input) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'g723-measure-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    protocolTimeout: limit + 60000,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync', '--mute-audio'],
  });
  const pid = browser.process().pid;
  let peak = 0;
  const sampler = setInterval(() => { peak = Math.max(peak, treeMemory(pid)); }, 100);
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1280, height: 800 });
    await page.evaluateOnNewDocument(() => {
      window.longestTask = 0;
      new PerformanceObserver((list) => {
        for (const entry of list.getEntries()) window.longestTask = Math.max(window.longestTask, entry.duration);
      }).observe({ type: 'longtask', buffered: true });
    });
    await page.goto(`http://127.0.0.1:${port}/`, { waitUntil: 'networkidle0' });
    await page.waitForFunction(() => document.getElementById('version').textContent !== '');
    if (input.loss) {
      await page.$eval('#loss', (e, v) => { e.value = v; e.dispatchEvent(new Event('change')); }, String(input.loss));
    }
    await page.evaluate(() => { window.longestTask = 0; });
    peak = 0;
    const started = Date.now();
    await (await page.$('#file')).uploadFile(path.join(work, input.name));
    let answer = null;
    try {
      await page.waitForFunction(() => Number(document.body.dataset.runs) > 0 &&
        ['done', 'error'].includes(document.body.dataset.state), { timeout: limit, polling: 50 });
      answer = (Date.now() - started) / 1000;
    } catch { /* no answer within the limit */ }
    // Whatever the answer sets off (drawing) is part of it.
    await new Promise((resolve) => setTimeout(resolve, 1000));
    const settled = await Promise.race([
      page.evaluate(() => ({ longest: window.longestTask, status: document.getElementById('status').textContent })),
      new Promise((resolve) => setTimeout(() => resolve(null), 5000)),
    ]);
    return { answer, longest: settled?.longest ?? null, status: settled?.status ?? '(main thread blocked)', peak };
  } finally {
    clearInterval(sampler);
    // A page still blocked does not close: its processes are ended.
    await Promise.race([browser.close(), new Promise((resolve) => setTimeout(resolve, 5000))]);
    browser.process()?.kill('SIGKILL');
    await new Promise((resolve) => setTimeout(resolve, 500));
    fs.rmSync(profile, { recursive: true, force: true, maxRetries: 10, retryDelay: 200 });
  }
}

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'g723-inputs-'));
  fs.writeFileSync(path.join(work, 'speech-60s.wav'), longCall(speechWav, 60));
  fs.writeFileSync(path.join(work, 'call-30min.wav'), longCall(speechWav, 1800));
  const random = randomBytes(1 << 20);
  fs.writeFileSync(path.join(work, 'random.wav'), random);
  fs.writeFileSync(path.join(work, 'random.723'), random);
  const inputs = [
    { name: 'speech-60s.wav', what: '60 s WAV' },
    { name: 'call-30min.wav', what: '30-minute WAV, 5 % loss', loss: 5 },
    { name: 'random.wav', what: '1 MB random bytes as .wav' },
    { name: 'random.723', what: '1 MB random bytes as .723' },
  ];
  const server = await serve(path.resolve(pageDir));
  console.log('| input | longest main-thread task | time to answer | peak memory (all browser processes) | answer |');
  console.log('| --- | --- | --- | --- | --- |');
  try {
    for (const input of inputs) {
      const m = await measure(server.address().port, work, input);
      const answer = m.answer === null ? `none within ${limit / 1000} s` : `${m.answer.toFixed(2)} s`;
      const longest = m.longest === null ? `> ${limit / 1000} s (still blocked)` : `${Math.round(m.longest)} ms`;
      console.log(`| ${input.what} | ${longest} | ${answer} | ${(m.peak / 2 ** 20).toFixed(0)} MiB | ${m.status.slice(0, 90)} |`);
    }
  } finally {
    server.close();
    fs.rmSync(work, { recursive: true, force: true });
  }
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
