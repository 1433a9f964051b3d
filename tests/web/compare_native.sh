#!/usr/bin/env bash
# The native and the web builds draw every frame of the production offline and render its song
# (tests/web/offline_check.cpp); their outputs must be the same bytes. The web build's stills
# must also show the same pixels as the native murova-export --still at the same moments.
# Prints "ok - ..." or "not ok - ..." with the first difference; exits 1 on a difference.
# usage: tests/web/compare_native.sh NATIVE_BIN_DIR NATIVE_PROGRAM WEB_PROGRAM.js OUT_DIR
set -uo pipefail
[ $# -eq 4 ] || { echo "compare_native: usage: compare_native.sh NATIVE_BIN NATIVE WEB.js OUT_DIR" >&2; exit 2; }
bin=$1 native=$2 web=$3 out=$4
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
# Frame n at 60 fps is the still at n / 60 seconds; compared as decoded pixels.
for seconds in 60 210; do
    frame=$((seconds * 60))
    "$bin/murova-export" --still "$seconds" "$out/still-$seconds.png" --fps 60 2>/dev/null &&
        "$bin/zenkor-image" decode "$out/still-$seconds.png" "$out/still-$seconds.rgba" >/dev/null &&
        "$bin/zenkor-image" decode "$out/web/frame-$frame.png" "$out/web-$seconds.rgba" >/dev/null
    if [ $? -eq 0 ] && cmp -s "$out/still-$seconds.rgba" "$out/web-$seconds.rgba"; then
        echo "ok - the web build's frame at ${seconds} s equals murova-export --still $seconds"
    else
        echo "not ok - the web build's frame at ${seconds} s differs from murova-export --still $seconds"
        status=1
    fi
done
exit $status
