#!/usr/bin/env bash
# The native and the web builds draw every frame of the production offline and render its song
# (tests/web/offline_check.cpp); their outputs must be the same bytes. Prints "ok - ..." or
# "not ok - ..." with the first difference; exits 1 on a difference.
# usage: tests/web/compare_native.sh NATIVE_PROGRAM WEB_PROGRAM.js OUT_DIR
set -uo pipefail
[ $# -eq 3 ] || { echo "compare_native: usage: compare_native.sh NATIVE WEB.js OUT_DIR" >&2; exit 2; }
native=$1 web=$2 out=$3
rm -rf "$out/native" "$out/web"
mkdir -p "$out/native" "$out/web"
args=(--fps 60 --png-every 1800)
start=$(date +%s%N)
"$native" "${args[@]}" "$out/native" || { echo "not ok - the native offline run failed"; exit 1; }
middle=$(date +%s%N)
node "$web" "${args[@]}" "$out/web" || { echo "not ok - the web offline run failed"; exit 1; }
end=$(date +%s%N)
echo "# offline, every frame at 60 fps and the song: native $(((middle - start) / 1000000)) ms," \
     "web under node $(((end - middle) / 1000000)) ms"
status=0
if cmp -s "$out/native/frames.txt" "$out/web/frames.txt"; then
    echo "ok - every frame of the web build equals the native one ($(wc -l <"$out/web/frames.txt") frames)"
else
    echo "not ok - frames differ; first: $(diff "$out/native/frames.txt" "$out/web/frames.txt" | sed -n 2p)"
    status=1
fi
if cmp -s "$out/native/song.pcm" "$out/web/song.pcm"; then
    echo "ok - the web build's song render equals the native one ($(stat -c %s "$out/web/song.pcm") bytes)"
else
    echo "not ok - the song renders differ: $(cmp "$out/native/song.pcm" "$out/web/song.pcm" 2>&1 | head -n 1)"
    status=1
fi
for f in "$out"/native/frame-*.png; do
    cmp -s "$f" "$out/web/$(basename "$f")" || { echo "not ok - $(basename "$f") differs"; status=1; }
done
exit $status
