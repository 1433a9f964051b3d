#!/usr/bin/env bash
# Installs what is missing, builds the Release build and runs the demo "Murova by Tarsel". Where
# there is no display it writes the demo as the video murova.mp4 in the current directory instead.
#   JOBS=N   build parallelism (default: number of cores)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

"$here/scripts/install-deps.sh" || { echo "run.sh: installing dependencies failed" >&2; exit 1; }
mkdir -p "$here/build"
cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$here/build/configure.log" 2>&1 \
    || { cat "$here/build/configure.log" >&2; exit 1; }
cmake --build "$here/build" --target murova murova-export -j "${JOBS:-$(nproc)}"

export_video() {
    echo "run.sh: no display here, so the demo goes into murova.mp4 instead (about five minutes of video)" >&2
    "$here/build/bin/murova-export" murova.mp4
    echo "run.sh: the demo is in $(pwd)/murova.mp4" >&2
}

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    export_video
    exit
fi
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
status=0
"$here/build/bin/murova" 2>"$errors" || status=$?
if [ "$status" -ne 0 ] && grep -q "Error initializing display!" "$errors"; then
    export_video
    exit
fi
cat "$errors" >&2
exit "$status"
