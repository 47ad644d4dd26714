# shellcheck shell=bash
# HTTPS: websvr's listener against nginx's, serving the same files on loopback with one
# certificate made for the run (ECDSA P-256, for localhost and 127.0.0.1). The part of
#
#   bench/static.sh --tls [STAGE_DIR]
#
# that static.sh sources once its functions and settings are defined (STAGE, WORK,
# SECONDS_PER_RUN, ROUNDS, CONNECTIONS, start_websvr, start_nginx, cpu_ticks, server_pids,
# server_gone).
# Starts "websvr hidden" with HTTPS on and nginx (one worker, TLS 1.2 and 1.3, http/1.1 only,
# no session cache but its default session tickets, keepalive_timeout 0, access_log off), then
# measures with build/bench/qv_tlsload (built here when the build folder is there; 50 clients,
# one request per connection, 10 s a run, the two servers taking turns, three rounds, medians):
#   - a 1 KiB file over new connections (a full handshake for every request): requests/s,
#     p99 latency, server CPU time per request (utime+stime from /proc, as the plain run);
#   - the same with every connection resuming its client's last session ticket: requests/s
#     and the share of connections that did resume;
#   - a 10 MiB file over new connections: MiB/s;
#   - websvr's peak resident memory (VmHWM) while 500 connections that finished their
#     handshakes are held open without a request;
#   - the time of one normal HTTPS request (median and worst of 5) while 500 connections that
#     sent half a ClientHello and 100 that sent random bytes are held open, on both servers.
# On this 2-core machine the client's handshakes cost about as much CPU as the server's
# (OpenSSL 3 parses and checks the certificate every time), so requests/s are shared out
# between client and server; the CPU per request is the server's alone.
# BENCH_TWO_NGINX=1 puts a second nginx in websvr's place: its ratios should all be near 1.00,
# which checks the harness.

BUILD=${QV_BUILD_DIR:-$(dirname "$STAGE")}
TLSLOAD=$BUILD/bench/qv_tlsload
HELD=500
HALF_OPEN=500
GARBAGE=100
TRIES=5
if command -v ninja >/dev/null && [ -f "$BUILD/build.ninja" ]; then
    ninja -C "$BUILD" -j2 qv_tlsload >/dev/null
fi
[ -x "$TLSLOAD" ] || die "no $TLSLOAD (cmake --build $BUILD --target qv_tlsload)"
command -v openssl >/dev/null || die "openssl is needed (apt-get install openssl)"

mkdir -p "$WORK/tls"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 \
    -subj /CN=localhost -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" \
    -keyout "$WORK/tls/key.pem" -out "$WORK/tls/cert.pem" 2>"$WORK/tls/openssl.log" ||
    { cat "$WORK/tls/openssl.log" >&2; die "openssl could not make the certificate"; }
CA=$WORK/tls/cert.pem

# The first server's column: websvr, or a second nginx with BENCH_TWO_NGINX=1.
FIRST=websvr
declare -A PID TLS_PORT
TLS_PORT[websvr]=$(free_port)
TLS_PORT[nginx]=$(free_port)
if [ -n "${BENCH_TWO_NGINX:-}" ]; then
    FIRST=nginx-2
    mkdir -p "$WORK/program/wwwroot"
else
    start_websvr "$(free_port)" "${TLS_PORT[websvr]}"
fi
head -c "$SMALL_BYTES" /dev/urandom >"$WORK/program/wwwroot/bench-1k.bin"
head -c "$LARGE_BYTES" /dev/urandom >"$WORK/program/wwwroot/bench-10m.bin"
chmod -R a+rX "$WORK"
if [ -n "${BENCH_TWO_NGINX:-}" ]; then
    start_nginx "$(free_port)" nginx2 NGINX2_PID "${TLS_PORT[websvr]}"
    PID[websvr]=$NGINX2_PID
else
    PID[websvr]=$WEBSVR_PID
fi
start_nginx "$(free_port)" nginx NGINX_PID "${TLS_PORT[nginx]}"
PID[nginx]=$NGINX_PID

url() { echo "https://127.0.0.1:${TLS_PORT[$1]}/$2"; }

# Both versions give the same bytes, with the certificate checked for localhost.
for name in websvr nginx; do
    for version in 1.2 1.3; do
        curl -sf --cacert "$CA" --tlsv"$version" --tls-max "$version" --http1.1 \
            --resolve "localhost:${TLS_PORT[$name]}:127.0.0.1" -o "$WORK/check.bin" \
            "https://localhost:${TLS_PORT[$name]}/bench-10m.bin" ||
            die "$name: no HTTPS answer over TLS $version"
        cmp -s "$WORK/check.bin" "$WORK/program/wwwroot/bench-10m.bin" ||
            die "$name serves other bytes over TLS $version"
    done
