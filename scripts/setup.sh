#!/usr/bin/env bash
# Sets up a Debian 12 machine (as root), builds, and runs the server or the tests.
#   scripts/setup.sh run    install, build the program folder only, start build/quorvex/websvr hidden
#   scripts/setup.sh test   install, build, run every test (plain and sanitizer builds, fuzzers)
#   scripts/setup.sh build  install and build only
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
    build-essential cmake ninja-build pkg-config ccache
    qt6-base-dev libxcb1-dev libpugixml-dev libsqlite3-dev sqlite3 libpq-dev postgresql libgtest-dev
    libsodium-dev libssl-dev openssl
    clang libclang-rt-14-dev
    xvfb xauth x11-utils xdotool socat procps python3 chromium curl wrk
    lintian testssl.sh
    npm poppler-utils
    libxlsxwriter-dev python3-openpyxl
)

install() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "setup.sh: not root, skipping package installation" >&2
        return
    fi
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" && continue
        # A Node.js package from elsewhere may bring its own npm (and conflict with Debian's).
        [ "$p" = npm ] && command -v npm >/dev/null && continue
        missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

# Compiler cache shared by every clone on this machine: paths are taken relative
# to the clone, so a fresh clone of the same sources compiles from the cache.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1 CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-5G}
# Asked after install: on a new machine ccache comes with it, and the first build uses it.
compiler_cache() {
    LAUNCHER=()
    if command -v ccache >/dev/null; then
        LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
}

configure() { # configure DIR [cmake options...]
    local dir=$1
    shift
    compiler_cache
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${LAUNCHER[@]}" "$@" >/dev/null
}

build() { # build DIR [cmake options...]: everything, the tests included
    configure "$@"
    cmake --build "$1"
}

run_tests() { # DIR
    (cd "$1" && ctest --output-on-failure --timeout 300 -j2)
}

# The tests of what runs on several threads at once, under ThreadSanitizer. Qt itself is not
# built with it, so what Qt does inside is not seen; our own locks and hand-overs are.
concurrent_tests() {
    local tests=(test_server test_common test_supervision test_webappauth)
    build_targets build-tsan "${tests[@]}" -- -DQV_WERROR=ON -DQV_TSAN=ON
    export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp"
    (cd build-tsan/tests &&
        ./test_server --gtest_filter='HttpServerTest.*:HttpsTest.*' &&
        ./test_common --gtest_filter='Dictionary.*' &&
        ./test_supervision --gtest_filter='QueueTest.*' &&
        ./test_webappauth --gtest_filter='SignInState.*')
}

build_targets() { # build_targets DIR TARGET... -- [cmake options...]
    local dir=$1 targets=()
    shift
    while [ "$1" != "--" ]; do targets+=("$1"); shift; done
    shift
    configure "$dir" "$@"
    cmake --build "$dir" --target "${targets[@]}"
}

fuzz() {
    local targets=()
    for src in fuzz/fuzz_*.cpp; do targets+=("$(basename "$src" .cpp)"); done
    configure build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DQV_FUZZ=ON -DQV_TESTS=OFF
    cmake --build build-fuzz --target "${targets[@]}"
    local name target corpus
    for name in "${targets[@]}"; do
        target=build-fuzz/fuzz/$name
        corpus=fuzz/corpus/${name#fuzz_}
        # New inputs go to the scratch folder (the first); the seeds in the repo stay as they are.
        mkdir -p "build-fuzz/corpus/$name"
        "$target" -max_total_time="${QV_FUZZ_SECONDS:-20}" -rss_limit_mb=2048 \
            "build-fuzz/corpus/$name" "$corpus" \
            > "build-fuzz/$name.log" 2>&1 || { tail -40 "build-fuzz/$name.log"; return 1; }
        echo "$name: $(grep -E '^Done|stat::number_of_executed_units' "build-fuzz/$name.log" | tail -1)"
    done
}

case "${1:-}" in
run)
    install
    # Only what it runs: the tests are built by test (or build).
    configure build
    cmake --build build --target program_folder
    exec build/quorvex/websvr hidden
    ;;
build)
    install
    build build
    ;;
test)
    install
    build build -DQV_WERROR=ON
    run_tests build
    build build-asan -DQV_WERROR=ON -DQV_SANITIZE=ON
    ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp UBSAN_OPTIONS=print_stacktrace=1 \
        run_tests build-asan
    concurrent_tests
    fuzz
    ;;
*)
    echo "usage: $0 run|test|build" >&2
    exit 2
    ;;
esac
