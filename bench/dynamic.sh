#!/usr/bin/env bash
# Dynamic pages: websvr's web application against a static file of the same size
# served by the same websvr in the same run, on SQLite and on PostgreSQL.
#
#   bench/dynamic.sh [--database sqlite|postgresql|both] [STAGE_DIR]
#                    (default both; STAGE_DIR: $QV_STAGE_DIR, else build/quorvex)
#
# For each database, starts "websvr hidden" from a copy of the staged program
# folder, its temporary folder (the queue folders) in /dev/shm as the service's is
# in /run (for PostgreSQL: a server of its own made with initdb in a temporary
# folder, as the user nobody when run as root, with the example loaded from
# sample-postgresql.sql), adds 30 customers of the country "Benchland", and
# measures with wrk (20 connections, "Connection: close", 10 s a run, dynamic
# page and static file taking turns, three rounds, medians) requests/s and p99
# latency of
#   - the home page "/",
#   - a table page of 20 rows (/?page=table&name=customers&size=20),
#   - a named query page (/?page=query&name=CustomersByCountry&p.country=Benchland&run=1, 20 rows),
#   - the table page of order_items (20 rows), whose two foreign keys (order_id and
#     product_id) show the labels of the rows they refer to,
#   - the table and query pages again, uncached: every request filters on
#     another value that no row has (bench/distinctrequests.lua), so that no
#     reply kept for an earlier request can answer it (the query page runs the
#     bench's own query BenchCustomersExcept, CustomersByCountry with a name
#     left out),
# each against a file in the web root with as many bytes as that page; then the
# rate of form posts written (20 clients, each fetching the form and posting it,
# 400 posts, every one checked in the database); and websvr's peak resident
# memory (VmHWM) over all that. Then the mixed load: 20 clients fetching a
# 1 KiB file alone, and again while 4 clients loop on a query page that takes
# about 2 s (the bench's own query BenchCount, a recursive count sized on
# this machine before the rounds, its count other for every request so that
# none is answered from a kept reply), taking turns, three rounds: the static
# file's requests/s and p99 both ways and their ratios, the slow pages
# answered, and the peak resident memory of websvr and of its data server
# (dbsvr, websvr's child) over the mixed runs. wrk waits up to 30 s for an
# answer, so that a page stalled behind a slow one still counts in the p99; a
# run without a single answer counts its own length as its p99.
# websvr runs with the application's own accounts (user mode APPLICATION) and trusts
# loopback as a proxy, so that the bench's clients are anonymous visitors, not the
# program's own account; the first administrator is set up through the printed
# address and the form posts are made signed in. Then users: a signed-in user's
# table page against an anonymous one's (taking turns), and the 1 KiB file and
# the table page alone and while 20 clients post wrong sign-ins, each from an
# address and for a name of its own (bench/signinflood.lua), so that no back-off
# spares a hash: the worst case for the hashing gate. Then search: a table of
# 100,000 rows made with SQL (a recursive CTE) with its full-text index (SQLite:
# the FTS5 table benchitems_fts; PostgreSQL: the GIN index on its text search
# document), and the median latency of its table page searching for a word,
# one client at a time: a word that 1,000 rows hold (the same address every
# time, so the reply kept for it answers), and a word of its own for every
# request (1 row each; no kept reply can answer), target <= 50 ms. Then chart: a chart
# page of 12 bars (the bench's chart file over the example's LowStock query) against a static
# file of its size, taking turns, three rounds (its replies reused after the first request),
# target >= 0.35 of the static file's requests/s.
# Then xlsx: the search table's 100,000 rows exported as a workbook (.xlsx) and
# as CSV, taking turns, one at a time: the median seconds of each and their
# ratio (target <= 2.00), and websvr's peak resident memory over the workbook
# exports against that over the CSV ones.
# Prints SQLite and PostgreSQL side by side. BENCH_SECONDS and BENCH_ROUNDS
# shorten a trial run; BENCH_PHASES="users" (any of pages, mixed, users, search, chart, xlsx)
# measures only those.
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
SLOW_CLIENTS=4
SLOW_SECONDS=2
SAMPLE="$STAGE/examples/microsoft access"

command -v wrk >/dev/null || die "wrk is needed (apt-get install wrk)"
command -v curl >/dev/null || die "curl is needed (apt-get install curl)"
[ -x "$STAGE/websvr" ] || die "no websvr in $STAGE (build first)"


WORK=$(mktemp -d /tmp/qvdynbench.XXXXXX)
# websvr's temporary folder (its queue folders) on a memory file system, as the service has it
# (/run/quorvex): /dev/shm where it can be written, else beside the rest.
RUNTEMP=$WORK
[ -w /dev/shm ] && RUNTEMP=$(mktemp -d /dev/shm/qvdynbench.XXXXXX)
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
    rm -rf "$WORK" "$RUNTEMP"
}
trap cleanup EXIT

