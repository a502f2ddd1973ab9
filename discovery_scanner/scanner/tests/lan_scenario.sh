#!/bin/bash
# A small virtual LAN in network namespaces: the scanner on 10.77.1.1/24 and four emulated boxes.
#   box A 10.77.1.11/24 and box B 10.77.1.12/24: same segment, same subnet
#   box C 10.77.2.13/24: same segment (it hears the broadcasts), another IPv4 subnet
#   box D 10.77.3.14/24: behind a router, in another segment (broadcasts do not reach it)
# The 34443 route keeps only boxes of the local subnet, the 34444 route every box that answers,
# and limited broadcasts are never routed: so ss_udp.dat must hold A and B, ss_udp2.dat A, B and C,
# and D must be in neither.
#
# Usage: lan_scenario.sh <lumeth> <box_emulator> <lumeth_test_client>
# Exit 0 pass, 1 fail, 77 skipped (network namespaces cannot be made here).
set -u
LUMETH=$1
EMULATOR=$2
CLIENT=$3

tag="p$(( $$ % 100000 ))"
SW="${tag}sw" SCAN="${tag}scan" RT="${tag}rt"
BOXES=(A B C D)
declare -A ADDR=([A]=10.77.1.11/24 [B]=10.77.1.12/24 [C]=10.77.2.13/24 [D]=10.77.3.14/24)
ROOT=$(mktemp -d)
PIDS=()
NAMESPACES=()

