// The page around murova: cross-origin isolation (through sw.js where the host sends no
// headers), loading with progress, the start gesture that allows sound, the picture drawn on
// every animation frame, full screen, the end and errors. window.zenkor holds what tests read.
'use strict';

const FRAME_RATE_SAMPLE_MS = 1000;
const $ = (id) => document.getElementById(id);

const zenkor = window.zenkor = {
  state: 'loading',      // loading, ready, running, ended, failed
  framesShown: 0,        // frames drawn on the canvas since the start
  readyMs: 0,            // from the page's start to the end of loading
  startMs: 0,            // ... to the viewer's start
  firstFrameMs: 0,       // ... to the first frame drawn
  exitCode: null,
  module: null,
  audio: null,
  errors: [],
  // Frames the audio worklet has played (44,100 a second), 0 without sound.
  audioFrames() {
    const m = zenkor.module;
    if (!m || !m.zenkorPlayed) return 0;
    return Number(new BigUint64Array(m.HEAPU8.buffer, m.zenkorPlayed, 1)[0]) / 4;
  },
};

let wasmBinary = null;

function status(text) { $('status').textContent = text; }

function showError(text) {
  zenkor.errors.push(text);
  $('error').textContent = zenkor.errors.join('\n');
  $('panel').classList.remove('hidden');
}

// A warning that does not stop the demo, shown over it for a while.
function notice(text) {
  zenkor.errors.push(text);
  const line = $('notice');
  line.textContent = text;
  line.classList.remove('hidden');
  clearTimeout(notice.timer);
  notice.timer = setTimeout(() => line.classList.add('hidden'), 10000);
}

function fail(text) {
  zenkor.state = 'failed';
  status('');
  $('start').hidden = true;
  showError(text);
}

// Threads need a cross-origin isolated page. A host that cannot send the headers gets them
// from our service worker, which needs one reload to take over the page.
async function isolate() {
  if (window.crossOriginIsolated) return true;
  if (!window.isSecureContext || !('serviceWorker' in navigator)) return false;
  const reloaded = sessionStorage.getItem('zenkor-isolation-reload');
  const timeout = new Promise((resolve) => setTimeout(() => resolve(false), 5000));
  const registered = navigator.serviceWorker.register('sw.js').then(() => navigator.serviceWorker.ready)
    .then(() => true, () => false);
  if (!(await Promise.race([registered, timeout])) || reloaded) return false;
  sessionStorage.setItem('zenkor-isolation-reload', '1');
  location.reload();
  return new Promise(() => {});
}

async function fetchWithProgress(url) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(`${url}: ${response.status} ${response.statusText}`);
  const total = Number(response.headers.get('Content-Length')) || 0;
  const reader = response.body.getReader();
  const parts = [];
  let loaded = 0;
  for (;;) {
    const {done, value} = await reader.read();
    if (done) break;
    parts.push(value);
    loaded += value.length;
    status(total ? `Loading… ${Math.floor(loaded * 100 / total)}%` : `Loading… ${loaded >> 10} KB`);
  }
  const bytes = new Uint8Array(loaded);
  let at = 0;
  for (const p of parts) { bytes.set(p, at); at += p.length; }
  return bytes;
}

function loadScript(url) {
  return new Promise((resolve, reject) => {
    const s = document.createElement('script');
    s.src = url;
    s.onload = resolve;
    s.onerror = () => reject(new Error(`${url} did not load`));
    document.head.appendChild(s);
  });
}

// The audio context must be made and resumed inside the viewer's gesture.
async function openAudio() {
  if (zenkor.audio) return zenkor.audio;
  const Context = window.AudioContext || window.webkitAudioContext;
  if (!Context || !window.AudioWorkletNode) {
    notice('No audio: this browser has no AudioWorklet. The demo plays silently.');
    return null;
  }
  try {
    const audio = new Context({sampleRate: 44100, latencyHint: 'interactive'});
    const resumed = audio.resume();
    await audio.audioWorklet.addModule('zenkor-audio.js');
    await resumed;
    audio.workletLoaded = true;
    zenkor.audio = audio;
    return audio;
  } catch (e) {
    notice(`No audio (${e.message}). The demo plays silently.`);
    return null;
  }
}

// The largest whole scale that fits the window, nearest-neighbour, centred on black.
function layout(canvas, width, height) {
  const k = Math.max(1, Math.floor(Math.min(innerWidth / width, innerHeight / height)));
  if (canvas.width !== width * k || canvas.height !== height * k) {
    canvas.width = width * k;
    canvas.height = height * k;
  }
  return k;
}