BENCH_ROWS=$(for i in $(seq 30); do printf "('Bench customer %02d', 'Bench City', 'Benchland', 'bench%02d@example.com')," "$i" "$i"; done)
BENCH_ROWS="INSERT INTO customers (name, city, country, email) VALUES ${BENCH_ROWS%,};"
# The bench's own queries, added to the application's: the slow one of the mixed load (a
# count of :rows rows made one by one, as slow on SQLite as on PostgreSQL), and
# CustomersByCountry with a name left out, which no kept reply answers when the name varies.
BENCH_QUERIES='    <Query name="BenchCount">
      <Parameter name="rows" type="integer"/>
      <Sql>WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x &lt; :rows)
           SELECT count(*) AS counted FROM c</Sql>
    </Query>
    <Query name="BenchCustomersExcept">
      <Parameter name="country" type="text"/>
      <Parameter name="name" type="text"/>
      <Sql>SELECT id, name, city, email FROM customers
           WHERE country = :country AND name &lt;&gt; :name ORDER BY name</Sql>
    </Query>
'

# The search table: 100,000 rows, row i holding the words "w<i>z" (its own) and "lot<i mod 100>z"
# (1,000 rows a word), made by a recursive CTE; then its full-text index.
SEARCH_ROWS=100000
SEARCH_FILL="WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $SEARCH_ROWS)
INSERT INTO benchitems (id, name, note)
SELECT i, 'Bench item ' || i, 'w' || i || 'z lot' || (i % 100) || 'z' FROM n;"
SEARCH_SQLITE="CREATE TABLE benchitems (id INTEGER PRIMARY KEY, name TEXT NOT NULL, note TEXT);
$SEARCH_FILL
CREATE VIRTUAL TABLE benchitems_fts USING fts5(name, note, content='benchitems', content_rowid='id');
INSERT INTO benchitems_fts(benchitems_fts) VALUES ('rebuild');"
SEARCH_POSTGRESQL="CREATE TABLE benchitems (id integer PRIMARY KEY, name text NOT NULL, note text);
$SEARCH_FILL
CREATE INDEX benchitems_search ON benchitems
    USING gin (to_tsvector('simple', coalesce(name, '') || ' ' || coalesce(note, '')));
ANALYZE benchitems;"
searched() { [[ " ${BENCH_PHASES:-pages mixed users search chart xlsx} " == *" search "* ]]; }
# The search table is also what the xlsx phase exports.
exported() { [[ " ${BENCH_PHASES:-pages mixed users search chart xlsx} " == *" xlsx "* ]]; }
needs_items() { searched || exported; }

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
    ! needs_items || "$PGBIN/psql" -q -h "$WORK/pg" -U postgres -d shop -c "$SEARCH_POSTGRESQL"
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
    mkdir -p "$WORK/$db" "$RUNTEMP/$db/temp"
    cp -a "$STAGE" "$program"
    rm -rf "$program/data" "$program/Temp"
    mkdir -p "$program/data/config"
    echo "<Settings><TCPPort>$port</TCPPort><TrustedProxies>127.0.0.1</TrustedProxies></Settings>" \
        >"$program/data/config/webserver.xml"
    echo "<Context><Users><Method>APPLICATION</Method></Users></Context>" >"$program/context.xml"
    local app="$program/examples/microsoft access"
    if [ "$db" = sqlite ]; then
        sqlite3 "$app/sample.db" "$BENCH_ROWS"
        ! needs_items || sqlite3 "$app/sample.db" "$SEARCH_SQLITE"
    else
        sed -i "s|<Database>[^<]*</Database>|<Database type=\"postgresql\">host=$WORK/pg user=postgres dbname=shop</Database>|" \
            "$app/dataserver.xml"
    fi
    BENCH_QUERIES=$BENCH_QUERIES python3 -c '
import os, sys
path = sys.argv[1]
text = open(path, encoding="utf-8").read()
open(path, "w", encoding="utf-8").write(text.replace("</Queries>", os.environ["BENCH_QUERIES"] + "  </Queries>", 1))
' "$app/dataserver.xml"
    TEMP="$RUNTEMP/$db/temp" "$program/websvr" hidden >"$WORK/$db/websvr.out" 2>"$WORK/$db/websvr.err" &
    WEBSVR_PID=$!
    local i
    for i in $(seq 300); do
        if [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/")" = 200 ]; then
            set_up_administrator "$db" "$port"
            return
        fi
        kill -0 "$WEBSVR_PID" 2>/dev/null || break
        sleep 0.1
    done
    cat "$WORK/$db/websvr.err" >&2
    die "websvr did not serve the application on $db"
}

# The first administrator, through the set-up address websvr printed; their session cookie
# goes to SESSION_COOKIE.
set_up_administrator() { # db port
    local address
    address=$(sed -n 's/^Set up the first administrator: //p' "$WORK/$1/websvr.out")
    [ -n "$address" ] || die "$1: websvr printed no set-up address"
    SESSION_COOKIE=$(curl -s -o /dev/null -D - --data-urlencode "page=setup" \
        --data-urlencode "code=${address##*code=}" --data-urlencode "user=bench" \
        --data-urlencode "newpassword=bench password" --data-urlencode "repeat=bench password" \
        "http://127.0.0.1:$2/" | sed -n 's/^Set-Cookie: \(qvsession=[^;]*\).*/\1/p' | tr -d '\r')
    [ -n "$SESSION_COOKIE" ] || die "$1: the set-up page gave no session"
}

