// Our server, then the page in a real headless Chromium (the installed one, driven by
// playwright-core):
//   - the server answers only inside its folder, and a malformed path does not end it;
//   - served with the isolation headers: it loads, starts on a key, shows at least 55 frames a
//     second over 5 seconds while the audio worklet plays about 44,100 frames a second, its
//     picture after 6 seconds is not black, Escape ends the demo and "Play again" restarts it;
//   - served by a plain static server without the headers: the service worker makes it
//     isolated and the demo runs;
//   - with neither headers nor a service worker, and without audio: the page says so in words
//     (and without audio the demo plays silently).
// Prints one line per check, the figures, and "N passed, N failed"; exits 1 on any failure.
// usage: node tests/web/browser_test.mjs SITE_DIR OUT_DIR   (playwright-core from NODE_PATH or
// build-web/tools/node_modules)
import {spawn} from 'node:child_process';
import {mkdirSync} from 'node:fs';
import {createRequire} from 'node:module';
import {dirname, join, resolve} from 'node:path';
import {fileURLToPath} from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const root = resolve(here, '..', '..');
const [site, out] = process.argv.slice(2).map((p) => p && resolve(p));
if (!site || !out) {
  console.error('browser_test: usage: node tests/web/browser_test.mjs SITE_DIR OUT_DIR');
  process.exit(2);
}
mkdirSync(out, {recursive: true});
const require = createRequire(join(root, 'build-web', 'tools', 'node_modules', 'x.js'));
const {chromium} = require('playwright-core');

let passed = 0, failed = 0;
function check(name, ok, detail = '') {
  console.log(`${ok ? 'ok' : 'not ok'} - ${name}${detail ? ` (${detail})` : ''}`);
  if (ok) passed++; else failed++;
}

// Our server on a free port; resolves to its URL once it listens.
function serve(isolation) {
  const args = [join(root, 'web', 'serve.mjs'), '--port', '0', site];
  if (!isolation) args.splice(1, 0, '--no-isolation');
  const child = spawn(process.execPath, args, {stdio: ['ignore', 'ignore', 'pipe']});
  return new Promise((resolveUrl, reject) => {
    let text = '';
    child.stderr.on('data', (d) => {
      text += d;
      const m = /on (http:\/\/localhost:\d+\/)/.exec(text);
      if (m) resolveUrl({url: m[1], stop: () => child.kill()});
    });
    child.on('exit', (code) => reject(new Error(`server ended (${code}): ${text}`)));
  });
}

const stats = (page) => page.evaluate(() => ({
  state: zenkor.state, frames: zenkor.framesShown, audio: zenkor.audioFrames(), now: performance.now(),
  readyMs: zenkor.readyMs, startMs: zenkor.startMs, firstFrameMs: zenkor.firstFrameMs, errors: zenkor.errors,
  isolated: crossOriginIsolated, worker: !!navigator.serviceWorker.controller,
}));

// Share of the canvas's pixels brighter than near-black.
const litShare = (page) => page.evaluate(() => {
  const c = document.getElementById('screen');
  const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
  let lit = 0;
  for (let i = 0; i < d.length; i += 4) if (d[i] + d[i + 1] + d[i + 2] > 48) lit++;
  return lit / (d.length / 4);
});

async function startDemo(page, url) {
  await page.goto(url);
  await page.waitForFunction(() => window.zenkor && zenkor.state !== 'loading', null, {timeout: 60000});
  const s = await stats(page);
  if (s.state !== 'ready') throw new Error(`page not ready: ${s.state} ${s.errors.join('; ')}`);
  await page.keyboard.press('Space');
  await page.waitForFunction(() => zenkor.framesShown > 0, null, {timeout: 30000});
}

// Our server answers only inside its folder, and a malformed path does not end it.
async function serverChecks() {
  const server = await serve(true);
  try {
    const status = async (path) => (await fetch(server.url + path)).status;
    const answers = [await status('%E0%A4%A'), await status('..%2F..%2Fetc%2Fpasswd'), await status('index.html')];
    check('the server answers only inside its folder and survives a malformed path',
          answers[0] === 404 && answers[1] >= 403 && answers[2] === 200, answers.join(' '));
  } finally {
    server.stop();
  }
}

