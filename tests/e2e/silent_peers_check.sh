#!/bin/bash
# A whole tollvane run in which every peer is silent must still end in under six minutes.
# In a private network namespace every name the run needs points at an address behind
# one end of a veth pair; the other end has no address and the frames carry a MAC that
# is not its own, so whatever is sent there vanishes: no answer, no refusal.
#
# Usage (as root): tests/e2e/silent_peers_check.sh BUILD_DIR   (build/linux, or build)
set -euo pipefail

BUILD=$(cd "$1" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/lib.sh"
[ -x "$BUILD/tollvane" ] || BUILD=$BUILD/linux
[ -x "$BUILD/tollvane" ] || { echo "no tollvane program in $BUILD" >&2; exit 2; }
e2e_require_root silent_peers_check "it needs unshare -m -n"
e2e_enter_namespace 900 "$0" "$@"

# ---- inside the private mount and network namespace ----
e2e_make_work silent-check
WORK=$E2E_WORK
SILENT=10.99.0.2
ip link add silent0 type veth peer name sink0
ip addr add 10.99.0.1/24 dev silent0
ip link set silent0 up
ip link set sink0 up
ip neigh add $SILENT lladdr 02:00:00:00:99:02 dev silent0 nud permanent
e2e_hosts "127.0.0.1 localhost" "$SILENT www.silent-peer.test" "$SILENT whois.internic.net" \
    "$SILENT 2018.ip138.com"

start=$SECONDS
"$BUILD/tollvane" -o "$WORK/report.txt" www.silent-peer.test > "$WORK/out.txt" 2>&1
seconds=$((SECONDS - start))

iconv -f GB18030 -t UTF-8 "$WORK/report.txt" | grep -aE "^第|stopped|终止|timed out|Request" | head -40 || true
blocks=$(grep -c $'^\xb5\xda[1-9]\xb2\xbd---' "$WORK/report.txt" || true)
echo "silent peers: run took ${seconds}s, ${blocks} step blocks"
[ "$blocks" -eq 9 ] || { echo "FAIL: expected 9 step blocks"; cat "$WORK/out.txt"; exit 1; }
[ "$seconds" -lt 360 ] || { echo "FAIL: the run took ${seconds}s, six minutes or more"; exit 1; }
echo "ok"
