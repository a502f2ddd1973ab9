#!/usr/bin/env bash
# Remakes docs/images/device-list.png: the console's device list against three emulated boxes,
# photographed headless by tools/screenshot. Uses a temporary root and discovery ports of its own,
# so a running demo is not disturbed.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bin="$here/build/bin"
out="${1:-$here/docs/images/device-list.png}"
root="$(mktemp -d)"
export PSADMIN_ROOT="$root"
mkdir -p "$root/windows" "$root/KM220Data"
printf '[general]\r\nRefreshDelay=50\r\n[ConnectedProtocol]\r\nbTCPIP=1\r\n' >"$root/windows/common.ini"
export PSADMIN_SCANNER_ADDRESSES=127.0.0.1/255.0.0.0 PSADMIN_SCANNER_PROTOCOLS=2
export PSADMIN_SCANNER_UDP_PORTS=35443,35444 PSADMIN_SCANNER_TICK_MS=500
"$bin/box_emulator" --boxes 3 --first-address 127.0.0.41 --name-prefix PS --udp-discovery \
  --udp-ports 35443,35444 >/dev/null &
emulator=$!
trap 'kill "$emulator" 2>/dev/null || true; wait "$emulator" 2>/dev/null || true; rm -rf "$root"' EXIT
"$bin/psa_screenshot" --dialog 102 --out "$out" --delay 7000 --timeout 60 -- "$bin/tollard"
echo "saved $out"
