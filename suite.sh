#!/bin/bash
# One entry point for the whole suite: set-up on a fresh Debian machine, build, tests, demo.
#
#   ./suite.sh setup    install packages, fetch the LZMA SDK sources, make the Wine prefix
#   ./suite.sh build    setup, then build everything
#   ./suite.sh test     build, then run every test (FUZZ_SECONDS bounds each fuzzing run)
#   ./suite.sh demo     build, then print a sample receipt on the built-in printer emulator
#   ./suite.sh bench    build, then run the benchmark programs
#
# Every step is idempotent: a second run only does what is missing.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BUILD=${SUITE_BUILD_DIR:-$ROOT/build}
BUILD32=$BUILD/i686
PREFIX32=$BUILD/wineprefix32
# The port driver also builds for x64; its tests run in a 64-bit prefix.
BUILD64=$BUILD/x86_64
PREFIX64=$BUILD/wineprefix64
WINE64_LOADER=/usr/lib/wine/wine64
CACHE=${SUITE_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/pos-printer-suite}
JOBS=$(nproc 2>/dev/null || echo 4)

export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko install prompts while a prefix is made.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

log() { printf '== %s\n' "$*" >&2; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

PACKAGES=(
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
    wine wine32:i386 wine64 libwine-dev
    cmake ninja-build googletest xvfb xauth 7zip python3 dpkg-dev
    clang libclang-rt-14-dev
)

# One index that fails to download (a mirror in the middle of a sync) should not stop the
# set-up: the install or the source download that follows fails with its own words if it
# really needed that index.
apt_update() {
    as_root apt-get update -qq || log "apt-get update reported errors; going on with the package lists it has"
}

setup_packages() {
    local missing=()
    local p
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing: ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        as_root dpkg --add-architecture i386
    fi
    apt_update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The LZMA SDK's C sources come from Debian's 7zip source package, kept outside the tree.
setup_lzma_sources() {
    [ -d "$CACHE/lzma/C" ] && return 0
    local src=/etc/apt/sources.list.d/pos-suite-src.sources
    if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && [ ! -f "$src" ]; then
        log "enabling deb-src for the 7zip sources"
        sed -e 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | as_root tee "$src" >/dev/null
        apt_update
    fi
    mkdir -p "$CACHE/download"
    (cd "$CACHE/download" && ls 7zip_*.orig.tar.* >/dev/null 2>&1 || apt-get source --download-only 7zip >/dev/null)
    local orig
    orig=$(ls "$CACHE"/download/7zip_*.orig.tar.* | head -n 1)
    rm -rf "$CACHE/lzma.tmp" && mkdir -p "$CACHE/lzma.tmp"
    tar -xf "$orig" -C "$CACHE/lzma.tmp"
    local cdir
    cdir=$(find "$CACHE/lzma.tmp" -maxdepth 3 -type d -name C | head -n 1)
    mkdir -p "$CACHE/lzma"
    mv "$cdir" "$CACHE/lzma/C"
    rm -rf "$CACHE/lzma.tmp"
}

# Where the tests run. What ships is the i686 build; its tests run as 32-bit programs in the
# win32 prefix. A machine that cannot start 32-bit Linux programs (no 32-bit support in its
# kernel) cannot run Wine's 32-bit loader at all: there every part is also built for x86_64 and
# the tests run as 64-bit programs in the win64 prefix, while the i686 build is still built and
# checked without Wine. SUITE_TEST_ARCH=i686 or x86_64 chooses by hand.
TEST_ARCH=
choose_test_arch() {
    [ -n "$TEST_ARCH" ] && return 0
    TEST_ARCH=${SUITE_TEST_ARCH:-}
    if [ -z "$TEST_ARCH" ]; then
        if /usr/lib/wine/wine --version >/dev/null 2>&1 </dev/null; then
            TEST_ARCH=i686
        else
            TEST_ARCH=x86_64
            log "this machine cannot run 32-bit programs: the tests run as x86_64 builds"
        fi
    fi
    case "$TEST_ARCH" in
        i686) ;;
        x86_64)
            # Every Wine start, and every program Wine starts, goes through the 64-bit loader.
            export WINE=$WINE64_LOADER WINELOADER=$WINE64_LOADER ;;
        *) log "SUITE_TEST_ARCH must be i686 or x86_64, not '$TEST_ARCH'"; return 1 ;;
    esac
}

start_wineserver() {
    WINEPREFIX=$1 wineserver -p >/dev/null 2>&1 </dev/null || true
}

setup_prefix32() {
    if [ ! -f "$PREFIX32/system.reg" ]; then
        log "creating the win32 Wine prefix"
        mkdir -p "$BUILD"
        WINEPREFIX=$PREFIX32 WINEARCH=win32 "${WINE:-wine}" wineboot -i >/dev/null 2>&1 </dev/null
    fi
    start_wineserver "$PREFIX32"
}

