#!/bin/bash
# Drives Tollvane.exe in a real window: wine64 on a private Xvfb display, inside a
# private network namespace whose only peers are loopback servers started here. It
# types and clicks like a user and checks what the window shows and what save-as writes,
# a redacted save and its preview, the findings under the report and the path chart
# beside them, and a saved report
# opened with 打开报告….
#
# Usage, as root: tests/e2e/gui_check.sh BUILD_DIR
# BUILD_DIR is a windows-x64 build, or the folder of the preset builds (build), whose
# windows-x64 build is then used. Leaves BUILD_DIR/artifacts/finished_run.png, the
# saved reports, the idle window at 96, 120, 144 and 192 DPI (dialog_*dpi.png), the
# path chart of the ticked run and of a lossy report at 96 and 192 DPI (chart_*.png) and a
# log behind. The X display is picked by Xvfb itself, so parallel runs do not collide.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
GIVEN_DIR=$(cd "$1" && pwd)
BUILD_DIR=$GIVEN_DIR
if [ ! -f "$BUILD_DIR/Tollvane.exe" ] && [ -f "$BUILD_DIR/windows-x64/Tollvane.exe" ]; then
    BUILD_DIR=$BUILD_DIR/windows-x64
fi
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$HERE/lib.sh"
DOMAIN=www.tollvane-test.com

