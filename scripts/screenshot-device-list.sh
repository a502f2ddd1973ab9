#!/usr/bin/env bash
# Remakes docs/images/device-list.png: the console's device list against three emulated boxes,
# photographed headless by tools/screenshot. Uses a temporary root and discovery ports of its own,
# so a running demo is not disturbed.
set -euo pipefail
# shellcheck source=scripts/demo-env.sh
source "$(dirname "$0")/demo-env.sh"
out="${1:-$demo_here/docs/images/device-list.png}"
demo_use_temp_root
demo_common_ini
demo_private_discovery
demo_start_boxes 127.0.0.41 quiet
"$demo_bin/psa_screenshot" --dialog 102 --out "$out" --delay 7000 --timeout 60 -- "$demo_bin/tollard"
echo "saved $out"
