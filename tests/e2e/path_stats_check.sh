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
python3 - "$WORK/report.txt" "$ROUNDS" <<'PY' || status=$?
import re, sys, datetime
report = open(sys.argv[1], "rb").read().decode("gbk")
rounds = int(sys.argv[2])
failures = []
def check(ok, what):
    print(("ok - " if ok else "FAIL - ") + what)
    if not ok: failures.append(what)

step = re.search(r"\r\n第13步---路由逐跳统计：([ \d:-]{19})\r\n(.*?)\r\n \r\n\*{69}$", report, re.S)
check(step is not None, "the report ends with step 13, the path statistics")
if not step:
    print(report[-3000:]); sys.exit(1)
text = step.group(2)
print(text)
tables = re.split(r"\r\n(?=路由逐跳统计：)", text)
def hops(table):
    return [(int(m.group(1)), m.group(2), float(m.group(3)), int(m.group(4)), m.group(5))
            for m in re.finditer(r"^ *(\d+)\.  (\S+) +([\d.]+)% +(\d+)(?: +[\d.]+){5}  (\S+)\r?$", table, re.M)]
for family, table, wanted in (
        ("IPv4", tables[0], ["10.19.1.2", "10.19.2.2", "10.19.3.2", "10.19.4.2"]),
        ("IPv6", tables[1] if len(tables) > 1 else "", ["fd19:1::2", "fd19:2::2", "fd19:3::2", "fd19:4::2"])):
    target = wanted[-1]
    check(table.startswith(f"路由逐跳统计：path.test [{target}]，{rounds}轮，每轮间隔1秒\r\n"),
          f"{family}: the heading names the site, its address and the rounds")
    found = hops(table)
    check([h[1] for h in found] == wanted and [h[0] for h in found] == [1, 2, 3, 4],
          f"{family}: every hop in order, none past the server: {[h[1] for h in found]}")
    check(all(h[3] == rounds for h in found), f"{family}: every hop was probed in every round")
    check(all(h[4] == "局域网" for h in found), f"{family}: every hop is labelled as a local network")
    if len(found) == 4:
        check(found[0][2] == 0.0, f"{family}: no loss before the lossy router ({found[0][2]} %)")
        # 30 % of 40 probes: 12 expected, standard deviation 2.9; 4 to 22 is beyond 2.7 of them.
        check(all(10.0 <= h[2] <= 55.0 for h in found[1:]),
              f"{family}: loss on the lossy router and beyond it near 30 %: {[h[2] for h in found[1:]]}")
check(text.rstrip().endswith("请服务商在服务器上对本机公网IP执行：mtr -rwzbc100 198.51.100.7"),
      "the line for the other direction names the public address of step 2")
# Headers are stamped as each step ends: step 13 took the gap between the last two.
stamps = re.findall(r"\r\n第1[23]步---[^：]+：([ \d:-]{19})\r\n", report)
times = [datetime.datetime(*map(int, re.findall(r"\d+", s))) for s in stamps]
took = (times[1] - times[0]).total_seconds() if len(times) == 2 else -1
check(0 < took <= rounds + 5 + 1, f"the step ended within its rounds and slack: {took} s of {rounds + 5}")
sys.exit(1 if failures else 0)
PY
[ $status -eq 0 ] && echo "path_stats_check: all passed"
exit $status
