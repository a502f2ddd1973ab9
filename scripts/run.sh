#!/usr/bin/env bash
# Installs what is needed, builds the suite and starts its main program. With no real print server
# configured it first starts emulated boxes on loopback addresses.
set -euo pipefail
# shellcheck source=scripts/demo-env.sh
source "$(dirname "$0")/demo-env.sh"
cd "$demo_here"
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
exec bash scripts/start.sh "$@"