done

# The process whose memory counts: websvr, or nginx's worker.
memory_pid() {
    local pid=${PID[$1]}
    if [ "$pid" = "$WEBSVR_PID" ]; then echo "$pid"; else pgrep -P "$pid" | head -1; fi
}

# value KEY LINE: the value of KEY=value in a line of qv_tlsload's figures.
value() { awk -v key="$1" '{ for (i = 1; i <= NF; i++) if (index($i, key "=") == 1) print substr($i, length(key) + 2) }' <<<"$2"; }

# run_tls NAME MODE FILE SECONDS: qv_tlsload's figures and cpu_us, the server's CPU time per
# request.
run_tls() {
    local name=$1 mode=$2 file=$3 seconds=$4 pids before after out
    pids=$(server_pids "${PID[$name]}")
    before=$(cpu_ticks $pids)
    out=$("$TLSLOAD" --cacert "$CA" -c "$CONNECTIONS" -d "$seconds" "$mode" "$(url "$name" "$file")") || true
    after=$(cpu_ticks $pids)
    [ -n "$out" ] || die "qv_tlsload gave no figures for $(label "$name")"
    awk -v ticks=$((after - before)) -v hz="$CLK_TCK" -v requests="$(value requests "$out")" \
        -v line="$out" 'BEGIN { printf "%s cpu_us=%.1f\n", line, (requests > 0 ? ticks / hz / requests * 1e6 : 0) }'
}

declare -A NEW_RPS NEW_P99 NEW_CPU RESUME_RPS RESUMED MIBS TLS_ERRORS
for name in websvr nginx; do TLS_ERRORS[$name]=0; done

