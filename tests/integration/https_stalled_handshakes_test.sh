#!/usr/bin/env bash
# Clients that never finish their handshake hold nobody up: 500 TCP connections that send
# nothing and 100 hellos of garbage that never complete (a handshake record announced, part of
# it sent) are held open to the HTTPS port of a real hidden websvr while curl asks for a page
# over HTTPS. The page must arrive; how long it took is printed, not judged (bench/ measures
# that).
#   https_stalled_handshakes_test.sh STAGE_DIR
set -euo pipefail
STAGE=$1
HALF_OPEN=500
GARBAGE=100
for tool in curl python3; do
    command -v "$tool" >/dev/null || { echo "SKIP: no $tool"; exit 77; }
done
# Each held connection costs the test one descriptor and websvr one or two; websvr raises its
# own soft limit to the hard one it inherits.
[ "$(ulimit -n)" -ge 4096 ] || ulimit -n 4096 2>/dev/null || ulimit -n "$(ulimit -Hn)"
[ "$(ulimit -n)" -ge $((2 * (HALF_OPEN + GARBAGE) + 100)) ] ||
    { echo "FAIL: $(ulimit -n) descriptors at most; raise the hard limit (ulimit -Hn)"; exit 1; }
# shellcheck source=../support/stagedwebsvr.sh
source "$(dirname "$0")/../support/stagedwebsvr.sh"

stage_program "$STAGE"
read -r PORT SECURE_PORT <<<"$(free_ports 2)"
write_settings "<TCPPort>$PORT</TCPPort><HttpsEnabled>1</HttpsEnabled><HttpsPort>$SECURE_PORT</HttpsPort>"
start_websvr
await_serving "$PORT" "$SECURE_PORT"

# The holder connects, says "held" and keeps every connection until its standard input ends;
# then it says how many of them websvr had closed by then.
cat >"$WORK/hold.py" <<'EOF'
import os, socket, sys
port, half_open, garbage = (int(a) for a in sys.argv[1:])
held = []
for i in range(half_open + garbage):
    s = socket.create_connection(("127.0.0.1", port), timeout=90)
    if i >= half_open:
        # A handshake record of 16 KiB announced, a ClientHello's type and 300 random bytes sent.
        s.sendall(b"\x16\x03\x01\x40\x00\x01" + os.urandom(300))
    held.append(s)
print("held", len(held), flush=True)
sys.stdin.read()
closed = 0
for s in held:
    s.setblocking(False)
    try:
        closed += s.recv(1 << 16) == b""
    except BlockingIOError:
        pass
    except OSError:
        closed += 1
print("closed by websvr", closed, flush=True)
EOF
mkfifo "$WORK/release"
python3 "$WORK/hold.py" "$SECURE_PORT" "$HALF_OPEN" "$GARBAGE" <"$WORK/release" >"$WORK/held" &
HOLDER=$!
exec 3>"$WORK/release"
# Ends the holder: its input closes, it reports and ends.
release() {
    exec 3>&-
    [ -z "$HOLDER" ] || wait "$HOLDER" || fail "the holder failed"
    HOLDER=
}
at_exit release
holder_done() { grep -q '^held ' "$WORK/held" || ! kill -0 "$HOLDER" 2>/dev/null; }
wait_until holder_done || true
[ "$(cat "$WORK/held")" = "held $((HALF_OPEN + GARBAGE))" ] || fail "the holder: $(cat "$WORK/held")"

result=$(curl -sS --max-time 90 --cacert "$WORK/program/data/https-certificate.pem" \
    -o "$WORK/page" -w '%{http_code} %{time_total}' "https://localhost:$SECURE_PORT/index.htm") ||
    fail "curl: $result"
release
[ "${result% *}" = 200 ] || fail "the page answered ${result% *}"
cmp -s "$WORK/page" "$WORK/program/wwwroot/index.htm" || fail "another page arrived"
websvr_runs || fail "websvr ended"
echo "PASS: the page arrived over HTTPS in ${result#* } s with $HALF_OPEN half-open connections" \
    "and $GARBAGE unfinished hellos held ($(tail -1 "$WORK/held") by then)"