function startDrawing(module) {
  const canvas = $('screen');
  const context = canvas.getContext('2d', {alpha: false});
  const frame = document.createElement('canvas');
  const frameContext = frame.getContext('2d', {alpha: false});
  let image = null;
  const draw = () => {
    if (zenkor.module !== module) return;
    requestAnimationFrame(draw);
    const pixels = module._zenkor_web_take_frame();
    if (!pixels) return;
    const w = module._zenkor_web_frame_width(), h = module._zenkor_web_frame_height();
    if (!image || image.width !== w || image.height !== h) {
      image = new ImageData(w, h);
      frame.width = w;
      frame.height = h;
    }
    image.data.set(module.HEAPU8.subarray(pixels, pixels + w * h * 4));
    frameContext.putImageData(image, 0, 0);
    const k = layout(canvas, w, h);
    context.imageSmoothingEnabled = false;
    context.drawImage(frame, 0, 0, w * k, h * k);
    if (zenkor.framesShown++ === 0) zenkor.firstFrameMs = performance.now();
  };
  requestAnimationFrame(draw);
}

function ended(code) {
  zenkor.state = 'ended';
  zenkor.exitCode = code;
  zenkor.module = null;
  const canvas = $('screen');
  canvas.getContext('2d').clearRect(0, 0, canvas.width, canvas.height);
  $('fullscreen').classList.add('hidden');
  if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
  status(code === 0 ? 'The demo has ended.' : 'The demo stopped with an error.');
  $('start').textContent = 'Play again';
  $('start').hidden = false;
  $('panel').classList.remove('hidden');
}

async function start() {
  if (zenkor.state !== 'ready' && zenkor.state !== 'ended') return;
  zenkor.state = 'running';
  zenkor.startMs = performance.now();
  $('start').hidden = true;
  zenkor.errors = [];
  $('error').textContent = '';
  status('Starting…');
  const audio = await openAudio();
  $('panel').classList.add('hidden');
  $('fullscreen').classList.remove('hidden');
  zenkor.framesShown = 0;
  const settings = {
    wasmBinary,
    zenkorAudio: audio,
    zenkorMessage: (caption, text) => showError(`${caption}: ${text}`),
    print: (text) => console.log(text),
    printErr: (text) => console.warn(text),
    onExit: (code) => ended(code),
    onAbort: (what) => { ended(1); showError(`The demo stopped: ${what}`); },
  };
  try {
    const module = await createMurova(settings);
    if (zenkor.state === 'running' && !zenkor.module) {
      zenkor.module = module;
      startDrawing(module);
    }
  } catch (e) {
    if (zenkor.state === 'running') fail(`The demo could not start: ${e.message || e}`);
  }
}

function toggleFullScreen() {
  if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
  else document.documentElement.requestFullscreen().catch((e) => notice(`Full screen refused: ${e.message}`));
}

async function main() {
  if (typeof WebAssembly !== 'object') return fail('This browser cannot run WebAssembly, which the demo needs.');
  if (!(await isolate()) || typeof SharedArrayBuffer === 'undefined')
    return fail('This page is not cross-origin isolated, so the browser withholds SharedArrayBuffer and ' +
                'the demo cannot run its threads. The host must send "Cross-Origin-Opener-Policy: same-origin" ' +
                'and "Cross-Origin-Embedder-Policy: require-corp", or serve the page over HTTPS or from ' +
                'localhost so that its service worker can add them.');
  sessionStorage.removeItem('zenkor-isolation-reload');
  try {
    [wasmBinary] = await Promise.all([fetchWithProgress('murova.wasm'), loadScript('murova.js')]);
  } catch (e) {
    return fail(`Loading failed: ${e.message}`);
  }
  zenkor.state = 'ready';
  zenkor.readyMs = performance.now();
  status('Click or press a key to start (with sound)');
  $('start').hidden = false;
}

addEventListener('keydown', (e) => {
  if (e.key === 'Enter' && e.altKey) {
    e.preventDefault();
    if (zenkor.state === 'running') toggleFullScreen();
    return;
  }
  if (zenkor.state === 'ready' || (zenkor.state === 'ended' && e.key !== 'Escape')) {
    e.preventDefault();
    start();
  }
});
$('panel').addEventListener('click', start);
$('start').addEventListener('click', (e) => { e.stopPropagation(); start(); });
// The button gives the focus back, so that a later Space or Enter does not press it again.
$('fullscreen').addEventListener('click', (e) => { e.currentTarget.blur(); toggleFullScreen(); });
addEventListener('resize', () => {
  if (zenkor.module) layout($('screen'), zenkor.module._zenkor_web_frame_width(), zenkor.module._zenkor_web_frame_height());
});
main();
