#!/usr/bin/env bash
# Pictures of websvr's windows, as a desktop user sees them: the main window, the trace log
# with rows, the settings dialog and the About box, in English and German. websvr runs from
# a copy of the staged program folder under Xvfb and is driven with the keyboard through its
# menus (their access keys come from the language file).
#   screenshots.sh STAGE_DIR QV_GRAB OUT_DIR
# Exit status 77 (skipped) when xvfb-run, xdpyinfo or xdotool is missing.
set -euo pipefail
stage=$1 grab=$2 out=$3

for tool in xvfb-run xdpyinfo xdotool python3; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing; skipped"; exit 77; }
done
# -noreset: Xvfb would otherwise reset when its last client leaves, and the next websvr
# could meet it in the middle of that.
if [ -z "${QV_SCREENSHOT_DISPLAY:-}" ]; then
    exec env QV_SCREENSHOT_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$0" "$@"
fi
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$out" "$work/bin" "$work/temp" "$work/config"
cp -a "$stage" "$work/quorvex"
rm -rf "$work/quorvex/data" "$work/quorvex/Temp"
# No browser opens: the address is only noted.
printf '#!/bin/sh\necho "$1" >> "%s/opened"\n' "$work" > "$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("", 0)); print(s.getsockname()[1])')
mkdir -p "$work/quorvex/data/config"
echo "<Settings><TCPPort>$port</TCPPort></Settings>" > "$work/quorvex/data/config/webserver.xml"

fail() { echo "screenshots: $*" >&2; exit 1; }
# Waits up to 10 seconds for the X server to answer.
displayAnswers() {
    for _ in $(seq 100); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}
# The text of a label of the language file, and its access key (the letter after "&amp;").
label() { sed -n "s:.*<Label id=\"$2\">\(.*\)</Label>.*:\1:p" "$work/quorvex/language/$1.xml"; }
key() { label "$1" "$2" | sed -n 's/.*&amp;\(.\).*/\1/p' | tr '[:upper:]' '[:lower:]'; }
# The id of the visible window whose title is exactly $1; waits up to 20 seconds.
window() {
    local id
    for _ in $(seq 200); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
shoot() { # title file
    local id
    id=$(window "$1") || fail "no window \"$1\""
    sleep 0.5 # drawn
    "$grab" "$id" "$out/$2" || fail "$2 not taken"
    echo "screenshots: $out/$2"
}
# Keys go where the pointer is (Xvfb has no window manager).
keysTo() { # window keys...
    xdotool mousemove --window "$1" 20 20
    xdotool windowfocus --sync "$1" 2>/dev/null || true
    shift
    xdotool key --delay 150 "$@"
}
menu() { keysTo "$main" "alt+$(key "$lang" "$1")" "$(key "$lang" "$2")"; }

for lang in en de; do
    displayAnswers || fail "the X server does not answer on $DISPLAY"
    TEMP="$work/temp" PATH="$work/bin:$PATH" XDG_CONFIG_HOME="$work/config" \
        "$work/quorvex/websvr" "language=$lang" 2>>"$work/stderr" &
    pid=$!
    main=$(window Quorvex) || fail "no main window ($(cat "$work/stderr"))"
    # The start asks nothing of its user: it ends by opening the administration page.
    started=
    for _ in $(seq 100); do
        grep -q "Launch browser as client" "$work/quorvex/data/Logs/"*"-WEBSRV-$pid.log" 2>/dev/null &&
            { started=1; break; }
        sleep 0.2
    done
    [ -n "$started" ] || fail "the start did not end ($(cat "$work/stderr"))"
    shoot Quorvex "main-$lang.png"

    menu mnuTools mnuTraceLog
    window "$(label "$lang" wndTraceLog)" >/dev/null || fail "no trace log"
    for page in index.htm missing.htm index.htm; do
        python3 -c "import urllib.request,sys
try: urllib.request.urlopen(sys.argv[1]).read()
except Exception: pass" "http://127.0.0.1:$port/$page"
    done
    shoot "$(label "$lang" wndTraceLog)" "tracelog-$lang.png"

    menu mnuTools mnuSettings
    shoot "$(label "$lang" wndServerSettings)" "settings-$lang.png"
    keysTo "$(window "$(label "$lang" wndServerSettings)")" Escape
    sleep 1

    menu mnuHelp mnuAbout
    shoot "About Quorvex - Web Server" "about-$lang.png"
    keysTo "$(window "About Quorvex - Web Server")" Return

    kill -TERM "$pid"
    wait "$pid" || fail "websvr ended with $?: $(tail -c 3000 "$work/stderr")"
    pid=
done
