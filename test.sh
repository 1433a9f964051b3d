#!/usr/bin/env bash
# Installs what is missing, builds Release, the ASan+UBSan build, the ThreadSanitizer build of
# the threaded tests and the fuzz targets, runs every test and each fuzz target briefly, and
# ends with one summary line. Window tests start their own Xvfb. Any failure makes it exit non-zero.
#   FUZZ_SECONDS=N   how long each fuzz target runs (default 15)
#   JOBS=N           build and test parallelism (default: number of cores)
set -uo pipefail
cd "$(dirname "$0")"

jobs=${JOBS:-$(nproc)}
fuzz_seconds=${FUZZ_SECONDS:-15}
failures=()
passed=0
failed=0

step() { printf '\n== %s\n' "$*"; }
fail() { failures+=("$1"); }

step "dependencies"
scripts/install-deps.sh || { echo "test.sh: installing dependencies failed" >&2; exit 1; }

export SDL_AUDIODRIVER=dummy SDL_RENDER_DRIVER=software SDL_FRAMEBUFFER_ACCELERATION=0
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

configure_and_build() { # dir target cmake-args...
  local dir=$1 target=$2; shift 2
  cmake -S . -B "$dir" -G Ninja "$@" >"$dir/configure.log" 2>&1 \
    || { cat "$dir/configure.log"; return 1; }
  cmake --build "$dir" --target "$target" -j "$jobs"
}

run_ctest() { # dir label
  local dir=$1 out
  out=$(mktemp)
  # No display of our own: tests that need a window start their own X server, and an error
  # message box must fail fast instead of waiting for someone to close it.
  env -u DISPLAY -u WAYLAND_DISPLAY \
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 300 2>&1 | tee "$out"
  local line total bad
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$out" | tail -n 1)
  if [ -z "$line" ]; then
    grep -q 'No tests were found' "$out" || fail "$2 (ctest did not finish)"
  else
    bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + total - bad)); failed=$((failed + bad))
    [ "$bad" -eq 0 ] || fail "$2"
  fi
  rm -f "$out"
}

mkdir -p build build-asan build-tsan build-fuzz

step "Release build"
if configure_and_build build all -DCMAKE_BUILD_TYPE=Release; then
  step "Release tests"; run_ctest build release
else fail "release build"; fi

step "AddressSanitizer + UndefinedBehaviorSanitizer build"
if configure_and_build build-asan all -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZENKOR_SANITIZER=asan; then
  step "sanitizer tests"; run_ctest build-asan asan
else fail "asan build"; fi

step "ThreadSanitizer build"
if configure_and_build build-tsan zenkor_tsan_tests -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZENKOR_SANITIZER=tsan; then
  step "ThreadSanitizer tests"; run_ctest build-tsan tsan
else fail "tsan build"; fi

step "fuzz targets (${fuzz_seconds}s each)"
if CC=clang CXX=clang++ configure_and_build build-fuzz zenkor_fuzz_targets \
     -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZENKOR_SANITIZER=fuzz; then
  for target in build-fuzz/fuzz/*; do
    [ -f "$target" ] && [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus=$(mktemp -d)
    [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$corpus/"
    if (cd build-fuzz && "../$target" -max_total_time="$fuzz_seconds" -timeout=20 -rss_limit_mb=4096 \
          -print_final_stats=1 "$corpus" >"fuzz-$name.log" 2>&1); then
      echo "fuzz $name: $(grep -m1 'stat::number_of_executed_units' "build-fuzz/fuzz-$name.log" | awk '{print $2}') runs, no crash"
      passed=$((passed + 1))
    else
      tail -n 60 "build-fuzz/fuzz-$name.log"
      failed=$((failed + 1)); fail "fuzz $name"
    fi
    rm -rf "$corpus"
  done
else fail "fuzz build"; fi

# The web build: its unit tests under node, every frame and the song against the native build,
# and the page in headless Chromium. The wasm libraries are built once and kept in build-web/.
step "web build (WebAssembly)"
if scripts/web-deps.sh --test-tools &&
   cmake --build build --target offline_check murova-export zenkor-image -j "$jobs" &&
   JOBS=$jobs scripts/web-build.sh site offline_check zenkor_web_tests; then
  step "web unit tests under node"; run_ctest build-web web
  step "web build against the native one, and the page in headless Chromium"
  for program in "tests/web/compare_native.sh build/bin build/tests/offline_check build-web/tests/offline_check.js build-web/compare" \
                 "node tests/web/browser_test.mjs build-web/site build-web/browser"; do
    out=$(mktemp)
    $program 2>&1 | tee "$out"
    passed=$((passed + $(grep -c '^ok - ' "$out"))); bad=$(grep -c '^not ok - ' "$out")
    failed=$((failed + bad))
    [ "$bad" -eq 0 ] && grep -q '^ok - ' "$out" || fail "web: ${program%% *}"
    rm -f "$out"
  done
else fail "web build"; fi

echo
if [ ${#failures[@]} -gt 0 ]; then
  echo "failed: ${failures[*]}"
fi
echo "summary: $passed passed, $failed failed"
[ ${#failures[@]} -eq 0 ]
