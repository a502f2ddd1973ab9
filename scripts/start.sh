#!/usr/bin/env bash
# Starts what the suite has so far. The administration console is not built yet: this starts the box
# emulator with three emulated boxes on 127.0.0.21-23 so the device library can be tried against it.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
if [ -x "$here/build/bin/box_emulator" ]; then
  echo "The administration console is not built yet; starting three emulated print servers (Ctrl-C stops them)."
  exec "$here/build/bin/box_emulator" --boxes 3 --first-address 127.0.0.21 "$@"
fi
echo "Nothing to start yet: the suite's programs are not built."
