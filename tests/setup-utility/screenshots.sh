#!/bin/bash
# Screenshots of the setup utility for looking at it by eye, in English and in Simplified
# Chinese: the main frame, its Edit menu dropped down, the About box, a device's property
# sheet, and (English) the Add New Device and Port range dialogs. Writes PNG files to
# build/screenshots/ (generated, not kept in the repository).
#
#   ./suite.sh build && tests/setup-utility/screenshots.sh
#
# The program runs in a Wine virtual desktop (Wine draws the window frames itself, no window
# manager needed) on an Xvfb display of its own (:97, or SCREENSHOT_DISPLAY), so a test run on
# the usual display is not disturbed. Keys and clicks come from xdotool. Needs imagemagick
# (import), xdotool and fonts-wqy-microhei (Chinese glyphs); missing ones are installed. For
# the Chinese run the Wine prefix has SimSun replaced by WenQuanYi Micro Hei (the system fonts
# of a prefix made in English fall back to SimSun for Chinese characters, and Wine has none);
# the replacement is removed again afterwards.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=${SUITE_BUILD_DIR:-$ROOT/build}
EXE=$BUILD/i686/setup-utility/Brenvik.exe
OUT=$BUILD/screenshots
export WINEPREFIX=${WINEPREFIX:-$BUILD/wineprefix32}
export WINEDEBUG=${WINEDEBUG:--all}
export DISPLAY=${SCREENSHOT_DISPLAY:-:97}
DESKTOP_SIZE=1024x768

# log, install_tools, start_xvfb and wait_for_window
source "$ROOT/tests/support/screenshot-common.sh"

xvfb_pid=
app_pid=
cleanup() {
    if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid" 2>/dev/null || true
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

shot() {   # FILE
    import -window root "$OUT/$1"
    log "wrote $OUT/$1"
}

# One run of the program in a virtual desktop: frame, Edit menu, About box, (English: the add
# device and port range dialogs,) then Alt+F4. The program runs in setup-utility/, where the
# sample catalogue config.xml lies.
run_language() {   # TAG LOCALE
    local tag=$1 locale=$2 desktop="brenvik-$1"
    cd "$ROOT/setup-utility"
    LANG=$locale LC_ALL=$locale wine explorer "/desktop=$desktop,$DESKTOP_SIZE" "$EXE" \
        >/dev/null 2>&1 </dev/null &
    app_pid=$!
    wait_for_window "$desktop - Wine desktop"
    sleep 3   # the frame paints after the desktop shows

    # A click into the list gives the program the keyboard.
    xdotool mousemove 600 400 click 1
    sleep 0.5
    shot "brenvik-$tag.png"

    xdotool key alt+e
    sleep 1
    shot "brenvik-$tag-edit-menu.png"
    xdotool key Escape
    sleep 0.5

    xdotool key alt+h
    sleep 0.7
    xdotool key a
    sleep 1.5
    shot "brenvik-$tag-about.png"
    xdotool key Escape
    sleep 0.5

    # The sample device's property sheet, reached by the keyboard: the tree's first device,
    # then File > Property.
    xdotool mousemove 200 500 click 1
    sleep 0.3
    xdotool key Home
    sleep 0.3
    xdotool key Down
    sleep 0.7
    xdotool key alt+f
    sleep 0.7
    xdotool key r
    sleep 1.5
    shot "brenvik-$tag-property.png"
    xdotool key Escape
    sleep 0.5
    xdotool mousemove 600 400 click 1
    sleep 0.3

    if [ "$tag" = en ]; then
        # The first class of the tree, then Add New Device with the sample catalogue's first
        # model, then the port range.
        xdotool mousemove 200 500 click 1
        sleep 0.3
        xdotool key Home
        sleep 0.5
        xdotool key Insert
        sleep 2
        xdotool key Down
        sleep 0.7
        shot "brenvik-$tag-add-device.png"
        xdotool key Escape
        sleep 0.5
        xdotool key alt+o
        sleep 0.7
        xdotool key p
        sleep 1
        shot "brenvik-$tag-port-range.png"
        xdotool key Escape
        sleep 0.5
        xdotool mousemove 600 400 click 1
        sleep 0.3
    fi

    [ -n "${SCREENSHOT_DEBUG:-}" ] && shot "brenvik-$tag-before-close.png"
    xdotool key alt+F4
    wait_for_program_end 75
}

# The installer's main dialog, in a desktop of its own.
run_installer() {
    local exe=$BUILD/i686/installer/Pelkrane.exe desktop=pelkrane
    [ -f "$exe" ] || return 0
    wine explorer "/desktop=$desktop,480x300" "$exe" >/dev/null 2>&1 </dev/null &
    app_pid=$!
    wait_for_window "$desktop - Wine desktop"
    sleep 2
    import -window root -crop 480x300+0+0 +repage "$OUT/pelkrane-en.png"
    log "wrote $OUT/pelkrane-en.png"
    xdotool key Escape
    sleep 1
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=
}

if [ ! -f "$EXE" ]; then
    echo "screenshots.sh: $EXE is missing; run ./suite.sh build first" >&2
    exit 1
fi
install_tools
mkdir -p "$OUT"
WINEPREFIX=$WINEPREFIX wineserver -p >/dev/null 2>&1 </dev/null || true
start_xvfb

# One device for the property sheet, removed again at the end.
SHOT_DEVICE='HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\TR-80S Serial'
add_value() {   # NAME (empty: the default value) DATA
    if [ -z "$1" ]; then
        wine reg add "$SHOT_DEVICE" /ve /d "$2" /f >/dev/null 2>&1 </dev/null
    else
        wine reg add "$SHOT_DEVICE" /v "$1" /d "$2" /f >/dev/null 2>&1 </dev/null
    fi
}
add_value "" RIVADARADO.POSPrinter
add_value DeviceName TR-80S
add_value DeviceDesc "TR-80S 80 mm thermal receipt printer, serial interface"
add_value Service 'C:\Program Files\Rivadarado\Malvistra.dll'
add_value Description "ESC/POS receipt printer, 80 mm paper, auto cutter"
add_value Version 1.11
run_language en en_US.UTF-8
run_installer

FONT_KEY='HKCU\Software\Wine\Fonts\Replacements'
had_replacement=false
wine reg query "$FONT_KEY" /v SimSun >/dev/null 2>&1 </dev/null && had_replacement=true
$had_replacement || wine reg add "$FONT_KEY" /v SimSun /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1 </dev/null
run_language zh zh_CN.UTF-8
$had_replacement || wine reg delete "$FONT_KEY" /v SimSun /f >/dev/null 2>&1 </dev/null
wine reg delete "$SHOT_DEVICE" /f >/dev/null 2>&1 </dev/null || true
# The virtual desktops leave their size with the prefix's server: end it, so that the next
# program sees the real screen again.
wineserver -k || true
