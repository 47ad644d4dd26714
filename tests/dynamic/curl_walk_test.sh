#!/usr/bin/env bash
# curl walks the dynamic pages of websvr (hidden, with its real dbsvr) in a copy of
# the staged program folder and checks the answers byte by byte: the 200 header in
# its order, the exact 302 after a form post (and the one write it made; none for the
# same fields in an address), 500 for an error of the web application and for a
# redirect that would split the answer, 403 and the administration page with the
# run's key (which no log line shows), the headers of an export. It runs the test
# build websvr_faults in place of websvr, to provoke the web application's errors.
# With --tls the same walk goes over HTTPS to the certificate websvr made, trusted as
# itself for "localhost", with HSTS on (its line closes every head) and the HTTP port
# redirecting to HTTPS.
#   curl_walk_test.sh [--tls] STAGE_DIR WEBSVR_FAULTS
set -euo pipefail
TLS=false
[ "$1" != --tls ] || { TLS=true; shift; }
STAGE=$1
FAULTS=$2
command -v curl >/dev/null || { echo "SKIP: no curl"; exit 77; }
# shellcheck source=../support/stagedwebsvr.sh
source "$(dirname "$0")/../support/stagedwebsvr.sh"

stage_program "$STAGE" "$FAULTS"
read -r PORT SECURE_PORT <<<"$(free_ports 2)"
DB="$WORK/program/examples/microsoft access/sample.db"
if $TLS; then
    HSTS=31536000
    write_settings "<TCPPort>$PORT</TCPPort><HttpsEnabled>1</HttpsEnabled><HttpsPort>$SECURE_PORT</HttpsPort><HttpRedirect>1</HttpRedirect><HstsMaxAge>$HSTS</HstsMaxAge>"
else
    write_settings "<TCPPort>$PORT</TCPPort>"
    SECURE_PORT=
fi
start_websvr
await_serving "$PORT" "$SECURE_PORT"
if $TLS; then
    BASE="https://localhost:$SECURE_PORT"
    CA_FILE="$WORK/program/data/https-certificate.pem"
    CURL_OPTIONS=(--cacert "$CA_FILE")
    HSTS_LINE="Strict-Transport-Security: max-age=$HSTS"$'\r\n'
    LAST_FIELDS="X-Frame-Options X-Content-Type-Options Connection Strict-Transport-Security"
else
    BASE="http://127.0.0.1:$PORT"
    CA_FILE=
    CURL_OPTIONS=()
    HSTS_LINE=
    LAST_FIELDS="X-Frame-Options X-Content-Type-Options Connection"
fi

# fetch NAME URL [curl options]: the whole answer as sent, in $WORK/NAME.
fetch() {
    local name=$1 url=$2
    shift 2
    curl -sS --raw -i -A "curl walk" "${CURL_OPTIONS[@]}" -o "$WORK/$name" "$@" "$url" || fail "curl $url"
}
status() { head -1 "$WORK/$1" | tr -d '\r'; }
head_of() { sed '/^\r$/q' "$WORK/$1" | tr -d '\r'; }
body_of() { python3 -c 'import sys; d=open(sys.argv[1],"rb").read(); sys.stdout.buffer.write(d[d.index(b"\r\n\r\n")+4:])' "$WORK/$1"; }
field() { head_of "$1" | sed -n "s/^$2: //p"; }

# The home page, once the data server answers: the 200 header lines in their order.
for _ in $(seq 450); do
    fetch home "$BASE/"
    [ "$(status home)" = "HTTP/1.1 200 OK" ] && break
    websvr_runs || break
    sleep 0.2
done
[ "$(status home)" = "HTTP/1.1 200 OK" ] || fail "/ answered $(status home)"
[ "$(head_of home | cut -d: -f1 | tr '\n' ' ')" = \
    "HTTP/1.1 200 OK Server Date Content-Type Accept-Ranges Expires Content-Length $LAST_FIELDS  " ] ||
    fail "header lines: $(head_of home)"
[ "$(field home Server)" = "Quorvex/1.0.202" ] || fail "Server: $(field home Server)"
[ "$(field home Content-Type)" = "text/html" ] || fail "Content-Type"
[ "$(field home Accept-Ranges)" = "bytes" ] || fail "Accept-Ranges"
[ "$(field home Connection)" = "close" ] || fail "Connection"
[[ "$(field home Date)" =~ ^[A-Z][a-z]{2},\ [0-9]{2}\ [A-Z][a-z]{2}\ [0-9]{4}\ [0-9:]{8}\ GMT$ ]] ||
    fail "Date: $(field home Date)"
