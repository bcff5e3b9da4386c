#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test that can run here:
# Linux natively and under the address, undefined-behaviour and thread sanitizers, the Windows 64-bit build under wine64, the
# 32-bit Windows release build, and the end-to-end checks in private network namespaces.
set -euo pipefail
cd "$(dirname "$0")"
root="$(pwd)"
jobs="$(nproc)"

step() { printf '\n=== %s ===\n' "$*"; }

step "dependencies"
scripts/install-deps.sh all

step "wine prefix"
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine}"
[ -f "$WINEPREFIX/system.reg" ] || timeout 300 /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true

for preset in linux linux-asan linux-tsan windows-x64 windows-x86; do
    step "build $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build "build/$preset" -j "$jobs"
done

# Tests talk to loopback only. As root they run in a network namespace of their own in
# which only loopback is up, so nothing can reach another host even by mistake.
isolate=()
[ "$(id -u)" -eq 0 ] && isolate=("$root/tests/loopback_only.sh")

failed=()
for preset in linux linux-asan linux-tsan windows-x64; do
    step "test $preset"
    wine=()
    [ "$preset" != windows-x64 ] || wine=("$root/tests/with_wine_server.sh")
    (cd "build/$preset" && "${isolate[@]}" "${wine[@]}" ctest --output-on-failure -j "$jobs" --timeout 900) ||
        failed+=("$preset")
done

# Every parser of outside text under libFuzzer (clang, ASan and UBSan), a fixed number of
# runs over the checked-in seeds.
step "fuzz targets"
cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j "$jobs" --target fuzz_targets
(cd build/fuzz && ctest -L fuzz --output-on-failure -j "$jobs") || failed+=(fuzz)

for check in tests/e2e/*.sh; do
    [ -e "$check" ] || continue
    step "end-to-end: $check"
    if [ "$(id -u)" -ne 0 ]; then
        echo "skipped: needs root for a private network namespace"
        continue
    fi
    timeout 900 "$check" "$root/build" || failed+=("$check")
done

if [ ${#failed[@]} -ne 0 ]; then
    step "FAILED: ${failed[*]}"
    exit 1
fi
step "all tests passed"
