#!/bin/bash
# The tracert stand-in probes with ICMP echo, as Windows' tracert does. A client behind
# two routers traces to a target that drops UDP but answers ping (it must list both
# routers and reach the target) and to one that drops ping (it must not look reached).
# It runs the trace through each means it has: an ICMP datagram socket (an ordinary user
# whom net.ipv4.ping_group_range admits), a raw socket (root, the range closed), IPv4
# and IPv6, and traceroute when neither socket can be had.
#
# Usage (as root): tests/e2e/icmp_trace_check.sh BUILD_DIR   (build/linux, or build)
set -euo pipefail

BUILD=$(cd "$1" && pwd)
[ -x "$BUILD/tracert" ] || BUILD=$BUILD/linux
[ -x "$BUILD/tracert" ] || { echo "no tracert stand-in in $BUILD" >&2; exit 2; }
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/lib.sh"
e2e_require_root icmp_trace_check "it adds network namespaces"
NS_PREFIX=${NS_PREFIX:-tv-icmp}
# shellcheck source=lib/netns_path.sh
. "$HERE/lib/netns_path.sh"

e2e_make_work icmp-trace-check
WORK=$E2E_WORK
BACKGROUND=
e2e_on_exit '[ -n "$BACKGROUND" ] && kill "$BACKGROUND" 2>/dev/null'
e2e_on_exit ns_cleanup

# client -- r1 -- r2 -- target (drops UDP)
#                    \-- shy (drops ICMP echo requests)
for ns in client r1 r2 target shy; do
    ns_add $ns
    # Routers answer each probe, however fast the traces follow each other.
    in_ns $ns sysctl -qw net.ipv4.icmp_ratelimit=0 net.ipv6.icmp.ratelimit=0
done
ns_link client 10.161.1.2/24 r1 10.161.1.1/24 fd16:1::2/64 fd16:1::1/64
ns_link r1 10.161.2.1/24 r2 10.161.2.2/24 fd16:2::1/64 fd16:2::2/64
ns_link r2 10.161.3.1/24 target 10.161.3.2/24 fd16:3::1/64 fd16:3::2/64
ns_link r2 10.161.4.1/24 shy 10.161.4.2/24
ns_router r1
ns_router r2
in_ns client ip route add default via 10.161.1.1
in_ns client ip -6 route add default via fd16:1::1
in_ns r1 ip route add default via 10.161.2.2
in_ns r1 ip -6 route add default via fd16:2::2
in_ns r2 ip route add default via 10.161.2.1
in_ns r2 ip -6 route add default via fd16:2::1
in_ns target ip route add default via 10.161.3.1
in_ns target ip -6 route add default via fd16:3::1
in_ns shy ip route add default via 10.161.4.1
in_ns target iptables -A INPUT -p udp -j DROP
in_ns target ip6tables -A INPUT -p udp -j DROP
in_ns shy iptables -A INPUT -p icmp --icmp-type echo-request -j DROP
# Links that have just come up lose their first neighbour solicitations: settle them
# first, so the times measured are the path's.
for address in 10.161.3.2 fd16:3::2 10.161.4.1; do
    in_ns client ping -c 1 -W 3 "$address" >/dev/null 2>&1 || true
done

failed=0
fail() { echo "FAIL: $*"; failed=1; }
AS_USER=(setpriv --reuid=65534 --regid=65534 --clear-groups)
admit_everyone() { in_ns client sysctl -qw net.ipv4.ping_group_range="0 2147483647"; }
admit_nobody() { in_ns client sysctl -qw net.ipv4.ping_group_range="1 0"; }
hop_re() { echo "^ +$1( +(<?[0-9]+ ms|\*)){3}  ${2//./\\.}\$"; }

# Reaches TARGET through the routers in exactly three hops, the way tracert lays them out.
check_reached() {
    local label=$1 out=$2 hop1=$3 hop2=$4 target=$5
    echo "--- $label"; cat "$out"
    grep -Eq "$(hop_re 1 "$hop1")" "$out" || fail "$label: hop 1 is not $hop1"
    grep -Eq "$(hop_re 2 "$hop2")" "$out" || fail "$label: hop 2 is not $hop2"
    grep -Eq "$(hop_re 3 "$target")" "$out" || fail "$label: hop 3 is not the target $target"
    grep -Eq '^ +4 ' "$out" && fail "$label: the trace went on past the target"
    grep -q 'Request timed out' "$out" && fail "$label: a hop timed out"
    [ "$(tail -n 1 "$out")" = "Trace complete." ] || fail "$label: no \"Trace complete.\" at the end"
}

# The trace to the host that drops ping takes 28 silent hops: it runs while the rest do.
admit_everyone
in_ns client "$BUILD/tracert" -d 10.161.4.2 >"$WORK/shy.txt" 2>&1 &
BACKGROUND=$!

