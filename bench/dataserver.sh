#!/usr/bin/env bash
# Data server round trips and restart time, on SQLite and on PostgreSQL.
#
#   bench/dataserver.sh [--database sqlite|postgresql|both] [BUILD_DIR]
#                                   (default: both; BUILD_DIR: $QV_BUILD_DIR, else build)
#
# Runs BUILD_DIR/bench/qv_dataserverbench against the staged dbsvr of
# BUILD_DIR/quorvex, started with a parameter file through the supervisor, for the
# example application on each database, and prints the figures side by side:
#   - the round trip web server side -> queue -> dbsvr -> reply, median and p99
#     over BENCH_MESSAGES (1000) messages, for the ping and for the small named
#     query CustomerOrders of the sample application (target: median < 2 ms; on
#     PostgreSQL over the local socket at most 3x SQLite's median);
#   - the time from SIGKILL of dbsvr to the first answered ping of the
#     replacement the watchdog starts (target: < 1 s; inside websvr the next
#     timer tick, at most 500 ms later, comes on top).
# For PostgreSQL it makes a server of its own in a temporary folder (initdb, as the
# user nobody when run as root; a Unix socket only), loads sample-postgresql.sql and
# stops the server at the end. Builds the bench program first when ninja is at hand.
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/databaseoption.sh dataserver.sh "$@"
set -- "${BENCH_ARGS[@]}"
BUILD=${1:-${QV_BUILD_DIR:-build}}
MESSAGES=${BENCH_MESSAGES:-1000}
STAGE=$BUILD/quorvex
SAMPLE="$STAGE/examples/microsoft access"

[ -d "$BUILD" ] || { echo "dataserver.sh: no build folder $BUILD" >&2; exit 1; }
if command -v ninja >/dev/null && [ -f "$BUILD/build.ninja" ]; then
    ninja -C "$BUILD" -j2 qv_dataserverbench >/dev/null
fi

DATABASES=()
[ "$DATABASE" = postgresql ] || DATABASES+=("sqlite=$SAMPLE")

if [ "$DATABASE" != sqlite ]; then
    PGBIN=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
    [ -x "$PGBIN/initdb" ] || PGBIN=$(dirname "$(command -v initdb || echo /nonexistent/initdb)")
    if [ ! -x "$PGBIN/initdb" ]; then
        echo "dataserver.sh: PostgreSQL is not installed (no initdb)" >&2
        exit 1
    fi
    PGDIR=$(mktemp -d)
    as_owner() { if [ "$(id -u)" -eq 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi; }
    [ "$(id -u)" -ne 0 ] || chown nobody "$PGDIR"
    cleanup() {
        as_owner "$PGBIN/pg_ctl" -D "$PGDIR/data" -m fast -w stop >/dev/null 2>&1 || true
        rm -rf "$PGDIR"
    }
    trap cleanup EXIT
    as_owner "$PGBIN/initdb" -D "$PGDIR/data" -U postgres --auth=trust -E UTF8 \
        --locale=C.UTF-8 >"$PGDIR/initdb.log" 2>&1
    as_owner "$PGBIN/pg_ctl" -D "$PGDIR/data" -l "$PGDIR/server.log" -w \
        -o "-k $PGDIR -c listen_addresses=''" start >/dev/null
    "$PGBIN/psql" -q -h "$PGDIR" -U postgres -d postgres -c "CREATE DATABASE shop"
    "$PGBIN/psql" -q -h "$PGDIR" -U postgres -d shop -f "$SAMPLE/sample-postgresql.sql" >/dev/null
    mkdir "$PGDIR/app"
    sed "s|<Database>[^<]*</Database>|<Database type=\"postgresql\">host=$PGDIR user=postgres dbname=shop</Database>|" \
        "$SAMPLE/dataserver.xml" >"$PGDIR/app/dataserver.xml"
    DATABASES+=("postgresql=$PGDIR/app")
fi

"$BUILD/bench/qv_dataserverbench" "$STAGE" "$MESSAGES" "${DATABASES[@]}"
