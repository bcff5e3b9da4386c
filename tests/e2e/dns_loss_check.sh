#!/bin/bash
# The ping, tracert and psping stand-ins behind a DNS server that loses the first try of
# every query must still find the name: the resolver sends it again after its 5 s
# timeout, and the stand-ins wait as long as tollvane's own lookups (10 s). Behind a DNS
# server that never answers they must say the lookup timed out, never that the name
# does not exist. Also measures psping's worst case with ten probes: a lookup answered
# late, then a port that swallows every connect, inside its 40 s limit.
#
# The DNS server is dnsmasq in a namespace of its own; an iptables "recent" rule there
# drops the first datagram it sees from the client, and the list is emptied before
# each program runs, so each one loses its first query.
#
# Usage (as root): tests/e2e/dns_loss_check.sh BUILD_DIR   (build/linux, or build)
set -euo pipefail

BUILD=$(cd "$1" && pwd)
[ -x "$BUILD/psping" ] || BUILD=$BUILD/linux
[ -x "$BUILD/psping" ] || { echo "no stand-ins in $BUILD" >&2; exit 2; }
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/lib.sh"
e2e_require_root dns_loss_check "it adds network namespaces"
command -v dnsmasq >/dev/null || { echo "dnsmasq is not installed (Debian package dnsmasq-base)" >&2; exit 2; }
NS_PREFIX=${NS_PREFIX:-tv-dns}
# shellcheck source=lib/netns_path.sh
. "$HERE/lib/netns_path.sh"

e2e_make_work dns-loss-check
WORK=$E2E_WORK
e2e_on_exit '[ -f "$WORK/dnsmasq.pid" ] && kill "$(cat "$WORK/dnsmasq.pid")" 2>/dev/null'
e2e_on_exit ns_cleanup

NAME=site.lossy-dns.test
SERVER=10.162.0.1
ns_add client
ns_add server
ns_link client 10.162.0.2/24 server $SERVER/24
printf 'nameserver %s\n' $SERVER >"$WORK/resolv.conf"
# The resolver's retry just inside the lookup limit: the latest a lookup can succeed.
printf 'nameserver %s\noptions timeout:9 attempts:2\n' $SERVER >"$WORK/resolv-late.conf"
in_ns server dnsmasq --conf-file=/dev/null --no-resolv --no-hosts --bind-interfaces \
    --listen-address=$SERVER --address=/$NAME/$SERVER --pid-file="$WORK/dnsmasq.pid" \
    --log-queries --log-facility="$WORK/dnsmasq.log"
in_ns server iptables -A INPUT -p udp --dport 53 -m recent --name tvdnsloss --rcheck --seconds 60 -j ACCEPT
in_ns server iptables -A INPUT -p udp --dport 53 -m recent --name tvdnsloss --set -j DROP
in_ns server iptables -A INPUT -p tcp --dport 9 -j DROP

failed=0
fail() { echo "FAIL: $*"; failed=1; }
lost_queries() { in_ns server iptables -L INPUT -v -x -n | awk '/recent: SET/ {print $1}'; }
# Runs a stand-in in the client with RESOLV as its resolv.conf, after the server has
# forgotten the client (so its first query is lost); the output lands in OUT, the
# seconds it took in OUT.seconds.
run_client() {
    local resolv=$1 out=$2
    shift 2
    in_ns server sh -c 'echo / >/proc/net/xt_recent/tvdnsloss'
    local start
    start=$(date +%s%N)
    in_ns client unshare -m sh -c 'mount --bind "$0" /etc/resolv.conf && exec "$@"' \
        "$resolv" "$@" >"$out" 2>&1 || true
    echo "$(( ($(date +%s%N) - start) / 1000000 ))" | awk '{printf "%.1f\n", $1 / 1000}' >"$out.seconds"
}
# The first try of the lookup was lost, and the program still found the name.
check_found() {
    local label=$1 out=$2 expected=$3 before=$4
    echo "--- $label ($(cat "$out.seconds") s)"; cat "$out"
    [ "$(lost_queries)" -gt "$before" ] || fail "$label: no query was dropped, the test proves nothing"
    grep -qF -- "$expected" "$out" || fail "$label: no \"$expected\""
}

before=$(lost_queries)
run_client "$WORK/resolv.conf" "$WORK/ping.txt" "$BUILD/ping" $NAME
check_found "ping, first query lost" "$WORK/ping.txt" "Reply from $SERVER: bytes=32" "$before"
grep -qF "Pinging $NAME [$SERVER] with 32 bytes of data:" "$WORK/ping.txt" || fail "ping: no heading with the name"

before=$(lost_queries)
run_client "$WORK/resolv.conf" "$WORK/tracert.txt" "$BUILD/tracert" -d $NAME
check_found "tracert, first query lost" "$WORK/tracert.txt" "Trace complete." "$before"
grep -qF "Tracing route to $NAME [$SERVER]" "$WORK/tracert.txt" || fail "tracert: no heading with the name"

before=$(lost_queries)
run_client "$WORK/resolv.conf" "$WORK/psping.txt" "$BUILD/psping" /accepteula -n 2 $NAME:53
check_found "psping, first query lost" "$WORK/psping.txt" "Sent = 2, Received = 2, Lost = 0" "$before"

# psping's worst case with the ten probes tollvane asks for: the answer after 9 s,
# then the warmup and ten connects that all time out.
before=$(lost_queries)
run_client "$WORK/resolv-late.conf" "$WORK/psping-worst.txt" "$BUILD/psping" /accepteula -n 10 $NAME:9
check_found "psping, late answer and a silent port" "$WORK/psping-worst.txt" \
    "Sent = 10, Received = 0, Lost = 10 (100% loss)" "$before"
worst=$(cat "$WORK/psping-worst.txt.seconds")
echo "psping worst case measured: ${worst} s (limit 40 s)"
awk -v s="$worst" 'BEGIN { exit !(s < 40) }' || fail "psping took ${worst} s, not inside its 40 s limit"

# A DNS server that never answers: the three at once, each must say it timed out.
in_ns server iptables -I INPUT -p udp --dport 53 -j DROP
run_client "$WORK/resolv.conf" "$WORK/ping-silent.txt" "$BUILD/ping" $NAME &
run_client "$WORK/resolv.conf" "$WORK/tracert-silent.txt" "$BUILD/tracert" -d $NAME &
run_client "$WORK/resolv.conf" "$WORK/psping-silent.txt" "$BUILD/psping" /accepteula -n 10 $NAME:53 &
wait
for tool in ping tracert psping; do
    out=$WORK/$tool-silent.txt
    echo "--- $tool, DNS silent ($(cat "$out.seconds") s)"; cat "$out"
    grep -qF "$NAME: the name lookup timed out (" "$out" || fail "$tool: does not say the lookup timed out"
    grep -qiE "could not find|unknown|not known|does not exist" "$out" && fail "$tool: calls the name unknown"
    awk -v s="$(cat "$out.seconds")" 'BEGIN { exit !(s <= 12) }' || fail "$tool: took more than 12 s"
done

[ "$failed" -eq 0 ] || { echo "--- dnsmasq log"; cat "$WORK/dnsmasq.log" || true; exit 1; }
echo "ok"
