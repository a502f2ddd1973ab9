#!/usr/bin/env bash
# Remakes docs/images/wizard-select.png: the setup wizard's device-selection page against three
# emulated boxes, photographed headless by tools/screenshot. Uses a temporary root and discovery
# ports of its own, so a running demo is not disturbed. A first run on the welcome page lets the
# scanner the wizard starts fill the discovery cache; the second photographs the selection page.
set -euo pipefail
# shellcheck source=scripts/demo-env.sh
source "$(dirname "$0")/demo-env.sh"
out="${1:-$demo_here/docs/images/wizard-select.png}"
demo_use_temp_root
demo_private_discovery
demo_start_boxes 127.0.0.51 quiet
"$demo_bin/psa_screenshot" --dialog 111 --out "$PSADMIN_ROOT/start.png" --delay 6000 --timeout 60 -- "$demo_bin/quillon"
"$demo_bin/psa_screenshot" --dialog 104 --out "$out" --delay 1500 --timeout 60 -- "$demo_bin/quillon"
echo "saved $out"
