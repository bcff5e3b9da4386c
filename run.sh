#!/usr/bin/env bash
# Runs a check of DOMAIN on Linux: ./run.sh DOMAIN [-o report.txt]
# Or starts the support desk's collector: ./run.sh --collector [COLLECTOR OPTIONS]
# Installs what is missing, builds the linux preset incrementally, then runs the program.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
program=tollvane
targets=(tollvane standin_ipconfig standin_ping standin_tracert standin_psping)
if [ "${1:-}" = --collector ]; then
    shift
    program=tollvane-collector
    targets=(tollvane-collector)
fi
(
    cd "$root"
    scripts/install-deps.sh linux
    [ -f build/linux/build.ninja ] || cmake --preset linux >/dev/null
    cmake --build build/linux --target "${targets[@]}" \
        | grep -vE '^\[[0-9]+/[0-9]+\]|^ninja: no work to do' || true
) >&2
exec "$root/build/linux/$program" "$@"
