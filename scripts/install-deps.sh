#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need; only those missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libpng-dev libjpeg-dev zlib1g-dev
  libavformat-dev libavcodec-dev libswscale-dev
  libfreetype-dev fonts-dejavu-core
  imagemagick xvfb xauth xdotool openbox x11-apps x11-utils
  pekka-kana-2-data
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}" >&2
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
if ! { "${sudo_cmd[@]}" apt-get update -qq && \
       "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
  cat "$log" >&2; rm -f "$log"
  echo "install-deps: apt-get failed" >&2
  exit 1
fi
rm -f "$log"
