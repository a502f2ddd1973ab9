#!/usr/bin/env bash
# Remakes docs/images/wizard-select.png: the setup wizard's device-selection page against three
# emulated boxes, photographed headless by tools/screenshot. Uses a temporary root and discovery
# ports of its own, so a running demo is not disturbed. A first run on the welcome page lets the
# scanner the wizard starts fill the discovery cache; the second photographs the selection page.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bin="$here/build/bin"
out="${1:-$here/docs/images/wizard-select.png}"
root="$(mktemp -d)"
export PSADMIN_ROOT="$root"
mkdir -p "$root/windows" "$root/KM220Data"
export PSADMIN_SCANNER_ADDRESSES=127.0.0.1/255.0.0.0 PSADMIN_SCANNER_PROTOCOLS=2
export PSADMIN_SCANNER_UDP_PORTS=35443,35444 PSADMIN_SCANNER_TICK_MS=500
"$bin/box_emulator" --boxes 3 --first-address 127.0.0.51 --name-prefix PS --udp-discovery \
  --udp-ports 35443,35444 >/dev/null &
emulator=$!
trap 'kill "$emulator" 2>/dev/null || true; wait "$emulator" 2>/dev/null || true; rm -rf "$root"' EXIT
"$bin/psa_screenshot" --dialog 111 --out "$root/start.png" --delay 6000 --timeout 60 -- "$bin/quillon"
"$bin/psa_screenshot" --dialog 104 --out "$out" --delay 1500 --timeout 60 -- "$bin/quillon"
echo "saved $out"
