#!/usr/bin/env bash
# Starts the setup wizard against three emulated print servers on 127.0.0.21-23. The wizard starts
# the discovery scanner, whose UDP discovery on loopback finds the boxes within a few seconds; on
# the device-selection page press Refresh if the list is still empty. Closing the wizard stops the
# boxes. Arguments are passed on ("1" adds the NetWare pages).
#
# Settings live in a demo root (build/demo-root) unless PSADMIN_ROOT names another.
set -euo pipefail
# shellcheck source=scripts/demo-env.sh
source "$(dirname "$0")/demo-env.sh"
demo_require quillon lumeth box_emulator
demo_use_root "${PSADMIN_ROOT:-$demo_here/build/demo-root}"
demo_loopback_discovery
demo_start_boxes 127.0.0.21
echo "Three emulated print servers run on 127.0.0.21-23; starting the setup wizard (settings in $PSADMIN_ROOT)."
"$demo_bin/quillon" "$@"
