// SPDX-License-Identifier: BSD-2-Clause
// Measures the page on hard inputs, each in a browser of its own: the
// longest main-thread task (PerformanceObserver longtask), the time from
// choosing the file to the page's answer (results or an error), and the
// peak memory of all the browser's processes (resident set, sampled every
// 100 ms), against the same browser with the page loaded and idle. With
// the g723 tool named, it also compares the page's encoding time on the
// 60 s WAV (inside the worker, best of 3) with `g723 encode`'s (whole
// command, best of 3).
//   node bench/page/measure_page.cjs PAGE_DIR SPEECH_WAV [LIMIT_SECONDS [G723_TOOL]]
// Prints a Markdown table. An input the page does not answer within
// LIMIT_SECONDS (default 60) is reported as such.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const puppeteer = require('puppeteer-core');
const { launchOptions, serve, watchLongTasks } = require('../../tests/web/page_harness.cjs');
const { longCall, randomBytes } = require('../../tests/web/page_inputs.cjs');

const [pageDir, speechWav, limitArgument, g723] = process.argv.slice(2);
const limit = Number(limitArgument || 60) * 1000;

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
  const browser = await puppeteer.launch({ ...launchOptions(profile), protocolTimeout: limit + 60000 });
  const pid = browser.process().pid;
  let peak = 0;
  const sampler = setInterval(() => { peak = Math.max(peak, treeMemory(pid)); }, 100);
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1280, height: 800 });
    await watchLongTasks(page);
    await page.goto(`http://127.0.0.1:${port}/`, { waitUntil: 'networkidle0' });
    await page.waitForFunction(() => document.getElementById('version').textContent !== '');
    if (input.loss) {
      await page.$eval('#loss', (e, v) => { e.value = v; e.dispatchEvent(new Event('change')); }, String(input.loss));
    }
    await new Promise((resolve) => setTimeout(resolve, 1000));
    const idle = treeMemory(pid);
    if (!input.name) return { idle };
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
    const encodeSeconds = answer === null ? null
      : await page.evaluate(() => window.g723page.result?.encodeSeconds ?? null);
    return { answer, longest: settled?.longest ?? null, status: settled?.status ?? '(main thread blocked)',
      peak, idle, encodeSeconds };
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
  const { server } = await serve(path.resolve(pageDir));
  const { idle } = await measure(server.address().port, work, {});
  console.log(`page loaded and idle: ${(idle / 2 ** 20).toFixed(0)} MiB in all the browser's processes\n`);
  console.log('| input | longest main-thread task | time to answer | peak memory (all browser processes) | answer |');
  console.log('| --- | --- | --- | --- | --- |');
  try {
    for (const input of inputs) {
      const m = await measure(server.address().port, work, input);
      const answer = m.answer === null ? `none within ${limit / 1000} s` : `${m.answer.toFixed(2)} s`;
      const longest = m.longest === null ? `> ${limit / 1000} s (still blocked)` : `${Math.round(m.longest)} ms`;
      console.log(`| ${input.what} | ${longest} | ${answer} | ${(m.peak / 2 ** 20).toFixed(0)} MiB | ${m.status.slice(0, 90)} |`);
    }
    if (g723) {
      const page = [];
      for (let i = 0; i < 3; i++) page.push((await measure(server.address().port, work, inputs[0])).encodeSeconds);
      const native = [];
      for (let i = 0; i < 3; i++) {
        const started = process.hrtime.bigint();
        spawnSync(g723, ['encode', path.join(work, 'speech-60s.wav'), path.join(work, 'speech-60s.723')]);
        native.push(Number(process.hrtime.bigint() - started) / 1e9);
      }
      const best = (list) => Math.min(...list.filter((v) => v !== null));
      console.log(`\nencoding 60 s: page ${(best(page) * 1000).toFixed(0)} ms, g723 encode ` +
        `${(best(native) * 1000).toFixed(0)} ms (best of 3 each): ${(best(page) / best(native)).toFixed(2)} times`);
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
