#!/usr/bin/env bash
# Exports and BLOB pages: what a large export costs, and what a page of large BLOBs costs in
# memory, on the example application's SQLite database.
#
#   bench/export.sh [STAGE_DIR]     (STAGE_DIR: $QV_STAGE_DIR, else build/quorvex)
#
# Starts "websvr hidden" from a copy of the staged program folder, after adding to its sample
# database a table of 1,000,000 rows (big), one of 100,000 rows (hundredk) and one of 40 rows
# of 4 MiB BLOBs (blobs). Then measures, with curl, one request at a time:
#   - the table page of the 40 BLOBs (/?page=table&name=blobs&size=40), and the peak resident
#     memory (VmHWM) of websvr and of its dbsvr right after it,
#   - a JSON export of big sorted by a column without an index (its first 100,000 rows),
#   - a CSV export of hundredk in its own order,
#   - the CSV export of the 40 BLOBs, and the peak memory of both after it,
# each export's time and size and whether it says it is cut short (X-Export-Truncated).
set -euo pipefail
trap 'echo "export.sh: failed at line $LINENO: $BASH_COMMAND" >&2' ERR
cd "$(dirname "$0")/.."
source bench/helpers.sh

STAGE=${1:-${QV_STAGE_DIR:-build/quorvex}}
[ -x "$STAGE/websvr" ] || die "no websvr in $STAGE (build first)"
command -v curl >/dev/null || die "curl is needed (apt-get install curl)"
command -v sqlite3 >/dev/null || die "sqlite3 is needed (apt-get install sqlite3)"

WORK=$(mktemp -d /tmp/qvexportbench.XXXXXX)
WEBSVR_PID=""
cleanup() {
    if [ -n "$WEBSVR_PID" ]; then
        kill "$WEBSVR_PID" 2>/dev/null || true
        wait "$WEBSVR_PID" 2>/dev/null || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT

PROGRAM="$WORK/program"
cp -a "$STAGE" "$PROGRAM"
rm -rf "$PROGRAM/data" "$PROGRAM/Temp"
mkdir -p "$PROGRAM/data/config" "$WORK/temp"
PORT=$(free_port)
echo "<Settings><TCPPort>$PORT</TCPPort></Settings>" >"$PROGRAM/data/config/webserver.xml"
echo "filling the database..." >&2
sqlite3 "$PROGRAM/examples/microsoft access/sample.db" <<'SQL'
CREATE TABLE big (id INTEGER PRIMARY KEY, name TEXT, amount REAL, note TEXT);
WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 1000000)
INSERT INTO big SELECT i, 'Name ' || i, (i * 7919) % 100003 / 100.0, 'a note of row ' || i FROM c;
CREATE TABLE hundredk (id INTEGER PRIMARY KEY, name TEXT, amount REAL);
INSERT INTO hundredk SELECT id, name, amount FROM big WHERE id <= 100000;
CREATE TABLE blobs (id INTEGER PRIMARY KEY, data BLOB);
WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 40)
INSERT INTO blobs SELECT i, randomblob(4194304) FROM c;
SQL

TEMP="$WORK/temp" "$PROGRAM/websvr" hidden >"$WORK/websvr.out" 2>"$WORK/websvr.err" &
WEBSVR_PID=$!
BASE="http://127.0.0.1:$PORT"
for i in $(seq 300); do
    [ "$(curl -s -o /dev/null -w '%{http_code}' "$BASE/")" = 200 ] && break
    kill -0 "$WEBSVR_PID" 2>/dev/null || { cat "$WORK/websvr.err" >&2; die "websvr ended"; }
    sleep 0.1
done
DBSVR_PID=$(ps -o pid=,comm= --ppid "$WEBSVR_PID" | awk '$2 == "dbsvr" { print $1 }')
[ -n "$DBSVR_PID" ] || die "no dbsvr under websvr"

peak_mib() { awk '/^VmHWM:/ { printf "%.0f", $2 / 1024 }' "/proc/$1/status"; }
# fetch NAME PATH: one request; prints "seconds bytes status truncated".
fetch() {
    local out
    out=$(curl -s -o "$WORK/$1.body" -D "$WORK/$1.head" --max-time 900 \
        -w '%{time_total} %{size_download} %{http_code}' "$BASE$2")
    local truncated=no
    grep -qi '^X-Export-Truncated: true' "$WORK/$1.head" && truncated=yes
    echo "$out $truncated"
}
report() { # label seconds bytes status truncated
    printf '%-46s %9.2f s %12s bytes  status %s  truncated %s\n' "$1" "$2" "$3" "$4" "$5"
}

echo "measuring..." >&2
read -r s b st tr <<<"$(fetch blobpage '/?page=table&name=blobs&size=40')"
report "table page of 40 BLOBs of 4 MiB" "$s" "$b" "$st" "$tr"
printf '  peak RSS after it: websvr %s MiB, dbsvr %s MiB\n' "$(peak_mib "$WEBSVR_PID")" "$(peak_mib "$DBSVR_PID")"
read -r s b st tr <<<"$(fetch sorted '/?page=export&format=json&name=big&sort=amount')"
report "JSON export of 1,000,000 rows, sorted" "$s" "$b" "$st" "$tr"
read -r s b st tr <<<"$(fetch plain '/?page=export&format=csv&name=hundredk')"
report "CSV export of 100,000 rows" "$s" "$b" "$st" "$tr"
read -r s b st tr <<<"$(fetch blobexport '/?page=export&format=csv&name=blobs')"
report "CSV export of 40 BLOBs of 4 MiB" "$s" "$b" "$st" "$tr"
printf '  peak RSS after all: websvr %s MiB, dbsvr %s MiB\n' "$(peak_mib "$WEBSVR_PID")" "$(peak_mib "$DBSVR_PID")"