setup_prefix64() {
    if [ ! -f "$PREFIX64/system.reg" ]; then
        log "creating the win64 Wine prefix"
        mkdir -p "$BUILD"
        WINEPREFIX=$PREFIX64 WINEARCH=win64 "${WINE:-wine}" wineboot -i >/dev/null 2>&1 </dev/null
    fi
    start_wineserver "$PREFIX64"
}

# A display is used only when its server is alive: a socket and lock file left behind by an
# Xvfb that has since ended (processes of an earlier session) are removed first.
start_xvfb() {
    export DISPLAY=${SUITE_DISPLAY:-:99}
    local n=${DISPLAY#:} pid=
    n=${n%%.*}
    [ -f "/tmp/.X$n-lock" ] && pid=$(tr -dc '0-9' <"/tmp/.X$n-lock")
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && [ -S "/tmp/.X11-unix/X$n" ]; then
        return 0
    fi
    rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n"
    Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    local i
    for i in $(seq 1 100); do
        [ -S "/tmp/.X11-unix/X$n" ] && return 0
        sleep 0.1
    done
    log "Xvfb did not start on $DISPLAY"
    return 1
}

cmd_setup() {
    setup_packages
    setup_lzma_sources
    choose_test_arch
    [ "$TEST_ARCH" = i686 ] && setup_prefix32
    setup_prefix64
}

cmd_build() {
    cmd_setup
    local werror=OFF all64=OFF
    [ "${CI:-}" = "true" ] && werror=ON
    [ "$TEST_ARCH" = x86_64 ] && all64=ON
    # The x64 build holds the port driver and its tests (every part when the tests run there).
    # Its driver comes first because the driver package, made in every build of every part,
    # carries the driver of both builds.
    cmake -S "$ROOT" -B "$BUILD64" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DSUITE_WERROR=$werror -DSUITE_WINEPREFIX="$PREFIX64" \
        -DSUITE_ALL_PARTS=$all64 -DSUITE_LZMA_DIR="$CACHE/lzma/C" \
        -DZULKOR_X86_BUILD_DIR="$BUILD32" -DZULKOR_REDIST_DIR="${ZULKOR_REDIST_DIR:-}" >/dev/null
    cmake --build "$BUILD64" -j "$JOBS" --target zulkor
    cmake -S "$ROOT" -B "$BUILD32" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-i686.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DSUITE_WERROR=$werror -DSUITE_WINEPREFIX="$PREFIX32" -DSUITE_LZMA_DIR="$CACHE/lzma/C" \
        -DZULKOR_X64_BUILD_DIR="$BUILD64" -DZULKOR_REDIST_DIR="${ZULKOR_REDIST_DIR:-}" >/dev/null
    cmake --build "$BUILD32" -j "$JOBS"
    cmake --build "$BUILD64" -j "$JOBS"
}

cmd_test() {
    cmd_build
    start_xvfb
    # Platform-free cores natively under AddressSanitizer and UndefinedBehaviorSanitizer, with
    # a bounded fuzzing run each.
    BUILD_DIR=$BUILD/native FUZZ_SECONDS=${FUZZ_SECONDS:-120} "$ROOT/tests/native/run-native.sh"
    if [ "$TEST_ARCH" = i686 ]; then
        ctest --test-dir "$BUILD32" --output-on-failure -j "$JOBS" "$@"
    else
        # Without Wine: the shipped modules' imports, the programs' manifests and the driver package.
        ctest --test-dir "$BUILD32" --output-on-failure -j "$JOBS" -L host "$@"
    fi
    ctest --test-dir "$BUILD64" --output-on-failure -j "$JOBS" "$@"
}

# The build and prefix whose programs run here.
run_build() { [ "$TEST_ARCH" = i686 ] && echo "$BUILD32" || echo "$BUILD64"; }
run_prefix() { [ "$TEST_ARCH" = i686 ] && echo "$PREFIX32" || echo "$PREFIX64"; }

cmd_demo() {
    cmd_build
    WINEPREFIX=$(run_prefix) "$ROOT/tests/emulator/wine-run.sh" "$(run_build)/tests/demo_receipt.exe"
}

cmd_bench() {
    cmd_build
    WINEPREFIX=$(run_prefix) "$ROOT/tests/emulator/wine-run.sh" "$(run_build)/tests/service_object_bench.exe"
}

case "${1:-}" in
    setup) cmd_setup ;;
    build) cmd_build ;;
    test) shift; cmd_test "$@" ;;
    demo) cmd_demo ;;
    bench) cmd_bench ;;
    *) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac
