# Helpers the benchmark scripts share. Sourced after cd to the repository's top:
#   source bench/helpers.sh
# die TEXT: the message on standard error under the script's name, and exit 1.
die() {
    echo "$(basename "$0"): $*" >&2
    exit 1
}
# A TCP port on loopback that nothing listens on now.
free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
# The median of the numbers given (the upper one of an even count's middle two).
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# a / b with two decimals; "n/a" when b is 0.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) print "n/a"; else printf "%.2f", a / b }'; }
