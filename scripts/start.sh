#!/usr/bin/env bash
# Starts the administration console against three emulated print servers on 127.0.0.21-23.
# The boxes answer the scanner's UDP discovery on loopback, so the console's list fills within a few
# seconds; select a box and press Quick to rename it. Closing the console stops the boxes.
#
# Settings live in a demo root (build/demo-root) unless PSADMIN_ROOT names another; a demo root gets
# a "common.ini" that connects over TCP/IP and waits five seconds for the scanner's first round.
set -euo pipefail
# shellcheck source=scripts/demo-env.sh
source "$(dirname "$0")/demo-env.sh"
demo_require tollard lumeth box_emulator
demo_use_root "${PSADMIN_ROOT:-$demo_here/build/demo-root}"
demo_common_ini
demo_loopback_discovery
demo_start_boxes 127.0.0.21
echo "Three emulated print servers run on 127.0.0.21-23; starting the console (settings in $PSADMIN_ROOT)."
"$demo_bin/tollard" "$@"