ensure_tools() {
    local need=()
    command -v Xvfb >/dev/null || need+=(xvfb)
    command -v xdotool >/dev/null || need+=(xdotool)
    [ -x /usr/bin/import ] || need+=(imagemagick)
    command -v localedef >/dev/null && [ -d /usr/share/i18n/locales ] || need+=(locales)
    # grep without -q: with pipefail, an early exit would fail the pipe through SIGPIPE.
    fc-list 2>/dev/null | grep -i "WenQuanYi Micro Hei" >/dev/null || need+=(fonts-wqy-microhei)
    [ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null || need+=(wine64)
    if [ ${#need[@]} -gt 0 ]; then
        echo "gui_check: installing ${need[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
    fi
    if ! locale -a 2>/dev/null | grep -ix 'zh_CN.utf8' >/dev/null; then
        localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
    fi
}

if ! e2e_in_namespace "$0"; then
    e2e_require_root gui_check "it needs unshare -m -n"
    ensure_tools
fi
e2e_enter_namespace 600 "$0" "$GIVEN_DIR"

# ---- inside the private mount and network namespace from here on ----

EXE=$BUILD_DIR/Tollvane.exe
PROBE=$BUILD_DIR/tests/gui_probe.exe
ART=$GIVEN_DIR/artifacts
for file in "$EXE" "$PROBE"; do
    [ -f "$file" ] || { echo "gui_check: missing $file (build the windows-x64 preset first)" >&2; exit 2; }
done
mkdir -p "$ART"
OWN_FILES="empty_report.txt saved_report.txt replaced_report.txt partial_report.txt reopened_report.txt report_run1.bin
redaction_preview.bin redacted_report.txt
report_run2.bin report_run3_partial.bin finished_run.png running.png close_question.png failure.png
dialog_96dpi.png dialog_120dpi.png dialog_144dpi.png dialog_192dpi.png chart_loopback.png chart_96dpi.png
chart_192dpi.png report.html"
for file in $OWN_FILES; do rm -f "$ART/$file"; done
e2e_make_work tollvane-gui
WORK=$E2E_WORK
LOG=$ART/gui_check.log
: >"$LOG"

PASSED=0
FAILED=0
PEERS_PID=""
XVFB_PID=""
APP_PID=""

export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
e2e_on_exit '[ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null'
e2e_on_exit '[ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null'
e2e_on_exit '[ -n "$PEERS_PID" ] && kill "$PEERS_PID" 2>/dev/null'

note() { echo "gui_check: $*" | tee -a "$LOG"; }
pass() { PASSED=$((PASSED + 1)); note "ok - $*"; }
fail() { FAILED=$((FAILED + 1)); note "FAIL - $*"; }
check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@" >>"$LOG" 2>&1; then pass "$what"; else fail "$what"; fi
}
die() {
    fail "$*"
    import -window root "$ART/failure.png" 2>/dev/null || true
    note "$PASSED passed, $FAILED failed"
    exit 1
}

probe() { "$WINE" "$PROBE" "$@"; }
# The dialog's state, read once: snapshot, then field NAME for each value.
snapshot() { probe state | iconv -f GBK -t UTF-8 >"$WORK/state"; }
field() { sed -n "s/^$1=//p" "$WORK/state"; }
state_of() { snapshot && field "$1"; }
# "start/status/report bytes/progress" in one read.
idle_summary() { snapshot && echo "$(field start_enabled)/$(field status)/$(field report_bytes)/$(field progress)"; }
running() { [ "$(state_of start_enabled)" = 0 ]; }
alive_without_box() { app_alive && [ "$(state_of box_open)" = 0 ]; }
alive_and_running() { app_alive && running; }
app_gone() { ! app_alive; }
ping_child_gone() { ! pgrep -f "ping.*$DOMAIN"; }
message_text() { probe message 2>/dev/null | iconv -f GBK -t UTF-8; }
report_has() { probe report | iconv -f GBK -t UTF-8 | grep -- "$1" >/dev/null; }
app_alive() { kill -0 "$APP_PID" 2>/dev/null; }
win_path() { printf 'Z:%s' "${1//\//\\}"; }

# The running notice, alone or with the step in progress: "正在检测...请勿关闭窗口！ 第5步 检测FTP（21）端口 8秒".
status_is_running_notice() {
    [[ "$1" =~ ^正在检测\.\.\.请勿关闭窗口！(\ 第[1-9]步\ [^\ ]+\ [0-9]+秒)?$ ]]
}
# Every status read during the run ("SECONDS STATUS" lines) is the notice (or, last,
# 检测完成); step 5 (psping,
# ten seconds) was seen with its name and at least three different seconds, the highest
# at least 3, and no step's seconds ran ahead of the clock.
status_samples_follow_steps() {
    python3 - "$WORK/statuses" <<'PY'
import re, sys
pattern = re.compile(r"正在检测\.\.\.请勿关闭窗口！(?: 第(\d)步 (\S+) (\d+)秒)?")
names = {5: "检测FTP（21）端口", 6: "检测HTTP（80）端口", 7: "Ping命令", 8: "Tracert命令"}
seen, first = {}, {}
for line in open(sys.argv[1], encoding="utf-8"):
    moment, _, status = line.rstrip("\n").partition(" ")
    if status in ("检测完成", ""):  # read as the completion box came up, or not read
        continue
    match = pattern.fullmatch(status)
    if not match:
        sys.exit("not the running notice: %r" % status)
    if match.group(1):
        step, seconds = int(match.group(1)), int(match.group(3))
        if step in names and match.group(2) != names[step]:
            sys.exit("step %d named %r" % (step, match.group(2)))
        first.setdefault(step, int(moment) - seconds)
        if seconds > int(moment) - first[step] + 2:
            sys.exit("step %d shows %d s ahead of the clock" % (step, seconds))
        seen.setdefault(step, set()).add(seconds)
ftp = seen.get(5, set())
if len(ftp) < 3 or max(ftp) < 3:
    sys.exit("step 5 was seen with seconds %s only; steps seen %s" % (sorted(ftp), sorted(seen)))
PY
}

# Polls the command every 0.3 s until it succeeds; false after the seconds given.

click_at() { xdotool mousemove "$1" "$2" click 1; }
click_control() { click_at $(probe where "$1"); }
click_box_button() { click_at $(probe where-box "$1"); }
focus_main() { xdotool windowfocus --sync "$MAIN_WINDOW"; }
box_says() { [ "$(message_text)" = "$1" ]; }
no_box() { [ "$(state_of box_open)" = 0 ]; }
save_dialog_open() { xdotool search --onlyvisible --name '^另存为$'; }
save_dialog_closed() { ! save_dialog_open; }
open_dialog_open() { xdotool search --onlyvisible --name '^打开$'; }
findings_have() { probe findings | iconv -f GBK -t UTF-8 | grep -F -- "$1" >/dev/null; }
# Any other top-level window: the file dialog's question before replacing a file.
extra_window() {
    local id name
    for id in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
        name=$(xdotool getwindowname "$id" 2>/dev/null || true)
        case "$name" in Tollvane|另存为|"Default IME"|"") ;; *) echo "$id"; return 0 ;; esac
    done
    return 1
}

