#!/bin/bash
# Whole tollvane runs against misbehaving loopback peers, each in a private network and
# mount namespace (see hostile_peers.py): control sequences, failures that must be named,
# the same on a terminal in a UTF-8, a GB18030 and an ISO-8859-1 locale, a Chinese domain,
# peers and a command that flood, DNS servers that never answer, sites that stall in each
# phase of an exchange, and the status line on a terminal.
#
# Usage (as root): tests/e2e/hostile_peers_check.sh BUILD_DIR [SCENARIO...]
# BUILD_DIR is build/linux, or the folder of the preset builds (build).
set -euo pipefail

BUILD=$(cd "$1" && pwd)
shift
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/lib.sh"
# Given the folder of the preset builds, the stalls scenario also runs the Windows
# HTTP layer (under wine64) from its windows-x64 build.
if [ ! -x "$BUILD/tollvane" ] && [ -f "$BUILD/windows-x64/tests/extended_probe.exe" ]; then
    export WIN_BUILD=$BUILD/windows-x64
    export WINEPREFIX=${WINEPREFIX:-$WIN_BUILD/hostile-wineprefix} WINEDEBUG=-all
fi
[ -x "$BUILD/tollvane" ] || BUILD=$BUILD/linux
[ -x "$BUILD/tollvane" ] || { echo "no tollvane program in $BUILD" >&2; exit 2; }
e2e_require_root hostile_peers_check "it needs unshare -m -n"
scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(escapes terminal-locales failures idn flood silent-dns stalls progress)
TOLLVANE_TEST_LOCPATH=$(dirname "$BUILD")/test-locales
"$HERE/../make_test_locales.sh" "$TOLLVANE_TEST_LOCPATH"
export TOLLVANE_TEST_LOCPATH

failed=()
for scenario in "${scenarios[@]}"; do
    work=$(mktemp -d)
    echo "--- $scenario"
    if ! unshare -m -n python3 "$HERE/hostile_peers.py" "$BUILD" "$work" "$scenario"; then
        failed+=("$scenario")
    fi
    rm -rf "$work"
done
if [ ${#failed[@]} -ne 0 ]; then
    echo "FAILED: ${failed[*]}"
    exit 1
fi
echo "all hostile peer scenarios passed"
