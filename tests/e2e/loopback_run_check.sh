#!/bin/bash
# End-to-end check of steps 1, 2 and 9 of a real tollvane run, in a private network and
# mount namespace: a stand-in registry on 127.0.0.1:43 answers with a referral to a
# stand-in registrar on 127.0.0.2:43, reached through the names the program ships with;
# a web server on 127.0.0.1:80 serves both the public address page and the tested site.
#
# Usage (as root): tests/e2e/loopback_run_check.sh BUILD_DIR
# BUILD_DIR holds the tollvane program (build/linux), or is the folder of the preset
# builds (build), whose linux build is then used. Exit status 0 when step 1 of
# the report holds the registrar's answer with CR LF line ends and both servers got the
# expected query bytes, and the JSON report written beside the text in the same run
# follows docs/report.schema.json, carries the same text and facts, and converts back
# to the text report byte for byte.
set -euo pipefail

if [ "$#" -ne 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
BUILD=$(cd "$1" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/lib.sh"
if [ ! -x "$BUILD/tollvane" ] && [ -x "$BUILD/linux/tollvane" ]; then
    BUILD=$BUILD/linux
fi
if [ ! -x "$BUILD/tollvane" ]; then
    echo "no tollvane program in $BUILD" >&2
    exit 2
fi
e2e_require_root loopback_run_check "it needs unshare -m -n"
e2e_enter_namespace 900 "$0" "$@"

# ---- inside the private mount and network namespace ----
e2e_make_work loopback-check
WORK=$E2E_WORK
# The registry host of the com row, and the registrar its answer refers to.
REGISTRY=whois.internic.net
REGISTRAR=whois.example-registrar.test
e2e_hosts "127.0.0.1 localhost" "127.0.0.1 $REGISTRY" "127.0.0.2 $REGISTRAR" "127.0.0.1 2018.ip138.com" \
    "127.0.0.1 www.example.com"

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

# GBK, as the real page is: the address line's center text is what step 2 must show.
page = ("<html><body>\r\n<p>[ad]</p>\r\n"
        "<center>\u60a8\u7684IP\u662f\uff1a[127.0.0.1] \u6765\u81ea\uff1a\u672c\u673a</center>\r\n"
        "</body></html>\r\n").encode("gbk")
site_headers = (b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nX-Check: loopback\r\n"
                b"Content-Length: 25\r\nConnection: close\r\n\r\n")

class WebHandler(socketserver.StreamRequestHandler):
    def handle(self):
        request_line = self.rfile.readline(4096)
        while self.rfile.readline(4096) not in (b"\r\n", b"\n", b""):
            pass
        with open(os.path.join(work, "requests"), "ab") as log:
            log.write(request_line.hex().encode() + b"\n")
        if request_line.split(b" ")[1:2] == [b"/ic.asp"]:
            self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\nConnection: close\r\n\r\n"
                             % len(page) + page)
        else:
            self.wfile.write(site_headers + b"<html>secret body</html>")

class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True

servers = [Server((address, 43), Handler) for address in answers]
servers.append(Server(("127.0.0.1", 80), WebHandler))
for server in servers:
    threading.Thread(target=server.serve_forever, daemon=True).start()
open(os.path.join(work, "ready"), "w").close()
threading.Event().wait()
PY

python3 "$WORK/whois_server.py" "$WORK" &
e2e_on_exit "kill $! 2>/dev/null; wait $! 2>/dev/null"
e2e_wait_for 10 test -e "$WORK/ready" || { echo "FAIL: whois stand-in did not start" >&2; exit 1; }
run_status=0
(cd "$WORK" && timeout 300 "$BUILD/tollvane" -o "$WORK/report.txt" -o "$WORK/report.json" www.example.com \
    > "$WORK/run.log" 2>&1 && timeout 30 "$BUILD/tollvane" --convert "$WORK/report.json" -o "$WORK/back.txt") ||
    run_status=$?
if [ "$run_status" -ne 0 ]; then
    echo "FAIL: tollvane run ended with status $run_status" >&2
    cat "$WORK/run.log" >&2 2>/dev/null || true
    exit 1
fi

python3 - "$WORK" "$HERE/../../docs/report.schema.json" <<'PY'
import json, os, sys
import jsonschema

work = sys.argv[1]
failures = []

def queries(address):
    path = os.path.join(work, "queries." + address)
    if not os.path.exists(path):
        return []
    return [bytes.fromhex(line) for line in open(path).read().split()]

def body_of(report, step, name):
    header = ("\r\n第%d步---%s：" % (step, name)).encode("gbk")
    separator = b"\r\n \r\n" + b"*" * 69
    start = report.find(header)
    if start < 0:
        failures.append("report has no step %d header" % step)
        return None
    body_start = report.index(b"\r\n", start + len(header)) + 2
    return report[body_start:report.find(separator, body_start)]

if queries("127.0.0.1") != [b"=example.com\r\n"]:
    failures.append("registry got %r, expected one '=example.com\\r\\n'" % queries("127.0.0.1"))
if queries("127.0.0.2") != [b"example.com\r\n"]:
    failures.append("registrar got %r, expected one 'example.com\\r\\n'" % queries("127.0.0.2"))

report = open(os.path.join(work, "report.txt"), "rb").read()
expectations = [
    (1, "获取域名信息", b"Domain Name: example.com\r\nRegistrar: Example Registrar\r\n\r\n>>> end <<<\r\n"),
    (2, "获取公网IP", "您的IP是：[127.0.0.1] 来自：本机".encode("gbk")),
    (9, "检测网站访问状态", b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nX-Check: loopback\r\n"
                         b"Content-Length: 25\r\nConnection: close\r\n\r\n"),
]
for step, name, expected in expectations:
    body = body_of(report, step, name)
    if body is not None and body != expected:
        failures.append("step %d holds %r, expected %r" % (step, body, expected))
requests = [bytes.fromhex(line) for line in open(os.path.join(work, "requests")).read().split()]
if sorted(requests) != [b"GET / HTTP/1.1\r\n", b"GET /ic.asp HTTP/1.1\r\n"]:
    failures.append("web server got %r" % requests)

# The JSON of the same run: valid, the same bodies in UTF-8, facts that match them, and
# the text it converts back to is the text report itself.
document = json.load(open(os.path.join(work, "report.json"), encoding="utf-8"))
for error in jsonschema.Draft202012Validator(json.load(open(sys.argv[2]))).iter_errors(document):
    failures.append("report.json breaks the schema: %s" % error.message[:200])
steps = {step["number"]: step for step in document.get("steps", [])}
for step, name, expected in expectations:
    if steps.get(step, {}).get("text", "").encode("gbk") != body_of(report, step, name):
        failures.append("report.json step %d text differs from the text report" % step)
facts = (steps.get(2, {}).get("facts", {}).get("address"), steps.get(9, {}).get("facts", {}).get("status"))
if facts != ("127.0.0.1", 200) or not steps.get(9, {}).get("ok"):
    failures.append("report.json facts of steps 2 and 9 are %r, ok %r" % (facts, steps.get(9, {}).get("ok")))
if open(os.path.join(work, "back.txt"), "rb").read() != report:
    failures.append("report.json converted to text differs from report.txt")

for failure in failures:
    print("FAIL: " + failure, file=sys.stderr)
if failures:
    sys.exit(1)
print("loopback run check passed: steps 1, 2 and 9, and the JSON report")
PY
