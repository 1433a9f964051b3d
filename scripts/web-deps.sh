#!/usr/bin/env bash
# What the web build needs, installed or built only when missing:
#   - Debian's packages: emscripten (works offline; its ports would download and are not used),
#     chromium and the tools to unpack source packages;
#   - libpng, libjpeg-turbo, zlib and GoogleTest compiled for WebAssembly (threads on) from
#     Debian's own sources, into build-web/deps/ (kept across rebuilds); with --benchmark,
#     Google Benchmark as well;
#   - with --test-tools, playwright-core from npm into build-web/tools/ (it drives the
#     installed chromium and downloads no browser).
# Prints nothing on success but what it builds.
# Usage: scripts/web-deps.sh [--test-tools] [--benchmark]
set -euo pipefail
cd "$(dirname "$0")/.."

root=$PWD/build-web/deps
prefix=$root/prefix
sources=$root/src
export NODE_PATH=/usr/share/nodejs   # emscripten's optimizer needs acorn from there
cflags="-O2 -pthread"

say() { echo "web-deps: $*" >&2; }
die() { say "$*"; exit 1; }

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

install_packages() {
    local packages=(emscripten nodejs chromium dpkg-dev xz-utils bzip2 cmake ninja-build) missing=() p log
    for p in "${packages[@]}"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    command -v npm >/dev/null 2>&1 || missing+=(npm)
    [ ${#missing[@]} -eq 0 ] && return 0
    say "installing: ${missing[*]}"
    log=$(mktemp)
    if ! { "${sudo_cmd[@]}" apt-get update -qq &&
           DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
               "${missing[@]}"; } >"$log" 2>&1; then
        cat "$log" >&2; rm -f "$log"
        die "apt-get failed"
    fi
    rm -f "$log"
}

# deb-src entries beside each deb entry of the machine's own sources, so apt-get source
# fetches from where the binaries come from.
enable_sources() {
    local list=/etc/apt/sources.list.d/zenkor-web-src.sources
    if [ ! -f "$list" ]; then
        local tmp
        tmp=$(mktemp)
        for f in /etc/apt/sources.list.d/*.sources; do
            [ -f "$f" ] && [ "$f" != "$list" ] || continue
            grep -qi 'debian' "$f" || continue
            sed 's/^Types: deb$/Types: deb-src/' "$f" >>"$tmp"
            echo >>"$tmp"
        done
        if [ -f /etc/apt/sources.list ]; then
            grep -E '^deb [^ ]*debian' /etc/apt/sources.list | sed -E 's/^deb /Types: deb-src\nURIs: /' |
                awk '/^URIs:/ { split($0, w, " "); print "URIs: " w[2]; print "Suites: " w[3];
                                 printf "Components:"; for (i = 4; i <= length(w); i++) printf " %s", w[i];
                                 print "\n"; next } { print }' >>"$tmp"
        fi
        grep -q '^Types: deb-src' "$tmp" || die "no Debian entry in the apt sources to mirror"
        "${sudo_cmd[@]}" install -m 644 "$tmp" "$list"
        rm -f "$tmp"
    fi
    if ! apt-cache madison zlib 2>/dev/null | grep -q ' Sources$'; then
        "${sudo_cmd[@]}" apt-get update -qq >/dev/null 2>&1 || die "apt-get update failed"
    fi
}

# The version of a source package in the main suite (the security suite's sources are not
# served as its index says).
main_version() {
    apt-cache madison "$1" | awk -F'|' '$3 ~ /Sources/ && $3 !~ /-security|-updates/ { gsub(/ /, "", $2); print $2; exit }'
}

# Unpacks source package $1 into $sources/$1 (Debian's patches applied) once.
fetch_source() {
    local name=$1 version dir=$sources/$1
    [ -f "$dir/.unpacked" ] && return 0
    version=$(main_version "$name")
    [ -n "$version" ] || die "no source version of $name in the main suite"
    say "fetching $name $version"
    rm -rf "$dir" "$sources/dl-$name"
    mkdir -p "$sources/dl-$name"
    (cd "$sources/dl-$name" && apt-get source --download-only -qq "$name=$version" >/dev/null 2>&1) ||
        die "apt-get source $name=$version failed"
    dpkg-source --no-check -x "$sources/dl-$name"/*.dsc "$dir" >/dev/null || die "unpacking $name failed"
    rm -rf "$sources/dl-$name"
    touch "$dir/.unpacked"
}

# zlib's CMakeLists does not configure under emcmake: its few files are compiled directly.
build_zlib() {
    [ -f "$prefix/lib/libz.a" ] && return 0
    fetch_source zlib
    say "building zlib"
    local src=$sources/zlib obj=$root/obj-zlib f
    rm -rf "$obj"; mkdir -p "$obj" "$prefix/lib" "$prefix/include"
    for f in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate \
             inftrees trees uncompr zutil; do
        emcc $cflags -DHAVE_UNISTD_H -DHAVE_STDARG_H -c "$src/$f.c" -o "$obj/$f.o"
    done
    emar rcs "$prefix/lib/libz.a" "$obj"/*.o
    cp "$src/zlib.h" "$src/zconf.h" "$prefix/include/"
}

build_libpng() {
    [ -f "$prefix/lib/libpng.a" ] && return 0
    fetch_source libpng1.6
    say "building libpng"
    local src=$sources/libpng1.6 obj=$root/obj-png f
    rm -rf "$obj"; mkdir -p "$obj"
    cp "$src/scripts/pnglibconf.h.prebuilt" "$obj/pnglibconf.h"
    for f in png pngerror pngget pngmem pngpread pngread pngrio pngrtran pngrutil pngset pngtrans \
             pngwio pngwrite pngwtran pngwutil; do
        emcc $cflags -I"$obj" -I"$prefix/include" -c "$src/$f.c" -o "$obj/$f.o"
    done
    emar rcs "$prefix/lib/libpng.a" "$obj"/*.o
    cp "$src/png.h" "$src/pngconf.h" "$obj/pnglibconf.h" "$prefix/include/"
}

# Configures a CMake project for WebAssembly and builds target (default: install).
cmake_build() { # name source-dir target cmake-args...
    local name=$1 src=$2 target=$3; shift 3
    local dir=$root/build-$name
    rm -rf "$dir"
    emcmake cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cflags" "$@" >"$root/$name-configure.log" 2>&1 ||
        { cat "$root/$name-configure.log" >&2; die "configuring $name failed"; }
    cmake --build "$dir" --target "$target" -j "${JOBS:-$(nproc)}" >"$root/$name-build.log" 2>&1 ||
        { tail -n 40 "$root/$name-build.log" >&2; die "building $name failed"; }
}

cmake_install() { # name source-dir cmake-args...
    local name=$1 src=$2; shift 2
    cmake_build "$name" "$src" install "$@"
    rm -rf "$root/build-$name"
}

# libjpeg-turbo's configure check of size_t cannot run for wasm: its size is given. Only the
# static library is built (not its programs) and put in place with its four headers.
build_libjpeg() {
    [ -f "$prefix/lib/libjpeg.a" ] && return 0
    fetch_source libjpeg-turbo
    say "building libjpeg-turbo"
    local src=$sources/libjpeg-turbo dir=$root/build-libjpeg
    cmake_build libjpeg "$src" jpeg-static -DSIZE_T=4 -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF \
        -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF
    mkdir -p "$prefix/lib" "$prefix/include"
    cp "$dir/libjpeg.a" "$prefix/lib/"
    cp "$dir/jconfig.h" "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$prefix/include/"
    rm -rf "$dir"
}

# GoogleTest from the sources Debian ships with libgtest-dev.
build_gtest() {
    [ -f "$prefix/lib/libgtest.a" ] && return 0
    [ -f /usr/src/googletest/CMakeLists.txt ] || die "/usr/src/googletest is missing (libgtest-dev)"
    say "building GoogleTest"
    cmake_install gtest /usr/src/googletest -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -Dgtest_disable_pthreads=OFF \
        -DCMAKE_INSTALL_LIBDIR=lib
}

build_benchmark() {
    [ -f "$prefix/lib/libbenchmark.a" ] && return 0
    fetch_source benchmark
    say "building Google Benchmark"
    # Debian's patches read the version from the command line instead of git tags.
    local version
    version=$(dpkg-parsechangelog -l "$sources/benchmark/debian/changelog" -S Version | sed 's/-[^-]*$//')
    cmake_install benchmark "$sources/benchmark" -DGIT_VERSION="$version" -DBENCHMARK_ENABLE_TESTING=OFF -DBENCHMARK_ENABLE_GTEST_TESTS=OFF \
        -DBENCHMARK_ENABLE_WERROR=OFF -DBENCHMARK_ENABLE_INSTALL=ON -DCMAKE_INSTALL_LIBDIR=lib
}

install_test_tools() {
    local tools=$PWD/build-web/tools
    [ -f "$tools/node_modules/playwright-core/package.json" ] && return 0
    say "installing playwright-core"
    mkdir -p "$tools"
    cp tests/web/package.json "$tools/package.json"
    (cd "$tools" && npm install --no-audit --no-fund --loglevel=error >"$root/npm.log" 2>&1) ||
        { cat "$root/npm.log" >&2; die "npm install failed"; }
}

test_tools=0
benchmark=0
for arg in "$@"; do
    case $arg in
    --test-tools) test_tools=1 ;;
    --benchmark) benchmark=1 ;;
    -h | --help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) say "unknown option $arg"; exit 2 ;;
    esac
done

install_packages
mkdir -p "$prefix" "$sources"
need_sources=0
libraries=(libz libpng libjpeg)
[ $benchmark -eq 0 ] || libraries+=(libbenchmark)
for lib in "${libraries[@]}"; do
    [ -f "$prefix/lib/$lib.a" ] || need_sources=1
done
[ $need_sources -eq 0 ] || enable_sources
build_zlib
build_libpng
build_libjpeg
build_gtest
[ $benchmark -eq 0 ] || build_benchmark
[ $test_tools -eq 0 ] || install_test_tools
