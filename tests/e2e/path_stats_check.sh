#!/usr/bin/env bash
# The path statistics step over a real route: the client behind three router namespaces,
# the second dropping 30 % of the echo requests it takes from the client's side
# (iptables -m statistic). A whole `tollvane --extended` run must list every hop in
# order, in the IPv4 and the IPv6 table, with loss on the lossy router and beyond it and
# none before it; it must hand support the public address the public address step found,
# and the step must end within its rounds and slack. The client runs as the program's
# users do: over ICMP datagram sockets. The report made a web page must chart the lossy
# router and every hop after it as marked, and load in Chromium without a single request,
# though the public address page slips an image of a loopback server into the report.
#
# Usage (as root): tests/e2e/path_stats_check.sh BUILD_DIR   (the folder of the preset builds)
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/lib.sh"
BUILD=$(cd "${1:?usage: path_stats_check.sh BUILD_DIR}" && pwd)
TOLLVANE=$BUILD/linux/tollvane
[ -x "$TOLLVANE" ] || { echo "path_stats_check: no $TOLLVANE (build linux first)" >&2; exit 2; }
e2e_require_root path_stats_check "it adds network namespaces"
e2e_enter_namespace --mount-only 600 "$0" "$@"

# ---- inside a private mount namespace, for the client's resolv.conf and hosts ----
NS_PREFIX=${NS_PREFIX:-h19-path}
# shellcheck source=lib/netns_path.sh
. "$HERE/lib/netns_path.sh"
# shellcheck source=lib.sh
. "$HERE/lib.sh"
ROUNDS=40
e2e_make_work path-stats-check
WORK=$E2E_WORK
pids=()
e2e_on_exit 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done'
e2e_on_exit ns_cleanup

# client -- r1 -- r2 (lossy) -- r3 -- server; link i is 10.19.i.0/24 and fd19:i::/64, the
# client's side .1, the server's side .2, so router i answers from 10.19.i.2.
hops=(client r1 r2 r3 server)
for ns in "${hops[@]}"; do
    ns_add $ns
    # Routers answer each probe, however fast the rounds follow each other.
    in_ns $ns sysctl -qw net.ipv4.icmp_ratelimit=0 net.ipv6.icmp.ratelimit=0
done
for i in 1 2 3 4; do
    ns_link "${hops[i - 1]}" "10.19.$i.1/24" "${hops[i]}" "10.19.$i.2/24" "fd19:$i::1/64" "fd19:$i::2/64"
done
for i in 1 2 3 4; do
    [ "$i" -lt 4 ] && ns_router "${hops[i]}"
    in_ns "${hops[i - 1]}" ip route add default via "10.19.$i.2"
    in_ns "${hops[i - 1]}" ip -6 route add default via "fd19:$i::2"
    for j in $(seq 1 $((i - 1))); do  # back towards the client
        in_ns "${hops[i]}" ip route add "10.19.$j.0/24" via "10.19.$i.1"
        in_ns "${hops[i]}" ip -6 route add "fd19:$j::/64" via "fd19:$i::1"
    done
done
in_ns server ip route add default via 10.19.4.1
in_ns server ip -6 route add default via fd19:4::1
# The program's users probe over ICMP datagram sockets.
in_ns client sysctl -qw net.ipv4.ping_group_range="0 2147483647"
# Links that have just come up lose their first neighbour solicitations: settle them.
for address in 10.19.4.2 fd19:4::2; do in_ns client ping -c 1 -W 3 "$address" >/dev/null 2>&1 || true; done
# Before routing, so the probes that end at the lossy router lose their share too (their
# TTL runs out before they would reach INPUT or FORWARD).
lossy_side=${NS_PREFIX:0:6}v2b
in_ns r2 iptables -t raw -A PREROUTING -i "$lossy_side" -p icmp --icmp-type echo-request \
    -m statistic --mode random --probability 0.3 -j DROP
in_ns r2 ip6tables -t raw -A PREROUTING -i "$lossy_side" -p ipv6-icmp --icmpv6-type echo-request \
    -m statistic --mode random --probability 0.3 -j DROP

# The site's name, and the public address page, both from loopback.
cat >"$WORK/dnsmasq.conf" <<CONF
listen-address=127.0.0.1
bind-interfaces
no-resolv
no-hosts
host-record=path.test,10.19.4.2,fd19:4::2,300
address=/2018.ip138.com/127.0.0.1
CONF
e2e_resolv "nameserver 127.0.0.1"
e2e_hosts "127.0.0.1 localhost"
# Started by ip netns exec itself, which becomes the program: $! is what to stop.
ip netns exec "$(ns_name client)" dnsmasq --keep-in-foreground --conf-file="$WORK/dnsmasq.conf" --pid-file="$WORK/dnsmasq.pid" &
pids+=($!)
ip netns exec "$(ns_name client)" python3 -c '
import http.server
page = "<html><body><center>您的IP是：[198.51.100.7] 来自：<img src=http://127.0.0.1:8089/leak.png>测试</center></body></html>\r\n".encode("gbk")
class H(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200); self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(page))); self.end_headers(); self.wfile.write(page)
    def log_message(self, *a): pass
