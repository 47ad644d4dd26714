#!/usr/bin/env bash
# The openssl command line against a real hidden websvr with HTTPS on, as any TLS client sees
# it: SSLv3 (a hello written by hand: Debian's openssl has no -ssl3), TLS 1.0 and 1.1 refused;
# TLS 1.2 and 1.3 shake hands, choose http/1.1 of h2,http/1.1 and ask for no client
# certificate; the certificate websvr made names localhost and 127.0.0.1, verifies as its own
# anchor and is the one served. Then a certificate pair of the settings, replaced by rename
# while websvr runs, is served from the next connection on.
#   https_protocols_test.sh STAGE_DIR
set -euo pipefail
STAGE=$1
for tool in openssl python3; do
    command -v "$tool" >/dev/null || { echo "SKIP: no $tool"; exit 77; }
done
# shellcheck source=../support/stagedwebsvr.sh
source "$(dirname "$0")/../support/stagedwebsvr.sh"

stage_program "$STAGE"
read -r PORT SECURE_PORT <<<"$(free_ports 2)"
CONFIG="$WORK/program/data/config"
MADE="$WORK/program/data/https-certificate.pem"
write_settings "<TCPPort>$PORT</TCPPort><HttpsEnabled>1</HttpsEnabled><HttpsPort>$SECURE_PORT</HttpsPort>"
start_websvr
await_serving "$PORT" "$SECURE_PORT"

# handshake NAME [s_client options]: what s_client says of a handshake with websvr and of the
# answer to a GET of /index.htm after it, in $WORK/NAME. Bounded: a server that never closes
# fails the test instead of hanging it.
handshake() {
    local name=$1
    shift
    printf 'GET /index.htm HTTP/1.1\r\nHost: localhost\r\n\r\n' |
        timeout 90 openssl s_client -connect "127.0.0.1:$SECURE_PORT" -servername localhost \
            -ign_eof "$@" >"$WORK/$name" 2>&1 || true
}
said() { grep -q -- "$2" "$WORK/$1"; }
# served: the SHA-256 fingerprint of the certificate a new connection gets.
served() {
    timeout 90 openssl s_client -connect "127.0.0.1:$SECURE_PORT" -servername localhost \
        </dev/null 2>/dev/null | openssl x509 -noout -fingerprint -sha256
}
fingerprint() { openssl x509 -in "$1" -noout -fingerprint -sha256; }
traced() { grep -q -- "$1" "$WORK"/program/data/Logs/*WEBSRV*.log; }

for old in tls1 tls1_1; do
    handshake "$old" "-$old" -cipher DEFAULT@SECLEVEL=0
    said "$old" "alert protocol version" && said "$old" "Cipher is (NONE)" ||
        fail "-$old was not refused: $(cat "$WORK/$old")"
    ! said "$old" "HTTP/1.1 200" || fail "-$old got an answer"
done

# An SSLv3 ClientHello record (AES128-SHA and DES-CBC3-SHA offered, no extensions): refused in
# the handshake with a fatal alert (a record of its own), never a ServerHello.
answer=$(python3 - "$SECURE_PORT" <<'EOF'
import os, socket, sys
hello = b"\x03\x00" + os.urandom(32) + b"\x00" + b"\x00\x04\x00\x2f\x00\x0a" + b"\x01\x00"
handshake = b"\x01" + len(hello).to_bytes(3, "big") + hello
record = b"\x16\x03\x00" + len(handshake).to_bytes(2, "big") + handshake
with socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=90) as s:
    s.sendall(record)
    answer = b""
    while chunk := s.recv(4096):
        answer += chunk
print(answer.hex())
EOF
)
[[ "$answer" =~ ^1503[0-9a-f]{2}000202[0-9a-f]{2}$ ]] || fail "an SSLv3 hello was answered $answer"
traced "TLS handshake failed: version too low" || fail "the SSLv3 hello is not traced as too old"

for version in 1_2 1_3; do
    name="tls$version"
    handshake "$name" "-tls$version" -alpn h2,http/1.1 -CAfile "$MADE" -verify_return_error \
        -verify_hostname localhost
    said "$name" "^New, TLSv${version/_/.}, Cipher is " || fail "TLS ${version/_/.}: $(cat "$WORK/$name")"
    said "$name" "Verify return code: 0 (ok)" || fail "TLS ${version/_/.}: not verified"
    said "$name" "^ALPN protocol: http/1.1$" || fail "TLS ${version/_/.}: ALPN not http/1.1"
    said "$name" "^HTTP/1.1 200 OK" || fail "TLS ${version/_/.}: no page"
    # A certificate request would show its signature algorithms.
    said "$name" "No client certificate CA names sent" && ! said "$name" "Requested Signature Algorithms" ||
        fail "TLS ${version/_/.}: a client certificate was asked for"
done

# The made certificate: for localhost and 127.0.0.1, its own anchor, served as written; its
# key the owner's alone.
[ "$(openssl x509 -in "$MADE" -noout -checkhost localhost)" = "Hostname localhost does match certificate" ] ||
    fail "the made certificate does not name localhost"
[ "$(openssl x509 -in "$MADE" -noout -checkip 127.0.0.1)" = "IP 127.0.0.1 does match certificate" ] ||
    fail "the made certificate does not name 127.0.0.1"
[ "$(openssl verify -CAfile "$MADE" "$MADE")" = "$MADE: OK" ] || fail "the made certificate does not verify"
[ "$(served)" = "$(fingerprint "$MADE")" ] || fail "another certificate than the made one is served"
[ "$(stat -c %a "$WORK/program/data/https-key.pem")" = 600 ] || fail "the made key is not 0600"

# new_pair NAME: a P-256 key and a certificate for localhost in the config folder, NAME.crt and
# NAME.key, as a renewal tool writes them.
new_pair() {
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 \
        -subj "/CN=localhost" -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" \
        -keyout "$CONFIG/$1.key" -out "$CONFIG/$1.crt" 2>/dev/null || fail "openssl req"
}
stop_websvr
new_pair server
# Relative paths count from the settings file's folder.
write_settings "<TCPPort>$PORT</TCPPort><HttpsEnabled>1</HttpsEnabled><HttpsPort>$SECURE_PORT</HttpsPort><HttpsCertificate>server.crt</HttpsCertificate><HttpsKey>server.key</HttpsKey>"
start_websvr
await_serving "$PORT" "$SECURE_PORT"
[ "$(served)" = "$(fingerprint "$CONFIG/server.crt")" ] || fail "the configured certificate is not served"
first=$(fingerprint "$CONFIG/server.crt")
new_pair renewed
mv "$CONFIG/renewed.key" "$CONFIG/server.key"
mv "$CONFIG/renewed.crt" "$CONFIG/server.crt"
[ "$(fingerprint "$CONFIG/server.crt")" != "$first" ] || fail "openssl made the same certificate"
[ "$(served)" = "$(fingerprint "$CONFIG/server.crt")" ] || fail "the renewed certificate is not served"
traced "HTTPS certificate loaded again from $CONFIG/server.crt" || fail "the renewal is not traced"
websvr_runs || fail "websvr ended"
echo "PASS: old protocols refused, TLS 1.2 and 1.3 served, the made and the renewed certificate"
