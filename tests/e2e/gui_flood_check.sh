#!/bin/bash
# Peak memory of Tollvane.exe in a real window (wine64, Xvfb) during a run in which psping
# and every peer send without end: the whois server and the address page flood their
# answers, the site its header block, and psping.exe beside the program is a program that
# prints without end. The run must end with capped steps and step 9 failed for headers too
# long, the program's peak resident memory must grow by less than 64 MiB over the idle
# window's, and no process of the run may be left once it has ended.
#
# Usage, as root: tests/e2e/gui_flood_check.sh BUILD_DIR (a windows-x64 build, or build/)
set -euo pipefail

GIVEN_DIR=$(cd "$1" && pwd)
BUILD_DIR=$GIVEN_DIR
[ -f "$BUILD_DIR/Tollvane.exe" ] || BUILD_DIR=$GIVEN_DIR/windows-x64
HERE=$(cd "$(dirname "$0")" && pwd)
DOMAIN=www.flood.com
if [ -z "${GUI_FLOOD_IN_NAMESPACE:-}" ]; then
    [ "$(id -u)" = 0 ] || { echo "gui_flood_check: must run as root" >&2; exit 2; }
    export GUI_FLOOD_IN_NAMESPACE=1
    exec timeout --kill-after=10 420 unshare -m -n "$0" "$GIVEN_DIR"
fi

WINE=/usr/lib/wine/wine64
[ -x "$WINE" ] || WINE=$(command -v wine64)
PROBE=$BUILD_DIR/tests/gui_probe.exe
WORK=$(mktemp -d /tmp/tollvane-flood.XXXXXX)
ART=$GIVEN_DIR/artifacts
mkdir -p "$ART" "$WORK/app"
export WINEPREFIX=$BUILD_DIR/gui-wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
PIDS=()
cleanup() {
    "${WINE%64}server" -k 2>/dev/null || true
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "gui_flood_check: FAIL - $*"; exit 1; }
wait_for() {
    local end=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.5
    done
}
probe() { "$WINE" "$PROBE" "$@"; }
field() { probe state | sed -n "s/^$1=//p"; }
finished() { [ "$(field start_enabled)" = 1 ] && [ "$(field progress)" = 90 ]; }
kib() { sed -n "s/^$2:[[:space:]]*\([0-9]*\) kB/\1/p" "/proc/$1/status"; }

ip link set lo up
printf '127.0.0.1 localhost\n127.0.0.1 %s whois.internic.net 2018.ip138.com\n' "$DOMAIN" >"$WORK/hosts"
mount --bind "$WORK/hosts" /etc/hosts
python3 "$HERE/hostile_peers.py" - - flood-peers >"$WORK/peers.out" 2>&1 &
PIDS+=($!)
wait_for 10 grep -q ready "$WORK/peers.out" || fail "the flooding peers did not start"
Xvfb -displayfd 9 -screen 0 1280x900x24 -nolisten tcp 9>"$WORK/display" 2>/dev/null &
PIDS+=($!)
wait_for 10 test -s "$WORK/display" || fail "Xvfb did not start"
export DISPLAY=:$(head -1 "$WORK/display")
[ -f "$WINEPREFIX/system.reg" ] || "$WINE" wineboot -i >/dev/null 2>&1

cp "$BUILD_DIR/Tollvane.exe" "$WORK/app/"
cp "$BUILD_DIR/tests/flood_probe.exe" "$WORK/app/psping.exe"
(cd "$WORK" && exec "$WINE" "$WORK/app/Tollvane.exe") 2>/dev/null &
PIDS+=($!)
wait_for 60 probe state || fail "the main dialog did not appear"
APP=$(pgrep -f 'app/Tollvane.exe' | head -1)
[ -n "$APP" ] || fail "no process for Tollvane.exe"
idle=$(kib "$APP" VmRSS)

xdotool mousemove $(probe where 1000) click 1
xdotool type --delay 15 "$DOMAIN"
xdotool key Return
started=$SECONDS
if [ -n "${GUI_FLOOD_TRACE:-}" ]; then
    (while kill -0 "$APP" 2>/dev/null; do
        echo "$((SECONDS - started)) s: $(kib "$APP" VmRSS) KiB, step $(probe report | grep -ac "$(printf '\xb5\xda')")"
        sleep 3
    done) &
    PIDS+=($!)
fi
wait_for 360 finished || fail "the run did not finish within 6 minutes"
[ -z "${GUI_FLOOD_TRACE:-}" ] || sleep 12
peak=$(kib "$APP" VmHWM)
probe report >"$WORK/report.bin"
bytes=$(stat -c %s "$WORK/report.bin")
echo "gui_flood_check: run took $((SECONDS - started)) s; resident memory idle ${idle} KiB," \
     "peak ${peak} KiB (+$(((peak - idle) / 1024)) MiB); report ${bytes} bytes"
import -window root "$ART/flood_run.png" 2>/dev/null || true

[ $((peak - idle)) -lt $((64 * 1024)) ] || fail "peak memory grew by $(((peak - idle) / 1024)) MiB"
[ "$bytes" -lt $((8 * 1024 * 1024)) ] || fail "the report grew to $bytes bytes"
notice=$(printf '（命令输出超过1MB，其余部分已省略）' | iconv -f UTF-8 -t GBK)
[ "$(grep -caF "$notice" "$WORK/report.bin")" -ge 2 ] || fail "steps 5 and 6 were not capped"
too_long=$(printf '无法访问网站http://%s：应答头过长' "$DOMAIN" | iconv -f UTF-8 -t GBK)
grep -qaF "$too_long" "$WORK/report.bin" || fail "step 9 does not say the header block was too long"
# The program itself is the only Windows process of the run left: no exchange process and
# no psping outlive their steps.
sleep 3
left=$(pgrep -fa 'Tollvane.exe|psping.exe' | grep -v "^$APP " || true)
[ -z "$left" ] || fail "processes left after the run: $left"
echo "gui_flood_check: ok"