# Every process of the run is ended (killed outright when it has not gone 5 s after SIGTERM) and
# every namespace deleted (with its links), also when the run fails or is interrupted.
cleanup() {
  trap - EXIT INT TERM HUP
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  for ((i = 0; i < 100; i++)); do
    alive=0
    for pid in "${PIDS[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
    [ $alive -eq 0 ] && break
    sleep 0.05
  done
  for pid in "${PIDS[@]}"; do kill -9 "$pid" 2>/dev/null; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null; done
  for ns in "${NAMESPACES[@]}"; do ip netns del "$ns" 2>/dev/null; done
  rm -rf "$ROOT"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() { echo "FAIL: $*"; [ -f "$ROOT/lumeth.out" ] && cat "$ROOT/lumeth.out"; exit 1; }

addns() {
  # A namespace of this name can only be a leftover of an earlier run that had this process id and
  # was killed before it could clean up.
  ip netns del "$1" 2>/dev/null
  ip netns add "$1" 2>/dev/null || return 1
  NAMESPACES+=("$1")
  ip -n "$1" link set lo up
}

# A host namespace joined to the bridge by a veth pair.
plug() {  # ns address [default-gateway]
  local ns=$1 addr=$2 gw=${3:-}
  # Both ends are made inside their namespaces, so nothing is ever left in the host's namespace.
  ip link add "${ns}e" netns "$ns" type veth peer name "${ns}p" netns "$SW" || return 1
  ip -n "$SW" link set "${ns}p" master br0 up
  ip -n "$ns" addr add "$addr" dev "${ns}e" broadcast +
  ip -n "$ns" link set "${ns}e" up
  [ -n "$gw" ] && ip -n "$ns" route add default via "$gw"
  return 0
}

command -v ip >/dev/null || { echo "SKIP: no ip command"; exit 77; }
"$EMULATOR" --help 2>&1 | grep -q -- --udp-discovery || { echo "SKIP: the box emulator cannot answer UDP discovery"; exit 77; }
addns "$SW" || { echo "SKIP: network namespaces are not available"; exit 77; }
ip -n "$SW" link add br0 type bridge && ip -n "$SW" link set br0 up || { echo "SKIP: no bridge"; exit 77; }
addns "$SCAN" && addns "$RT" || fail "namespaces"
plug "$SCAN" 10.77.1.1/24 10.77.1.254 || { echo "SKIP: no virtual ethernet links"; exit 77; }
plug "$RT" 10.77.1.254/24 || fail "router link"
for b in A B C D; do addns "${tag}$b" || fail "namespace $b"; done
plug "${tag}A" "${ADDR[A]}" && plug "${tag}B" "${ADDR[B]}" || fail "box links"
plug "${tag}C" "${ADDR[C]}" || fail "box C link"
ip -n "${tag}C" route add 10.77.1.0/24 dev "${tag}Ce"   # on-link: it answers across subnets
# Box D hangs off the router's second leg.
ip link add "${tag}De" netns "${tag}D" type veth peer name "${tag}Rd" netns "$RT" || fail "router leg"
ip -n "$RT" addr add 10.77.3.254/24 dev "${tag}Rd" && ip -n "$RT" link set "${tag}Rd" up
ip -n "${tag}D" addr add "${ADDR[D]}" dev "${tag}De" broadcast + && ip -n "${tag}D" link set "${tag}De" up
ip -n "${tag}D" route add default via 10.77.3.254
ip netns exec "$RT" sysctl -qw net.ipv4.ip_forward=1

# One emulated box per namespace; the name prefixes give each its own default name.
for b in A B C D; do
  ip netns exec "${tag}$b" "$EMULATOR" --boxes 1 --name-prefix "K$b" --udp-discovery \
    > "$ROOT/box$b.out" 2>&1 &
  PIDS+=($!)
done
for b in A B C D; do
  timeout 10 bash -c "until [ -s '$ROOT/box$b.out' ]; do sleep 0.05; done" || fail "box $b did not start"
done
name() { cut -d' ' -f1 "$ROOT/box$1.out"; }

export PSADMIN_ROOT="$ROOT/root"
mkdir -p "$PSADMIN_ROOT/KM220Data"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export PSADMIN_SCANNER_TICK_MS=300 PSADMIN_SCANNER_WINDOW_MS=300 PSADMIN_SCANNER_PROTOCOLS=2

# A client holds its presence event for the scanner's whole run.
coproc CLIENTPROC { exec "$CLIENT" tollard; }
PIDS+=("$CLIENTPROC_PID")
read -r -t 10 ready <&"${CLIENTPROC[0]}" || fail "client did not start"
ip netns exec "$SCAN" "$LUMETH" > "$ROOT/lumeth.out" 2>&1 &
PIDS+=($!)

# Both UDP files are written once per round; wait for a round whose files are complete. The scanner
# replaces a file whole at every round (with its records in any order), so each look works on a
# copy taken with one read, never on the live file read piece by piece.
SNAP="$ROOT/snap"
mkdir -p "$SNAP"
snapshot() {
  local f
  for f in ss_udp.dat ss_udp2.dat; do
    cat "$PSADMIN_ROOT/KM220Data/$f" > "$SNAP/$f" 2>/dev/null || : > "$SNAP/$f"
  done
}
count() { od -An -tu4 -N4 "$SNAP/$1" 2>/dev/null | tr -d ' '; }
names() {
  local file="$SNAP/$1" n i
  n=$(count "$1")
  for ((i = 0; i < ${n:-0}; i++)); do
    dd if="$file" bs=1 skip=$((4 + 118 * i)) count=20 2>/dev/null | tr -d '\0'
    echo
  done | sort | tr '\n' ' '
}
address() {  # file default-name -> the record's address text
  local file="$SNAP/$1" n i
  n=$(count "$1")
  for ((i = 0; i < ${n:-0}; i++)); do
    if [ "$(dd if="$file" bs=1 skip=$((4 + 118 * i)) count=20 2>/dev/null | tr -d '\0')" = "$2" ]; then
      dd if="$file" bs=1 skip=$((4 + 118 * i + 24)) count=20 2>/dev/null | tr -d '\0'
    fi
  done
}

expect_udp="$(printf '%s\n' "$(name A)" "$(name B)" | sort | tr '\n' ' ')"
expect_udp2="$(printf '%s\n' "$(name A)" "$(name B)" "$(name C)" | sort | tr '\n' ' ')"
deadline=$((SECONDS + 30))
snapshot
until [ "$(names ss_udp.dat)" = "$expect_udp" ] && [ "$(names ss_udp2.dat)" = "$expect_udp2" ]; do
  [ $SECONDS -ge $deadline ] && fail "ss_udp.dat [$(names ss_udp.dat)] ss_udp2.dat [$(names ss_udp2.dat)]; expected [$expect_udp] and [$expect_udp2]"
  sleep 0.2
  snapshot
done

[ "$(address ss_udp.dat "$(name A)")" = "10.77.1.11" ] || fail "address of box A"
[ "$(address ss_udp2.dat "$(name C)")" = "10.77.2.13" ] || fail "address of box C"
case "$(names ss_udp.dat) $(names ss_udp2.dat)" in
  *"$(name D)"*) fail "box D behind the router was found" ;;
esac
echo "PASS: ss_udp.dat [$(names ss_udp.dat)] ss_udp2.dat [$(names ss_udp2.dat)]"
exit 0
