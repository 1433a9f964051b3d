#!/usr/bin/env bash
# Installs what is missing, builds the web version of "Murova by Tarsel" into build-web/site/
# and serves it on http://localhost:8000 until Ctrl+C.
#   ./web.sh --build   only builds
#   PORT=N             another port;  JOBS=N  build parallelism
set -euo pipefail
cd "$(dirname "$0")"

usage() { echo "usage: ./web.sh [--build]"; }
build_only=0
case ${1:-} in
"") ;;
--build) build_only=1 ;;
-h | --help) usage; exit 0 ;;
*) usage >&2; exit 2 ;;
esac
[ $# -le 1 ] || { usage >&2; exit 2; }

scripts/install-deps.sh || { echo "web.sh: installing dependencies failed" >&2; exit 1; }
scripts/web-deps.sh || { echo "web.sh: installing the web toolchain failed" >&2; exit 1; }
scripts/web-build.sh site || { echo "web.sh: the build failed" >&2; exit 1; }
echo "web.sh: the page is in build-web/site/" >&2
[ $build_only -eq 1 ] && exit 0
exec node web/serve.mjs --port "${PORT:-8000}" build-web/site
