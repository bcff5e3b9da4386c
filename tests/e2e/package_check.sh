#!/bin/bash
# The release packages: builds them with the commands the README gives, then checks
#  - each Windows zip holds exactly Tollvane.exe, psping.exe, ReadMe.txt and ip2region.db in one folder,
#    named with the project version; the executables import only DLLs that come with
#    Windows (wine's own list); the guide is GBK text with CR LF line ends;
#  - the .deb installs with dpkg -i, puts only a link on PATH and the stand-ins in
#    /usr/lib/tollvane, reports the project version, prints the --help the README shows,
#    runs a whole check on loopback through the installed path, and dpkg -r removes
#    every file it installed.
#
# Usage (as root): tests/e2e/package_check.sh BUILD_DIR   (the folder of the preset builds)
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
BUILD=$(cd "$1" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
. "$HERE/lib.sh"
e2e_require_root package_check "dpkg -i, unshare"

VERSION=$(sed -n 's/^project(Tollvane VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
[ -n "$VERSION" ] || { echo "package_check: no project version in CMakeLists.txt" >&2; exit 2; }
e2e_make_work package-check
WORK=$E2E_WORK

failed=0
ok() { echo "ok - $*"; }
bad() { echo "FAIL - $*"; failed=1; }
check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@" >"$WORK/check.out" 2>&1; then ok "$what"; else bad "$what"; sed 's/^/    /' "$WORK/check.out"; fi
}

# ---- Windows zips ----
wine_dlls() { find /usr/lib -maxdepth 4 -type d -path "*/wine/$1" | head -1; }
only_system_dlls() {  # only_system_dlls OBJDUMP WINE_DLL_DIR EXE
    local dll
    for dll in $("$1" -p "$3" | sed -n 's/.*DLL Name: //p'); do
        ls "$2" | grep -ix -- "$dll" >/dev/null || { echo "$3 imports $dll"; return 1; }
    done
}
guide_is_gbk_crlf() {
    python3 - "$1" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
text = data.decode("gbk")  # fails on anything that is not GBK
assert data.count(b"\n") == data.count(b"\r\n") > 10, "line ends are not all CR LF"
for needed in ("Tollvane.exe", "psping.exe", "NetTestReport.txt", "另存为", "开始检测"):
    assert needed in text, "the guide does not mention " + needed
PY
}
exe_version() { strings -el "$1" | grep -A1 -x FileVersion | tail -1; }

# Wine's 64-bit DLLs name what Windows brings; the 32-bit system has the same names.
SYSTEM_DLLS=$(wine_dlls x86_64-windows)
[ -n "$SYSTEM_DLLS" ] || { echo "package_check: wine64's DLL folder not found (install wine64)" >&2; exit 2; }
for arch in x86:win32:i686 x64:win64:x86_64; do
    IFS=: read -r preset bits prefix <<<"$arch"
    dir=$BUILD/windows-$preset
    if [ ! -f "$dir/Tollvane.exe" ]; then bad "no windows-$preset build in $BUILD"; continue; fi
    cmake --build "$dir" --target package >"$WORK/cpack.log" 2>&1 || { bad "packaging windows-$preset"; cat "$WORK/cpack.log"; continue; }
    zip=$dir/Tollvane-$VERSION-$bits.zip
    [ -f "$zip" ] || { bad "no $zip"; continue; }
    top=Tollvane-$VERSION-$bits
    check "$(basename "$zip") lists exactly the program, psping.exe, the guide and the region database" \
        test "$(python3 -c 'import sys, zipfile; print(" ".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$zip")" \
        = "$top/ReadMe.txt $top/Tollvane.exe $top/ip2region.db $top/psping.exe"
    rm -rf "$WORK/unzipped" && mkdir "$WORK/unzipped" && python3 -m zipfile -e "$zip" "$WORK/unzipped"
    for exe in Tollvane.exe psping.exe; do
        check "$bits $exe imports only system DLLs" \
            only_system_dlls "$prefix-w64-mingw32-objdump" "$SYSTEM_DLLS" "$WORK/unzipped/$top/$exe"
    done
    check "$bits Tollvane.exe carries version $VERSION" test "$(exe_version "$WORK/unzipped/$top/Tollvane.exe")" = "$VERSION"
    check "$bits guide is GBK text with CR LF line ends" guide_is_gbk_crlf "$WORK/unzipped/$top/ReadMe.txt"