http.server.HTTPServer(("127.0.0.1", 80), H).serve_forever()' &
pids+=($!)
sleep 1

# The report as a web page, read by Chromium in the client's namespace, where a loopback
# server notes any request the page might make.
check_web_page() {
    echo "--- tollvane --convert report.txt -o report.html, and Chromium loading it"
    "$TOLLVANE" --convert "$WORK/report.txt" -o "$WORK/report.html" || { echo "FAIL - no web page"; return 1; }
    local failed=0
    python3 "$HERE/path_table_check.py" html "$WORK/report.html" || failed=1
    : >"$WORK/requests"
    ip netns exec "$(ns_name client)" python3 -c '
import http.server, sys
class H(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        open(sys.argv[1], "a").write(self.path + "\n"); self.send_response(404); self.end_headers()
    def log_message(self, *a): pass
http.server.HTTPServer(("127.0.0.1", 8089), H).serve_forever()' "$WORK/requests" &
    pids+=($!)
    command -v chromium >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq chromium >/dev/null
    browse() {
        in_ns client timeout 90 chromium --headless --no-sandbox --disable-gpu --disable-background-networking \
            --user-data-dir="$WORK/chromium" "$@" "file://$WORK/report.html" 2>>"$WORK/chromium.log"
    }
    browse --dump-dom >"$WORK/dom.html" || true
    browse --window-size=900,1600 --screenshot="$WORK/report.png" --log-net-log="$WORK/netlog.json" >/dev/null || true
    local red colours
    red=$(e2e_pixels_of "$WORK/report.png" '#D62020' 2>/dev/null || echo 0)
    colours=$(e2e_colours "$WORK/report.png" 2>/dev/null || echo 0)
    if grep -q '<svg' "$WORK/dom.html" && grep -q 'class="report"' "$WORK/dom.html" && ! grep -q '<img' "$WORK/dom.html"; then
        echo "ok - Chromium reads the page: the chart and the report text, no image element"
    else
        echo "FAIL - Chromium's document: $(head -c 300 "$WORK/dom.html")"; failed=1
    fi
    if [ -s "$WORK/netlog.json" ] && [ ! -s "$WORK/requests" ] && ! grep -q '127.0.0.1:8089' "$WORK/netlog.json"; then
        echo "ok - the page loaded without a request: none reached the loopback server, none in the net log"
    else
        echo "FAIL - the page made a request: $(cat "$WORK/requests") (net log $(stat -c %s "$WORK/netlog.json" 2>&1))"; failed=1
    fi
    if [ "$red" -gt 300 ] && [ "$colours" -gt 50 ]; then
        echo "ok - the page's picture is drawn, the marked hops in red ($red red pixels, $colours colours)"
    else
        echo "FAIL - the page's picture: $red red pixels, $colours colours"; failed=1
    fi
    cp "$WORK/report.html" "$WORK/report.png" "$BUILD/" 2>/dev/null || true
    return $failed
}

echo "--- tollvane --extended --path-rounds $ROUNDS path.test"
start=$(date +%s)
in_ns client timeout 400 "$TOLLVANE" --extended --path-rounds "$ROUNDS" -o "$WORK/report.txt" path.test \
    >/dev/null 2>"$WORK/stderr" || true
echo "the run took $(($(date +%s) - start)) s"
tr -d '\r' <"$WORK/report.txt" | iconv -f GBK -t UTF-8 | grep -a "^第[0-9]*步" || true
status=0
python3 "$HERE/path_table_check.py" report "$WORK/report.txt" "$ROUNDS" || status=1
check_web_page || status=1

WIN=$BUILD/windows-x64
e2e_find_wine
if [ -f "$WIN/tests/path_probe.exe" ] && [ -x "$E2E_WINE" ]; then
    echo "--- the step alone under wine64: path_probe.exe path.test $ROUNDS"
    # Wine's server makes the sockets, so it starts inside the client's namespace; the
    # prefix is this check's own. Wine has no Icmp6CreateFile: its IPv6 part may say so.
    cat >"$WORK/wine_path.sh" <<WINE
. "$HERE/lib.sh"
trap e2e_cleanup EXIT
e2e_find_wine && e2e_stop_wine
e2e_wine "$WIN/path-wineprefix"
timeout 300 "\$E2E_WINE" "$WIN/tests/path_probe.exe" path.test $ROUNDS 198.51.100.7 >"$WORK/wine.txt" 2>/dev/null
WINE
    in_ns client bash "$WORK/wine_path.sh" || true
    python3 "$HERE/path_table_check.py" probe "$WORK/wine.txt" "$ROUNDS" v4only || status=1
else
    echo "skip - no $WIN/tests/path_probe.exe or wine64"
fi
[ $status -eq 0 ] && echo "path_stats_check: all passed"
exit $status