# One wrk run on the server at BASE (http://host:port), CONNECTIONS clients (default 20)
# asking for PATH; a PATH with "{u}" in it asks for other parameters every time, numbered
# from FIRST (see bench/distinctrequests.lua; give every run of the same PATH its own
# FIRST, far enough apart). Prints "rps p99ms errors" (WRK_PERCENTILE=50: the median's
# latency in the place of the p99); a run in which no request was answered gives its own
# length as that latency (no answer came sooner).
run_wrk() { # base path seconds [connections [first]]
    local asked=("$1$2") connections=${4:-$CONNECTIONS}
    [[ $2 != *"{u}"* ]] || asked=(-s bench/distinctrequests.lua "$1" -- "$2" "${5:-1}")
    wrk -t"$((connections < 2 ? 1 : 2))" -c"$connections" -d"${3}s" --timeout 30s --latency -H "Connection: close" \
        ${WRK_COOKIE:+-H "Cookie: $WRK_COOKIE"} "${asked[@]}" | awk -v seconds="$3" -v percentile="${WRK_PERCENTILE:-99}" '
        / requests in / { requests = $1 }
        /Requests\/sec:/ { rps = $2 }
        $1 == percentile "%" {
            v = $2; unit = v; sub(/[0-9.]+/, "", unit); sub(/[a-z]+$/, "", v)
            p99 = (unit == "us") ? v / 1000 : (unit == "s") ? v * 1000 : v
        }
        /Socket errors:/ { gsub(/,/, ""); errors += $4 + $6 + $8 + $10 }
        /Non-2xx or 3xx/ { errors += $5 }
        END {
            if (requests == 0) p99 = seconds * 1000
            printf "%.1f %.3f %d\n", rps, p99, errors
        }'
}

