#!/bin/bash
# Screenshots of the virtual port installer for looking at it by eye, in English and in
# Simplified Chinese: the main dialog, the port type dialog, the progress dialog, the main
# dialog with the installed port and the rename dialog. Writes PNG files to build/screenshots/
# (generated; the README's pictures are copies of some of them in docs/screenshots/).
#
#   ./suite.sh build && tests/installer/screenshots.sh
#
# It runs the program built with the test package (build/i686/tests/installer/standin/), whose
# device console tool is the tests' stand-in: told by DEVCON_DELAY to take its time (so that
# the progress dialog can be seen) and by DEVCON_PORT to create the port device on install and
# remove it on uninstall, as the real tool would. The program runs in a Wine virtual desktop on
# an Xvfb display of its own (:96, or SCREENSHOT_DISPLAY); keys come from xdotool. Needs
# imagemagick (import), xdotool and fonts-wqy-microhei (Chinese glyphs); missing ones are
# installed. For the Chinese run SimSun is replaced by WenQuanYi Micro Hei in the prefix for the
# time of the run. Any port device left behind is removed at the end: the tests expect none.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=${SUITE_BUILD_DIR:-$ROOT/build}
EXE=$BUILD/i686/tests/installer/standin/Pelkrane.exe
STANDIN=$BUILD/i686/tests/installer/devcon_standin.exe
OUT=$BUILD/screenshots
export WINEPREFIX=${WINEPREFIX:-$BUILD/wineprefix32}
export WINEDEBUG=${WINEDEBUG:--all}
export DISPLAY=${SCREENSHOT_DISPLAY:-:96}
DESKTOP_SIZE=480x320
TOOL_SECONDS=6

# log, install_tools, start_xvfb and wait_for_window
source "$ROOT/tests/support/screenshot-common.sh"

FONT_KEY='HKCU\Software\Wine\Fonts\Replacements'
font_replaced=false
xvfb_pid=
app_pid=
cleanup() {
    if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid" 2>/dev/null || true
    fi
    # The stand-in removes every virtual port device when told to remove.
    DEVCON_PORT=any wine "$STANDIN" remove 'DOZ\Quorvallent' >/dev/null 2>&1 </dev/null || true
    if $font_replaced; then
        wine reg delete "$FONT_KEY" /v SimSun /f >/dev/null 2>&1 </dev/null || true
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

shot() {   # FILE: the virtual desktop, which sits at the screen's top left
    import -window root -crop "${DESKTOP_SIZE}+0+0" +repage "$OUT/$1"
    log "wrote $OUT/$1"
}

key() {   # KEYS...: one at a time, with a pause for the dialogs to follow
    local k
    for k in "$@"; do
        xdotool key "$k"
        sleep 0.4
    done
}

# One run of the program: install (port type, progress), the listed port, its rename dialog,
# then uninstall and close. Focus moves by Tab: the list, Refresh, Install, Uninstall,
# Chg. Port No.
run_language() {   # TAG LOCALE
    local tag=$1 locale=$2 desktop="pelkrane-$1"
    LANG=$locale LC_ALL=$locale DEVCON_DELAY=$((TOOL_SECONDS * 1000)) DEVCON_PORT=COM3 \
        wine explorer "/desktop=$desktop,$DESKTOP_SIZE" "$EXE" >/dev/null 2>&1 </dev/null &
    app_pid=$!
    wait_for_window "$desktop - Wine desktop"
    sleep 3
    shot "pelkrane-$tag.png"

    key Tab Tab space
    sleep 1
    shot "pelkrane-$tag-port-type.png"
    key Return
    sleep 1.5
    shot "pelkrane-$tag-progress.png"
    sleep "$TOOL_SECONDS"
    shot "pelkrane-$tag-installed-message.png"
    key Return
    sleep 1

    # The list, its first row, then Chg. Port No.
    key shift+Tab shift+Tab Home
    shot "pelkrane-$tag-installed.png"
    key Tab Tab Tab Tab space
    sleep 1
    shot "pelkrane-$tag-rename.png"
    key Escape

    # Uninstall (focus is back on Chg. Port No.), its message, then the end.
    key shift+Tab space
    sleep $((TOOL_SECONDS + 2))
    [ -n "${SCREENSHOT_DEBUG:-}" ] && shot "pelkrane-$tag-uninstalled-message.png"
    key Return
    sleep 0.5
    key Escape
    wait_for_program_end 50
}

if [ ! -f "$EXE" ] || [ ! -f "$STANDIN" ]; then
    echo "screenshots.sh: $EXE or $STANDIN is missing; run ./suite.sh build first" >&2
    exit 1
fi
install_tools
mkdir -p "$OUT"
wineserver -p >/dev/null 2>&1 </dev/null || true
start_xvfb
run_language en en_US.UTF-8

if ! wine reg query "$FONT_KEY" /v SimSun >/dev/null 2>&1 </dev/null; then
    wine reg add "$FONT_KEY" /v SimSun /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1 </dev/null
    font_replaced=true
fi
run_language zh zh_CN.UTF-8
# The virtual desktops leave their size with the prefix's server: end it, so that the next
# program sees the real screen again.
wineserver -k || true