# measure_tls MODE FILE: every round, servers taking turns, the one that starts changing from
# round to round (so that other work starting or ending on the machine favours neither).
measure_tls() {
    local mode=$1 file=$2 round name out requests order
    for round in $(seq "$ROUNDS"); do
        order="websvr nginx"
        [ $((round % 2)) -eq 1 ] || order="nginx websvr"
        for name in $order; do
            out=$(run_tls "$name" "$mode" "$file" "$SECONDS_PER_RUN")
            kill -0 "${PID[$name]}" 2>/dev/null || server_gone "$name"
            requests=$(value requests "$out")
            echo "  round $round $(label "$name") $mode $file: $requests requests," \
                "$(value requests_per_s "$out")/s, $(value mib_per_s "$out") MiB/s," \
                "p99 $(value p99_ms "$out") ms, CPU $(value cpu_us "$out") us/request," \
                "$(value resumed "$out") resumed, $(value errors "$out") errors" >&2
            TLS_ERRORS[$name]=$((TLS_ERRORS[$name] + $(value errors "$out")))
            case $mode/$file in
            new/bench-1k.bin)
                NEW_RPS[$name]+="$(value requests_per_s "$out") "
                NEW_P99[$name]+="$(value p99_ms "$out") "
                NEW_CPU[$name]+="$(value cpu_us "$out") "
                ;;
            resume/*)
                RESUME_RPS[$name]+="$(value requests_per_s "$out") "
                RESUMED[$name]+="$(awk -v r="$(value resumed "$out")" -v n="$requests" \
                    'BEGIN { printf "%.1f", (n > 0 ? 100 * r / n : 0) }') "
                ;;
            *) MIBS[$name]+="$(value mib_per_s "$out") " ;;
            esac
        done
    done
}

label() { if [ "$1" = websvr ]; then echo "$FIRST"; else echo "$1"; fi; }

# HELD_PEAK_KIB: the peak resident memory of NAME's server while HELD_COUNT connections (HELD
# asked for) are held open.
held_peak() {
    local name=$1 pid out=$WORK/hold.out i
    pid=$(memory_pid "$name")
    rm -f "$WORK/hold.in" "$out"
    mkfifo "$WORK/hold.in"
    echo 5 >"/proc/$pid/clear_refs" 2>/dev/null || true
    # The client lets go when its standard input closes: the fifo, held open here meanwhile.
    "$TLSLOAD" --cacert "$CA" hold "$HELD" "$(url "$name" bench-1k.bin)" <"$WORK/hold.in" >"$out" &
    HOLD_PID=$!
    exec {HOLD_FD}>"$WORK/hold.in"
    for i in $(seq 600); do
        grep -q '^held ' "$out" && break
        kill -0 "$HOLD_PID" 2>/dev/null || break
        sleep 0.1
    done
    HELD_PEAK_KIB=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
    HELD_COUNT=$(awk '/^held / { print $2 }' "$out")
    exec {HOLD_FD}>&-
    wait "$HOLD_PID" || true
    HOLD_PID=""
    kill -0 "${PID[$name]}" 2>/dev/null || server_gone "$name"
}

LOAD_BEFORE=$(cut -d" " -f1 /proc/loadavg)
echo "Warming up..." >&2
for name in websvr nginx; do run_tls "$name" new bench-1k.bin 2 >/dev/null; done

echo "TLS, $CONNECTIONS clients, a connection a request, ${SECONDS_PER_RUN}s x $ROUNDS rounds:" >&2
measure_tls new bench-1k.bin
measure_tls resume bench-1k.bin
measure_tls new bench-10m.bin

echo "$HELD connections held open..." >&2
held_peak websvr

declare -A BAD_MEDIAN BAD_WORST
for name in websvr nginx; do
    echo "$(label "$name"): $TRIES requests while $HALF_OPEN half and $GARBAGE garbage hellos are held..." >&2
    out=$("$TLSLOAD" --cacert "$CA" -n "$TRIES" bad "$HALF_OPEN" "$GARBAGE" "$(url "$name" bench-1k.bin)") || true
    echo "  $out" >&2
    kill -0 "${PID[$name]}" 2>/dev/null || server_gone "$name"
    BAD_MEDIAN[$name]=$(value median_ms "$out")
    BAD_WORST[$name]=$(value max_ms "$out")
    errors=$(value errors "$out")
    TLS_ERRORS[$name]=$((TLS_ERRORS[$name] + ${errors:-$TRIES}))
done

# The median of the figures of every round, a word each in $1.
median_of() {
    local -a values
    read -r -a values <<<"$1"
    median "${values[@]}"
}
for name in websvr nginx; do
    NEW_RPS[$name]=$(median_of "${NEW_RPS[$name]}")
    NEW_P99[$name]=$(median_of "${NEW_P99[$name]}")
    NEW_CPU[$name]=$(median_of "${NEW_CPU[$name]}")
    RESUME_RPS[$name]=$(median_of "${RESUME_RPS[$name]}")
    RESUMED[$name]=$(median_of "${RESUMED[$name]}")
    MIBS[$name]=$(median_of "${MIBS[$name]}")
done

mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
row() { printf '%-46s %12s %12s %8s%s\n' "$@"; }
echo
row "HTTPS, median of $ROUNDS rounds" "$FIRST" nginx ratio ""
row "1 KiB new connections, requests/s" "${NEW_RPS[websvr]}" "${NEW_RPS[nginx]}" \
    "$(ratio "${NEW_RPS[websvr]}" "${NEW_RPS[nginx]}")" "   (target >= 0.90)"
row "1 KiB server CPU per request (us)" "${NEW_CPU[websvr]}" "${NEW_CPU[nginx]}" \
    "$(ratio "${NEW_CPU[websvr]}" "${NEW_CPU[nginx]}")" "   (target <= 1.10)"
row "1 KiB p99 latency (ms)" "${NEW_P99[websvr]}" "${NEW_P99[nginx]}" \
    "$(ratio "${NEW_P99[websvr]}" "${NEW_P99[nginx]}")" ""
row "1 KiB resumed sessions, requests/s" "${RESUME_RPS[websvr]}" "${RESUME_RPS[nginx]}" \
    "$(ratio "${RESUME_RPS[websvr]}" "${RESUME_RPS[nginx]}")" "   (target >= 0.90)"
row "  connections resumed (%)" "${RESUMED[websvr]}" "${RESUMED[nginx]}" "" ""
row "10 MiB throughput (MiB/s)" "${MIBS[websvr]}" "${MIBS[nginx]}" \
    "$(ratio "${MIBS[websvr]}" "${MIBS[nginx]}")" "   (target >= 0.90)"
held_note=""
[ "${HELD_COUNT:-0}" = "$HELD" ] || held_note=" (only ${HELD_COUNT:-0} held)"
row "$FIRST peak RSS, $HELD connections held (MiB)" "$(mib "${HELD_PEAK_KIB:-0}")" "" "" \
    "   (target < 64 MiB)$held_note"
row "page, $HALF_OPEN half + $GARBAGE bad hellos: median ms" "${BAD_MEDIAN[websvr]:-n/a}" \
    "${BAD_MEDIAN[nginx]:-n/a}" "" ""
row "  worst of $TRIES (ms)" "${BAD_WORST[websvr]:-n/a}" "${BAD_WORST[nginx]:-n/a}" "" ""
row "errors (failed or wrong answers)" "${TLS_ERRORS[websvr]}" "${TLS_ERRORS[nginx]}" "" ""
echo "load average before and after: $LOAD_BEFORE, $(cut -d" " -f1 /proc/loadavg) (qv_tlsload's share included)"
