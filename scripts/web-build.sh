#!/usr/bin/env bash
# Builds targets of the web build (build-web/, default: the page in build-web/site/) after what
# it needs: the libraries of scripts/web-deps.sh (run first) and the native murova-data of the
# Release build (build/), which writes the production's data.
#   JOBS=N   build parallelism (default: number of cores)
# usage: scripts/web-build.sh [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

export NODE_PATH=/usr/share/nodejs   # emscripten's optimizer needs acorn from there
jobs=${JOBS:-$(nproc)}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(site)

mkdir -p build build-web
if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >build/configure.log 2>&1 ||
        { cat build/configure.log >&2; exit 1; }
fi
cmake --build build --target murova-data -j "$jobs"

# node 20 refuses the flag emcmake would give it by default, so the emulator is named here.
# The benchmarks are built once scripts/web-deps.sh --benchmark has built their library.
benchmarks=OFF
[ -f build-web/deps/prefix/lib/libbenchmark.a ] && benchmarks=ON
if [ ! -f build-web/CMakeCache.txt ] || ! grep -q "^ZENKOR_BUILD_BENCHMARKS:BOOL=$benchmarks\$" build-web/CMakeCache.txt; then
    emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node)" -DZENKOR_BUILD_BENCHMARKS=$benchmarks \
        -DZENKOR_DATA_GENERATOR="$PWD/build/bin/murova-data" >build-web/configure.log 2>&1 ||
        { cat build-web/configure.log >&2; exit 1; }
fi
cmake --build build-web --target "${targets[@]}" -j "$jobs"
