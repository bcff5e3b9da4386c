#!/bin/bash
# Runs Tollvane.exe under wine64 from program folders named in other languages, with
# programs of the system's command names planted in the program folder and in the
# folder it is started from, in a private network namespace whose only peers are
# loopback servers. Checks that psping is found beside the program under both a
# Chinese and a Western locale, that no planted ping or tracert ever runs, that the
# program imports no DLL outside the known ones directly, and that the report can be
# saved into such a folder.
#
# Usage, as root: tests/e2e/gui_planting_check.sh BUILD_DIR
# BUILD_DIR is a windows-x64 build, or the folder of the preset builds (build).
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
. "$HERE/lib.sh"
DOMAIN=www.tollvane-test.com

if ! e2e_in_namespace "$0"; then
    e2e_require_root gui_planting_check "it needs unshare -m -n"
    for tool in Xvfb xdotool; do
        command -v $tool >/dev/null || { echo "gui_planting_check: needs $tool (tests/e2e/gui_check.sh installs it)" >&2; exit 2; }
    done
    locale -a 2>/dev/null | grep -ix 'zh_CN.utf8' >/dev/null || localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
    locale -a 2>/dev/null | grep -ix 'en_US.utf8' >/dev/null || localedef -i en_US -f UTF-8 en_US.UTF-8
fi
e2e_enter_namespace 600 "$0" "$GIVEN_DIR"

# ---- inside the private mount and network namespace from here on ----

EXE=$BUILD_DIR/Tollvane.exe
PROBE=$BUILD_DIR/tests/gui_probe.exe
CHILD=$BUILD_DIR/tests/test_child.exe
ART=$GIVEN_DIR/artifacts
for file in "$EXE" "$PROBE" "$CHILD"; do
    [ -f "$file" ] || { echo "gui_planting_check: missing $file" >&2; exit 2; }
done
mkdir -p "$ART"
e2e_make_work tollvane-planting
WORK=$E2E_WORK
LOG=$ART/gui_planting_check.log
: >"$LOG"
PASSED=0
FAILED=0
PEERS_PID=""
XVFB_PID=""
APP_PID=""

e2e_on_exit '[ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null'
e2e_on_exit '[ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null'
e2e_on_exit '[ -n "$PEERS_PID" ] && kill "$PEERS_PID" 2>/dev/null'

note() { echo "gui_planting_check: $*" | tee -a "$LOG"; }
pass() { PASSED=$((PASSED + 1)); note "ok - $*"; }
fail() { FAILED=$((FAILED + 1)); note "FAIL - $*"; }
check() {
    local what=$1
    shift
    if "$@" >>"$LOG" 2>&1; then pass "$what"; else fail "$what"; fi
}
probe() { "$WINE" "$PROBE" "$@"; }
message_text() { probe message 2>/dev/null | iconv -f GBK -t UTF-8; }
box_says() { [ "$(message_text)" = "$1" ]; }
click_at() { xdotool mousemove "$1" "$2" click 1; }
click_control() { click_at $(probe where "$1"); }
click_box_button() { click_at $(probe where-box "$1"); }
app_gone() { ! kill -0 "$APP_PID" 2>/dev/null; }
save_dialog_open() { xdotool search --onlyvisible --name '^(另存为|Save As)$'; }
save_dialog_closed() { ! save_dialog_open; }

visible_windows() { xdotool search --onlyvisible --name '.' getwindowname %@ 2>/dev/null | sort -u | tr '\n' '|'; }
# Saves the report as PATH through the save dialog, typing the whole path. Typing text
# outside the keyboard's own layout makes xdotool remap a key for each character, which
# a busy X server can miss now and then; so a save that did not arrive is tried again,
# after closing whatever box the dialog raised over the mistyped name.
save_into() {  # PATH
    local path=$1 attempt dialog
    for attempt in 1 2 3; do
        if ! save_dialog_open >/dev/null 2>&1; then
            click_control 1006
            e2e_wait_for 20 save_dialog_open || { note "save dialog did not open (attempt $attempt): $(visible_windows)"; continue; }
        fi
        dialog=$(save_dialog_open | head -1)
        xdotool windowactivate --sync "$dialog" 2>/dev/null || xdotool windowfocus --sync "$dialog"
        xdotool key ctrl+a
        xdotool type --delay 40 "Z:${path//\//\\}"
        xdotool key Return
        e2e_wait_for 10 test -s "$path" && return 0
        note "no saved file after attempt $attempt; windows: $(visible_windows)"
        # A box over the dialog (a name it could not use) is dismissed before the retry.
        local box
        for box in $(xdotool search --onlyvisible --name '^(另存为|Save As)$' 2>/dev/null | tail -n +2); do
            xdotool windowactivate --sync "$box" 2>/dev/null && xdotool key Return
        done
    done
    command -v import >/dev/null && import -window root "$ART/planting_save_failed.png" 2>/dev/null || true
    return 1
}

