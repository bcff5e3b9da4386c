#!/bin/bash
# psping.exe under wine64, and the Linux psping beside it, against peers in a private
# network namespace: an open loopback port, a closed one, a name from a bind-mounted
# hosts file, and an address behind a veth pair whose frames vanish (no answer, no
# refusal). Both programs must print the same lines within Tollvane's 40 s limit.
# Also checks that every psping.exe built imports only DLLs that come with Windows.
#
# Usage (as root): tests/e2e/psping_check.sh BUILD_DIR   (the folder of the preset builds)
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
BUILD=$(cd "$1" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/lib.sh"
WIN=$BUILD/windows-x64
[ -f "$WIN/psping.exe" ] || { echo "psping_check: no $WIN/psping.exe (build windows-x64 first)" >&2; exit 2; }
e2e_require_root psping_check "it needs unshare -m -n"
e2e_enter_namespace 900 "$0" "$@"

# ---- inside the private mount and network namespace ----
BLACKHOLE=10.99.0.2
e2e_make_work psping-check
command -v wine64 >/dev/null || [ -x /usr/lib/wine/wine64 ] || { echo "psping_check: no wine64" >&2; exit 2; }
ip link add hole0 type veth peer name sink0
ip addr add 10.99.0.1/24 dev hole0
ip link set hole0 up
ip link set sink0 up
ip neigh add $BLACKHOLE lladdr 02:00:00:00:99:02 dev hole0 nud permanent
e2e_hosts "127.0.0.1 localhost peer.psping.test"
e2e_wine "$WIN/psping-wineprefix"

failed=0
system_dll() { ls "$WINEPREFIX/drive_c/windows/system32" | grep -ix -- "$1" >/dev/null; }
for arch in x86_64 i686; do
    exe=$BUILD/windows-${arch/x86_64/x64}/psping.exe
    [ "$arch" = i686 ] && exe=$BUILD/windows-x86/psping.exe
    [ -f "$exe" ] || { echo "skip - no $exe"; continue; }
    for dll in $($arch-w64-mingw32-objdump -p "$exe" | sed -n 's/.*DLL Name: //p'); do
        if system_dll "$dll"; then echo "ok - $exe imports $dll, a system DLL"
        else echo "FAIL - $exe imports $dll, not a system DLL"; failed=1; fi
    done
done

echo "--- psping.exe under wine64"
python3 "$HERE/psping_cases.py" --crlf --blackhole $BLACKHOLE -- "$E2E_WINE" "$WIN/psping.exe" || failed=1
if [ -x "$BUILD/linux/psping" ]; then
    echo "--- Linux psping"
    python3 "$HERE/psping_cases.py" --blackhole $BLACKHOLE -- "$BUILD/linux/psping" || failed=1
fi
[ $failed -eq 0 ] && echo "psping_check: all passed"
exit $failed