async function isolatedRun(browser) {
  const server = await serve(true);
  const page = await browser.newPage({viewport: {width: 1280, height: 800}});
  page.on('pageerror', (e) => console.log(`page error: ${e.message}`));
  try {
    await startDemo(page, server.url);
    const first = await stats(page);
    console.log(`# loaded in ${first.readyMs.toFixed(0)} ms; first frame ${(first.firstFrameMs - first.startMs).toFixed(0)} ms after the start`);
    check('the page is cross-origin isolated by the headers', first.isolated);
    await page.waitForTimeout(1000);
    const a = await stats(page);
    await page.waitForTimeout(5000);
    const b = await stats(page);
    const seconds = (b.now - a.now) / 1000;
    const fps = (b.frames - a.frames) / seconds, audioRate = (b.audio - a.audio) / seconds;
    console.log(`# ${fps.toFixed(1)} frames a second shown, audio ${audioRate.toFixed(0)} frames a second`);
    check('at least 55 frames a second shown over 5 seconds', fps >= 55, `${fps.toFixed(1)}`);
    check('the audio counter advances about 44,100 frames a second', Math.abs(audioRate - 44100) < 44100 * 0.05,
          `${audioRate.toFixed(0)}`);
    await page.screenshot({path: join(out, 'page-6s.png')});
    const lit = await litShare(page);
    check('the picture after 6 seconds is not black', lit > 0.05, `${(lit * 100).toFixed(1)}% lit`);
    await page.waitForTimeout(24000);
    await page.screenshot({path: join(out, 'page-31s.png')});
    await page.keyboard.press('Escape');
    await page.waitForFunction(() => zenkor.state === 'ended', null, {timeout: 10000}).catch(() => {});
    const end = await page.evaluate(() => ({state: zenkor.state, code: zenkor.exitCode,
                                            text: document.getElementById('status').textContent}));
    check('Escape ends the demo and the page says so', end.state === 'ended' && end.code === 0 &&
          end.text === 'The demo has ended.', `${end.state}, ${end.text}`);
    await page.screenshot({path: join(out, 'page-ended.png')});
    await page.click('#start');
    await page.waitForFunction(() => zenkor.state === 'running' && zenkor.framesShown > 30, null, {timeout: 30000})
      .catch(() => {});
    const again = await stats(page);
    check('"Play again" starts it anew', again.state === 'running' && again.frames > 30, `${again.frames} frames`);
  } finally {
    await page.close();
    server.stop();
  }
}

async function plainHostRun(browser) {
  const server = await serve(false);
  const context = await browser.newContext({viewport: {width: 800, height: 600}});
  const page = await context.newPage();
  try {
    await startDemo(page, server.url);
    await page.waitForTimeout(3000);
    const s = await stats(page);
    check('without the headers the service worker isolates the page', s.isolated && s.worker);
    check('and the demo runs there', s.state === 'running' && s.frames > 60, `${s.frames} frames`);
    await page.screenshot({path: join(out, 'plain-host.png')});
  } finally {
    await context.close();
    server.stop();
  }
}

// Where the browser withholds what the demo needs, the page says so in words.
async function missingFeatureRuns(browser) {
  const plain = await serve(false), isolated = await serve(true);
  try {
    let context = await browser.newContext({serviceWorkers: 'block'});
    let page = await context.newPage();
    await page.goto(plain.url);
    await page.waitForFunction(() => zenkor.state === 'failed', null, {timeout: 20000}).catch(() => {});
    const text = await page.evaluate(() => document.getElementById('error').textContent);
    check('with neither the headers nor a service worker the page says why it cannot run',
          /not cross-origin isolated/.test(text), text.slice(0, 60));
    await context.close();
    context = await browser.newContext();
    page = await context.newPage();
    await page.addInitScript(() => { delete window.AudioWorkletNode; });
    await startDemo(page, isolated.url);
    await page.waitForTimeout(1500);
    const s = await stats(page);
    const shown = await page.evaluate(() => {
      const n = document.getElementById('notice');
      return n.classList.contains('hidden') ? '' : n.textContent;
    });
    check('without audio the page says so and the demo plays silently',
          /^No audio/.test(shown) && s.state === 'running' && s.frames > 30 && s.audio === 0, shown);
    await page.screenshot({path: join(out, 'no-audio.png')});
    await context.close();
  } finally {
    plain.stop();
    isolated.stop();
  }
}

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--autoplay-policy=no-user-gesture-required', '--no-sandbox'],
});
try {
  for (const run of [serverChecks, isolatedRun, plainHostRun, missingFeatureRuns]) {
    try {
      await run(browser);
    } catch (e) {
      check(run.name, false, e.message);
    }
  }
} finally {
  await browser.close();
}
console.log(`browser: ${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
