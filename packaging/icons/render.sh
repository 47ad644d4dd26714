#!/usr/bin/env bash
# Renders the product icon's PNG sizes from the web root's logo. Run by hand
# when the logo changes (needs Debian's librsvg2-bin); the PNGs are committed,
# so the build needs no SVG renderer.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --output "quorvex-$size.png" ../../dist/wwwroot/logo.svg
done
