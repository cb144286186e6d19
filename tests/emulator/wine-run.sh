#!/bin/bash
# Runs a Windows program under Wine with three emulated printers attached.
#   WINEPREFIX=... [WINE=wine] wine-run.sh PROGRAM.exe [args...]
# The program finds the emulator through POSEMU_PORT (TCP control port on
# 127.0.0.1) and POSEMU_COMS (e.g. COM40,COM41,COM42). Exits with the
# program's exit code, or 1 if the emulator does not come up.
set -u

if [ $# -lt 1 ]; then
    echo "usage: WINEPREFIX=... wine-run.sh PROGRAM.exe [args...]" >&2
    exit 2
fi
: "${WINEPREFIX:?WINEPREFIX must be set}"
export WINEPREFIX
WINE=${WINE:-wine}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/posemu.XXXXXX")
emu_pid=
prog_pid=
cleanup() {
    if [ -n "$prog_pid" ]; then
        # Interrupted: still show what the program printed so far.
        kill -TERM "$prog_pid" 2>/dev/null
        cat "$work/stdout" 2>/dev/null
        cat "$work/stderr" >&2 2>/dev/null
    fi
    if [ -n "$emu_pid" ]; then
        kill -TERM "$emu_pid" 2>/dev/null
        # The emulator removes its COM links on SIGTERM; give it a moment
        # before forcing it, so a parallel run never inherits stale links.
        for _ in $(seq 50); do
            kill -0 "$emu_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$emu_pid" 2>/dev/null
        wait "$emu_pid" 2>/dev/null
    fi
    # A control thread that died leaves only its traceback to explain why a
    # test's command got no reply.
    if grep -q Traceback "$work/emulator.log" 2>/dev/null; then
        echo "wine-run.sh: printer emulator log:" >&2
        cat "$work/emulator.log" >&2
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mkdir -p "$WINEPREFIX/dosdevices"
python3 "$here/printer_emulator.py" --dosdevices "$WINEPREFIX/dosdevices" \
    --printers 3 --ready-file "$work/ready" >"$work/emulator.log" 2>&1 </dev/null &
emu_pid=$!

for _ in $(seq 100); do
    [ -f "$work/ready" ] && break
    kill -0 "$emu_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -f "$work/ready" ]; then
    echo "wine-run.sh: printer emulator did not start; its log:" >&2
    cat "$work/emulator.log" >&2
    rm -f "$work/emulator.log"
    exit 1
fi

read -r ready <"$work/ready"
for field in $ready; do
    case $field in
        port=*) export POSEMU_PORT=${field#port=} ;;
        coms=*) export POSEMU_COMS=${field#coms=} ;;
    esac
done

# In the background so that a TERM or INT reaches the traps at once instead
# of after the program ends. Its output goes to files, not to our own stdout:
# Wine's system processes, started on demand by the program, inherit these
# descriptors and outlive it, and a caller reading our stdout through a pipe
# would then never see end of file.
"$WINE" "$@" </dev/null >"$work/stdout" 2>"$work/stderr" &
prog_pid=$!
wait "$prog_pid"
rc=$?
prog_pid=
cat "$work/stdout"
cat "$work/stderr" >&2
exit $rc
