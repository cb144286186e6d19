#!/bin/bash
# Builds the platform-free cores natively with sanitizers, runs their tests, then fuzzes each
# for a bounded time on a copy of its committed seed corpus.
#
#   BUILD_DIR     build folder (default <repo>/build/native)
#   FUZZ_SECONDS  fuzzing time per target (default 120)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build/native}
FUZZ_SECONDS=${FUZZ_SECONDS:-120}
JOBS=$(nproc 2>/dev/null || echo 4)

log() { printf '== %s\n' "$*" >&2; }

log "configuring $BUILD_DIR"
cmake -S "$ROOT/tests/native" -B "$BUILD_DIR" -G Ninja \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$BUILD_DIR" -j "$JOBS"

log "unit tests and corpus replay"
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$JOBS"

# fuzz TARGET CORPUS_NAME: the committed corpus stays untouched; new inputs and any crash
# artifacts go to the build folder.
fuzz() {
    local target=$1 name=$2
    local work=$BUILD_DIR/fuzz/$name
    rm -rf "$work"
    mkdir -p "$work/corpus" "$work/artifacts"
    cp -R "$ROOT/tests/native/corpus/$name/." "$work/corpus/"
    log "fuzzing $target for ${FUZZ_SECONDS}s"
    local rc=0
    "$BUILD_DIR/$target" -seed=1 -max_total_time="$FUZZ_SECONDS" -max_len=4096 \
        -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1 || rc=$?
    grep -E '^#[0-9]+[[:space:]]+DONE' "$work/log" | tail -n 1 || true
    grep -E '^Done [0-9]+ runs' "$work/log" | tail -n 1 || true
    if [ "$rc" -ne 0 ]; then
        tail -n 60 "$work/log" >&2
        log "$target failed (exit $rc); log and artifacts in $work"
        return "$rc"
    fi
}

fuzz translate_fuzz translate
fuzz archive_fuzz archive

log "native tests passed"
