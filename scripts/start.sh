#!/usr/bin/env bash
# Starts the administration console against three emulated print servers on 127.0.0.21-23.
# The boxes answer the scanner's UDP discovery on loopback, so the console's list fills within a few
# seconds; select a box and press Quick to rename it. Closing the console stops the boxes.
#
# Settings live in a demo root (build/demo-root) unless PSADMIN_ROOT names another; a demo root gets
# a "common.ini" that connects over TCP/IP and waits five seconds for the scanner's first round.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bin="$here/build/bin"
if [ ! -x "$bin/tollard" ] || [ ! -x "$bin/lumeth" ] || [ ! -x "$bin/box_emulator" ]; then
  echo "The programs are not built yet: run scripts/run.sh." >&2
  exit 1
fi
export PSADMIN_ROOT="${PSADMIN_ROOT:-$here/build/demo-root}"
mkdir -p "$PSADMIN_ROOT/windows" "$PSADMIN_ROOT/KM220Data"
ini="$PSADMIN_ROOT/windows/common.ini"
if [ ! -f "$ini" ]; then
  printf '[general]\r\nRefreshDelay=50\r\n[ConnectedProtocol]\r\nbTCPIP=1\r\nbIPXSPX=0\r\nbNETBEUI=0\r\n' >"$ini"
fi
# The scanner looks for boxes on loopback, over UDP only.
export PSADMIN_SCANNER_ADDRESSES="${PSADMIN_SCANNER_ADDRESSES:-127.0.0.1/255.0.0.0}"
export PSADMIN_SCANNER_PROTOCOLS="${PSADMIN_SCANNER_PROTOCOLS:-2}"

"$bin/box_emulator" --boxes 3 --first-address 127.0.0.21 --name-prefix PS --udp-discovery &
emulator=$!
trap 'kill "$emulator" 2>/dev/null || true; wait "$emulator" 2>/dev/null || true' EXIT
echo "Three emulated print servers run on 127.0.0.21-23; starting the console (settings in $PSADMIN_ROOT)."
"$bin/tollard" "$@"
