#!/usr/bin/env bash
# Each scene's frame time in the web build (bench_production under node) next to the native
# one, measured one after the other in the same run, with the share of a 60 Hz frame (16.7 ms)
# the slower takes. Builds both programs first. The frame rate the page shows in headless
# Chromium, with the mixing thread running, is measured by tests/web/browser_test.mjs.
# usage: scripts/web-bench.sh [EXTRA BENCHMARK FLAGS...]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/web-deps.sh --benchmark
cmake --build build --target bench_production -j "${JOBS:-$(nproc)}"
scripts/web-build.sh bench_production

flags=(--benchmark_filter='FrameCopy|Scene/' --benchmark_format=json "$@")
native=$(mktemp) web=$(mktemp)
trap 'rm -f "$native" "$web"' EXIT
build/bin/bench_production "${flags[@]}" >"$native"
node build-web/bin/bench_production.js "${flags[@]}" >"$web"

node - "$native" "$web" <<'JS'
const fs = require('fs');
const read = (f) => Object.fromEntries(JSON.parse(fs.readFileSync(f, 'utf8')).benchmarks
  .map((b) => [b.name, b.real_time * {ns: 1e-3, us: 1, ms: 1e3, s: 1e6}[b.time_unit]]));
const native = read(process.argv[2]), web = read(process.argv[3]);
console.log('benchmark      native us     web us   web/native   web share of 16.7 ms');
for (const name of Object.keys(native)) {
  const n = native[name], w = web[name];
  console.log(`${name.padEnd(12)} ${n.toFixed(1).padStart(11)} ${w.toFixed(1).padStart(10)} ` +
              `${(w / n).toFixed(2).padStart(12)} ${(w / 16666.7 * 100).toFixed(1).padStart(20)}%`);
}
JS
