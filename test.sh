#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test that can run here:
# Linux natively and under the address, undefined-behaviour and thread sanitizers, the fuzz targets for a fixed
# number of inputs each, the Windows 64-bit build under wine64, the 32-bit Windows release build, and the
# end-to-end checks in private network namespaces.
set -euo pipefail
cd "$(dirname "$0")"
root="$(pwd)"
jobs="$(nproc)"

step() { printf '\n=== %s ===\n' "$*"; }

# How long each build, test preset and end-to-end check took, listed slowest first at the end.
timings="$(mktemp)"
trap 'rm -f "$timings"' EXIT
note_time() { printf '%6d s  %s\n' "$2" "$1" >>"$timings"; }
timed() {
    local name=$1 start=$SECONDS status=0
    shift
    "$@" || status=$?
    note_time "$name" $((SECONDS - start))
    return $status
}

step "dependencies"
scripts/install-deps.sh all

step "wine prefix"
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine}"
[ -f "$WINEPREFIX/system.reg" ] || timeout 300 /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true

for preset in linux linux-asan linux-tsan linux-fuzz windows-x64 windows-x86; do
    step "build $preset"
    cmake --preset "$preset" >/dev/null
    timed "build $preset" cmake --build "build/$preset" -j "$jobs"
done

# Tests talk to loopback only. As root they run in a network namespace of their own in
# which only loopback is up, so nothing can reach another host even by mistake.
isolate=()
[ "$(id -u)" -eq 0 ] && isolate=("$root/tests/loopback_only.sh")

failed=()
for preset in linux linux-asan linux-tsan linux-fuzz windows-x64; do
    step "test $preset"
    wine=()
    [ "$preset" != windows-x64 ] || wine=("$root/tests/with_wine_server.sh")
    timed "test $preset" bash -c 'cd "$1" && shift && exec "$@"' _ "build/$preset" \
        "${isolate[@]}" "${wine[@]}" ctest --output-on-failure -j "$jobs" --timeout 900 ||
        failed+=("$preset")
done

# Checks that spend their time waiting on silent peers and time limits, each in namespaces
# (and a wine prefix) of its own, run side by side, two at a time; the others load the
# cores (Xvfb and wine, a package install) or measure memory, and run alone after them.
side_by_side=(loopback_run_check hostile_peers_check silent_peers_check psping_check rdap_check
    dns_loss_check diagnosis_check)
e2e_logs="$(mktemp -d)"
trap 'rm -f "$timings"; rm -rf "$e2e_logs"' EXIT
run_e2e() {
    local check=$1 start=$SECONDS status=0
    timeout 900 "$check" "$root/build" >"$e2e_logs/$(basename "$check").log" 2>&1 || status=$?
    note_time "end-to-end: $check" $((SECONDS - start))
    return $status
}
report_e2e() {
    step "end-to-end: $1"
    cat "$e2e_logs/$(basename "$1").log"
    [ "$2" -eq 0 ] || failed+=("$1")
}
declare -A running=()
wait_one() {
    local pid status=0
    wait -n -p pid "${!running[@]}" || status=$?
    report_e2e "${running[$pid]}" "$status"
    unset "running[$pid]"
}
if [ "$(id -u)" -ne 0 ]; then
    step "end-to-end: skipped, they need root for a private network namespace"
else
    serial=()
    for check in tests/e2e/*.sh; do
        # lib.sh is the checks' shared set-up, not a check.
        [ -e "$check" ] && [ "$(basename "$check")" != lib.sh ] || continue
        case " ${side_by_side[*]} " in
            *" $(basename "$check" .sh) "*)
                [ ${#running[@]} -lt 2 ] || wait_one
                run_e2e "$check" &
                running[$!]=$check ;;
            *) serial+=("$check") ;;
        esac
    done
    while [ ${#running[@]} -gt 0 ]; do wait_one; done
    for check in "${serial[@]}"; do
        status=0
        run_e2e "$check" || status=$?
        report_e2e "$check" "$status"
    done
fi

step "slowest checks"
sort -rn "$timings" | head -n 12

if [ ${#failed[@]} -ne 0 ]; then
    step "FAILED: ${failed[*]}"
    exit 1
fi
step "all tests passed"