# Saves the report through the real file dialog. save_as PATH [expect-replace-question]
save_as() {
    click_control 1006
    fill_save_dialog "$@"
}
fill_save_dialog() {
    local path=$1 replace=${2:-}
    e2e_wait_for 20 save_dialog_open || die "the save dialog did not open"
    xdotool windowfocus --sync "$(save_dialog_open | head -1)"
    xdotool key ctrl+a
    xdotool type --delay 15 "$(win_path "$path")"
    xdotool key Return
    if [ -n "$replace" ]; then
        e2e_wait_for 10 extra_window || die "no question before replacing $path"
        xdotool windowfocus --sync "$(extra_window)"
        xdotool key Return  # "Yes" is the question's default button
    fi
    e2e_wait_for 10 save_dialog_closed || die "the save dialog stayed open"
}

# Opens a report through 打开报告… and the real file dialog.
open_report() {
    click_control 1021
    e2e_wait_for 20 open_dialog_open || die "the open dialog did not open"
    xdotool windowfocus --sync "$(open_dialog_open | head -1)"
    xdotool key ctrl+a
    xdotool type --delay 15 "$(win_path "$1")"
    xdotool key Return
}

# The picture of the path as the screen shows it: chart_shot FILE
chart_shot() {
    local box
    read -r -a box <<<"$(probe rect 1010)"
    import -window root -crop "${box[2]}x${box[3]}+${box[0]}+${box[1]}" +repage "$1"
}

# Nothing but the reports themselves: no temporary file left beside a saved one.
only_expected_files() {
    ! ls -A "$ART" | grep -E '_report\.txt.'
}
report_size_is() { [ -f "$1" ] && [ "$(stat -c %s "$1")" = "$2" ]; }

# ---- the private network: loopback only, with the servers' names mapped there ----
e2e_hosts "127.0.0.1 localhost" "::1 localhost ip6-localhost" "127.0.0.1 $DOMAIN whois.internic.net 2018.ip138.com"
python3 "$HERE/loopback_peers.py" >"$WORK/peers.out" 2>>"$LOG" &
PEERS_PID=$!
e2e_wait_for 10 grep -q ready "$WORK/peers.out" || die "loopback servers did not start"

# Room for the whole dialog, findings list and path chart included, at 192 DPI.
Xvfb -displayfd 9 -screen 0 1600x1900x24 -nolisten tcp 9>"$WORK/display" 2>>"$LOG" &
XVFB_PID=$!
e2e_wait_for 10 test -s "$WORK/display" || die "Xvfb did not start"
export DISPLAY=:$(head -1 "$WORK/display")

