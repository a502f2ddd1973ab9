# shellcheck shell=bash
# Shared set-up of the demo and picture scripts (run.sh, start.sh, start-wizard.sh,
# screenshot-*.sh), sourced by them, not run: where the built programs are, the settings root, the
# console's "common.ini", the scanner's discovery on loopback, and emulated boxes that stop when the
# script ends.
#
# After sourcing: $demo_here is the source tree, $demo_bin the folder of the built programs.

demo_here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
demo_bin="$demo_here/build/bin"
demo_emulator=""
demo_temp_root=""
demo_udp_ports=""

# Stops the emulated boxes and removes a temporary root when the script ends.
demo_cleanup() {
  if [ -n "$demo_emulator" ]; then
    kill "$demo_emulator" 2>/dev/null || true
    wait "$demo_emulator" 2>/dev/null || true
  fi
  if [ -n "$demo_temp_root" ]; then
    rm -rf "$demo_temp_root"
  fi
}
trap demo_cleanup EXIT

# demo_require PROGRAM...: ends the script when one of the programs is not built yet.
demo_require() {
  local program
  for program in "$@"; do
    if [ ! -x "$demo_bin/$program" ]; then
      echo "The programs are not built yet: run scripts/run.sh." >&2
      exit 1
    fi
  done
}

# demo_use_root DIR: the settings root, exported as PSADMIN_ROOT, with the folders the programs use.
demo_use_root() {
  export PSADMIN_ROOT="$1"
  # The demo's NetBIOS is its own root's, on the loopback ports it configures, also on a machine
  # whose NetBIOS service serves every user: no machine folder is named there.
  export PSADMIN_NBD_MACHINE="$1/machine-netbios"
  mkdir -p "$PSADMIN_ROOT/windows" "$PSADMIN_ROOT/KM220Data"
}

# demo_use_temp_root: a root of its own, removed when the script ends.
demo_use_temp_root() {
  demo_temp_root="$(mktemp -d)"
  demo_use_root "$demo_temp_root"
}

# demo_common_ini: unless the root has one, a "common.ini" with which the console connects over
# TCP/IP only and browses first five seconds after its start, when the scanner's first round is done.
demo_common_ini() {
  local ini="$PSADMIN_ROOT/windows/common.ini"
  if [ ! -f "$ini" ]; then
    printf '[general]\r\nRefreshDelay=50\r\n[ConnectedProtocol]\r\nbTCPIP=1\r\nbIPXSPX=0\r\nbNETBEUI=0\r\n' >"$ini"
  fi
}

# demo_loopback_discovery: the scanner looks for boxes on loopback, over UDP only (settings of these
# variables in the caller's environment stand).
demo_loopback_discovery() {
  export PSADMIN_SCANNER_ADDRESSES="${PSADMIN_SCANNER_ADDRESSES:-127.0.0.1/255.0.0.0}"
  export PSADMIN_SCANNER_PROTOCOLS="${PSADMIN_SCANNER_PROTOCOLS:-2}"
}

# demo_private_discovery: for pictures: the scanner looks on loopback, over UDP only, on discovery
# ports of its own and with a short poll, so that a running demo is neither seen nor disturbed.
demo_private_discovery() {
  demo_udp_ports=35443,35444
  export PSADMIN_SCANNER_ADDRESSES=127.0.0.1/255.0.0.0 PSADMIN_SCANNER_PROTOCOLS=2
  export PSADMIN_SCANNER_UDP_PORTS="$demo_udp_ports" PSADMIN_SCANNER_TICK_MS=500
}

# demo_start_boxes FIRST_ADDRESS [quiet]: three emulated print servers (names PS...) on loopback
# from FIRST_ADDRESS on, answering the scanner's UDP discovery (on the private ports after
# demo_private_discovery); "quiet" drops their output. They stop when the script ends.
demo_start_boxes() {
  local args=(--boxes 3 --first-address "$1" --name-prefix PS --udp-discovery)
  if [ -n "$demo_udp_ports" ]; then
    args+=(--udp-ports "$demo_udp_ports")
  fi
  if [ "${2:-}" = quiet ]; then
    "$demo_bin/box_emulator" "${args[@]}" >/dev/null &
  else
    "$demo_bin/box_emulator" "${args[@]}" &
  fi
  demo_emulator=$!
}
