#!/usr/bin/env bash
# A real browser opens the page a hidden websvr prints, from a copy of the
# staged program folder: the page renders and its style sheet and image are
# fetched and served.
#   browser_test.sh STAGE_DIR
set -euo pipefail
STAGE=$1
BROWSER=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$BROWSER" ]; then
    echo "SKIP: no chromium"
    exit 77
fi

WORK=$(mktemp -d)
cleanup() {
    [ -n "${WEBSVR:-}" ] && kill "$WEBSVR" 2>/dev/null && wait "$WEBSVR" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

cp -r "$STAGE" "$WORK/program"
rm -rf "$WORK/program/data" "$WORK/program/Temp"
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$WORK/program/data/config" "$WORK/temp"
echo "<Settings><TCPPort>$PORT</TCPPort></Settings>" > "$WORK/program/data/config/webserver.xml"

(cd "$WORK" && TEMP="$WORK/temp" exec program/websvr hidden > "$WORK/websvr.out" 2>&1) &
WEBSVR=$!
for _ in $(seq 100); do
    grep -q '^Serving http://' "$WORK/websvr.out" 2>/dev/null && break
    sleep 0.1
done
URL=$(sed -n 's/^Serving \(http:[^ ]*\).*/\1/p' "$WORK/websvr.out")
[ -n "$URL" ] || { echo "websvr did not print its address"; cat "$WORK/websvr.out"; exit 1; }
case "$URL" in */) URL="${URL}index.htm" ;; esac

FLAGS=(--headless --no-sandbox --disable-gpu --disable-quic --no-first-run
    --disable-background-networking --disable-component-update --disable-sync
    --user-data-dir="$WORK/profile" --window-size=1000,700)
DOM=$(timeout 60 "$BROWSER" "${FLAGS[@]}" --dump-dom "$URL" 2>/dev/null)
grep -q '<h1>Quorvex Web Server</h1>' <<<"$DOM" || { echo "page did not render: $DOM"; exit 1; }
timeout 60 "$BROWSER" "${FLAGS[@]}" --screenshot="$WORK/page.png" "$URL" >/dev/null 2>&1
[ "$(stat -c %s "$WORK/page.png")" -gt 10000 ] || { echo "screenshot is empty"; exit 1; }

LOG=$(cat "$WORK"/program/data/Logs/*.log)
for path in /index.htm /style.css /logo.png; do
    grep -q "HTTP GET: $path'" <<<"$LOG" || { echo "the browser did not fetch $path"; exit 1; }
done
[ -n "${QV_KEEP_SCREENSHOT:-}" ] && cp "$WORK/page.png" "$QV_KEEP_SCREENSHOT"
echo "PASS: $URL rendered, style sheet and image fetched"
