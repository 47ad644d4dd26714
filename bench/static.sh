#!/usr/bin/env bash
# Static files: websvr against nginx on loopback, serving the same files.
#
#   bench/static.sh [--tls] [STAGE_DIR]     (default: $QV_STAGE_DIR, else build/quorvex)
#
# With --tls it measures HTTPS instead (bench/statictls.sh says what).
#
# Starts "websvr hidden" from a copy of the staged program folder and nginx
# (one worker, keepalive_timeout 0, access_log off), then measures with wrk
# (50 connections, "Connection: close", 10 s a run, the two servers taking
# turns, three rounds, medians):
#   - a 1 KiB file: requests/s, p99 latency, server CPU time per request
#     (utime+stime of the server's processes from /proc, per completed request;
#     websvr still writes its trace line for every request, nginx logs nothing);
#   - a 10 MiB file: MiB/s;
#   - websvr's peak resident memory (VmHWM) while 50 clients fetch the 10 MiB file;
#   - websvr's peak and settled resident memory around a burst of 20 clients
#     each posting 16 MiB at once (most are refused: the bodies being received
#     are capped in total), which shows the memory is given back.
# Prints the figures and the ratios websvr/nginx. Installs wrk and nginx with
# apt-get when they are missing (needs root). BENCH_SECONDS and BENCH_ROUNDS
# shorten a trial run.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/helpers.sh

TLS=""
if [ "${1:-}" = --tls ]; then
    TLS=1
    shift
fi
STAGE=${1:-${QV_STAGE_DIR:-build/quorvex}}
SECONDS_PER_RUN=${BENCH_SECONDS:-10}
ROUNDS=${BENCH_ROUNDS:-3}
CONNECTIONS=50
SMALL_BYTES=1024
LARGE_BYTES=$((10 * 1024 * 1024))
CLK_TCK=$(getconf CLK_TCK)
PATH=$PATH:/usr/sbin:/sbin # nginx, for users whose PATH lacks the system folders


install_tools() {
    command -v wrk >/dev/null && command -v nginx >/dev/null && return
    [ "$(id -u)" -eq 0 ] || die "wrk and nginx are needed (apt-get install wrk nginx-light)"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wrk nginx-light ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wrk nginx
}


