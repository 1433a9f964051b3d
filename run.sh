#!/usr/bin/env bash
# Installs what is missing, builds the Release build and runs the demo "Murova by Tarsel".
#   JOBS=N   build parallelism (default: number of cores)
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh || { echo "run.sh: installing dependencies failed" >&2; exit 1; }
mkdir -p build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >build/configure.log 2>&1 \
    || { cat build/configure.log >&2; exit 1; }
cmake --build build --target murova -j "${JOBS:-$(nproc)}"
exec build/bin/murova
