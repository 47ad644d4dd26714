#!/usr/bin/env bash
# Dynamic pages: websvr's web application against a static file of the same size
# served by the same websvr in the same run, on SQLite and on PostgreSQL.
#
#   bench/dynamic.sh [--database sqlite|postgresql|both] [STAGE_DIR]
#                    (default both; STAGE_DIR: $QV_STAGE_DIR, else build/quorvex)
#
# For each database, starts "websvr hidden" from a copy of the staged program
# folder (for PostgreSQL: a server of its own made with initdb in a temporary
# folder, as the user nobody when run as root, with the example loaded from
# sample-postgresql.sql), adds 30 customers of the country "Benchland", and
# measures with wrk (20 connections, "Connection: close", 10 s a run, dynamic
# page and static file taking turns, three rounds, medians) requests/s and p99
# latency of
#   - the home page "/",
#   - a table page of 20 rows (/?page=table&name=customers&size=20),
#   - a named query page (/?page=query&name=CustomersByCountry&p.country=Benchland&run=1, 20 rows),
# each against a file in the web root with as many bytes as that page; then the
# rate of form posts written (20 clients, each fetching the form and posting it,
# 400 posts, every one checked in the database); and websvr's peak resident
# memory (VmHWM) over the whole run. Prints SQLite and PostgreSQL side by side.
# BENCH_SECONDS and BENCH_ROUNDS shorten a trial run.
set -euo pipefail
trap 'echo "dynamic.sh: failed at line $LINENO: $BASH_COMMAND" >&2' ERR
cd "$(dirname "$0")/.."
source bench/helpers.sh

source bench/databaseoption.sh dynamic.sh "$@"
set -- "${BENCH_ARGS[@]}"
STAGE=${1:-${QV_STAGE_DIR:-build/quorvex}}
SECONDS_PER_RUN=${BENCH_SECONDS:-10}
ROUNDS=${BENCH_ROUNDS:-3}
CONNECTIONS=20
POSTS=400
SAMPLE="$STAGE/examples/microsoft access"

command -v wrk >/dev/null || die "wrk is needed (apt-get install wrk)"
command -v curl >/dev/null || die "curl is needed (apt-get install curl)"
[ -x "$STAGE/websvr" ] || die "no websvr in $STAGE (build first)"


