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
. "$HERE/lib.sh"
e2e_require_root gui_flood_check "it needs unshare -m -n"
e2e_enter_namespace 420 "$0" "$GIVEN_DIR"

PROBE=$BUILD_DIR/tests/gui_probe.exe
e2e_make_work tollvane-flood
WORK=$E2E_WORK
ART=$GIVEN_DIR/artifacts
mkdir -p "$ART" "$WORK/app"
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
PIDS=()
e2e_on_exit 'for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done'
fail() { echo "gui_flood_check: FAIL - $*"; exit 1; }
probe() { "$WINE" "$PROBE" "$@"; }
field() { probe state | sed -n "s/^$1=//p"; }
finished() { [ "$(field start_enabled)" = 1 ] && [ "$(field progress)" = 90 ]; }
kib() { sed -n "s/^$2:[[:space:]]*\([0-9]*\) kB/\1/p" "/proc/$1/status"; }

e2e_hosts "127.0.0.1 localhost" "127.0.0.1 $DOMAIN whois.internic.net 2018.ip138.com"
python3 "$HERE/hostile_peers.py" - - flood-peers >"$WORK/peers.out" 2>&1 &
PIDS+=($!)
e2e_wait_for 10 grep -q ready "$WORK/peers.out" || fail "the flooding peers did not start"
Xvfb -displayfd 9 -screen 0 1280x900x24 -nolisten tcp 9>"$WORK/display" 2>/dev/null &
PIDS+=($!)
e2e_wait_for 10 test -s "$WORK/display" || fail "Xvfb did not start"
export DISPLAY=:$(head -1 "$WORK/display")
e2e_wine "$BUILD_DIR/gui-wineprefix"
WINE=$E2E_WINE

cp "$BUILD_DIR/Tollvane.exe" "$WORK/app/"
cp "$BUILD_DIR/tests/flood_probe.exe" "$WORK/app/psping.exe"
(cd "$WORK" && exec "$WINE" "$WORK/app/Tollvane.exe") 2>/dev/null &
PIDS+=($!)
e2e_wait_for 60 probe state || fail "the main dialog did not appear"
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
e2e_wait_for 360 finished || fail "the run did not finish within 6 minutes"
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
