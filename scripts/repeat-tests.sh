#!/usr/bin/env bash
# Runs a build's whole test suite again and again, as CI runs it, and stops at the first
# failure: what a flaky test needs to show itself. Usage: scripts/repeat-tests.sh BUILD_DIR [TIMES]
# Run another build beside it to give the machine the load that CI sees.
set -euo pipefail
dir=${1:?usage: $0 BUILD_DIR [TIMES]}
times=${2:-10}
for ((run = 1; run <= times; run++)); do
    log="$dir/repeat-$run.log"
    start=$SECONDS
    if ! (cd "$dir" && ctest --output-on-failure --timeout 300 -j2) >"$log" 2>&1; then
        echo "run $run of $times failed after $((SECONDS - start)) s; see $log" >&2
        grep -A3 "tests failed\|The following tests FAILED" "$log" >&2 || true
        exit 1
    fi
    echo "run $run of $times passed in $((SECONDS - start)) s ($(grep -o '[0-9]* tests failed out of [0-9]*' "$log"))"
done
