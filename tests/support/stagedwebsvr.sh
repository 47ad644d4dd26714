# shellcheck shell=bash
# Sourced by the shell tests that run the staged websvr as a parent program would: a copy of
# the program folder in a temporary folder of the test ($WORK), started hidden, its printed
# lines awaited. Sourcing makes $WORK and removes it, with websvr, when the test ends;
# at_exit adds what else the test must end first.

WORK=$(mktemp -d)
EXIT_HOOKS=()
at_exit() { EXIT_HOOKS+=("$1"); }
_end_test() {
    local hook
    for hook in "${EXIT_HOOKS[@]}"; do eval "$hook" || true; done
    stop_websvr
    rm -rf "$WORK"
}
trap _end_test EXIT

fail() {
    echo "FAIL: $*"
    tail -5 "$WORK/websvr.err" 2>/dev/null
    cat "$WORK"/program/data/Logs/*.log 2>/dev/null | tail -20
    exit 1
}

# free_ports [N]: N (1) different loopback ports nobody listens on at the moment of asking.
free_ports() {
    python3 -c 'import socket, sys
held = [socket.socket() for _ in range(int(sys.argv[1]))]
for s in held: s.bind(("127.0.0.1", 0))
print(*[s.getsockname()[1] for s in held])' "${1:-1}"
}

# stage_program STAGE [PROGRAM]: $WORK/program, a copy of the staged folder without what a run
# left there; PROGRAM (a test build) in place of websvr when given.
stage_program() {
    cp -r "$1" "$WORK/program"
    rm -rf "$WORK/program/data" "$WORK/program/Temp"
    [ -z "${2:-}" ] || cp "$2" "$WORK/program/websvr"
    mkdir -p "$WORK/program/data/config" "$WORK/temp"
}

# write_settings ELEMENTS: the one-line settings file with these elements.
write_settings() {
    echo "<Settings>$1</Settings>" >"$WORK/program/data/config/webserver.xml"
}

# start_websvr: websvr hidden from $WORK, with the key file and TEMP of the test; its standard
# output in $WORK/websvr.out, its errors in websvr.err.
start_websvr() {
    # Emptied here, not by the background shell's redirection: a second start would otherwise
    # be awaited on the lines of the first until that shell got round to opening them.
    : >"$WORK/websvr.out"
    : >"$WORK/websvr.err"
    (cd "$WORK" && TEMP="$WORK/temp" QV_ADMIN_KEY_FILE="$WORK/adminkey" \
        exec program/websvr hidden >>"$WORK/websvr.out" 2>>"$WORK/websvr.err") &
    WEBSVR=$!
}

websvr_runs() { [ -n "${WEBSVR:-}" ] && kill -0 "$WEBSVR" 2>/dev/null; }

# Waits look as long as websvr runs, up to 90 s: they end when what they wait for comes, so
# the bound only stops a failing run, and a loaded machine stays well inside it.
# wait_until COMMAND...: true once COMMAND succeeds; false when websvr ended first.
wait_until() {
    local _
    for _ in $(seq 900); do
        "$@" && return 0
        websvr_runs || break
        sleep 0.1
    done
    "$@"
}

# await_lines N: true once websvr has printed N lines; false when it ended first.
has_printed() { [ "$(wc -l <"$WORK/websvr.out")" -ge "$1" ]; }
await_lines() { wait_until has_printed "$1"; }

# printed N: the N-th line websvr printed.
printed() { sed -n "$1p" "$WORK/websvr.out"; }

# await_serving HTTP_PORT [HTTPS_PORT]: both addresses printed, in order; fails otherwise.
await_serving() {
    local lines=1
    [ -z "${2:-}" ] || lines=2
    await_lines "$lines" || fail "websvr printed: $(cat "$WORK/websvr.out" "$WORK/websvr.err")"
    [ "$(printed 1)" = "Serving http://127.0.0.1:$1/" ] || fail "first line: $(printed 1)"
    [ -z "${2:-}" ] || [ "$(printed 2)" = "Serving https://127.0.0.1:$2/" ] ||
        fail "second line: $(printed 2)"
}

# stop_websvr: SIGTERM, then waits for its orderly end.
stop_websvr() {
    if websvr_runs; then
        kill "$WEBSVR" 2>/dev/null
        wait "$WEBSVR" 2>/dev/null || true
    fi
    WEBSVR=
}
