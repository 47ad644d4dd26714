#!/usr/bin/env bash
# Data server round trips and restart time.
#
#   bench/dataserver.sh [BUILD_DIR]     (default: $QV_BUILD_DIR, else build)
#
# Runs BUILD_DIR/bench/qv_dataserverbench against the staged dbsvr of
# BUILD_DIR/quorvex, started with a parameter file through the supervisor:
#   - the round trip web server side -> queue -> dbsvr -> reply, median and p99
#     over BENCH_MESSAGES (1000) messages, for the ping and for the small named
#     query CustomerOrders of the sample application (target: median < 2 ms);
#   - the time from SIGKILL of dbsvr to the first answered ping of the
#     replacement the watchdog starts (target: < 1 s; inside websvr the next
#     timer tick, at most 500 ms later, comes on top).
# Builds the bench program first when ninja is at hand.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=${1:-${QV_BUILD_DIR:-build}}
MESSAGES=${BENCH_MESSAGES:-1000}

[ -d "$BUILD" ] || { echo "dataserver.sh: no build folder $BUILD" >&2; exit 1; }
if command -v ninja >/dev/null && [ -f "$BUILD/build.ninja" ]; then
    ninja -C "$BUILD" -j2 qv_dataserverbench >/dev/null
fi
exec "$BUILD/bench/qv_dataserverbench" "$BUILD/quorvex" "$MESSAGES"
