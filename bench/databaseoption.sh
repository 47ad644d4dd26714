# The benchmarks that run on either database take "--database sqlite|postgresql|both"
# in front of their other arguments (default both). Sourced with the script's arguments:
#   source bench/databaseoption.sh NAME "$@"; set -- "${BENCH_ARGS[@]}"
# sets DATABASE and leaves the remaining arguments in BENCH_ARGS.
DATABASE=both
BENCH_NAME=$1
shift
if [ "${1:-}" = "--database" ]; then
    DATABASE=${2:?--database needs sqlite, postgresql or both}
    shift 2
fi
case "$DATABASE" in sqlite | postgresql | both) ;; *)
    echo "$BENCH_NAME: --database takes sqlite, postgresql or both" >&2
    exit 2
    ;;
esac
BENCH_ARGS=("$@")
