#!/usr/bin/env bash
# Installs what building and testing Tollvane needs on Debian 12, skipping what is there.
# Usage: scripts/install-deps.sh linux|all
#   linux: what building and running tollvane needs; all: that, the Windows cross build
#   and Wine, and the real peers and tools the end-to-end tests use.
set -euo pipefail

linux_packages=(
    cmake ninja-build g++ make pkg-config python3
    googletest libbenchmark-dev libcurl4-openssl-dev libidn2-dev
    iputils-ping traceroute iproute2 nlohmann-json3-dev locales
    libcpp-httplib-dev libsoci-dev libboost-dev libpq-dev libsqlite3-dev libargon2-dev libssl-dev
)
test_packages=(
    nginx nginx-light dnsmasq-base openssl python3-cryptography python3-jsonschema
    dpkg-dev file binutils clang libclang-rt-14-dev iptables
    postgresql-15 postgresql-client-15 sqlite3 chromium nodejs curl
)
windows_packages=(
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
    wine wine64 xvfb xauth xdotool imagemagick fontconfig fonts-wqy-microhei
)

wanted=("${linux_packages[@]}")
[ "${1:-linux}" = all ] && wanted+=("${windows_packages[@]}" "${test_packages[@]}")

missing=()
for package in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
# npm comes with some builds of Node.js (the machine's own may be NodeSource's, whose
# nodejs conflicts with Debian's npm): Debian's is wanted only when there is none.
[ "${1:-linux}" != all ] || command -v npm >/dev/null || missing+=(npm)

if [ ${#missing[@]} -gt 0 ] && [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Run as root, or install them with: sudo apt-get install ${missing[*]}" >&2
    exit 1
elif [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The collector's console check drives Chromium through puppeteer-core, pinned by the
# committed lock file; its own browser download is skipped (the distribution's is used).
console="$(dirname "$0")/../tests/e2e/console"
if [ "${1:-linux}" = all ] && [ ! -d "$console/node_modules/puppeteer-core" ]; then
    (cd "$console" && npm ci --no-audit --no-fund --ignore-scripts)
fi
