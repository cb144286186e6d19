#!/bin/bash
# Runs a Wine program without handing it our standard output and error.
#   WINEPREFIX=... wine-detached.sh PROGRAM [args...]
# When it is the first program of a prefix, Wine starts its system processes (services,
# device host, plug and play) from it, and they inherit its descriptors and outlive it: a
# caller reading them through a pipe (ctest does) would wait for an end of file that never
# comes. The program writes to files instead; they are shown once it has ended.
set -u
: "${WINEPREFIX:?WINEPREFIX must be set}"
out=$(mktemp "${TMPDIR:-/tmp}/winedet.XXXXXX")
trap 'rm -f "$out" "$out.err"' EXIT
"${WINE:-wine}" "$@" </dev/null >"$out" 2>"$out.err"
rc=$?
cat "$out"
cat "$out.err" >&2
exit $rc