done

# ---- Linux .deb ----
LINUX=$BUILD/linux
deb=$LINUX/tollvane_${VERSION}_amd64.deb
if dpkg-query -W -f='${Status}' tollvane 2>/dev/null | grep -q "ok installed"; then
    bad "a tollvane package is already installed here; not touching it"
elif ! cmake --build "$LINUX" --target package >"$WORK/cpack.log" 2>&1; then
    bad "packaging linux"
    cat "$WORK/cpack.log"
elif [ ! -f "$deb" ]; then
    bad "no $deb"
else
    dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|; s|/$||' | grep -v '^$' | sort >"$WORK/deb.files"
    check ".deb holds the link on PATH and the program with its stand-ins in /usr/lib/tollvane" \
        diff <(printf '%s\n' /usr /usr/bin /usr/bin/tollvane /usr/bin/tollvane-collector /usr/lib /usr/lib/tollvane \
               /usr/lib/tollvane/{ip2region.db,ipconfig,ping,psping,tollvane,tollvane-collector,tracert} \
               /usr/lib/systemd /usr/lib/systemd/system /usr/lib/systemd/system/tollvane-collector.service | sort) \
            "$WORK/deb.files"
    depends=$(dpkg-deb -f "$deb" Depends)
    for package in iputils-ping traceroute libcurl4 libc6; do
        check ".deb depends on $package" grep -E "(^|, )$package( |,|$)" <<<"$depends"
    done

    # Folders the system has already (/usr/lib/systemd/system) stay after the removal.
    existing() { while read -r f; do if [ -e "$f" ] || [ -L "$f" ]; then echo "$f"; fi; done <"$WORK/deb.files"; }
    existing >"$WORK/before.files"
    check "dpkg -i installs it" dpkg -i "$deb"
    check "/usr/bin/tollvane is a link into /usr/lib/tollvane" \
        test "$(readlink -f /usr/bin/tollvane)" = /usr/lib/tollvane/tollvane
    check "tollvane --version says $VERSION and the region database's date" \
        test "$(tollvane --version)" = "tollvane $VERSION
ip2region 2020/10/31"
    # The README shows the help text after a line "    $ tollvane --help".
    awk '/^    \$ tollvane --help$/ {on=1; next} on && /^(    |$)/ {sub(/^    /, ""); print; next} on {exit}' \
        "$ROOT/README.md" | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}' >"$WORK/readme_help"
    check "tollvane --help matches the README" diff "$WORK/readme_help" <(/usr/bin/tollvane --help)

    # A whole run on loopback through the installed path, in a private namespace.
    cat >"$WORK/run.sh" <<RUN
set -e
. "$HERE/lib.sh"
E2E_WORK=$WORK
ip link set lo up
e2e_hosts "127.0.0.1 localhost www.tollvane-test.com whois.internic.net 2018.ip138.com"
python3 "$HERE/loopback_peers.py" >"$WORK/peers.out" 2>/dev/null &
e2e_wait_for 10 grep -q ready "$WORK/peers.out" || true
PATH=/usr/bin:/bin timeout 400 /usr/bin/tollvane -o "$WORK/report.txt" www.tollvane-test.com >/dev/null 2>&1 || true
kill %1
RUN
    unshare -m -n bash "$WORK/run.sh"
    check "the installed tollvane writes a whole report on loopback" python3 "$HERE/check_report.py" "$WORK/report.txt"
    check "steps 2 and 9 hold what the loopback peers served" \
        python3 "$HERE/check_report.py" "$WORK/report.txt" --loopback-peers
    check "steps 5 and 6 ran the installed psping: port 21 refused, ten connects to port 80" \
        python3 "$HERE/check_report.py" "$WORK/report.txt" --port-steps

    check "dpkg -r removes it" dpkg -r tollvane
    left=$(existing | grep -v -x -F -f "$WORK/before.files" || true)
    check "nothing the package installed is left" test -z "$left"
    check "dpkg no longer knows it as installed" \
        bash -c "! dpkg-query -W -f='\${Status}' tollvane 2>/dev/null | grep -q 'ok installed'"
fi

[ $failed -eq 0 ] && echo "package_check: all passed"
exit $failed