# The rate of form posts written: 20 clients each fetch the form and post it.
post_forms() { # port prefix
    python3 - "$1" "$2" "$POSTS" "$SESSION_COOKIE" <<'PY'
import re, sys, threading, time, urllib.parse, http.client
port, prefix, total, cookie = int(sys.argv[1]), sys.argv[2], int(sys.argv[3]), sys.argv[4]
hidden = re.compile(rb'<input type="hidden" name="(formnonce|formtoken)" value="([^"]*)"')
saved, lock, counter = [0], threading.Lock(), iter(range(total))
def request(method, path, body=None):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    headers = {"Content-Type": "application/x-www-form-urlencoded"} if body else {}
    headers["Cookie"] = cookie  # forms are for editors: the bench's administrator posts
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

# The slow clients of the mixed load: SLOW_CLIENTS clients asking in turn for PATH, its
# "{u}" a number of FIRST and up that no other request gets, starting requests for SECONDS
# and then waiting for the answers still to come (so that none is left behind to slow the
# next run). Prints "answered answered_with_200 median_seconds_of_those": the next run
# starts at FIRST + answered to ask for other numbers again.
slow_clients() { # port path first seconds
    python3 - "$1" "$2" "$3" "$4" "$SLOW_CLIENTS" <<'PY'
import itertools, statistics, sys, threading, time, http.client
port, path, first, seconds, clients = int(sys.argv[1]), sys.argv[2], int(sys.argv[3]), float(sys.argv[4]), int(sys.argv[5])
numbers, lock, answers = itertools.count(first), threading.Lock(), []
end = time.monotonic() + seconds
def client():
    while time.monotonic() < end:
        with lock:
            u = next(numbers)
        start = time.monotonic()
        c = http.client.HTTPConnection("127.0.0.1", port, timeout=120)
        try:
            c.request("GET", path.replace("{u}", str(u)), headers={"Connection": "close"})
            r = c.getresponse()
            r.read()
            status = r.status
        except OSError:
            status = 0
        finally:
            c.close()
        with lock:
            answers.append((status, time.monotonic() - start))
threads = [threading.Thread(target=client) for _ in range(clients)]
for t in threads: t.start()
for t in threads: t.join()
ok = [s for status, s in answers if status == 200]
print(len(answers), len(ok), f"{statistics.median(ok) if ok else 0:.2f}")
PY
}

declare -A RESULT
PAGES=(home table query table-uncached query-uncached table-labels)
declare -A URL=(
    [home]="/"
    [table]="/?page=table&name=customers&size=20&col1=country&op1=eq&val1=Benchland"
    [query]="/?page=query&name=CustomersByCountry&p.country=Benchland&run=1&size=20"
    [table-uncached]="/?page=table&name=customers&size=20&col1=country&op1=eq&val1=Benchland&col2=name&op2=ne&val2=Nobody+{u}"
    [query-uncached]="/?page=query&name=BenchCustomersExcept&p.country=Benchland&p.name=Nobody+{u}&run=1&size=20"
    [table-labels]="/?page=table&name=order_items&size=20"
)
declare -A LABEL=([home]=home [table]=table [query]=query
    [table-uncached]="table, uncached" [query-uncached]="query, uncached"
    [table-labels]="table, labels of 2 keys")
SLOW_PATH="/?page=query&name=BenchCount&p.rows={u}&run=1"

# Each page against a static file of its size, the two taking turns.
measure_pages() { # db base
    local db=$1 base=$2 webroot="$WORK/$1/program/wwwroot" page round kind path
    for page in "${PAGES[@]}"; do
        path=${URL[$page]//"{u}"/0}
        curl -sf -o "$WORK/$db/$page.body" "$base$path" || die "$db: $path failed"
        # The same number of bytes as a static file (its own header aside).
        head -c "$(stat -c %s "$WORK/$db/$page.body")" /dev/urandom >"$webroot/bench-$page.bin"
        RESULT[$db,$page,bytes]=$(stat -c %s "$WORK/$db/$page.body")
    done
    for page in table query table-uncached query-uncached; do
        grep -q '>Bench customer 20</td>' "$WORK/$db/$page.body" || die "$db: the $page page lacks its rows"
    done
    grep -q '>Espresso beans</a>' "$WORK/$db/table-labels.body" || die "$db: the table page lacks its labels"
    echo "$db: warming up..." >&2
    run_wrk "$base" / 2 >/dev/null
    for page in "${PAGES[@]}"; do take_turns "$db" "$base" "$page" "${URL[$page]}"; done
}

# A dynamic page (path) and the static file bench-<page>.bin of its size, taking turns for
# ROUNDS rounds: the medians of each in RESULT[db,page,rps|p99|srps|sp99].
take_turns() { # db base page path
    local db=$1 base=$2 page=$3 round kind path drps=() dp99=() srps=() sp99=()
    for round in $(seq "$ROUNDS"); do
        for kind in dynamic static; do
            path=$4
            [ $kind = static ] && path="/bench-$page.bin"
            read -r rps p99 errors <<<"$(run_wrk "$base" "$path" "$SECONDS_PER_RUN" \
                "$CONNECTIONS" "$((round * 10000000))")"
            kill -0 "$WEBSVR_PID" 2>/dev/null || die "websvr ended during the $db run"
            echo "  $db round $round $page $kind: $rps/s, p99 $p99 ms, $errors errors," \
                "websvr RSS $(awk '/^VmRSS:/ { printf "%.1f", $2 / 1024 }' "/proc/$WEBSVR_PID/status") MiB" >&2
            if [ $kind = dynamic ]; then drps+=("$rps") dp99+=("$p99"); else srps+=("$rps") sp99+=("$p99"); fi
            RESULT[$db,errors]=$((${RESULT[$db,errors]:-0} + errors))
        done
    done
    RESULT[$db,$page,rps]=$(median "${drps[@]}")
    RESULT[$db,$page,p99]=$(median "${dp99[@]}")
    RESULT[$db,$page,srps]=$(median "${srps[@]}")
    RESULT[$db,$page,sp99]=$(median "${sp99[@]}")
}

measure_posts() { # db port
    local db=$1 port=$2 rate saved written
    echo "  $db: $POSTS form posts from 20 clients..." >&2
    read -r rate saved <<<"$(post_forms "$port" "Bench post")"
    RESULT[$db,posts]=$rate
    written=$(count_customers "$db" "Bench post %")
    [ "$written" = "$saved" ] || die "$db: $saved posts answered saved, $written written"
    RESULT[$db,written]=$written
}

# Seconds the slow page takes alone to count ROWS rows; fails unless it shows the count.
slow_page_seconds() { # db base rows
    local answer
    answer=$(curl -s -o "$WORK/$1/slow.body" -w '%{http_code} %{time_total}' "$2${SLOW_PATH//"{u}"/$3}")
    if [ "${answer% *}" != 200 ] || ! grep -q ">$3<" "$WORK/$1/slow.body"; then
        die "$1: the slow query page failed (HTTP ${answer% *}, $(grep -o '<h1>[^<]*' "$WORK/$1/slow.body"))"
    fi
    echo "${answer#* }"
}

# The count that makes the slow page take about SLOW_SECONDS on this machine now: measured
# small, then at the estimate, then at the estimate of that (never more than 20 times more
# at a step, so that no step outlasts websvr's wait for its data server).
size_slow_query() { # db base
    local db=$1 rows=200000 seconds
    for _ in 1 2 3; do
        seconds=$(slow_page_seconds "$db" "$2" "$rows")
        rows=$(awk -v r="$rows" -v s="$seconds" -v t="$SLOW_SECONDS" \
            'BEGIN { f = t / (s > 0 ? s : 0.001); if (f > 20) f = 20; printf "%d", r * f }')
    done
    RESULT[$db,slowrows]=$rows
    RESULT[$db,slowseconds]=$(printf '%.2f' "$(slow_page_seconds "$db" "$2" "$rows")")
    echo "  $db: the slow page counts $rows rows in ${RESULT[$db,slowseconds]} s" >&2
}

# Peak resident memory (VmHWM) in MiB of websvr and of its data server, its child.
data_server_pid() { pgrep -P "$WEBSVR_PID" dbsvr | head -1; }
reset_peak() { echo 5 >"/proc/$1/clear_refs" 2>/dev/null || true; }
peak_mib() { awk '/^VmHWM:/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }
larger() { awk -v a="${1:-0}" -v b="$2" 'BEGIN { print (a + 0 > b + 0) ? a : b }'; }

# The mixed load: 20 clients on a 1 KiB file alone, then again while SLOW_CLIENTS clients
# loop on the slow page, taking turns.
measure_mixed() { # db port
    local db=$1 port=$2 base="http://127.0.0.1:$2" round kind rps p99 errors slow dbsvr
    local arps=() ap99=() mrps=() mp99=() answered=0 ok=0 seconds=() n n_ok median_seconds first
    size_slow_query "$db" "$base"
    for round in $(seq "$ROUNDS"); do
        for kind in alone mixed; do
            if [ $kind = mixed ]; then
                dbsvr=$(data_server_pid)
                [ -n "$dbsvr" ] || die "$db: websvr has no data server running"
                reset_peak "$WEBSVR_PID"
                reset_peak "$dbsvr"
                first=$((RESULT[$db,slowrows] + answered + 1)) # the sizing asked for slowrows
                slow_clients "$port" "$SLOW_PATH" "$first" \
                    "$((SECONDS_PER_RUN + SLOW_SECONDS))" >"$WORK/$db/slow.out" &
                slow=$!
                sleep 1 # the slow pages under way before the static clients start
            fi
            read -r rps p99 errors <<<"$(run_wrk "$base" /bench-1k.bin "$SECONDS_PER_RUN")"
            RESULT[$db,mixederrors]=$((${RESULT[$db,mixederrors]:-0} + errors))
            local line="  $db round $round 1 KiB file $kind: $rps/s, p99 $p99 ms, $errors errors"
            if [ $kind = alone ]; then
                arps+=("$rps") ap99+=("$p99")
            else
                wait "$slow" || die "$db: the slow clients failed"
                read -r n n_ok median_seconds <"$WORK/$db/slow.out"
                answered=$((answered + n)) ok=$((ok + n_ok)) seconds+=("$median_seconds")
                line+="; slow pages: $n answered, $n_ok with 200, median $median_seconds s"
                mrps+=("$rps") mp99+=("$p99")
                kill -0 "$dbsvr" 2>/dev/null || die "$db: the data server ended during the mixed load"
                RESULT[$db,mixedrss]=$(larger "${RESULT[$db,mixedrss]:-}" "$(peak_mib "$WEBSVR_PID")")
                RESULT[$db,dbsvrrss]=$(larger "${RESULT[$db,dbsvrrss]:-}" "$(peak_mib "$dbsvr")")
            fi
            kill -0 "$WEBSVR_PID" 2>/dev/null || die "websvr ended during the $db mixed load"
            echo "$line" >&2
        done
    done
    RESULT[$db,alone,rps]=$(median "${arps[@]}")
    RESULT[$db,alone,p99]=$(median "${ap99[@]}")
    RESULT[$db,mixed,rps]=$(median "${mrps[@]}")
    RESULT[$db,mixed,p99]=$(median "${mp99[@]}")
    RESULT[$db,slow]="$ok of $answered, $(median "${seconds[@]}") s"
}

# A signed-in user's table page against an anonymous one's, taking turns; then the 1 KiB
# file and the table page alone and during a flood of wrong sign-ins, taking turns.
measure_users() { # db port
    local db=$1 base="http://127.0.0.1:$2" round kind rps p99 errors path=${URL[table]}
    local anon=() signed=() falone=() fflood=() palone=() pflood=() statuses=""
    for round in $(seq "$ROUNDS"); do
        read -r rps p99 errors <<<"$(run_wrk "$base" "$path" "$SECONDS_PER_RUN")"
        anon+=("$rps")
        read -r rps p99 errors <<<"$(WRK_COOKIE=$SESSION_COOKIE run_wrk "$base" "$path" "$SECONDS_PER_RUN")"
        signed+=("$rps")
        RESULT[$db,signederrors]=$((${RESULT[$db,signederrors]:-0} + errors))
        echo "  $db round $round table page anonymous ${anon[-1]}/s, signed in $rps/s" >&2
    done
    local token
    token=$(curl -s "$base/?page=signin" | sed -n 's/.*name="token" value="\([^"]*\)".*/\1/p' | head -1)
    [ -n "$token" ] || die "$db: the sign-in page has no token"
    for round in $(seq "$ROUNDS"); do
        for kind in alone flood; do
            local flood=""
            if [ $kind = flood ]; then
                wrk -t2 -c20 -d"$((2 * SECONDS_PER_RUN + 2))s" --timeout 30s -H "Connection: close" \
                    -s bench/signinflood.lua "$base" -- "$token" >"$WORK/$db/flood.out" 2>&1 &
                flood=$!
                sleep 1 # the flood under way before the measured clients start
            fi
            local file page
            read -r file p99 errors <<<"$(run_wrk "$base" /bench-1k.bin "$SECONDS_PER_RUN")"
            read -r page p99 errors <<<"$(run_wrk "$base" "$path" "$SECONDS_PER_RUN")"
            if [ $kind = alone ]; then falone+=("$file") palone+=("$page"); else fflood+=("$file") pflood+=("$page"); fi
            if [ -n "$flood" ]; then
                wait "$flood" || die "$db: the sign-in flood failed"
                statuses=$(grep '^status' "$WORK/$db/flood.out" | tr '\n' ' ')
                RESULT[$db,floodrate]=$(awk '/Requests\/sec:/ { print $2 }' "$WORK/$db/flood.out")
            fi
            echo "  $db round $round sign-in flood $kind: 1 KiB file $file/s, table page $page/s" \
                "${flood:+(wrong sign-ins: $statuses)}" >&2
            kill -0 "$WEBSVR_PID" 2>/dev/null || die "websvr ended during the $db sign-in flood"
        done
    done
    RESULT[$db,anon]=$(median "${anon[@]}")
    RESULT[$db,signed]=$(median "${signed[@]}")
    RESULT[$db,falone]=$(median "${falone[@]}")
    RESULT[$db,fflood]=$(median "${fflood[@]}")
    RESULT[$db,palone]=$(median "${palone[@]}")
    RESULT[$db,pflood]=$(median "${pflood[@]}")
    RESULT[$db,floodstatuses]=$statuses
}

# The median latency of the search table's page searching for a word, one client: the
# same word every time (kept replies answer) and a word of its own for every request.
SEARCH_URL="/?page=table&name=benchitems&q="
measure_search() { # db port
    local db=$1 base="http://127.0.0.1:$2" round kind rps p50 errors path
    local -A found=([reused]="lot7z" [uncached]="w1z") expected=([reused]="of 1000<" [uncached]="of 1<")
    for kind in reused uncached; do
        curl -sf -o "$WORK/$db/search.body" "$base$SEARCH_URL${found[$kind]}" || die "$db: the search page failed"
        grep -q "${expected[$kind]}" "$WORK/$db/search.body" || die "$db: searching ${found[$kind]} did not find its rows ($(grep -o 'Rows [^<]*' "$WORK/$db/search.body"))"
    done
    ! grep -q 'looked at the first' "$WORK/$db/search.body" || die "$db: the search scanned instead of using the index"
    local reused=() uncached=()
    for round in $(seq "$ROUNDS"); do
        for kind in reused uncached; do
            path="${SEARCH_URL}lot7z"
            [ $kind = uncached ] && path="${SEARCH_URL}w{u}z"
            # Each round's words of their own: the numbers round, round + 16, ... (each a row's
            # while a run makes fewer than 6,250 requests; a word past that finds no row).
            read -r rps p50 errors <<<"$(WRK_PERCENTILE=50 run_wrk "$base" "$path" "$SECONDS_PER_RUN" 1 "$round")"
            [ "$errors" = 0 ] || die "$db: $errors errors searching ($kind)"
            if [ $kind = reused ]; then reused+=("$p50"); else uncached+=("$p50"); fi
            echo "  $db round $round search, $kind: median $p50 ms, $rps/s" >&2
            if [ $kind = uncached ] &&
                awk -v r="$rps" -v s="$SECONDS_PER_RUN" -v n="$SEARCH_ROWS" 'BEGIN { exit !(r * s * 16 > n) }'; then
                echo "  ($db: past row $SEARCH_ROWS the words of its own found no row)" >&2
            fi
        done
    done
    RESULT[$db,searchreused]=$(median "${reused[@]}")
    RESULT[$db,searchuncached]=$(median "${uncached[@]}")
}

# The search table's rows as a workbook and as CSV, taking turns, one export at a time: the
# median seconds of each, and websvr's peak resident memory over each kind.
EXPORT_URL="/?page=export&name=benchitems&sort=id&format="
measure_xlsx() { # db port
    local db=$1 base="http://127.0.0.1:$2" round format seconds headers
    local -A times=() peak=()
    for round in $(seq "$ROUNDS"); do
        for format in csv xlsx; do
            reset_peak "$WEBSVR_PID"
            headers="$WORK/$db/export.headers"
            seconds=$(curl -sf -b "$SESSION_COOKIE" -D "$headers" -o "$WORK/$db/export.$format" \
                -w '%{time_total}' "$base$EXPORT_URL$format") || die "$db: the $format export failed"
            ! grep -qi '^x-export-truncated' "$headers" || die "$db: the $format export was cut short"
            times[$format]+=" $seconds"
            peak[$format]=$(larger "${peak[$format]:-}" "$(peak_mib "$WEBSVR_PID")")
            echo "  $db round $round $format export: $seconds s, $(stat -c %s "$WORK/$db/export.$format") B" >&2
        done
    done
    [ "$(head -c 2 "$WORK/$db/export.xlsx")" = PK ] || die "$db: the workbook is no zip file"
    # shellcheck disable=SC2086 # the times, one word each
    RESULT[$db,xlsxs]=$(median ${times[xlsx]})
    # shellcheck disable=SC2086
    RESULT[$db,csvs]=$(median ${times[csv]})
    RESULT[$db,xlsxbytes]=$(stat -c %s "$WORK/$db/export.xlsx")
    RESULT[$db,csvbytes]=$(stat -c %s "$WORK/$db/export.csv")
    RESULT[$db,xlsxrss]=${peak[xlsx]}
    RESULT[$db,csvrss]=${peak[csv]}
}

# A chart page of 12 categories against a static file of its size, taking turns.
CHART_URL="/?page=chart&name=benchstock&p.threshold=76&run=1"
measure_chart() { # db port
    local db=$1 base="http://127.0.0.1:$2" webroot="$WORK/$1/program/wwwroot"
    cat >"$WORK/$db/program/examples/microsoft access/charts/benchstock.xml" <<'XML'
<Chart type="bar" query="LowStock"><Title>Bench stock</Title>
  <Category column="name"/><Series column="in_stock"/><ValueAxis decimals="0"/></Chart>
XML
    curl -sf -o "$WORK/$db/chart.body" "$base$CHART_URL" || die "$db: the chart page failed"
    [ "$(grep -o '<rect class="bar' "$WORK/$db/chart.body" | wc -l)" = 12 ] ||
        die "$db: the chart page does not draw 12 bars"
    head -c "$(stat -c %s "$WORK/$db/chart.body")" /dev/urandom >"$webroot/bench-chart.bin"
    RESULT[$db,chart,bytes]=$(stat -c %s "$WORK/$db/chart.body")
    local before=${RESULT[$db,errors]:-0}
    take_turns "$db" "$base" chart "$CHART_URL"
    [ "${RESULT[$db,errors]:-0}" = "$before" ] || die "$db: wrk errors on the chart runs"
}

# BENCH_PHASES picks what to measure (default all: "pages mixed users search chart xlsx").
bench_database() {
    local db=$1 port phases=" ${BENCH_PHASES:-pages mixed users search chart xlsx} "
    port=$(free_port)
    [ "$db" = sqlite ] || start_postgresql
    start_websvr "$db" "$port"
    head -c 1024 /dev/urandom >"$WORK/$db/program/wwwroot/bench-1k.bin"
    if [[ $phases == *" pages "* ]]; then
        measure_pages "$db" "http://127.0.0.1:$port"
        measure_posts "$db" "$port"
        RESULT[$db,rss]=$(peak_mib "$WEBSVR_PID")
    fi
    [[ $phases != *" mixed "* ]] || measure_mixed "$db" "$port"
    [[ $phases != *" users "* ]] || measure_users "$db" "$port"
    [[ $phases != *" search "* ]] || measure_search "$db" "$port"
    [[ $phases != *" chart "* ]] || measure_chart "$db" "$port"
    [[ $phases != *" xlsx "* ]] || measure_xlsx "$db" "$port"
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
measured() { [[ " ${BENCH_PHASES:-pages mixed users search chart xlsx} " == *" $1 "* ]]; }
page_rows() { # page label target: requests/s and p99 of a page (take_turns) against its file
    page=$1
    rps_of() { echo "${RESULT[$1,$page,rps]} / ${RESULT[$1,$page,srps]}"; }
    ratio_of() { ratio "${RESULT[$1,$page,rps]}" "${RESULT[$1,$page,srps]}"; }
    p99_of() { echo "${RESULT[$1,$page,p99]} / ${RESULT[$1,$page,sp99]}"; }
    row "$2 (${RESULT[${DATABASES[0]},$page,bytes]} B) req/s, page / static" rps_of
    row "  ratio page / static" ratio_of "target $3"
    row "  p99 ms, page / static" p99_of
}
if measured pages; then
    for page in "${PAGES[@]}"; do
        target=">= 0.25"
        [ "$page" = home ] && target=">= 0.50"
        [ "$page" = table-labels ] && target=">= 0.35"
        page_rows "$page" "${LABEL[$page]}" "$target"
    done
    posts_of() { echo "${RESULT[$1,posts]}/s (${RESULT[$1,written]} written)"; }
    rss_of() { echo "${RESULT[$1,rss]}"; }
    errors_of() { echo "${RESULT[$1,errors]:-0}"; }
    row "form posts written" posts_of
    row "websvr peak RSS (MiB)" rss_of "target < 64"
    row "wrk errors (connect, read, write, timeout, non-2xx)" errors_of
fi
if measured mixed; then
    echo
    echo "mixed load: 20 clients on a 1 KiB file, alone and while $SLOW_CLIENTS clients loop on a slow page"
    mixed_rps_of() { echo "${RESULT[$1,mixed,rps]} / ${RESULT[$1,alone,rps]}"; }
    mixed_p99_of() { echo "${RESULT[$1,mixed,p99]} / ${RESULT[$1,alone,p99]}"; }
    mixed_rps_ratio_of() { ratio "${RESULT[$1,mixed,rps]}" "${RESULT[$1,alone,rps]}"; }
    mixed_p99_ratio_of() { ratio "${RESULT[$1,mixed,p99]}" "${RESULT[$1,alone,p99]}"; }
    slow_size_of() { echo "${RESULT[$1,slowrows]} rows, ${RESULT[$1,slowseconds]} s"; }
    slow_of() { echo "${RESULT[$1,slow]}"; }
    mixed_rss_of() { echo "${RESULT[$1,mixedrss]}"; }
    dbsvr_rss_of() { echo "${RESULT[$1,dbsvrrss]}"; }
    row "slow page alone (count, time)" slow_size_of
    row "1 KiB file req/s, mixed / alone" mixed_rps_of
    row "  ratio mixed / alone" mixed_rps_ratio_of "target >= 0.80"
    row "  p99 ms, mixed / alone" mixed_p99_of
    row "  ratio mixed / alone" mixed_p99_ratio_of "target <= 2.00"
    row "slow pages with 200 of answered, median" slow_of
    row "websvr peak RSS, mixed (MiB)" mixed_rss_of "target < 64"
    row "dbsvr peak RSS, mixed (MiB)" dbsvr_rss_of "target < 128"
    mixed_errors_of() { echo "${RESULT[$1,mixederrors]:-0}"; }
    row "wrk errors on the 1 KiB file" mixed_errors_of
fi
if measured users; then
    echo
    echo "users: a signed-in table page against an anonymous one; pages during 20 clients of wrong sign-ins"
    signed_of() { echo "${RESULT[$1,signed]} / ${RESULT[$1,anon]}"; }
    signed_ratio_of() { ratio "${RESULT[$1,signed]}" "${RESULT[$1,anon]}"; }
    flood_file_of() { echo "${RESULT[$1,fflood]} / ${RESULT[$1,falone]}"; }
    flood_file_ratio_of() { ratio "${RESULT[$1,fflood]}" "${RESULT[$1,falone]}"; }
    flood_page_of() { echo "${RESULT[$1,pflood]} / ${RESULT[$1,palone]}"; }
    flood_page_ratio_of() { ratio "${RESULT[$1,pflood]}" "${RESULT[$1,palone]}"; }
    flood_rate_of() { echo "${RESULT[$1,floodrate]}/s"; }
    flood_statuses_of() { echo "${RESULT[$1,floodstatuses]}"; }
    signed_errors_of() { echo "${RESULT[$1,signederrors]:-0}"; }
    row "table page req/s, signed in / anonymous" signed_of
    row "  ratio signed in / anonymous" signed_ratio_of "target >= 0.85"
    row "wrk errors, signed in" signed_errors_of
    row "1 KiB file req/s, flood / alone" flood_file_of
    row "  ratio flood / alone" flood_file_ratio_of "target >= 0.50"
    row "table page req/s, flood / alone" flood_page_of
    row "  ratio flood / alone" flood_page_ratio_of "target >= 0.50"
    row "wrong sign-ins answered" flood_rate_of
    row "  their statuses" flood_statuses_of
fi
if measured search; then
    echo
    echo "search over a $SEARCH_ROWS-row table with a full-text index: the table page's median latency, one client"
    search_reused_of() { echo "${RESULT[$1,searchreused]}"; }
    search_uncached_of() { echo "${RESULT[$1,searchuncached]}"; }
    row "search ms, reply reused (1,000 rows)" search_reused_of "target <= 50"
    row "search ms, a word per request (1 row)" search_uncached_of "target <= 50"
fi
if measured chart; then
    echo
    echo "chart: a chart page of 12 bars against a static file of its size (replies reused)"
    page_rows chart "chart page" ">= 0.35"
fi
if measured xlsx; then
    echo
    echo "xlsx: the $SEARCH_ROWS rows of the search table exported, one at a time"
    export_s_of() { echo "${RESULT[$1,xlsxs]} / ${RESULT[$1,csvs]}"; }
    export_ratio_of() { ratio "${RESULT[$1,xlsxs]}" "${RESULT[$1,csvs]}"; }
    export_bytes_of() { echo "${RESULT[$1,xlsxbytes]} / ${RESULT[$1,csvbytes]}"; }
    export_rss_of() { echo "${RESULT[$1,xlsxrss]} / ${RESULT[$1,csvrss]}"; }
    row "export s, xlsx / csv" export_s_of
    row "  ratio xlsx / csv" export_ratio_of "target <= 2.00"
    row "export bytes, xlsx / csv" export_bytes_of
    row "websvr peak RSS (MiB), xlsx / csv" export_rss_of "target < 64"
fi
