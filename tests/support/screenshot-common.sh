# Helpers of the screenshot scripts (sourced): they set DISPLAY and the paths first, and
# keep xvfb_pid to stop the Xvfb that start_xvfb started; app_pid is the program under test.

log() { printf '== %s\n' "$*" >&2; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_tools() {
    local missing=() p
    for p in imagemagick xdotool fonts-wqy-microhei; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

start_xvfb() {
    [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && return 0
    Xvfb "$DISPLAY" -screen 0 1024x768x24 >/dev/null 2>&1 </dev/null &
    xvfb_pid=$!
    for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && return 0
        sleep 0.1
    done
    echo "screenshots.sh: Xvfb did not start on $DISPLAY" >&2
    exit 1
}

wait_for_window() {   # NAME: an X window of that name
    for _ in $(seq 100); do
        xdotool search --name "$1" >/dev/null 2>&1 && return 0
        sleep 0.2
    done
    echo "screenshots.sh: no window '$1' appeared" >&2
    return 1
}

wait_for_program_end() {   # TRIES: of 0.2 s each, then the program is ended
    for _ in $(seq "$1"); do
        kill -0 "$app_pid" 2>/dev/null || break
        sleep 0.2
    done
    if kill -0 "$app_pid" 2>/dev/null; then
        echo "screenshots.sh: the program did not close; ending it" >&2
        kill "$app_pid" 2>/dev/null || true
    fi
    wait "$app_pid" 2>/dev/null || true
    app_pid=
}
