#!/usr/bin/env bash
# The desktop window's cost: websvr with its main window and trace-log window open (under
# Xvfb) against websvr hidden, serving the same 1 KiB file in the same run.
#
#   bench/desktop.sh [STAGE_DIR]     (default: $QV_STAGE_DIR, else build/quorvex)
#
# Starts both from copies of the staged program folder, opens the windowed one's trace log
# through its Tools menu (xdotool), then measures with wrk (50 connections,
# "Connection: close", 10 s a run, the two taking turns, three rounds, medians): requests/s,
# p99 latency, and what the windowed run shows (request counter, trace-log rows). Prints the
# figures and the ratio windowed/hidden (target >= 0.80). Needs xvfb-run, xdotool and wrk;
# BENCH_SECONDS and BENCH_ROUNDS shorten a trial run.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/helpers.sh

STAGE=$(realpath "${1:-${QV_STAGE_DIR:-build/quorvex}}")
SECONDS_PER_RUN=${BENCH_SECONDS:-10}
ROUNDS=${BENCH_ROUNDS:-3}
CONNECTIONS=50

for tool in xvfb-run xdpyinfo xdotool wrk python3 curl; do
    command -v "$tool" >/dev/null || die "$tool is needed (apt-get install xvfb x11-utils xdotool wrk curl)"
done
[ -x "$STAGE/websvr" ] || die "no websvr in $STAGE (build first)"
# -noreset: Xvfb would otherwise reset when its last client leaves, and a websvr started
# then could meet it in the middle of that.
if [ -z "${QV_BENCH_DISPLAY:-}" ]; then
    exec env QV_BENCH_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$0" "$STAGE"
fi
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

WORK=$(mktemp -d /tmp/qvdesktop.XXXXXX)
PIDS=()
cleanup() {
    local pid
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    rm -rf "$WORK"
}
trap cleanup EXIT


# Waits up to 10 seconds for the X server to answer.
display_answers() {
    local i
    for i in $(seq 100); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

start_websvr() { # name port [arguments...]
    local name=$1 port=$2 folder=$WORK/$1
    shift 2
    display_answers || die "the X server does not answer on $DISPLAY"
    cp -a "$STAGE" "$folder"
    rm -rf "$folder/data" "$folder/Temp"
    mkdir -p "$folder/data/config" "$folder/temp" "$folder/bin"
    echo "<Settings><TCPPort>$port</TCPPort></Settings>" >"$folder/data/config/webserver.xml"
    head -c 1024 /dev/urandom >"$folder/wwwroot/bench-1k.bin"
    # The windowed run's start opens the administration page: no browser here.
    printf '#!/bin/sh\nexit 0\n' >"$folder/bin/xdg-open"
    chmod +x "$folder/bin/xdg-open"
    TEMP="$folder/temp" PATH="$folder/bin:$PATH" XDG_CONFIG_HOME="$folder/config" \
        "$folder/websvr" "$@" >"$folder/out" 2>"$folder/err" &
    PIDS+=($!)
    local i
    for i in $(seq 200); do
        curl -sf -o /dev/null "http://127.0.0.1:$port/bench-1k.bin" && return
        sleep 0.1
    done
    cat "$folder/err" >&2
    die "$name did not start"
}

open_trace_log() {
    local main
    main=$(xdotool search --onlyvisible --name '^Quorvex$' | head -n1) || die "no main window"
    # Xvfb has no window manager: the window gets the pointer and the focus itself.
    xdotool mousemove --window "$main" 20 20
    xdotool windowfocus --sync "$main" 2>/dev/null || true
    xdotool key --delay 150 alt+t t
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name '^Trace Log$' >/dev/null 2>&1 && return
        sleep 0.1
    done
    die "the trace log did not open"
}

run_wrk() { # port: "requests rps p99ms"
    wrk -t2 -c"$CONNECTIONS" -d"${SECONDS_PER_RUN}s" --latency -H "Connection: close" \
        "http://127.0.0.1:$1/bench-1k.bin" | awk '
        / requests in / { requests = $1 }
        /Requests\/sec:/ { rps = $2 }
        /^ +99%/ {
            v = $2; unit = v; sub(/[0-9.]+/, "", unit); sub(/[a-z]+$/, "", v)
            p99 = (unit == "us") ? v / 1000 : (unit == "s") ? v * 1000 : v
        }
        END { printf "%d %.1f %.3f\n", requests, rps, p99 }'
}

HIDDEN_PORT=$(free_port)
WINDOWED_PORT=$(free_port)
start_websvr hidden "$HIDDEN_PORT" hidden
start_websvr windowed "$WINDOWED_PORT" language=en
open_trace_log

declare -A RPS P99 PORT=([hidden]=$HIDDEN_PORT [windowed]=$WINDOWED_PORT)
echo "Warming up..." >&2
for name in hidden windowed; do SECONDS_PER_RUN=2 run_wrk "${PORT[$name]}" >/dev/null; done
echo "1 KiB file, $CONNECTIONS connections, Connection: close, ${SECONDS_PER_RUN}s x $ROUNDS rounds:" >&2
for round in $(seq "$ROUNDS"); do
    for name in hidden windowed; do
        read -r requests rps p99 <<<"$(run_wrk "${PORT[$name]}")"
        echo "  round $round $name: $requests requests, $rps/s, p99 $p99 ms" >&2
        RPS[$name]+="$rps "
        P99[$name]+="$p99 "
    done
done
for pid in "${PIDS[@]}"; do kill -0 "$pid" 2>/dev/null || die "a websvr ended during the run"; done
for name in hidden windowed; do
    read -r -a values <<<"${RPS[$name]}"; RPS[$name]=$(median "${values[@]}")
    read -r -a values <<<"${P99[$name]}"; P99[$name]=$(median "${values[@]}")
done

echo
printf '%-30s %12s %12s %8s\n' "median of $ROUNDS rounds" hidden windowed ratio
printf '%-30s %12s %12s %8s   (target >= 0.80)\n' "1 KiB requests/s" "${RPS[hidden]}" "${RPS[windowed]}" "$(ratio "${RPS[windowed]}" "${RPS[hidden]}")"
printf '%-30s %12s %12s %8s\n' "1 KiB p99 latency (ms)" "${P99[hidden]}" "${P99[windowed]}" "$(ratio "${P99[windowed]}" "${P99[hidden]}")"
