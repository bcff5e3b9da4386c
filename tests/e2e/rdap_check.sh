#!/bin/bash
# End-to-end check of step 1's RDAP way, over TLS with a test CA, in a private network
# and mount namespace: the hosts file sends the whois and RDAP names the program ships
# with to loopback peers, and a CA bundle holding the test CA is bind-mounted over the
# system's. nginx serves the registry's and the registrar's answers (and 404s), an answer
# of 1 MiB of "[" (the run must stay under 64 MiB resident), a redirect to an internal
# service and that service; python peers send malformed JSON, stay silent, or send
# 20 MiB. Whois peers are missing, refused, silent, or answer (then RDAP must not be
# asked). The servers a registry's link leads to have public addresses (203.0.113.0/24,
# on this namespace's loopback): the shipped program follows links to no other.
#
# Usage (as root): tests/e2e/rdap_check.sh BUILD_DIR
# BUILD_DIR is build/linux or the folder of the preset builds (build); with the latter,
# a windows-x64 rdap_test.exe there is also run under wine64 against the same peers.
set -euo pipefail

if [ "$#" -ne 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
BUILD=$(cd "$1" && pwd)
WINBUILD=""
if [ ! -x "$BUILD/tollvane" ] && [ -x "$BUILD/linux/tollvane" ]; then
    [ -e "$BUILD/windows-x64/tests/rdap_test.exe" ] && WINBUILD=$BUILD/windows-x64
    BUILD=$BUILD/linux
fi
if [ ! -x "$BUILD/tollvane" ]; then
    echo "no tollvane program in $BUILD" >&2
    exit 2
fi
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/lib.sh"
e2e_require_root rdap_check "it needs unshare -m -n"
for tool in nginx openssl python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh)" >&2; exit 2; }
done

e2e_make_work rdap-check
WORK=$E2E_WORK

# The test CA and one server certificate for every RDAP name of the run.
NAMES="rdap.verisign.com tld-rdap.verisign.com rdap.registrar.test rdap.publicinterestregistry.org rdap.donuts.co rdap.nic.biz internal.test"
SAN=$(printf 'DNS:%s,' $NAMES)
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tollvane test CA" \
    -keyout "$WORK/ca.key" -out "$WORK/ca.pem" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=rdap.test" -keyout "$WORK/server.key" \
    -out "$WORK/server.csr" 2>/dev/null
printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "${SAN%,}" > "$WORK/ext"
openssl x509 -req -in "$WORK/server.csr" -CA "$WORK/ca.pem" -CAkey "$WORK/ca.key" -CAcreateserial \
    -days 2 -extfile "$WORK/ext" -out "$WORK/server.pem" 2>/dev/null
cat /etc/ssl/certs/ca-certificates.crt "$WORK/ca.pem" > "$WORK/bundle.crt"

# whois: 127.0.0.1:43 refuses (com, net), 127.0.0.2 is silent (info), 127.0.0.3 answers
# (tv); org's whois name is missing from the hosts file.
cat > "$WORK/hosts" <<HOSTS
127.0.0.1 localhost
127.0.0.1 whois.internic.net
127.0.0.2 whois.nic.info
127.0.0.3 whois.nic.tv
127.0.0.10 rdap.verisign.com tld-rdap.verisign.com
203.0.113.11 rdap.registrar.test
203.0.113.12 rdap.publicinterestregistry.org
127.0.0.20 internal.test
127.0.0.13 rdap.donuts.co
127.0.0.14 rdap.nic.biz
HOSTS

python3 "$HERE/rdap/answers.py" "$WORK"
cat > "$WORK/nginx.conf" <<CONF
daemon off;
user root;
pid $WORK/nginx.pid;
error_log $WORK/nginx-error.log;
events {}
http {
    access_log $WORK/access.log;
    client_body_temp_path $WORK/tmp;
    proxy_temp_path $WORK/tmp;
    fastcgi_temp_path $WORK/tmp;
    uwsgi_temp_path $WORK/tmp;
    scgi_temp_path $WORK/tmp;
    ssl_certificate $WORK/server.pem;
    ssl_certificate_key $WORK/server.key;
    default_type application/rdap+json;
    server { listen 127.0.0.10:443 ssl; root $WORK/www/registry; }
    server {
        listen 203.0.113.11:443 ssl;
        root $WORK/www/registrar;
        location /redirect/ { return 302 https://internal.test/domain/redirected.com; }
    }
    server { listen 127.0.0.20:443 ssl; root $WORK/www/internal; access_log $WORK/internal.log; }
}
CONF
mkdir -p "$WORK/tmp"

run_status=0
unshare -m -n bash "$HERE/rdap/inside.sh" "$WORK" "$BUILD" "$WINBUILD" || run_status=$?
if [ "$run_status" -ne 0 ]; then
    echo "FAIL: the runs inside the namespace ended with status $run_status" >&2
    cat "$WORK"/*.log >&2 2>/dev/null || true
    exit 1
fi
python3 "$HERE/rdap/expect.py" "$WORK"
