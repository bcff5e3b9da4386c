#!/bin/bash
# End-to-end check of step 1 (whois) of a real tollvane run, in a private network and
# mount namespace: a stand-in registry on 127.0.0.1:43 answers with a referral to a
# stand-in registrar on 127.0.0.2:43, reached through the names the program ships with.
#
# Usage (as root): tests/e2e/whois_namespace_check.sh BUILD_DIR
# BUILD_DIR holds the tollvane program (build/linux), or is the folder of the preset
# builds (build), whose linux build is then used. Exit status 0 when step 1 of
# the report holds the registrar's answer with CR LF line ends and both servers got the
# expected query bytes.
set -euo pipefail

if [ "$#" -ne 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
BUILD=$(cd "$1" && pwd)
if [ ! -x "$BUILD/tollvane" ] && [ -x "$BUILD/linux/tollvane" ]; then
    BUILD=$BUILD/linux
fi
if [ ! -x "$BUILD/tollvane" ]; then
    echo "no tollvane program in $BUILD" >&2
    exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "run as root (it needs unshare -m -n)" >&2
    exit 2
fi

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# The registry host of the com row, and the registrar its answer refers to.
REGISTRY=whois.internic.net
REGISTRAR=whois.example-registrar.test
printf '127.0.0.1 localhost\n127.0.0.1 %s\n127.0.0.2 %s\n' "$REGISTRY" "$REGISTRAR" > "$WORK/hosts"

cat > "$WORK/whois_server.py" <<'PY'
import os, socketserver, sys, threading

work = sys.argv[1]
answers = {
    "127.0.0.1": b"   Domain Name: EXAMPLE.COM\r\n   Whois Server: whois.example-registrar.test\r\n"
                 b"   Status: ok\r\n",
    "127.0.0.2": b"Domain Name: example.com\nRegistrar: Example Registrar\n\n>>> end <<<\n",
}

class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        address = self.server.server_address[0]
        query = self.rfile.readline(4096)
        with open(os.path.join(work, "queries." + address), "ab") as log:
            log.write(query.hex().encode() + b"\n")
        self.wfile.write(answers[address])

class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True

servers = [Server((address, 43), Handler) for address in answers]
for server in servers:
    threading.Thread(target=server.serve_forever, daemon=True).start()
open(os.path.join(work, "ready"), "w").close()
threading.Event().wait()
PY

cat > "$WORK/inside.sh" <<'INSIDE'
set -euo pipefail
WORK=$1
BUILD=$2
ip link set lo up
mount --bind "$WORK/hosts" /etc/hosts
python3 "$WORK/whois_server.py" "$WORK" &
SERVER=$!
for _ in $(seq 50); do
    [ -e "$WORK/ready" ] && break
    sleep 0.1
done
status=0
if [ -e "$WORK/ready" ]; then
    (cd "$WORK" && timeout 300 "$BUILD/tollvane" -o "$WORK/report.txt" www.example.com > "$WORK/run.log" 2>&1) || status=$?
else
    echo "whois stand-in did not start" >&2
    status=1
fi
kill "$SERVER" 2>/dev/null || true
wait "$SERVER" 2>/dev/null || true
exit "$status"
INSIDE

run_status=0
unshare -m -n bash "$WORK/inside.sh" "$WORK" "$BUILD" || run_status=$?
if [ "$run_status" -ne 0 ]; then
    echo "FAIL: tollvane run ended with status $run_status" >&2
    cat "$WORK/run.log" >&2 2>/dev/null || true
    exit 1
fi

python3 - "$WORK" <<'PY'
import os, sys

work = sys.argv[1]
failures = []

def queries(address):
    path = os.path.join(work, "queries." + address)
    if not os.path.exists(path):
        return []
    return [bytes.fromhex(line) for line in open(path).read().split()]

if queries("127.0.0.1") != [b"=example.com\r\n"]:
    failures.append("registry got %r, expected one '=example.com\\r\\n'" % queries("127.0.0.1"))
if queries("127.0.0.2") != [b"example.com\r\n"]:
    failures.append("registrar got %r, expected one 'example.com\\r\\n'" % queries("127.0.0.2"))

report = open(os.path.join(work, "report.txt"), "rb").read()
header = "\r\n第1步---获取域名信息：".encode("gbk")
separator = b"\r\n \r\n" + b"*" * 69
start = report.find(header)
if start < 0:
    failures.append("report has no step 1 header")
else:
    body_start = report.index(b"\r\n", start + len(header)) + 2
    body_end = report.find(separator, body_start)
    body = report[body_start:body_end]
    expected = b"Domain Name: example.com\r\nRegistrar: Example Registrar\r\n\r\n>>> end <<<\r\n"
    if body != expected:
        failures.append("step 1 holds %r, expected %r" % (body, expected))

for failure in failures:
    print("FAIL: " + failure, file=sys.stderr)
if failures:
    sys.exit(1)
print("whois namespace check passed")
PY