WORK=$(mktemp -d /tmp/qvdynbench.XXXXXX)
chmod 755 "$WORK" # the PostgreSQL server runs as nobody under it
WEBSVR_PID=""
PGBIN=""
as_owner() { if [ "$(id -u)" -eq 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi; }
stop_websvr() {
    if [ -n "$WEBSVR_PID" ]; then
        kill "$WEBSVR_PID" 2>/dev/null || true
        wait "$WEBSVR_PID" 2>/dev/null || true
    fi
    WEBSVR_PID=""
}
cleanup() {
    stop_websvr || true
    [ -n "$PGBIN" ] && as_owner "$PGBIN/pg_ctl" -D "$WORK/pg/data" -m fast -w stop >/dev/null 2>&1
    rm -rf "$WORK"
}
trap cleanup EXIT

BENCH_ROWS=$(for i in $(seq 30); do printf "('Bench customer %02d', 'Bench City', 'Benchland', 'bench%02d@example.com')," "$i" "$i"; done)
BENCH_ROWS="INSERT INTO customers (name, city, country, email) VALUES ${BENCH_ROWS%,};"

start_postgresql() {
    PGBIN=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
    [ -x "$PGBIN/initdb" ] || PGBIN=$(dirname "$(command -v initdb || echo /nonexistent/initdb)")
    [ -x "$PGBIN/initdb" ] || die "PostgreSQL is not installed (no initdb)"
    mkdir "$WORK/pg"
    [ "$(id -u)" -ne 0 ] || chown nobody "$WORK/pg"
    as_owner "$PGBIN/initdb" -D "$WORK/pg/data" -U postgres --auth=trust -E UTF8 \
        --locale=C.UTF-8 >"$WORK/pg/initdb.log" 2>&1
    as_owner "$PGBIN/pg_ctl" -D "$WORK/pg/data" -l "$WORK/pg/server.log" -w \
        -o "-k $WORK/pg -c listen_addresses=''" start >/dev/null
    "$PGBIN/psql" -q -h "$WORK/pg" -U postgres -d postgres -c "CREATE DATABASE shop"
    "$PGBIN/psql" -q -h "$WORK/pg" -U postgres -d shop -f "$SAMPLE/sample-postgresql.sql" >/dev/null
    "$PGBIN/psql" -q -h "$WORK/pg" -U postgres -d shop -c "$BENCH_ROWS"
}

# count_customers DB LIKE: rows of customers whose name is like LIKE.
count_customers() {
    local sql="SELECT count(*) FROM customers WHERE name LIKE '$2'"
    if [ "$1" = sqlite ]; then
        sqlite3 "$WORK/$1/program/examples/microsoft access/sample.db" "$sql"
    else
        "$PGBIN/psql" -tA -h "$WORK/pg" -U postgres -d shop -c "$sql"
    fi
}

start_websvr() { # database port
    local db=$1 port=$2 program="$WORK/$1/program"
    mkdir -p "$WORK/$db/temp"
    cp -a "$STAGE" "$program"
    rm -rf "$program/data" "$program/Temp"
    mkdir -p "$program/data/config"
    echo "<Settings><TCPPort>$port</TCPPort></Settings>" >"$program/data/config/webserver.xml"
    local app="$program/examples/microsoft access"
    if [ "$db" = sqlite ]; then
        sqlite3 "$app/sample.db" "$BENCH_ROWS"
    else
        sed -i "s|<Database>[^<]*</Database>|<Database type=\"postgresql\">host=$WORK/pg user=postgres dbname=shop</Database>|" \
            "$app/dataserver.xml"
    fi
    TEMP="$WORK/$db/temp" "$program/websvr" hidden >"$WORK/$db/websvr.out" 2>"$WORK/$db/websvr.err" &
    WEBSVR_PID=$!
    local i
    for i in $(seq 300); do
        [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/")" = 200 ] && return
        kill -0 "$WEBSVR_PID" 2>/dev/null || break
        sleep 0.1
    done
    cat "$WORK/$db/websvr.err" >&2
    die "websvr did not serve the application on $db"
}

# One wrk run; prints "rps p99ms errors".
run_wrk() {
    wrk -t2 -c"$CONNECTIONS" -d"${2}s" --latency -H "Connection: close" "$1" | awk '
        /Requests\/sec:/ { rps = $2 }
        /^ +99%/ {
            v = $2; unit = v; sub(/[0-9.]+/, "", unit); sub(/[a-z]+$/, "", v)
            p99 = (unit == "us") ? v / 1000 : (unit == "s") ? v * 1000 : v
        }
        /Socket errors:/ { gsub(/,/, ""); errors += $4 + $6 + $8 + $10 }
        /Non-2xx or 3xx/ { errors += $5 }
        END { printf "%.1f %.3f %d\n", rps, p99, errors }'
}

# The rate of form posts written: 20 clients each fetch the form and post it.
post_forms() { # port prefix
    python3 - "$1" "$2" "$POSTS" <<'PY'
import re, sys, threading, time, urllib.parse, http.client
port, prefix, total = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
hidden = re.compile(rb'<input type="hidden" name="(formnonce|formtoken)" value="([^"]*)"')
saved, lock, counter = [0], threading.Lock(), iter(range(total))
def request(method, path, body=None):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    headers = {"Content-Type": "application/x-www-form-urlencoded"} if body else {}
    c.request(method, path, body, headers)
    r = c.getresponse()
    data = r.read()
    c.close()
    return r.status, data
def client():
    while True:
        with lock:
            k = next(counter, None)
        if k is None:
            return
        _, form = request("GET", "/?page=form&name=newcustomer")
        fields = {n.decode(): v.decode() for n, v in hidden.findall(form)}
        fields.update({"page": "form", "name": "newcustomer", "f.name": f"{prefix} {k:04d}",
                       "f.city": "Bern", "f.country": "Switzerland", "f.email": ""})
        status, _ = request("POST", "/", urllib.parse.urlencode(fields))
        if status == 302:
            with lock:
                saved[0] += 1
start = time.monotonic()
threads = [threading.Thread(target=client) for _ in range(20)]
for t in threads: t.start()
for t in threads: t.join()
print(f"{saved[0] / (time.monotonic() - start):.1f} {saved[0]}")
PY
}

declare -A RESULT
PAGES=(home table query)
declare -A URL=(
    [home]="/"
    [table]="/?page=table&name=customers&size=20&col1=country&op1=eq&val1=Benchland"
    [query]="/?page=query&name=CustomersByCountry&p.country=Benchland&run=1&size=20"
)

bench_database() {
    local db=$1 port page round kind
    port=$(free_port)
    [ "$db" = sqlite ] || start_postgresql
    start_websvr "$db" "$port"
    local base="http://127.0.0.1:$port" webroot="$WORK/$db/program/wwwroot"
    for page in "${PAGES[@]}"; do
        curl -sf -o "$WORK/$db/$page.body" "$base${URL[$page]}" || die "$db: ${URL[$page]} failed"
        # The same number of bytes as a static file (its own header aside).
        head -c "$(stat -c %s "$WORK/$db/$page.body")" /dev/urandom >"$webroot/bench-$page.bin"
        RESULT[$db,$page,bytes]=$(stat -c %s "$WORK/$db/$page.body")
    done
    grep -q '<td>Bench customer 20</td>' "$WORK/$db/table.body" || die "$db: the table page lacks its rows"
    echo "$db: warming up..." >&2
    run_wrk "$base/" 2 >/dev/null
    for page in "${PAGES[@]}"; do
        local drps=() dp99=() srps=() sp99=()
        for round in $(seq "$ROUNDS"); do
            for kind in dynamic static; do
                local url="$base${URL[$page]}"
                [ $kind = static ] && url="$base/bench-$page.bin"
                read -r rps p99 errors <<<"$(run_wrk "$url" "$SECONDS_PER_RUN")"
                kill -0 "$WEBSVR_PID" 2>/dev/null || die "websvr ended during the $db run"
                echo "  $db round $round $page $kind: $rps/s, p99 $p99 ms, $errors errors" >&2
                if [ $kind = dynamic ]; then drps+=("$rps") dp99+=("$p99"); else srps+=("$rps") sp99+=("$p99"); fi
                RESULT[$db,errors]=$((${RESULT[$db,errors]:-0} + errors))
            done
        done
        RESULT[$db,$page,rps]=$(median "${drps[@]}")
        RESULT[$db,$page,p99]=$(median "${dp99[@]}")
        RESULT[$db,$page,srps]=$(median "${srps[@]}")
        RESULT[$db,$page,sp99]=$(median "${sp99[@]}")
    done
    echo "  $db: $POSTS form posts from 20 clients..." >&2
    read -r rate saved <<<"$(post_forms "$port" "Bench post")"
    RESULT[$db,posts]=$rate
    local written
    written=$(count_customers "$db" "Bench post %")
    [ "$written" = "$saved" ] || die "$db: $saved posts answered saved, $written written"
    RESULT[$db,written]=$written
    RESULT[$db,rss]=$(awk '/^VmHWM:/ { printf "%.1f", $2 / 1024 }' "/proc/$WEBSVR_PID/status")
    stop_websvr
}

DATABASES=()
[ "$DATABASE" = postgresql ] || DATABASES+=(sqlite)
[ "$DATABASE" = sqlite ] || DATABASES+=(postgresql)
for db in "${DATABASES[@]}"; do bench_database "$db"; done

echo
echo "median of $ROUNDS rounds, $CONNECTIONS connections, Connection: close, ${SECONDS_PER_RUN}s a run"
printf '%-40s' ""
for db in "${DATABASES[@]}"; do printf '%26s' "$db"; done
echo
row() { # label key [target]
    printf '%-40s' "$1"
    for db in "${DATABASES[@]}"; do printf '%26s' "$("$2" "$db")"; done
    echo "${3:+   ($3)}"
}
for page in "${PAGES[@]}"; do
    rps_of() { echo "${RESULT[$1,$page,rps]} / ${RESULT[$1,$page,srps]}"; }
    ratio_of() { ratio "${RESULT[$1,$page,rps]}" "${RESULT[$1,$page,srps]}"; }
    p99_of() { echo "${RESULT[$1,$page,p99]} / ${RESULT[$1,$page,sp99]}"; }
    target=">= 0.25"
    [ "$page" = home ] && target=">= 0.50"
    row "$page (${RESULT[${DATABASES[0]},$page,bytes]} B) req/s, page / static" rps_of
    row "  ratio page / static" ratio_of "target $target"
    row "  p99 ms, page / static" p99_of
done
posts_of() { echo "${RESULT[$1,posts]}/s (${RESULT[$1,written]} written)"; }
rss_of() { echo "${RESULT[$1,rss]}"; }
errors_of() { echo "${RESULT[$1,errors]:-0}"; }
row "form posts written" posts_of
row "websvr peak RSS (MiB)" rss_of "target < 64"
row "wrk errors (connect, read, write, timeout, non-2xx)" errors_of
