#!/bin/bash
# Step 2's cross-check and the egress and environment steps against peers in a private
# network and mount namespace: the public resolvers' addresses (223.5.5.5 ...) and the
# site's sit on a veth adapter of the namespace, where a python DNS peer answers on
# them; dnsmasq on 127.0.0.1 is the system's DNS server (bind-mounted resolv.conf) and
# points the address page and services at python HTTP peers on loopback; a TUN device
# carries one site's route. tests/e2e/egress_cases.py holds the cases, run through
# build/linux/tests/egress_probe and, when built, the windows-x64 one under wine64 (with
# WinINet's proxy set in the prefix's registry and the hosts entry in its hosts file).
# Then one whole `tollvane --extended` run.
#
# Usage (as root): tests/e2e/egress_check.sh BUILD_DIR   (the folder of the preset builds)
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
BUILD=$(cd "$1" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/lib.sh"
PROBE=$BUILD/linux/tests/egress_probe
[ -x "$PROBE" ] || { echo "egress_check: no $PROBE (build linux first)" >&2; exit 2; }
e2e_require_root egress_check "it needs unshare -m -n"
e2e_enter_namespace 900 "$0" "$@"

# ---- inside the private mount and network namespace ----
e2e_make_work egress-check
WORK=$E2E_WORK
WIN=$BUILD/windows-x64
pids=()
e2e_on_exit 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done'

# The adapters are read from sysfs, which shows the namespace of whoever mounted it.
mount -t sysfs sysfs /sys
ip link add eg0 type veth peer name eg1
ip link set eg1 up
for address in 223.5.5.5 119.29.29.29 114.114.114.114 8.8.8.8 208.67.222.222 93.184.216.34; do
    ip addr add "$address/32" dev eg0
done
ip -6 addr add 2001:db8:e::1/64 dev eg0 nodad
ip -6 addr add 2001:db8:e::6/128 dev eg0 nodad
ip link set eg0 up
ip route add default dev eg0
ip tuntap add dev h20tun mode tun
ip link set h20tun up
ip route add 93.184.216.77/32 dev h20tun

cat >"$WORK/dnsmasq.conf" <<CONF
no-resolv
no-hosts
listen-address=127.0.0.1
bind-interfaces
address=/2018.ip138.com/127.0.0.10
address=/myip.ipip.net/127.0.0.11
address=/4.ipw.cn/127.0.0.12
address=/ddns.oray.com/127.0.0.13
address=/6.ipw.cn/2001:db8:e::6
address=/whoami.akamai.net/203.0.113.53
address=/alike.test/93.184.216.34
address=/differ.test/93.184.216.34
address=/fakeip.test/198.18.0.7
address=/nx.test/
address=/plain.test/93.184.216.34
address=/tun.test/93.184.216.77
CONF
e2e_resolv "nameserver 127.0.0.1"
e2e_hosts "127.0.0.1 localhost" "93.184.216.34 hosts.test www.hosts.test # pinned"

dnsmasq --keep-in-foreground --conf-file="$WORK/dnsmasq.conf" --pid-file="$WORK/dnsmasq.pid" &
pids+=($!)
python3 "$HERE/egress_peers.py" dns "$WORK" &
pids+=($!)
python3 "$HERE/egress_peers.py" http "$WORK" &
pids+=($!)
sleep 1

failed=0
echo "--- Linux backends"
python3 "$HERE/egress_cases.py" "$WORK" linux -- "$PROBE" || failed=1

if [ -f "$WIN/tests/egress_probe.exe" ]; then e2e_wine "$WIN/egress-wineprefix"; else e2e_find_wine; fi
WINE=$E2E_WINE
if [ -f "$WIN/tests/egress_probe.exe" ] && [ -x "$WINE" ]; then
    echo "--- Windows backends under wine64"
    "$WINE" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings' /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null 2>&1
    "$WINE" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings' /v ProxyServer /t REG_SZ /d 127.0.0.1:7890 /f >/dev/null 2>&1
    "$WINE" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings' /v ProxyOverride /t REG_SZ /d '<local>' /f >/dev/null 2>&1
    cp "$WORK/hosts" "$WINEPREFIX/drive_c/windows/system32/drivers/etc/hosts"
    # The environment case first, while the proxy is set; WinINet would send the address
    # cases' requests to it, so they run once it is off.
    python3 "$HERE/egress_cases.py" "$WORK" win-local -- "$WINE" "$WIN/tests/egress_probe.exe" || failed=1
    "$WINE" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings' /v ProxyEnable /t REG_DWORD /d 0 /f >/dev/null 2>&1
    python3 "$HERE/egress_cases.py" "$WORK" win-net -- "$WINE" "$WIN/tests/egress_probe.exe" || failed=1
else
    echo "skip - no $WIN/tests/egress_probe.exe or wine64"
fi
echo "--- a whole tollvane --extended run"
if [ -x "$BUILD/linux/tollvane" ]; then
    rm -f "$WORK/clock-offset"
    python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); import egress_cases as c; c.set_peers(sys.argv[2], "198.51.100.7")' "$HERE" "$WORK"
    timeout 600 env -u http_proxy -u https_proxy -u all_proxy -u HTTP_PROXY -u HTTPS_PROXY -u ALL_PROXY \
        "$BUILD/linux/tollvane" --extended -o "$WORK/report.txt" alike.test >/dev/null 2>&1 || true
    python3 - "$WORK/report.txt" <<'PY' || failed=1
import re, sys
report = open(sys.argv[1], "rb").read().decode("gbk")
stars = "\r\n \r\n" + "*" * 69
header = r"\r\n第(\d+)步---{}：[ \d:-]{{19}}\r\n"
wanted = [
    # The services confirm the page: step 2 is the page's line alone, as without them.
    header.format("获取公网IP") + re.escape("您的IP是：[198.51.100.7] 来自：测试" + stars),
    header.format("出口IP与DNS") + r"公网IPv4地址：\r\n(.*\r\n)*各DNS服务器的解析结果一致\r\n" + re.escape(stars),
    header.format("代理与本机网络环境") + r"代理设置：\r\n  未设置代理\r\n(.*\r\n)*本机时间与服务器相差不超过60秒\r\n" + re.escape(stars),
]
missing = [w for w in wanted if not re.search(w, report)]
steps = len(re.findall(r"\r\n第\d+步---", report))
ok = not missing and report.endswith(stars) and report.count("*" * 69) == steps
print("ok - the report has the verified step 2 and the egress and environment steps" if ok
      else f"FAIL - report lacks {missing}:\n{report[-4000:]}")
sys.exit(0 if ok else 1)
PY
fi
[ $failed -eq 0 ] && echo "egress_check: all passed"
exit $failed