[ "$(field home Expires)" = "$(field home Date)" ] || fail "Expires is not the Date"
[ "$(field home Content-Length)" = "$(body_of home | wc -c)" ] || fail "Content-Length"
body_of home | grep -q 'home page of the Quorvex example application' || fail "not the home page"

# A form post: exactly the 302 of a redirect, and one row however often it is sent.
fetch form "$BASE/?page=form&name=newcustomer"
hidden() { sed -n "s/.*<input type=\"hidden\" name=\"$1\" value=\"\([^\"]*\)\".*/\1/p" "$WORK/form" | head -1; }
NONCE=$(hidden formnonce)
TOKEN=$(hidden formtoken)
[ -n "$NONCE" ] && [ -n "$TOKEN" ] || fail "no nonce or token in the form"
post() {
    fetch "$1" "$BASE/" --data-urlencode page=form --data-urlencode name=newcustomer \
        --data-urlencode "formnonce=$NONCE" --data-urlencode "formtoken=$2" \
        --data-urlencode "f.name=Walk Ärger & Co" --data-urlencode f.city=Bern \
        --data-urlencode f.country=Switzerland --data-urlencode f.email=
}
post posted "$TOKEN"
printf 'HTTP/1.0 302 Redirect\r\nStatus: 302 Moved\r\nLocation: /?page=saved&form=newcustomer&entry=%s\r\nConnection: close\r\n%s\r\n' \
    "$NONCE" "$HSTS_LINE" | cmp -s - "$WORK/posted" || fail "the post answered: $(cat -A "$WORK/posted")"
post again "$TOKEN"
cmp -s "$WORK/posted" "$WORK/again" || fail "the same post again answered otherwise"
rows=$(sqlite3 "$DB" "SELECT count(*) FROM customers WHERE name = 'Walk Ärger & Co' AND city = 'Bern'")
[ "$rows" = 1 ] || fail "$rows rows for the posted customer"
fetch saved "$BASE/?page=saved&form=newcustomer&entry=$NONCE"
[ "$(status saved)" = "HTTP/1.1 200 OK" ] && body_of saved | grep -q 'Walk Ärger &amp; Co' ||
    fail "the saved page: $(status saved)"
post forged "0000$TOKEN"
[ "$(status forged)" = "HTTP/1.1 403 Forbidden" ] || fail "a forged token: $(status forged)"
# The same fields in an address write nothing, however valid their token.
fetch form2 "$BASE/?page=form&name=newcustomer"
NONCE2=$(sed -n 's/.*name="formnonce" value="\([^"]*\)".*/\1/p' "$WORK/form2" | head -1)
TOKEN2=$(sed -n 's/.*name="formtoken" value="\([^"]*\)".*/\1/p' "$WORK/form2" | head -1)
fetch asaddress "$BASE/?page=form&name=newcustomer&formnonce=$NONCE2&formtoken=$TOKEN2&f.name=Walk+Get&f.city=Bern&f.country=Switzerland&f.email="
[ "$(status asaddress)" = "HTTP/1.1 200 OK" ] || fail "a form as an address: $(status asaddress)"
rows=$(sqlite3 "$DB" "SELECT count(*) FROM customers WHERE name = 'Walk Get'")
[ "$rows" = 0 ] || fail "a form sent as an address wrote $rows rows"

