#!/usr/bin/env bash
# The path statistics step over a real route: the client behind three router namespaces,
# the second dropping 30 % of the echo requests it takes from the client's side
# (iptables -m statistic). A whole `tollvane --extended` run must list every hop in
# order, in the IPv4 and the IPv6 table, with loss on the lossy router and beyond it and
# none before it; it must hand support the public address the public address step found,
# and the step must end within its rounds and slack. The client runs as the program's
# users do: over ICMP datagram sockets.
#
# Usage (as root): tests/e2e/path_stats_check.sh BUILD_DIR   (the folder of the preset builds)
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
BUILD=$(cd "${1:?usage: path_stats_check.sh BUILD_DIR}" && pwd)
TOLLVANE=$BUILD/linux/tollvane
[ -x "$TOLLVANE" ] || { echo "path_stats_check: no $TOLLVANE (build linux first)" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "path_stats_check: run as root (it needs unshare -m -n)" >&2; exit 2; }

if [ -z "${PATH_STATS_CHECK_INSIDE:-}" ]; then
    export PATH_STATS_CHECK_INSIDE=1
    exec timeout --kill-after=10 600 unshare -m -n "$0" "$@"
fi

# ---- inside the private mount and network namespace: this is the client ----
. "$HERE/router_chain.sh"
PREFIX=h19-path
ROUTERS=3
ROUNDS=40
WORK=$(mktemp -d /tmp/path-stats-check.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    chain_down "$PREFIX" "$ROUTERS"
    rm -rf "$WORK"
}
trap cleanup EXIT

chain_up "$PREFIX" "$ROUTERS"
sysctl -qw net.ipv4.ping_group_range="0 2147483647"
LOSSY=$PREFIX-r2
for tables in iptables ip6tables; do
    [ $tables = iptables ] && match="-p icmp --icmp-type echo-request" ||
        match="-p ipv6-icmp --icmpv6-type echo-request"
    # Before routing, so the probes that end at this router lose their share too (their
    # TTL runs out before they would reach INPUT or FORWARD).
    # shellcheck disable=SC2086
    ip netns exec "$LOSSY" $tables -t raw -A PREROUTING -i l2b $match \
        -m statistic --mode random --probability 0.3 -j DROP
done

# The site's name, and the public address page, both from loopback.
cat >"$WORK/dnsmasq.conf" <<CONF
listen-address=127.0.0.1
bind-interfaces
no-resolv
no-hosts
host-record=path.test,10.19.4.2,fd19:4::2,300
address=/2018.ip138.com/127.0.0.1
CONF
printf 'nameserver 127.0.0.1\n' >"$WORK/resolv.conf"
mount --bind "$WORK/resolv.conf" /etc/resolv.conf
printf '127.0.0.1 localhost\n' >"$WORK/hosts"
mount --bind "$WORK/hosts" /etc/hosts
dnsmasq --keep-in-foreground --conf-file="$WORK/dnsmasq.conf" --pid-file="$WORK/dnsmasq.pid" &
pids+=($!)
python3 -c '
import http.server
page = "<html><body><center>您的IP是：[198.51.100.7] 来自：测试</center></body></html>\r\n".encode("gbk")
class H(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200); self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(page))); self.end_headers(); self.wfile.write(page)
    def log_message(self, *a): pass
http.server.HTTPServer(("127.0.0.1", 80), H).serve_forever()' &
pids+=($!)
sleep 1

echo "--- tollvane --extended --path-rounds $ROUNDS path.test"
start=$(date +%s)
timeout 400 "$TOLLVANE" --extended --path-rounds "$ROUNDS" -o "$WORK/report.txt" path.test \
    >/dev/null 2>"$WORK/stderr" || true
echo "the run took $(($(date +%s) - start)) s"
tr -d '\r' <"$WORK/report.txt" | iconv -f GBK -t UTF-8 | grep -a "^第[0-9]*步" || true
status=0
python3 "$HERE/path_table_check.py" report "$WORK/report.txt" "$ROUNDS" || status=1

WIN=$BUILD/windows-x64
WINE=/usr/lib/wine/wine64
[ -x "$WINE" ] || WINE=$(command -v wine64 || true)
if [ -f "$WIN/tests/path_probe.exe" ] && [ -x "$WINE" ]; then
    echo "--- the step alone under wine64: path_probe.exe path.test $ROUNDS"
    export WINEPREFIX=${WINEPREFIX:-$WIN/path-wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    # Wine has no Icmp6CreateFile: its IPv6 part may say so in one line.
    timeout 300 "$WINE" "$WIN/tests/path_probe.exe" path.test "$ROUNDS" 198.51.100.7 \
        >"$WORK/wine.txt" 2>/dev/null || true
    "${WINE%64}server" -k 2>/dev/null || true
    python3 "$HERE/path_table_check.py" probe "$WORK/wine.txt" "$ROUNDS" v4only || status=1
else
    echo "skip - no $WIN/tests/path_probe.exe or wine64"
fi
[ $status -eq 0 ] && echo "path_stats_check: all passed"
exit $status
