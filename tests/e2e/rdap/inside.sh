# Inside the private namespaces of tests/e2e/rdap_check.sh: loopback up, hosts file and
# CA bundle mounted, peers started, then one tollvane run per case side by side, and the
# Windows probe test under wine64 when a build of it was given.
set -euo pipefail
WORK=$1
BUILD=$2
WINBUILD=$3
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/../lib.sh"
ip link set lo up
for last in 2 3 10 13 14 20; do ip addr add "127.0.0.$last/8" dev lo 2>/dev/null || true; done
for last in 11 12; do ip addr add "203.0.113.$last/32" dev lo; done
mount --bind "$WORK/hosts" /etc/hosts
mount --bind "$WORK/bundle.crt" /etc/ssl/certs/ca-certificates.crt
unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY

nginx -c "$WORK/nginx.conf" -e "$WORK/nginx-error.log" &
NGINX=$!
python3 "$HERE/peers.py" "$WORK" &
PEERS=$!
e2e_wait_for 5 test -e "$WORK/peers_ready" -a -s "$WORK/nginx.pid" || true

status=0
runs=()
for domain in example.com notfound.com badregistrar.com example.org example.info example.biz example.tv \
        internallink.com redirected.com; do
    (cd "$WORK" && timeout 400 "$BUILD/tollvane" -o "$WORK/report.$domain" "$domain" \
        > "$WORK/run.$domain.out" 2>&1) &
    runs+=($!)
done
# Its peak resident size measured on its own process tree: an answer of nothing but brackets.
(cd "$WORK" && python3 "$HERE/peak_rss.py" "$WORK/rss.deep.com" \
    timeout 400 "$BUILD/tollvane" -o "$WORK/report.deep.com" deep.com > "$WORK/run.deep.com.out" 2>&1) &
runs+=($!)
for run in "${runs[@]}"; do wait "$run" || status=$?; done

if [ -n "$WINBUILD" ]; then
    export WINEDEBUG=-all
    # Wine's sockets are made by its server: one left over from outside this namespace
    # would connect from there, so it is ended first, and this one after.
    e2e_find_wine
    e2e_stop_wine
    # The registrar's record, and the links to an internal service, direct and redirected.
    for domain in example.com internallink.com redirected.com; do
        TOLLVANE_RDAP_DOMAIN=$domain TOLLVANE_RDAP_EXPECTED_HEX=$(python3 "$HERE/expect.py" "$WORK" --hex $domain) \
            timeout 300 "$E2E_WINE" "$WINBUILD/tests/rdap_test.exe" \
            --gtest_filter='RdapOverTls.*' > "$WORK/wine.$domain.out" 2>&1 || status=$?
        grep -q '^\[  PASSED  \] 1 test' "$WORK/wine.$domain.out" ||
            { echo "wine run for $domain did not pass" >&2; cat "$WORK/wine.$domain.out" >&2; status=1; }
    done
    touch "$WORK/wine.out"
    e2e_stop_wine
fi
kill "$PEERS" "$NGINX" 2>/dev/null || true
wait "$PEERS" "$NGINX" 2>/dev/null || true
exit "$status"