# Errors of the web application: 500 with a short page, traced with number and
# description; a redirect with a line break never reaches the wire. Serving goes on.
fetch error "$BASE/?qvfault=error"
[ "$(status error)" = "HTTP/1.1 500 Internal Server Error" ] || fail "an error: $(status error)"
body_of error | grep -q '^<html>.*500 Internal Server Error.*</html>$' || fail "the error page"
fetch split "$BASE/?qvfault=redirect"
[ "$(status split)" = "HTTP/1.1 500 Internal Server Error" ] || fail "a split redirect: $(status split)"
! grep -qi 'Set-Cookie' "$WORK/split" || fail "the redirect split the answer"
LOG=$(cat "$WORK"/program/data/Logs/*.log)
grep -q 'Error 5 in .*Injected fault' <<<"$LOG" || fail "the error is not traced"
grep -q 'redirect holding a line break' <<<"$LOG" || fail "the refused redirect is not traced"
grep -q "Processing time ([0-9]* ms)" <<<"$LOG" || fail "no processing time traced"

# The administration page: this machine's account that runs websvr is an administrator;
# another account gets 403 without the key or with a wrong one (asked as nobody, which only
# root can do), and the page with it.
KEY=$(cat "$WORK/adminkey")
[[ "$KEY" =~ ^[0-9a-f]{32}$ ]] || fail "the key file holds '$KEY'"
fetch own "$BASE/?page=admin"
[ "$(status own)" = "HTTP/1.1 200 OK" ] || fail "the administration page for its own account: $(status own)"
if [ "$(id -u)" -eq 0 ]; then
    for query in "page=admin" "page=admin&key=0123456789abcdef0123456789abcdef"; do
        # nobody cannot read the test's folder: the certificate comes on standard input.
        answer=$(runuser -u nobody -- curl -sS ${CA_FILE:+--cacert /dev/stdin} -o /dev/null \
            -w '%{http_code}' "$BASE/?$query" <"${CA_FILE:-/dev/null}") ||
            fail "curl as nobody"
        [ "$answer" = 403 ] || fail "$query as nobody: $answer"
    done
fi
fetch admin "$BASE/?page=admin&key=$KEY"
[ "$(status admin)" = "HTTP/1.1 200 OK" ] || fail "the administration page: $(status admin)"
body_of admin | grep -q "<td>$PORT</td>" || fail "the port is not on the administration page"
body_of admin | grep -q '<li>[0-9:.]* Processing time' || fail "no trace entries on the administration page"
# However the key comes (its name encoded, in a POST's address, in a request line that is
# refused), the log never shows it.
fetch encoded "$BASE/?page=admin&k%65y=$KEY"
[ "$(status encoded)" = "HTTP/1.1 200 OK" ] || fail "the key with its name encoded: $(status encoded)"
fetch posted_key "$BASE/?page=admin&key=$KEY" --data "page=tables"
fetch refused_key "$BASE/?page=admin&key=$KEY" -H "Content-Length: 1e1"
[ "$(status refused_key)" = "HTTP/1.1 400 Bad Request" ] || fail "Content-Length 1e1: $(status refused_key)"
grep -q 'HTTP 400 Bad Request: GET /?page=admin&key=(hidden) HTTP/1.1' "$WORK"/program/data/Logs/*.log ||
    fail "the refused request is not traced"
! grep -q "$KEY" "$WORK"/program/data/Logs/*.log || fail "the key is in the log"

# An export: an attachment with its own complete header.
fetch export "$BASE/?page=export&format=csv&name=customers"
[ "$(status export)" = "HTTP/1.1 200 OK" ] || fail "export: $(status export)"
[ "$(field export Content-Type)" = "text/csv; charset=utf-8" ] || fail "export type"
field export Content-Disposition | grep -q '^attachment; filename="customers.csv"' || fail "export disposition"
[ "$(field export Content-Length)" = "$(body_of export | wc -c)" ] || fail "export length"
body_of export | head -c 3 | cmp -s - <(printf '\xEF\xBB\xBF') || fail "export BOM"

# Help works offline: it is a page of this server.
fetch help "$BASE/fn/?productid=QV&version=1.0.202&fn=help&context=ServerSettings"
[ "$(status help)" = "HTTP/1.1 200 OK" ] || fail "help: $(status help)"

fetch last "$BASE/"
[ "$(status last)" = "HTTP/1.1 200 OK" ] || fail "/ after the errors: $(status last)"

if $TLS; then
    # HSTS only over HTTPS; over HTTP, a page and a file move to the same address over HTTPS.
    [ "$(field last Strict-Transport-Security)" = "max-age=$HSTS" ] || fail "HSTS: $(head_of last)"
    for target in "/?page=table&table=customers" "/index.htm"; do
        fetch moved "http://127.0.0.1:$PORT$target"
        [ "$(status moved)" = "HTTP/1.1 301 Moved Permanently" ] || fail "$target over HTTP: $(status moved)"
        [ "$(field moved Location)" = "https://127.0.0.1:$SECURE_PORT$target" ] ||
            fail "$target moved to $(field moved Location)"
        ! grep -qi '^Strict-Transport-Security' "$WORK/moved" || fail "HSTS over HTTP"
    done
fi
echo "PASS: dynamic pages answered as sent by curl to $BASE"
