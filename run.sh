#!/usr/bin/env bash
# Runs a check of DOMAIN on Linux: ./run.sh DOMAIN [-o report.txt]
# Installs what is missing, builds the linux preset incrementally, then runs tollvane.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
(
    cd "$root"
    scripts/install-deps.sh linux
    [ -f build/linux/build.ninja ] || cmake --preset linux >/dev/null
    cmake --build build/linux --target tollvane standin_ipconfig standin_ping standin_tracert standin_psping \
        | grep -vE '^\[[0-9]+/[0-9]+\]|^ninja: no work to do' || true
) >&2
exec "$root/build/linux/tollvane" "$@"