# utime+stime in clock ticks of the process and its children processes (nginx's workers).
cpu_ticks() {
    local total=0 pid ticks
    for pid in "$@"; do
        ticks=$(awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$pid/stat" 2>/dev/null || true)
        total=$((total + ${ticks:-0}))
    done
    echo "$total"
}

server_pids() { # websvr itself (not its data server); nginx's master and workers
    local pid=$1
    if [ "$pid" = "$WEBSVR_PID" ]; then echo "$pid"; else echo "$pid" $(pgrep -P "$pid" || true); fi
}


# One wrk run against URL; prints
# "requests rps p99ms cpu_us_per_request read_errors other_errors".
run_wrk() {
    local url=$1 pid=$2 seconds=$3 out before after
    local pids
    pids=$(server_pids "$pid")
    before=$(cpu_ticks $pids)
    out=$(wrk -t2 -c"$CONNECTIONS" -d"${seconds}s" --latency -H "Connection: close" "$url")
    after=$(cpu_ticks $pids)
    awk -v ticks=$((after - before)) -v hz="$CLK_TCK" '
        / requests in / { requests = $1 }
        /Requests\/sec:/ { rps = $2 }
        /^ +99%/ {
            v = $2; unit = v; sub(/[0-9.]+/, "", unit); sub(/[a-z]+$/, "", v)
            p99 = (unit == "us") ? v / 1000 : (unit == "s") ? v * 1000 : v
        }
        /Socket errors:/ { gsub(/,/, ""); errors += $4 + $8 + $10; reads += $6 }
        /Non-2xx or 3xx/ { errors += $5 }
        END {
            cpu = requests > 0 ? ticks / hz / requests * 1e6 : 0
            printf "%d %.1f %.3f %.1f %d %d\n", requests, rps, p99, cpu, reads, errors
        }' <<<"$out"
}

WORK=$(mktemp -d /tmp/qvbench.XXXXXX)
WEBSVR_PID=""
NGINX_PID=""
NGINX2_PID="" # --tls with BENCH_TWO_NGINX: the second nginx, in websvr's place
HOLD_PID=""   # --tls: the client holding connections open
cleanup() {
    local pid
    for pid in "$HOLD_PID" "$WEBSVR_PID" "$NGINX_PID" "$NGINX2_PID"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$WORK"
}
trap cleanup EXIT

server_gone() {
    local status=0
    if [ "$1" = websvr ]; then
        wait "$WEBSVR_PID" || status=$?
        WEBSVR_PID=""
        cat "$WORK/websvr.err" >&2
        tail -5 "$WORK"/program/data/Logs/*.log >&2 || true
    fi
    die "$1 ended during the run (status $status)"
}

# start_websvr PORT [HTTPS_PORT]: HTTPS too (with the run's certificate) when given.
start_websvr() {
    local port=$1 https_port=${2:-} https="" serving='^Serving http://'
    [ -x "$STAGE/websvr" ] || die "no websvr in $STAGE (build first)"
    cp -a "$STAGE" "$WORK/program"
    rm -rf "$WORK/program/data" "$WORK/program/Temp"
    mkdir -p "$WORK/program/data/config" "$WORK/temp"
    if [ -n "$https_port" ]; then
        https="<HttpsEnabled>1</HttpsEnabled><HttpsPort>$https_port</HttpsPort>"
        https+="<HttpsCertificate>$WORK/tls/cert.pem</HttpsCertificate><HttpsKey>$WORK/tls/key.pem</HttpsKey>"
        serving='^Serving https://'
    fi
    echo "<Settings><TCPPort>$port</TCPPort>$https</Settings>" >"$WORK/program/data/config/webserver.xml"
    TEMP="$WORK/temp" "$WORK/program/websvr" hidden >"$WORK/websvr.out" 2>"$WORK/websvr.err" &
    WEBSVR_PID=$!
    local i
    for i in $(seq 100); do
        grep -q "$serving" "$WORK/websvr.out" && return
        kill -0 "$WEBSVR_PID" 2>/dev/null || break
        sleep 0.1
    done
    cat "$WORK/websvr.err" >&2
    if [ -n "$https_port" ] && grep -q '^Serving http://' "$WORK/websvr.out"; then
        die "websvr serves no HTTPS (no \"Serving https://\" line);" \
            "BENCH_TWO_NGINX=1 checks the harness with a second nginx in its place"
    fi
    die "websvr did not start"
}

# start_nginx PORT [NAME [PID_VARIABLE [HTTPS_PORT]]]: nginx with its files in $WORK/NAME
# (default nginx, its pid in NGINX_PID); HTTPS too (with the run's certificate) when given:
# TLS 1.2 and 1.3, http/1.1 only, sessions resumed by ticket only (nginx's default, its
# ticket keys made anew every start, as websvr's are).
start_nginx() {
    local port=$1 name=${2:-nginx} pid_variable=${3:-NGINX_PID} https_port=${4:-} user="" https=""
    [ "$(id -u)" -eq 0 ] && user="user root;"
    [ -n "$https_port" ] && https="
        listen 127.0.0.1:$https_port ssl backlog=1024;
        ssl_certificate $WORK/tls/cert.pem;
        ssl_certificate_key $WORK/tls/key.pem;
        ssl_protocols TLSv1.2 TLSv1.3;
        ssl_session_cache off;"
    local dir=$WORK/$name
    mkdir -p "$dir"
    cat >"$dir/nginx.conf" <<EOF
$user
worker_processes 1;
daemon off;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 4096; }
http {
    access_log off;
    keepalive_timeout 0;
    sendfile on;
    tcp_nopush on;
    default_type application/octet-stream;
    client_body_temp_path $dir/body;
    proxy_temp_path $dir/proxy;
    fastcgi_temp_path $dir/fastcgi;
    uwsgi_temp_path $dir/uwsgi;
    scgi_temp_path $dir/scgi;
    server {
        listen 127.0.0.1:$port backlog=1024;$https
        root $WORK/program/wwwroot;
    }
}
EOF
    nginx -e "$dir/error.log" -p "$dir" -c "$dir/nginx.conf" &
    printf -v "$pid_variable" %s "$!"
    local i
    for i in $(seq 100); do
        curl -sf -o /dev/null "http://127.0.0.1:$port/bench-1k.bin" && return
        sleep 0.1
    done
    cat "$dir/error.log" >&2
    die "$name did not start"
}

install_tools
if [ -n "$TLS" ]; then
    source bench/statictls.sh
    exit 0
fi

WEBSVR_PORT=$(free_port)
NGINX_PORT=$(free_port)
start_websvr "$WEBSVR_PORT"
head -c "$SMALL_BYTES" /dev/urandom >"$WORK/program/wwwroot/bench-1k.bin"
head -c "$LARGE_BYTES" /dev/urandom >"$WORK/program/wwwroot/bench-10m.bin"
chmod -R a+rX "$WORK"
start_nginx "$NGINX_PORT"

for name in websvr nginx; do
    port_var=${name^^}_PORT
    curl -sf -o "$WORK/check.bin" "http://127.0.0.1:${!port_var}/bench-10m.bin"
    cmp -s "$WORK/check.bin" "$WORK/program/wwwroot/bench-10m.bin" || die "$name serves other bytes"
done

declare -A RPS P99 CPU MIBS ERRORS READS
for name in websvr nginx; do ERRORS[$name]=0 READS[$name]=0; done

measure() { # file label: runs every round, servers taking turns
    local file=$1 round name pid port result
    for round in $(seq "$ROUNDS"); do
        for name in websvr nginx; do
            if [ "$name" = websvr ]; then pid=$WEBSVR_PID port=$WEBSVR_PORT; else pid=$NGINX_PID port=$NGINX_PORT; fi
            result=$(run_wrk "http://127.0.0.1:$port/$file" "$pid" "$SECONDS_PER_RUN")
            kill -0 "$pid" 2>/dev/null || server_gone "$name"
            read -r requests rps p99 cpu reads errors <<<"$result"
            echo "  round $round $name $file: $requests requests, $rps/s, p99 $p99 ms," \
                "CPU $cpu us/request, $errors errors, $reads read errors" >&2
            ERRORS[$name]=$((ERRORS[$name] + errors))
            READS[$name]=$((READS[$name] + reads))
            case $file in
            bench-1k.bin)
                RPS[$name]+="$rps "
                P99[$name]+="$p99 "
                CPU[$name]+="$cpu "
                ;;
            *) MIBS[$name]+="$(awk -v r="$rps" -v b="$LARGE_BYTES" 'BEGIN { printf "%.1f", r * b / 1048576 }') " ;;
            esac
        done
    done
}

echo "Warming up..." >&2
run_wrk "http://127.0.0.1:$WEBSVR_PORT/bench-1k.bin" "$WEBSVR_PID" 2 >/dev/null
run_wrk "http://127.0.0.1:$NGINX_PORT/bench-1k.bin" "$NGINX_PID" 2 >/dev/null

echo "1 KiB file, $CONNECTIONS connections, Connection: close, ${SECONDS_PER_RUN}s x $ROUNDS rounds:" >&2
measure bench-1k.bin
# The peak from here on: 50 clients fetching the big file.
echo 5 >"/proc/$WEBSVR_PID/clear_refs" 2>/dev/null || true
echo "10 MiB file:" >&2
measure bench-10m.bin
PEAK_KIB=$(awk '/^VmHWM:/ { print $2 }' "/proc/$WEBSVR_PID/status")

echo "POST burst: 20 x 16 MiB..." >&2
head -c $((16 * 1024 * 1024)) /dev/zero >"$WORK/post.bin"
echo 5 >"/proc/$WEBSVR_PID/clear_refs" 2>/dev/null || true
POSTS=()
for i in $(seq 20); do
    curl -s -o /dev/null -H "Expect:" --data-binary @"$WORK/post.bin" \
        "http://127.0.0.1:$WEBSVR_PORT/bench-1k.bin" &
    POSTS+=($!)
done
wait "${POSTS[@]}"
kill -0 "$WEBSVR_PID" 2>/dev/null || server_gone websvr
POST_PEAK_KIB=$(awk '/^VmHWM:/ { print $2 }' "/proc/$WEBSVR_PID/status")
sleep 1
POST_AFTER_KIB=$(awk '/^VmRSS:/ { print $2 }' "/proc/$WEBSVR_PID/status")

for name in websvr nginx; do
    read -r -a values <<<"${RPS[$name]}"; RPS[$name]=$(median "${values[@]}")
    read -r -a values <<<"${P99[$name]}"; P99[$name]=$(median "${values[@]}")
    read -r -a values <<<"${CPU[$name]}"; CPU[$name]=$(median "${values[@]}")
    read -r -a values <<<"${MIBS[$name]}"; MIBS[$name]=$(median "${values[@]}")
done

echo
printf '%-34s %12s %12s %8s\n' "median of $ROUNDS rounds" websvr nginx ratio
printf '%-34s %12s %12s %8s   (target >= 0.90)\n' "1 KiB requests/s" "${RPS[websvr]}" "${RPS[nginx]}" "$(ratio "${RPS[websvr]}" "${RPS[nginx]}")"
printf '%-34s %12s %12s %8s\n' "1 KiB p99 latency (ms)" "${P99[websvr]}" "${P99[nginx]}" "$(ratio "${P99[websvr]}" "${P99[nginx]}")"
printf '%-34s %12s %12s %8s   (target <= 1.00)\n' "1 KiB server CPU per request (us)" "${CPU[websvr]}" "${CPU[nginx]}" "$(ratio "${CPU[websvr]}" "${CPU[nginx]}")"
printf '%-34s %12s %12s %8s   (target >= 0.80)\n' "10 MiB throughput (MiB/s)" "${MIBS[websvr]}" "${MIBS[nginx]}" "$(ratio "${MIBS[websvr]}" "${MIBS[nginx]}")"
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
printf '%-34s %12s %12s %8s   (target < 64 MiB)\n' "websvr peak RSS, 10 MiB (MiB)" "$(mib "$PEAK_KIB")" "" ""
printf '%-34s %12s\n' "websvr peak RSS, POST burst (MiB)" "$(mib "$POST_PEAK_KIB")"
printf '%-34s %12s\n' "websvr RSS 1 s after it (MiB)" "$(mib "$POST_AFTER_KIB")"
printf '%-34s %12s %12s\n' "errors (connect, write, timeout, non-2xx)" "${ERRORS[websvr]}" "${ERRORS[nginx]}"
printf '%-34s %12s %12s\n' "wrk read errors" "${READS[websvr]}" "${READS[nginx]}"
