#!/usr/bin/env bash
# Starts the setup wizard against three emulated print servers on 127.0.0.21-23. The wizard starts
# the discovery scanner, whose UDP discovery on loopback finds the boxes within a few seconds; on
# the device-selection page press Refresh if the list is still empty. Closing the wizard stops the
# boxes. Arguments are passed on ("1" adds the NetWare pages).
#
# Settings live in a demo root (build/demo-root) unless PSADMIN_ROOT names another.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bin="$here/build/bin"
if [ ! -x "$bin/quillon" ] || [ ! -x "$bin/lumeth" ] || [ ! -x "$bin/box_emulator" ]; then
  echo "The programs are not built yet: run scripts/run.sh." >&2
  exit 1
fi
export PSADMIN_ROOT="${PSADMIN_ROOT:-$here/build/demo-root}"
mkdir -p "$PSADMIN_ROOT/windows" "$PSADMIN_ROOT/KM220Data"
# The scanner looks for boxes on loopback, over UDP only.
export PSADMIN_SCANNER_ADDRESSES="${PSADMIN_SCANNER_ADDRESSES:-127.0.0.1/255.0.0.0}"
export PSADMIN_SCANNER_PROTOCOLS="${PSADMIN_SCANNER_PROTOCOLS:-2}"

"$bin/box_emulator" --boxes 3 --first-address 127.0.0.21 --name-prefix PS --udp-discovery &
emulator=$!
trap 'kill "$emulator" 2>/dev/null || true; wait "$emulator" 2>/dev/null || true' EXIT
echo "Three emulated print servers run on 127.0.0.21-23; starting the setup wizard (settings in $PSADMIN_ROOT)."
"$bin/quillon" "$@"
