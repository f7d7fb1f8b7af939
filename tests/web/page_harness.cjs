// SPDX-License-Identifier: BSD-2-Clause
// What the page's test and its measurements share: a static server for
// the built page on loopback, Chromium's flags for this machine, and a
// record of the longest main-thread task.
const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.css': 'text/css', '.wasm': 'application/wasm' };

// Serves `root` on 127.0.0.1 at a free port; `missing` collects the paths
// asked for that are not there.
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

// Headless Debian Chromium with no network of its own and sound muted.
function launchOptions(profile) {
  return {
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--autoplay-policy=no-user-gesture-required', '--mute-audio'],
  };
}

// From the next document on, window.longestTask holds the longest
// main-thread task (PerformanceObserver longtask) since it was last set to 0.
function watchLongTasks(page) {
  return page.evaluateOnNewDocument(() => {
    window.longestTask = 0;
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries()) window.longestTask = Math.max(window.longestTask, entry.duration);
    }).observe({ type: 'longtask', buffered: true });
  });
}

// Runs `action` under Chromium's tracing and returns the most processor
// time any one task took on the page's main thread, in ms. A machine busy
// with other work stretches a task's wall time (what longtask measures)
// without adding to this.
async function busiestTask(page, action) {
  const file = path.join(require('node:os').tmpdir(), `g723-trace-${process.pid}.json`);
  await page.tracing.start({ path: file, categories: ['toplevel', 'devtools.timeline', 'disabled-by-default-devtools.timeline'] });
  try {
    await action();
  } finally {
    await page.tracing.stop();
  }
  const events = JSON.parse(fs.readFileSync(file, 'utf8')).traceEvents;
  if (!process.env.G723_KEEP_TRACE) fs.rmSync(file, { force: true });
  const main = events.filter((e) => e.name === 'thread_name' && e.args.name === 'CrRendererMain');
  const tasks = events.filter((e) => e.name === 'RunTask' && e.ph === 'X' &&
    main.some((m) => m.pid === e.pid && m.tid === e.tid));
  // A trace without the main thread's tasks proves nothing.
  if (tasks.length === 0) return Infinity;
  return tasks.reduce((most, e) => Math.max(most, (e.tdur ?? e.dur) / 1000), 0);
}

module.exports = { serve, launchOptions, watchLongTasks, busiestTask };