# ---- what the loader sees: no DLL outside the known ones is imported directly ----
direct_imports_are_known_dlls() {  # EXE OBJDUMP
    local dll
    for dll in $("$2" -p "$1" | sed -n 's/.*DLL Name: //p'); do
        case "${dll,,}" in
            kernel32.dll|msvcrt.dll|user32.dll|ws2_32.dll|gdi32.dll) ;;
            *) echo "imported directly: $dll"; return 1 ;;
        esac
    done
}
delay_loads() {  # EXE: the names the delay-load helper is handed
    for dll in wininet.dll comctl32.dll comdlg32.dll; do
        strings "$1" | grep -ix "$dll" >/dev/null || { echo "no delay-load entry for $dll"; return 1; }
    done
}
check "64-bit: only known DLLs imported directly" direct_imports_are_known_dlls "$EXE" x86_64-w64-mingw32-objdump
check "64-bit: wininet, comctl32, comdlg32 are delay-loaded" delay_loads "$EXE"
X86=$GIVEN_DIR/windows-x86/Tollvane.exe
[ -f "$X86" ] || X86=$BUILD_DIR/../windows-x86/Tollvane.exe
if [ -f "$X86" ]; then
    check "32-bit: only known DLLs imported directly" direct_imports_are_known_dlls "$X86" i686-w64-mingw32-objdump
    check "32-bit: large-address-aware" \
        bash -c "i686-w64-mingw32-objdump -p '$X86' | grep -i 'large address aware'"
fi

# ---- the private network ----
e2e_hosts "127.0.0.1 localhost" "127.0.0.1 $DOMAIN whois.internic.net 2018.ip138.com"
python3 "$HERE/loopback_peers.py" >"$WORK/peers.out" 2>>"$LOG" &
PEERS_PID=$!
e2e_wait_for 10 grep -q ready "$WORK/peers.out" || { fail "loopback servers did not start"; exit 1; }

Xvfb -displayfd 9 -screen 0 1280x900x24 -nolisten tcp 9>"$WORK/display" 2>>"$LOG" &
XVFB_PID=$!
e2e_wait_for 10 test -s "$WORK/display" || { fail "Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -1 "$WORK/display")
# The prefix is made in a neutral locale; each run then picks its own.
LANG=C.UTF-8 e2e_wine "$BUILD_DIR/planting-wineprefix"
WINE=$E2E_WINE

# One run: LOCALE FOLDER_NAME. The program and a psping stand-in lie in the folder,
# with planted ping.exe and tracert.exe beside them and in the start folder.
run_from() {
    local locale=$1 name=$2
    local folder=$WORK/$name start=$WORK/start-$locale
    mkdir -p "$folder" "$start"
    cp "$EXE" "$folder/Tollvane.exe"
    # The test child prints "planted NAME" when started under another name than its own.
    for planted in psping ping tracert; do cp "$CHILD" "$folder/$planted.exe"; done
    for planted in ping tracert ipconfig; do cp "$CHILD" "$start/$planted.exe"; done
    export LANG=$locale LC_ALL=$locale
    note "run under $locale from $folder"
    (cd "$start" && exec "$WINE" "$folder/Tollvane.exe") 2>>"$LOG" &
    APP_PID=$!
    e2e_wait_for 60 probe state || { fail "$locale: the dialog did not appear"; return; }
    click_control 1000
    xdotool type --delay 15 "$DOMAIN"
    xdotool key Return
    if ! e2e_wait_for 200 box_says "检测完成，请另存为结果发送给我们。"; then
        fail "$locale: the run did not complete"
    else
        click_box_button 1
        probe report | iconv -f GBK -t UTF-8 >"$WORK/report-$locale.txt" || true
        cp "$WORK/report-$locale.txt" "$ART/planting_report_$locale.txt"
        check "$locale, $name: psping found in the program folder (steps 5 and 6)" \
            test "$(grep -c 'planted psping' "$WORK/report-$locale.txt")" = 2
        check "$locale, $name: no planted ping, tracert or ipconfig ran" \
            bash -c "! grep -E 'planted (ping|tracert|ipconfig)' '$WORK/report-$locale.txt'"
        check "$locale, $name: ping ran from the system folder" \
            grep -E "127\.0\.0\.1|$DOMAIN" "$WORK/report-$locale.txt"
        # Save into the program's own folder through the real dialog.
        if save_into "$folder/saved.txt"; then
            pass "$locale, $name: the report saves into the folder"
        else
            fail "$locale, $name: the report saves into the folder"
        fi
    fi
    kill "$APP_PID" 2>/dev/null || true
    e2e_wait_for 10 app_gone || true
    APP_PID=""
    "${WINE%64}server" -k 2>/dev/null || true
}

run_from en_US.UTF-8 "José"
run_from zh_CN.UTF-8 "下载 测试下"

note "$PASSED passed, $FAILED failed"
[ "$FAILED" = 0 ]