in_ns client "${AS_USER[@]}" "$BUILD/tracert" -d 10.161.3.2 >"$WORK/dgram4.txt" 2>&1 || true
check_reached "datagram socket, IPv4" "$WORK/dgram4.txt" 10.161.1.1 10.161.2.2 10.161.3.2
in_ns client "${AS_USER[@]}" "$BUILD/tracert" -d fd16:3::2 >"$WORK/dgram6.txt" 2>&1 || true
check_reached "datagram socket, IPv6" "$WORK/dgram6.txt" fd16:1::1 fd16:2::2 fd16:3::2

admit_nobody
in_ns client "$BUILD/tracert" -d 10.161.3.2 >"$WORK/raw4.txt" 2>&1 || true
check_reached "raw socket, IPv4" "$WORK/raw4.txt" 10.161.1.1 10.161.2.2 10.161.3.2
in_ns client "$BUILD/tracert" -d fd16:3::2 >"$WORK/raw6.txt" 2>&1 || true
check_reached "raw socket, IPv6" "$WORK/raw6.txt" fd16:1::1 fd16:2::2 fd16:3::2

# Neither socket: traceroute's UDP probes, said in one line, reach the host that answers UDP.
in_ns client "${AS_USER[@]}" "$BUILD/tracert" -d 10.161.4.2 >"$WORK/fallback.txt" 2>&1 || true
echo "--- no ICMP socket"; cat "$WORK/fallback.txt"
[ "$(grep -c "tracing with traceroute's UDP probes instead" "$WORK/fallback.txt")" -eq 1 ] ||
    fail "no ICMP socket: the fallback to traceroute is not said in one line"
grep -Eq "$(hop_re 3 10.161.4.2)" "$WORK/fallback.txt" || fail "no ICMP socket: traceroute did not reach 10.161.4.2"

# The engine itself, one round with mixed TTLs: each probe must get its own answer, matched
# by identifier and sequence (the two TTL-1 probes get one each), natively and under wine64.
ROUND_PROBE=$BUILD/tests/icmp_round_probe
WIN=$(dirname "$BUILD")/windows-x64
printf '1 time-exceeded 10.161.1.1\n2 time-exceeded 10.161.2.2\n3 echo-reply 10.161.3.2\n1 time-exceeded 10.161.1.1\n3 no-answer -\n' \
    >"$WORK/round4.expected"
printf '2 time-exceeded fd16:2::2\n3 echo-reply fd16:3::2\n1 time-exceeded fd16:1::1\n' >"$WORK/round6.expected"
check_round() {
    local label=$1 expected=$2 out=$3
    echo "--- one round, $label"; cat "$out"
    cmp -s "$expected" "$out" || fail "one round, $label: expected $(tr '\n' '|' <"$expected")"
}
in_ns client "$ROUND_PROBE" 10.161.3.2 1 2 3 1 >"$WORK/round4.txt" 2>&1 || true
in_ns client "$ROUND_PROBE" 10.161.4.2 3 >>"$WORK/round4.txt" 2>&1 || true
check_round "Linux, IPv4" "$WORK/round4.expected" "$WORK/round4.txt"
in_ns client "$ROUND_PROBE" fd16:3::2 2 3 1 >"$WORK/round6.txt" 2>&1 || true
check_round "Linux, IPv6" "$WORK/round6.expected" "$WORK/round6.txt"
if [ -f "$WIN/tests/icmp_round_probe.exe" ]; then
    # Wine's server makes the sockets, so it starts inside the client's namespace; its
    # prefix is this test's own. Wine has no Icmp6CreateFile: IPv4 only.
    cat >"$WORK/wine_round.sh" <<WINE
. "$HERE/lib.sh"
trap e2e_cleanup EXIT
e2e_find_wine && e2e_stop_wine
e2e_wine "$WIN/icmp-wineprefix"
"\$E2E_WINE" "$WIN/tests/icmp_round_probe.exe" 10.161.3.2 1 2 3 1
"\$E2E_WINE" "$WIN/tests/icmp_round_probe.exe" 10.161.4.2 3
WINE
    in_ns client timeout 300 bash "$WORK/wine_round.sh" 2>/dev/null | tr -d '\r' >"$WORK/round4-wine.txt" || true
    check_round "Windows under wine64, IPv4" "$WORK/round4.expected" "$WORK/round4-wine.txt"
else
    echo "--- one round under wine64: skipped, no $WIN/tests/icmp_round_probe.exe"
fi

wait "$BACKGROUND" || true
BACKGROUND=
echo "--- host that drops ping"; cat "$WORK/shy.txt"
grep -Eq "$(hop_re 2 10.161.2.2)" "$WORK/shy.txt" || fail "drops ping: hop 2 is not 10.161.2.2"
grep -q '10\.161\.4\.2$' "$WORK/shy.txt" && fail "drops ping: the host looks reachable"
silent=$(grep -Ec '^ +[0-9]+( +\*){3} +Request timed out\.$' "$WORK/shy.txt" || true)
[ "$silent" -eq 28 ] || fail "drops ping: $silent silent hops, expected 28 (hops 3 to 30)"

[ "$failed" -eq 0 ] || exit 1
echo "ok"