# A prefix of the test's own; wine then draws the windows' captions itself.
e2e_wine "$BUILD_DIR/gui-wineprefix"
WINE=$E2E_WINE
for value in Decorated Managed; do
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v $value /d N /f >/dev/null 2>&1
done
# The screen's DPI as Windows keeps it; programs started afterwards see it.
set_dpi() {
    "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    "$WINE" reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
        /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
set_dpi 96  # an earlier run may have stopped half way through the DPI checks

# Every DLL the program imports must come with the system: a fresh prefix has it.
system_dll() { ls "$WINEPREFIX/drive_c/windows/system32" | grep -ix -- "$1" >/dev/null; }
only_system_dlls() {  # only_system_dlls EXE
    local dll
    for dll in $(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/.*DLL Name: //p'); do
        system_dll "$dll" || { echo "not a system DLL: $dll"; return 1; }
    done
}
if command -v x86_64-w64-mingw32-objdump >/dev/null; then
    check "Tollvane.exe imports only system DLLs" only_system_dlls "$EXE"
    check "psping.exe beside it imports only system DLLs" only_system_dlls "$BUILD_DIR/psping.exe"
fi

# ---- start ----
started=$SECONDS
(cd "$WORK" && exec "$WINE" "$EXE") 2>>"$LOG" &
APP_PID=$!
e2e_wait_for 60 probe state || die "the main dialog did not appear"
check "without tollvane.ini beside the program there is no upload button" test "$(state_of upload_shown)" = 0
MAIN_WINDOW=$(xdotool search --onlyvisible --name '^Tollvane$' | head -1)
note "main dialog up after $((SECONDS - started)) s"
check "idle at start: start enabled, empty status, empty report, bar at 0" test "$(idle_summary)" = "1//0/0"

# ---- an empty domain: the message, and nothing starts ----
click_control 1004
e2e_wait_for 10 box_says "请输入正确域名" && pass "empty domain shows 请输入正确域名" || fail "empty domain message"
click_box_button 1
e2e_wait_for 10 no_box || die "the message box did not close"
check "empty domain starts nothing" test "$(idle_summary)" = "1//0/0"

# ---- saving an empty report writes an empty file ----
save_as "$ART/empty_report.txt"
e2e_wait_for 10 report_size_is "$ART/empty_report.txt" 0 && pass "an empty output area saves a zero-byte file" \
    || fail "empty save: $(stat -c %s "$ART/empty_report.txt" 2>&1)"

# ---- run 1, typed with spaces, a scheme and a trailing slash ----
click_control 1000
xdotool type --delay 15 "  https://$DOMAIN/ "
xdotool key Return   # Enter in the field presses the default start button
run_started=$SECONDS
e2e_wait_for 5 running && pass "start button disabled during the run" || fail "start button not disabled"
check "status says the run is going on" status_is_running_notice "$(state_of status)"
xdotool key Return   # Enter again, while the run goes on
click_control 1004   # and a click on the disabled start button
sleep 0.5
check "Enter and clicks during a run neither close the window nor start anything" alive_without_box
# While it goes on, the status is read as often as the probe can: it adds the step in
# progress and its seconds to the notice.
: >"$WORK/statuses"
until box_says "检测完成，请另存为结果发送给我们。" >/dev/null 2>&1; do
    [ $((SECONDS - run_started)) -lt 150 ] || die "run 1 did not complete"
    echo "$SECONDS $(state_of status)" >>"$WORK/statuses"
done
cat "$WORK/statuses" >>"$LOG"
check "the status names the step in progress and its seconds, counting up" status_samples_follow_steps
note "run 1 took $((SECONDS - run_started)) s"
pass "completion message 检测完成，请另存为结果发送给我们。"
snapshot
check "after the run: status 检测完成, start enabled, bar full" \
    test "$(field status)/$(field start_enabled)/$(field progress)" = "检测完成/1/90"
click_box_button 1
e2e_wait_for 10 no_box || die "the completion box did not close"
check "the domain field still shows what was typed" \
    test "$(probe field | iconv -f GBK -t UTF-8)" = "  https://$DOMAIN/ "
sleep 0.5
import -window root "$ART/finished_run.png"
probe report >"$ART/report_run1.bin"
check "run 1 report follows the report grammar" python3 "$HERE/check_report.py" "$ART/report_run1.bin"
check "run 1 steps 2 and 9 hold the page's center text and the site's header block exactly" \
    python3 "$HERE/check_report.py" "$ART/report_run1.bin" --loopback-peers
check "run 1 steps 5 and 6: psping beside the program, port 21 refused, port 80 connecting" \
    python3 "$HERE/check_report.py" "$ART/report_run1.bin" --port-steps
check "run 1 report has exactly one banner" \
    test "$(grep -c -a '开始检测' <(iconv -f GBK -t UTF-8 "$ART/report_run1.bin"))" = 1
check "after run 1 the findings list names port 21's refusal" findings_have "[提示] 21端口（FTP）10次连接全部失败"

# ---- save-as: the bytes the window shows, and replacing a file whole ----
size=$(stat -c %s "$ART/report_run1.bin")
save_as "$ART/saved_report.txt"
e2e_wait_for 10 report_size_is "$ART/saved_report.txt" "$size" || true
check "saved file equals the report the window shows, byte for byte" cmp "$ART/report_run1.bin" "$ART/saved_report.txt"
head -c 300000 /dev/zero | tr '\0' 'J' >"$ART/replaced_report.txt"
save_as "$ART/replaced_report.txt" expect-replace-question
e2e_wait_for 10 report_size_is "$ART/replaced_report.txt" "$size" || true
check "saving over a longer existing file replaces it whole" cmp "$ART/report_run1.bin" "$ART/replaced_report.txt"
check "two saves of the same report are identical" cmp "$ART/saved_report.txt" "$ART/replaced_report.txt"
check "no temporary file is left beside the report" \
    only_expected_files
click_control 1006
e2e_wait_for 20 save_dialog_open || die "the save dialog did not open"
xdotool windowfocus --sync "$(save_dialog_open | head -1)"
ls -A "$ART" >"$WORK/before_cancel"
xdotool key Escape
e2e_wait_for 10 save_dialog_closed || die "the save dialog stayed open after Escape"
check "cancelling the save dialog writes nothing" \
    bash -c "cmp '$ART/report_run1.bin' '$ART/saved_report.txt' && ls -A '$ART' | cmp - '$WORK/before_cancel'"

# ---- a redacted save: the preview shows what is then written, and nothing personal ----
preview_open() { xdotool search --onlyvisible --name '^隐藏个人信息后的报告$'; }
preview_counts_hidden() { probe preview counts | iconv -f GBK -t UTF-8 | grep '^已隐藏：.*计算机名' >/dev/null; }
host_in() { grep -a -i -w -- "$(hostname)" "$1" >/dev/null; }
click_control 1022
click_control 1006
e2e_wait_for 20 preview_open || die "the redaction preview did not open"
probe preview >"$ART/redaction_preview.bin"
check "the preview counts the computer's name among what it hid" preview_counts_hidden
xdotool windowfocus --sync "$(preview_open | head -1)"
xdotool key Return  # OK is the preview's default button
fill_save_dialog "$ART/redacted_report.txt"
e2e_wait_for 10 test -s "$ART/redacted_report.txt" || true
check "the redacted file is what the preview showed" cmp "$ART/redaction_preview.bin" "$ART/redacted_report.txt"
check "the run's report names the computer, the redacted one does not" \
    bash -c "$(declare -f host_in); host_in '$ART/report_run1.bin' && ! host_in '$ART/redacted_report.txt'"
click_control 1022  # off again: the saves below are byte for byte

# ---- run 2: the output is cleared, the bar is not reset ----
click_control 1004
probe state >"$WORK/state2"
if grep -q '^step1_written=0' "$WORK/state2"; then
    check "run 2 starts from the full bar (sampled before its first step)" grep -q '^progress=90$' "$WORK/state2"
else
    note "run 2 had finished step 1 before the bar was sampled; checking it only moved on"
    check "run 2 bar never went back to 0" grep -q -E '^progress=(10|20|30|40|50|60|70|80|90)$' "$WORK/state2"
fi
e2e_wait_for 150 box_says "检测完成，请另存为结果发送给我们。" || die "run 2 did not complete"
check "run 2 ends with the bar full" test "$(state_of progress)" = 90
click_box_button 1
e2e_wait_for 10 no_box || die "the completion box did not close"
probe report >"$ART/report_run2.bin"
check "run 2 report replaced run 1's (one banner, full grammar)" python3 "$HERE/check_report.py" "$ART/report_run2.bin"

# ---- a saved report opened with 打开报告…: shown as it is, with its findings ----
# (A drop onto the window goes to the same code; Wine, like Windows, does not carry a
# drop record from another process, so the button is what this test drives.)
cp "$HERE/../reports/run-status503.txt" "$WORK/customer_report.txt"
open_report "$WORK/customer_report.txt"
e2e_wait_for 10 findings_have "[严重] 网站有应答，但返回的状态是HTTP/1.1 503 Service Unavailable" \
    && pass "an opened report shows its findings, most severe first" || fail "no findings for the opened report"
probe report >"$WORK/opened.bin"
check "the output area shows the opened report byte for byte" cmp "$WORK/customer_report.txt" "$WORK/opened.bin"
save_as "$ART/reopened_report.txt"
e2e_wait_for 10 report_size_is "$ART/reopened_report.txt" "$(stat -c %s "$WORK/customer_report.txt")" || true
check "saving writes exactly the bytes that were opened" cmp "$WORK/customer_report.txt" "$ART/reopened_report.txt"

# ---- run with the optional steps ticked: a block each, the bar's range grows ----
# The nine steps and the optional ones: the one number to change when steps are added.
all_steps=16
click_control 1007
click_control 1004
e2e_wait_for 240 box_says "检测完成，请另存为结果发送给我们。" || die "the run with the optional steps did not complete"
# All the steps, 10 each over a range of as many tens, are one whole turn from where run 2
# left the bar.
check "with the optional steps the bar's range is 0 to $((10 * all_steps)), and it went round once" \
    test "$(state_of progress_max)/$(state_of progress)" = "$((10 * all_steps))/90"
click_box_button 1
e2e_wait_for 10 no_box || die "the completion box did not close"
probe report >"$WORK/report_extended.bin"
check "the ticked run's report has steps 10 to 12 after the ninth, then its findings, one separator each" python3 -c '
import re, sys
report = open(sys.argv[1], "rb").read().decode("gbk")
names = ["DNS解析", "HTTPS访问及证书", "IPv6连通性", "路由逐跳统计"]
heads = [report.find("\r\n第%d步---%s：" % (10 + i, n)) for i, n in enumerate(names)]
later = [m.start() for n in ["出口IP与DNS", "代理与本机网络环境", "网站访问耗时"]
         for m in [re.search(r"\r\n第\d+步---%s：" % n, report)] if m]
# The findings block comes last, numbered after the steps, with a separator of its own.
end = re.search(r"\r\n第\d+步---诊断结论：", report)
sys.exit(0 if -1 < report.find("\r\n第9步---") < heads[0] < heads[1] < heads[2] < heads[3]
         and len(later) == 3 and heads[3] < later[0] < later[1] < later[2] and end and later[2] < end.start()
         and report.count("*" * 69) == int(sys.argv[2]) + 1 else 1)' "$WORK/report_extended.bin" "$all_steps"
# The site is on loopback: one hop, the site itself, in every round.
check "the ticked run's path statistics list the site as its one hop" python3 -c '
import re, sys
report = open(sys.argv[1], "rb").read().decode("gbk")
sys.exit(0 if re.search(r"\r\n第13步---路由逐跳统计：[ \d:-]{19}\r\n路由逐跳统计：\S+ \[127\.0\.0\.1\]，30轮[^\r]*\r\n跳数[^\r]*\r\n"
                        r"  1\.  127\.0\.0\.1 +0\.0% +30 .*  局域网\r\n", report) else 1)' "$WORK/report_extended.bin"
# The loopback site's one hop lost nothing: its row is green, and nothing is red.
sleep 0.5
chart_shot "$ART/chart_loopback.png"
green=$(e2e_pixels_of "$ART/chart_loopback.png" '#2E9E44')
red=$(e2e_pixels_of "$ART/chart_loopback.png" '#D62020')
check "the ticked run's path chart is drawn: its one hop green ($green pixels), nothing red ($red)" \
    test "$green" -gt 20 -a "$red" = 0
save_as "$ART/report.html"
check "saved as .html, the report is a web page with its chart" \
    e2e_wait_for 10 grep -q '<svg xmlns="http://www.w3.org/2000/svg" class="path-chart"' "$ART/report.html"
click_control 1007   # unticked again: the runs below have the nine steps

# ---- closing during a run ----
# Echo requests go unanswered from here on, so the ping step lasts long enough to close in.
sysctl -q -w net.ipv4.icmp_echo_ignore_all=1
click_control 1004
e2e_wait_for 90 report_has "第6步" || die "run 3 did not reach its ping step"
sleep 1
check "run 3 is running its ping child" pgrep -f "ping.*$DOMAIN"
import -window root "$ART/running.png"
save_as "$ART/partial_report.txt"
probe report >"$ART/report_run3_partial.bin"
check "saving during a run writes the report so far, and the run goes on" \
    bash -c "[ -s '$ART/partial_report.txt' ] && cmp -n \$(stat -c %s '$ART/partial_report.txt') '$ART/partial_report.txt' '$ART/report_run3_partial.bin' && kill -0 $APP_PID"
check "the run is still going on after saving" running
focus_main
xdotool key Escape
e2e_wait_for 10 box_says "检测尚未完成，确定要停止检测并关闭窗口吗？" && pass "Escape during a run asks first" \
    || fail "no question on Escape during a run"
click_box_button 7   # No
e2e_wait_for 10 no_box || die "the question did not close"
sleep 0.5
check "answering No keeps the window and the run" alive_and_running
click_at $(probe closebox)
e2e_wait_for 10 box_says "检测尚未完成，确定要停止检测并关闭窗口吗？" && pass "the close box during a run asks first" \
    || die "no question on the close box during a run"
import -window root "$ART/close_question.png"
closing=$(date +%s%N)  # includes finding the button
click_box_button 6   # Yes
if e2e_wait_for 8 app_gone; then
    pass "confirmed close ends the program within $((($(date +%s%N) - closing) / 1000000)) ms of answering"
else
    fail "the program was still running 8 s after the confirmed close"
fi
wait $APP_PID 2>/dev/null && pass "the program exits with status 0" || fail "exit status $?"
APP_PID=""
check "the run's ping child was ended too" e2e_wait_for 5 ping_child_gone
sysctl -q -w net.ipv4.icmp_echo_ignore_all=0

# A report whose loss starts at hop 3 and lasts to the destination, opened at this DPI:
# the chart is drawn at the screen's resolution (its red marks grow with the square of
# the scale), with those two rows marked red.
red_at_96=0
check_lossy_chart() {
    local dpi=$1 red
    open_report "$WORK/lossy_report.txt"
    e2e_wait_for 10 findings_have "[警告]" || fail "at $dpi DPI the lossy report's findings did not show"
    sleep 0.5
    chart_shot "$ART/chart_${dpi}dpi.png"
    red=$(e2e_pixels_of "$ART/chart_${dpi}dpi.png" '#D62020')
    [ "$dpi" = 96 ] && red_at_96=$red
    check "at $dpi DPI the opened report's path chart is drawn ($(e2e_colours "$ART/chart_${dpi}dpi.png") colours)" \
        test "$(e2e_colours "$ART/chart_${dpi}dpi.png")" -gt 30
    check "at $dpi DPI the lossy hops are marked: $red red pixels, $red_at_96 at 96 DPI" \
        test "$red" -gt 100 -a $((red * 96 * 96)) -ge $((red_at_96 * dpi * dpi * 7 / 10))
}
cp "$HERE/../reports/edited-path-loss.txt" "$WORK/lossy_report.txt"

# ---- upload to a collector on loopback: a copy of the program with tollvane.ini beside it ----
COLLECTOR=$GIVEN_DIR/linux/tollvane-collector
[ -x "$COLLECTOR" ] || COLLECTOR=$(dirname "$GIVEN_DIR")/linux/tollvane-collector
upload_db=$WORK/collector.db
"$COLLECTOR" --db "sqlite:$upload_db" --listen 127.0.0.1:18380 >>"$LOG" 2>&1 &
e2e_on_exit "kill $! 2>/dev/null"
e2e_wait_for 10 bash -c 'echo >/dev/tcp/127.0.0.1/18380' 2>/dev/null || die "the collector did not start"
mkdir -p "$WORK/upload"
cp "$EXE" "$WORK/upload/"
printf '[upload]\r\nurl=http://127.0.0.1:18380\r\n' >"$WORK/upload/tollvane.ini"
cp "$ART/report_run1.bin" "$WORK/customer_run.txt"
ticket_shown() { state_of status | grep -Eo '^报告编号：[A-HJKMNP-Z2-9]{4}-[A-HJKMNP-Z2-9]{4}（请把编号告诉客服）$'; }
stored_original() {  # stored_original TICKET: the bytes the collector keeps
    python3 -c 'import base64, sqlite3, sys
row = sqlite3.connect(sys.argv[1]).execute("SELECT original_b64 FROM reports WHERE ticket = ?", (sys.argv[2],)).fetchone()
sys.stdout.buffer.write(base64.b64decode(row[0]) if row else b"")' "$upload_db" "$1"
}
(cd "$WORK" && exec "$WINE" "$WORK/upload/Tollvane.exe") 2>>"$LOG" &
APP_PID=$!
e2e_wait_for 60 probe state || die "the copy with tollvane.ini did not start"
MAIN_WINDOW=$(xdotool search --onlyvisible --name '^Tollvane$' | head -1)
check "with tollvane.ini the upload button shows" test "$(state_of upload_shown)" = 1
open_report "$WORK/customer_run.txt"
click_control 1025
e2e_wait_for 20 preview_open || die "the upload's preview did not open"
probe preview >"$WORK/upload_preview.bin"
xdotool windowfocus --sync "$(preview_open | head -1)"
xdotool key Return
e2e_wait_for 60 ticket_shown && pass "the status shows the ticket: $(state_of status)" || fail "no ticket in the status"
ticket=$(state_of status | grep -Eo '[A-Z0-9]{4}-[A-Z0-9]{4}')
check "the message box says the same" box_says "$(state_of status)"
stored_original "$ticket" >"$WORK/uploaded.bin"
check "the collector stored ticket $ticket with exactly the previewed bytes" cmp "$WORK/upload_preview.bin" "$WORK/uploaded.bin"
check "the report named the computer, the stored one does not" \
    bash -c "$(declare -f host_in); host_in '$WORK/customer_run.txt' && ! host_in '$WORK/uploaded.bin'"
click_box_button 1
e2e_wait_for 10 no_box || die "the ticket box did not close"
focus_main
xdotool key Escape
e2e_wait_for 10 app_gone || kill "$APP_PID" 2>/dev/null || true
wait "$APP_PID" 2>/dev/null || true
APP_PID=""

# ---- high DPI: the idle window at each common scale, nothing clipped ----
# The dialog is laid out in dialog units, which follow its font, which follows the DPI.
width_at_96=""
for dpi in 96 120 144 192; do
    set_dpi "$dpi"
    "${WINE%64}server" -k 2>/dev/null || true
    (cd "$WORK" && exec "$WINE" "$EXE") 2>>"$LOG" &
    APP_PID=$!
    e2e_wait_for 60 probe state || die "the main dialog did not appear at $dpi DPI"
    sleep 1
    window=$(xdotool search --onlyvisible --name '^Tollvane$' | head -1)
    import -window "$window" "$ART/dialog_${dpi}dpi.png"
    probe layout >"$WORK/layout" 2>&1 && laid_out=1 || laid_out=0
    sed "s/^/  $dpi DPI: /" "$WORK/layout" >>"$LOG"
    check "at $dpi DPI every control's text fits, inside the window, without overlaps" test "$laid_out" = 1
    check "at $dpi DPI the program sees that DPI" grep -x "dpi=$dpi" "$WORK/layout"
    # Readable: the 9-point font is 9/72 inch tall at this DPI, within rounding.
    font=$(sed -n 's/^font_height=//p' "$WORK/layout")
    check "at $dpi DPI the text is ${font:-?} px tall, at least 9 points" test "${font:-0}" -ge $((9 * dpi / 72))
    width=$(identify -format %w "$ART/dialog_${dpi}dpi.png")
    [ "$dpi" = 96 ] && width_at_96=$width
    check "at $dpi DPI the window is $width px wide, scaled with the DPI from $width_at_96 px at 96" \
        test $((width * 96 * 100)) -ge $((width_at_96 * dpi * 85))
    if [ "$dpi" = 96 ] || [ "$dpi" = 192 ]; then
        check_lossy_chart "$dpi"
    fi
    xdotool windowfocus --sync "$window"
    xdotool key Escape  # idle: closes without a question
    e2e_wait_for 10 app_gone || { fail "the window at $dpi DPI did not close"; kill "$APP_PID" 2>/dev/null || true; }
    wait "$APP_PID" 2>/dev/null || true
    APP_PID=""
done
set_dpi 96

note "$PASSED passed, $FAILED failed"
[ "$FAILED" = 0 ]
