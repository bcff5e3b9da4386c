"""One whole tollvane run against misbehaving peers, inside a private network and mount
namespace (run it under `unshare -m -n`): every name the run needs points at loopback
peers started here, which flood, stay silent, send terminal control sequences or answer
with errors. Checks what the terminal showed, the report file, the time and the memory.

Usage: hostile_peers.py BUILD_DIR WORK_DIR SCENARIO
Scenarios: escapes, terminal-locales, failures, idn, flood, silent-dns, stalls, progress; flood-peers only serves the flooding
peers (in a namespace the caller prepared) until it is killed.
"""
import codecs
import fcntl
import os
import pty
import re
import resource
import select
import shutil
import socket
import socketserver
import struct
import subprocess
import sys
import termios
import threading
import time
import tty

BUILD, WORK, SCENARIO = sys.argv[1], sys.argv[2], sys.argv[3]
SEPARATOR = b"\r\n \r\n" + b"*" * 69
NAMES = ["获取域名信息", "获取公网IP", "获取本地网络信息", "刷新DNS缓存", "检测FTP（21）端口",
         "检测HTTP（80）端口", "Ping命令", "Tracert命令", "检测网站访问状态"]
failures = []


def expect(condition, message):
    if not condition:
        failures.append(message)


def gbk(text):
    return text.encode("gbk")


# ---- the namespace ----

def prepare_network(hosts, resolv=None):
    """hosts: names for 127.0.0.1, or (name, address) pairs."""
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    for address in ("127.0.0.2", "127.0.0.53"):
        subprocess.run(["ip", "addr", "add", address + "/8", "dev", "lo"], check=False,
                       stderr=subprocess.DEVNULL)
    path = os.path.join(WORK, "hosts")
    with open(path, "w") as file:
        file.write("127.0.0.1 localhost\n")
        for name in hosts:
            name, address = name if isinstance(name, tuple) else (name, "127.0.0.1")
            file.write("%s %s\n" % (address, name))
    subprocess.run(["mount", "--bind", path, "/etc/hosts"], check=True)
    if resolv is not None:
        path = os.path.join(WORK, "resolv.conf")
        with open(path, "w") as file:
            file.write(resolv)
        subprocess.run(["mount", "--bind", path, "/etc/resolv.conf"], check=True)


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


def serve(port, handle, address="127.0.0.1"):
    """A TCP peer on address:port whose connections go to handle(connection)."""
    class Handler(socketserver.BaseRequestHandler):
        def handle(self):
            try:
                handle(self.request)
            except OSError:
                pass
    server = Server((address, port), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def read_request(connection, end=b"\r\n\r\n"):
    data = b""
    connection.settimeout(10)
    while end not in data and len(data) < 65536:
        chunk = connection.recv(4096)
        if not chunk:
            break
        data += chunk
    return data


def whois_peer(answer, queries):
    def handle(connection):
        queries.append(read_request(connection, b"\r\n"))
        if answer is not None:
            connection.sendall(answer)
    return handle


def web_peer(routes, requests):
    """routes: path -> bytes to send, or a callable that writes to the connection."""
    def handle(connection):
        head = read_request(connection)
        requests.append(head)
        parts = head.split(b" ")
        path = parts[1].decode() if len(parts) > 1 else "/"
        reply = routes.get(path, b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")
        if callable(reply):
            reply(connection)
        else:
            connection.sendall(reply)
    return handle


def flood(prefix, line):
    def write(connection):
        connection.sendall(prefix)
        block = line * 1000
        while True:
            connection.sendall(block)
    return write


# ---- the run ----

def run_tollvane(domain, program_dir=BUILD, terminal=False, limit=420, locale="C.UTF-8",
                 report="report.txt"):
    """Runs tollvane with the report going to report (in WORK); returns (what it printed,
    seconds, peak memory in KiB of tollvane and the programs it waited for). A locale other
    than C.UTF-8 comes from the folder in TOLLVANE_TEST_LOCPATH (tests/make_test_locales.sh)."""
    report = os.path.join(WORK, report)
    command = [os.path.join(program_dir, "tollvane"), "-o", report, domain]
    env = dict(os.environ, LANG=locale, LC_ALL=locale)
    if locale != "C.UTF-8":
        env["LOCPATH"] = os.environ["TOLLVANE_TEST_LOCPATH"]
    start = time.monotonic()
    if terminal:
        master, slave = pty.openpty()
        # Raw, so the bytes read are the bytes tollvane wrote (no LF turned into CR LF).
        tty.setraw(slave)
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=slave, stderr=slave,
                                 env=env)
        os.close(slave)
        shown = b""
        while True:
            ready, _, _ = select.select([master], [], [], limit)
            if not ready:
                child.kill()
                break
            try:
                chunk = os.read(master, 65536)
            except OSError:
                break
            if not chunk:
                break
            shown += chunk
        os.close(master)
        child.wait()
    else:
        child = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, env=env, timeout=limit)
        shown = child.stdout
    seconds = time.monotonic() - start
    memory = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    expect(child.returncode == 0, "tollvane ended with status %s" % child.returncode)
    return shown, seconds, memory


def step_bodies(report="report.txt"):
    data = open(os.path.join(WORK, report), "rb").read()
    bodies = []
    for step in range(1, 10):
        header = gbk("\r\n第%d步---%s：" % (step, NAMES[step - 1]))
        start = data.find(header)
        if start < 0:
            failures.append("the report has no step %d" % step)
            bodies.append(b"")
            continue
        body_start = data.index(b"\r\n", start + len(header)) + 2
        bodies.append(data[body_start:data.find(SEPARATOR, body_start)])
    return data, bodies


def expect_body(bodies, step, expected):
    expect(bodies[step - 1] == expected,
           "step %d holds %r, expected %r" % (step, bodies[step - 1][:400], expected[:400]))


# ---- scenarios ----

SITE_HEAD = b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 2\r\nConnection: close\r\n\r\n"


def escapes():
    """Control sequences from the whois server, the address page and the site."""
    prepare_network(["whois.internic.net", "2018.ip138.com", "www.escape.com"])
    queries, requests = [], []
    hostile = b"\x1b]0;PWNED\x07\x1b[2J\x1b]52;c;c2VjcmV0\x07"
    serve(43, whois_peer(b"Domain Name: ESCAPE.TEST\n" + hostile + b"\n", queries))
    error_head = (b"HTTP/1.1 500 Internal Server Error\r\nX-Evil: " + hostile +
                  b"\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
    page = gbk("<center>您的IP是：[127.0.0.1] \x1b[31m红\x1b[0m</center>\r\n")
    serve(80, web_peer({
        "/ic.asp": b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(page) + page,
        "/": error_head}, requests))
    shown, _, _ = run_tollvane("www.escape.com", terminal=True)
    # The one sequence of tollvane's own: erasing its status line to the line's end.
    shown = shown.replace(b"\x1b[K", b"")
    expect(b"\x1b" not in shown and b"\x07" not in shown,
           "the terminal got raw control characters: %r" % shown[shown.find(b"\x1b") - 40:][:120])
    expect(b"^[]0;PWNED^G^[[2J^[]52;c;c2VjcmV0^G" in shown, "the sequences were not shown visibly")
    expect("红".encode() in shown, "Chinese text around the sequences was lost on the terminal")
    _, bodies = step_bodies()
    expect_body(bodies, 1, b"Domain Name: ESCAPE.TEST\r\n" + hostile + b"\r\n")
    expect_body(bodies, 2, gbk("您的IP是：[127.0.0.1] \x1b[31m红\x1b[0m"))
    expect_body(bodies, 9, gbk("网站返回的状态不是200：\r\n") + error_head)


# Code points a terminal must never get from a peer: C0 controls other than TAB, LF and
# CR (a CR is checked on its own), DEL, C1 controls and the bidirectional marks.
FORBIDDEN = ({c for c in range(0x20)} - {0x09, 0x0A, 0x0D} | {0x7F} | set(range(0x80, 0xA0)) |
             {0x061C, 0x200E, 0x200F} | set(range(0x202A, 0x202F)) | set(range(0x2066, 0x206A)))
TERMINAL_LOCALES = [("en_US.UTF-8", "utf-8"), ("zh_CN.GB18030", "gb18030"),
                    ("en_US.ISO-8859-1", "latin-1")]


def without_status_controls(shown):
    """What tollvane printed with its own status line's controls taken out: the CR that
    starts each drawing of the line (made a line end, so its text is still judged) and
    the erase-to-line-end after it. Any control left came from a peer."""
    shown = shown.replace(b"\r\x1b[K", b"")
    shown = re.sub(rb"\r(?=\[\d+/\d+\] )", b"\n", shown)
    return shown.replace(b"\x1b[K", b"")


def terminal_locales():
    """A whois answer whose four-byte GB18030 forms decode to a C1 CSI and to bidi marks,
    and whose bare CR would overwrite a line, shown on a terminal in three encodings."""
    prepare_network(["whois.internic.net", "2018.ip138.com", "www.bidi.com"])
    queries, requests = [], []
    answer = (b"Domain Name: BIDI.TEST\n"
              b"csi \x81\x30\x83\x37" b"31mred\n"
              b"rlo \x81\x36\xa7\x31" b"moc.live\x81\x36\xac\x32" b"x\x81\x36\xac\x35"
              b"\x81\x36\xa5\x31\x81\x31\x82\x38\n"
              b"Registrar: EVIL\rRegistrar: GOOD\n")
    serve(43, whois_peer(answer, queries))
    serve(80, web_peer({}, requests))
    for name, codec in TERMINAL_LOCALES:
        shown, _, _ = run_tollvane("www.bidi.com", terminal=True, locale=name)
        text = without_status_controls(shown).decode(codec, errors="replace")
        raw = sorted({"U+%04X" % ord(c) for c in text if ord(c) in FORBIDDEN})
        expect(not raw, "%s: the terminal got raw controls %s" % (name, raw))
        expect(re.search("\r(?!\n)", text) is None, "%s: the terminal got a CR that ends no line" % name)
        for visible in ("csi <U+009B>31mred", "rlo <U+202E>moc.live<U+2066>x<U+2069><U+200F><U+061C>",
                        "Registrar: EVIL^MRegistrar: GOOD"):
            expect(visible in text, "%s: %r was not shown visibly" % (name, visible))
        _, bodies = step_bodies()
        expect(bodies[0].startswith(answer.replace(b"\n", b"\r\n")[:40]),
               "%s: step 1 holds %r" % (name, bodies[0][:200]))


def failures_named():
    """Peers that fail: each step body says why, in the report's own words."""
    prepare_network(["whois.internic.net", "2018.ip138.com", "www.fail.com"])
    queries, requests = [], []
    serve(43, whois_peer(None, queries))  # accepts, reads the query, closes without a byte
    serve(80, web_peer({
        "/ic.asp": b"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot here\n",
        "/": b"HTTP/1.1 301 Moved Permanently\r\nLocation: https://www.fail.com/\r\n"
             b"Content-Length: 0\r\n\r\n"}, requests))
    run_tollvane("www.fail.com")
    _, bodies = step_bodies()
    # With port 43 silent, step 1 asks RDAP, whose server has no name in this namespace.
    expect_body(bodies, 1, gbk("whois服务器whois.internic.net没有返回任何数据\r\n"
                               "RDAP服务器https://rdap.verisign.com/com/v1/domain/fail.com"
                               "无法访问：域名无法解析\r\n"))
    expect_body(bodies, 2, gbk("公网IP查询页面返回的状态不是200：HTTP/1.1 404 Not Found\r\n"))
    expect_body(bodies, 9, gbk("无法访问网站http://www.fail.com：重定向到https://www.fail.com/后连接被拒绝\r\n"))


def idn():
    """A Chinese domain: its xn-- form reaches lookups, the site and the commands."""
    ascii_name = "xn--fsqu00a.xn--fiqs8s"
    prepare_network(["cwhois.cnnic.cn", "2018.ip138.com", ascii_name])
    queries, requests = [], []
    serve(43, whois_peer(gbk("域名：例子.中国\n"), queries))
    page = gbk("<center>[127.0.0.1]</center>\r\n")
    serve(80, web_peer({"/ic.asp": b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(page) + page,
                        "/": SITE_HEAD + b"ok"}, requests))
    run_tollvane("例子.中国")
    _, bodies = step_bodies()
    expect(queries == [gbk("例子.中国\r\n")] * 2, "whois queries were %r" % queries)
    expect_body(bodies, 1, gbk("域名：例子.中国\r\n"))
    expect_body(bodies, 9, SITE_HEAD)
    site = [head for head in requests if head.startswith(b"GET / ")]
    expect(len(site) == 1 and b"\r\nHost: " + ascii_name.encode() + b"\r\n" in site[0],
           "the site was asked %r" % site)
    # Only the xn-- form resolves here: the port probe reaching the peer shows it was used.
    expect(b"Connecting to 127.0.0.1:80: " in bodies[5], "step 6 holds %r" % bodies[5][:300])
    expect(ascii_name.encode() in bodies[6] and b"127.0.0.1" in bodies[6],
           "step 7 did not reach %s: %r" % (ascii_name, bodies[6][:300]))


def serve_flood_peers():
    """Whois, address page and site peers that each send without end."""
    requests = []
    serve(43, lambda connection: (read_request(connection, b"\r\n"),
                                  flood(b"", b"Whois flood line\n")(connection)))
    serve(80, web_peer({
        "/ic.asp": flood(b"HTTP/1.1 200 OK\r\n\r\n", b"<p>[not an address]</p>\r\n"),
        "/": flood(b"HTTP/1.1 200 OK\r\n", b"X-Flood: header line\r\n")}, requests))


def flood_everything():
    """Every peer and one command send without end: memory and the report stay bounded."""
    prepare_network(["whois.internic.net", "2018.ip138.com", "www.flood.com"])
    serve_flood_peers()
    programs = os.path.join(WORK, "programs")
    os.mkdir(programs)
    for name in ("tollvane", "ipconfig", "psping", "tracert"):
        shutil.copy2(os.path.join(BUILD, name), programs)
    ping = os.path.join(programs, "ping")
    with open(ping, "w") as script:
        script.write("#!/bin/sh\nexec yes 'Reply from 127.0.0.1: flood'\n")
    os.chmod(ping, 0o755)
    _, seconds, memory = run_tollvane("www.flood.com", program_dir=programs)
    data, bodies = step_bodies()
    print("flood: run took %.0f s, peak memory %d KiB, report %d bytes" % (seconds, memory, len(data)))
    expect(memory < 64 * 1024, "peak memory %d KiB is not under 64 MiB" % memory)
    expect(len(data) < 4 * 1024 * 1024, "the report grew to %d bytes" % len(data))
    expect(bodies[0].endswith(gbk("\r\n（whois应答超过1MB，其余部分已省略）\r\n")), "step 1 was not capped")
    expect(bodies[6].startswith(b"Reply from 127.0.0.1: flood\n") and
           bodies[6].endswith(gbk("\r\n（命令输出超过1MB，其余部分已省略）\r\n"
                                  "\r\n命令运行超过30秒仍未结束，已被终止。\r\n")),
           "step 7 does not end with the cap and limit notices: %r" % bodies[6][-200:])
    expect(len(bodies[6]) < 1024 * 1024 + 200, "step 7 holds %d bytes" % len(bodies[6]))
    expect_body(bodies, 9, gbk("无法访问网站http://www.flood.com：应答头过长\r\n"))


def silent_dns():
    """Every DNS server swallows queries: each lookup gives up at its own limit."""
    prepare_network([], resolv="nameserver 127.0.0.53\noptions timeout:10 attempts:3\n")
    sink = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sink.bind(("127.0.0.53", 53))
    threading.Thread(target=lambda: [sink.recvfrom(4096) for _ in iter(int, 1)], daemon=True).start()
    _, seconds, _ = run_tollvane("www.silent-dns.com")
    _, bodies = step_bodies()
    print("silent DNS: run took %.0f s" % seconds)
    expect(seconds < 360, "the run took %.0f s, six minutes or more" % seconds)
    timed_out = "解析%s的主机IP超时：DNS服务器10秒内没有应答\r\n"
    # Step 1 then asks RDAP, whose lookup inside the HTTP layer runs out of time as well.
    expect_body(bodies, 1, gbk(timed_out % "whois.internic.net" +
                               "RDAP服务器https://rdap.verisign.com/com/v1/domain/silent-dns.com"
                               "无法访问：连接超时\r\n"))
    expect_body(bodies, 9, gbk("Visit WebSite Address:http://www.silent-dns.com\r\n" +
                               timed_out % "www.silent-dns.com"))
    expect(bodies[1].startswith(gbk("无法访问公网IP查询页面：")), "step 2 holds %r" % bodies[1])


def flood_peers_only():
    """For the window test: only the flooding peers, until killed. The address page
    floods its body, the site its header block (which WinINet keeps line by line)."""
    requests = []
    serve(43, lambda connection: (read_request(connection, b"\r\n"),
                                  flood(b"", b"Whois flood line\n")(connection)))
    serve(80, web_peer({
        "/ic.asp": flood(b"HTTP/1.1 200 OK\r\n\r\n", b"<p>[not an address]</p>\r\n"),
        "/": flood(b"HTTP/1.1 200 OK\r\n", b"X-Flood: header line\r\n")}, requests))
    print("ready", flush=True)
    threading.Event().wait()


def hold(connection):
    threading.Event().wait()


def stalls():
    """Slow failures told apart: a port that drops every packet, a server that takes the
    connection and says nothing, one that sends its status line and stalls. Three runs at
    once, one per site; the address page stalls and the RDAP server's port drops."""
    prepare_network(["whois.internic.net", ("2018.ip138.com", "127.0.0.2"),
                     ("rdap.verisign.com", "127.0.0.4"), ("www.stall-accept.com", "127.0.0.2"),
                     ("www.stall-status.com", "127.0.0.3"), ("www.stall-drop.com", "127.0.0.4")])
    for port in ("80", "443"):
        subprocess.run(["iptables", "-A", "INPUT", "-d", "127.0.0.4", "-p", "tcp", "--dport", port,
                        "-j", "DROP"], check=True)
    serve(43, whois_peer(None, []))  # no whois answer: step 1 asks RDAP
    serve(80, lambda connection: (read_request(connection), hold(connection)), "127.0.0.2")
    serve(80, lambda connection: (read_request(connection),
                                  connection.sendall(b"HTTP/1.1 200 OK\r\n"), hold(connection)),
          "127.0.0.3")
    sites = {"accept": "已连接到127.0.0.2，但{N}秒内没有应答",
             "status": "已连接到127.0.0.3，但{N}秒内应答只收到17字节",
             "drop": "连接到127.0.0.4超时（{N}秒）"}
    limits = {"accept": 20, "status": 20, "drop": 15}
    runs = [threading.Thread(target=run_tollvane, args=("www.stall-%s.com" % kind,),
                             kwargs={"report": kind + ".txt"}) for kind in sites]
    for run in runs:
        run.start()
    for run in runs:
        run.join()
    if os.environ.get("WIN_BUILD"):
        windows_stalls()
    for kind, words in sites.items():
        _, bodies = step_bodies(kind + ".txt")
        site = "www.stall-%s.com" % kind
        expect_seconds(bodies[8], "无法访问网站http://%s：%s\r\n" % (site, words), limits[kind],
                       "step 9 of " + site)
        expect_seconds(bodies[1], "无法访问公网IP查询页面：已连接到127.0.0.2，但{N}秒内没有应答\r\n",
                       20, "step 2 of " + site)
        rdap = ("whois服务器whois.internic.net没有返回任何数据\r\n"
                "RDAP服务器https://rdap.verisign.com/com/v1/domain/stall-%s.com"
                "无法访问：连接到127.0.0.4超时（{N}秒）\r\n" % kind)
        expect_seconds(bodies[0], rdap, 15, "step 1 of " + site)


def windows_stalls():
    """Step 9 of the same three sites through WinINet, under wine64 in this namespace.
    WinINet counts no byte of an answer before a whole header block has come, so the site
    that sent its status line reads as one that sent nothing. Wine's WinINet applies
    neither its connect limit nor its receive limit inside a header block: the exchange's
    own 30 s limit ends those two."""
    wine, server = "/usr/lib/wine/wine64", "/usr/lib/wine/wineserver"
    probe = os.path.join(os.environ["WIN_BUILD"], "tests", "extended_probe.exe")
    subprocess.run([server, "-k"], stderr=subprocess.DEVNULL)
    subprocess.run([server, "-p", "900"], check=True)
    subprocess.run(["timeout", "300", wine, "wineboot", "-u"], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    sites = {"accept": ("已连接到127.0.0.2，但{N}秒内没有应答", 20),
             "status": ("已连接到127.0.0.3，但{N}秒内没有应答", 30),
             "drop": ("连接到127.0.0.4超时（{N}秒）", 30)}
    answers = {}

    def ask(kind):
        done = subprocess.run([wine, probe, "website", "www.stall-%s.com" % kind],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120)
        answers[kind] = done.stdout
    runs = [threading.Thread(target=ask, args=(kind,)) for kind in sites]
    for run in runs:
        run.start()
    for run in runs:
        run.join()
    subprocess.run([server, "-k"], stderr=subprocess.DEVNULL)
    for kind, (words, seconds) in sites.items():
        text = "ok=0\n无法访问网站http://www.stall-%s.com：%s\r\n" % (kind, words)
        expect_seconds(answers.get(kind, b""), text, seconds, "Windows step 9 of www.stall-%s.com" % kind)


def expect_seconds(body, text, seconds, what):
    """The body is text whole, its "{N}" a number within a second of seconds."""
    before, after = text.split("{N}")
    match = re.fullmatch(re.escape(gbk(before)) + rb"(\d+)" + re.escape(gbk(after)), body)
    expect(match is not None, "%s holds %r, expected %r" % (what, body[:300], gbk(text)))
    if match:
        expect(abs(int(match.group(1)) - seconds) <= 1, "%s waited %s s" % (what, match.group(1)))


class Screen:
    """Just enough of a terminal to read it: text, CR, LF and erase-to-line-end, with every
    line kept (the scrollback too). Any other escape sequence is recorded as unexpected."""

    def __init__(self):
        self.lines, self.row, self.col = [""], 0, 0
        self.decoder = codecs.getincrementaldecoder("utf-8")("replace")
        self.held, self.unexpected = "", []

    def feed(self, data):
        text, self.held = self.held + self.decoder.decode(data), ""
        i = 0
        while i < len(text):
            ch = text[i]
            if ch == "\x1b":
                match = re.match(r"\x1b\[[0-9;?]*[A-Za-z]", text[i:])
                if not match and len(text) - i < 16:
                    self.held = text[i:]  # the rest of the sequence comes with the next read
                    return
                sequence = match.group(0) if match else ch
                if sequence == "\x1b[K":
                    self.lines[self.row] = self.lines[self.row][:self.col]
                else:
                    self.unexpected.append(sequence)
                i += len(sequence)
                continue
            if ch == "\r":
                self.col = 0
            elif ch == "\n":
                self.row += 1
                if self.row == len(self.lines):
                    self.lines.append("")
            else:
                line = self.lines[self.row].ljust(self.col)
                self.lines[self.row] = line[:self.col] + ch + line[self.col + 1:]
                self.col += 1
            i += 1


STATUS = re.compile(r"\[(\d+)/9\] (\S+) (\d+)秒(?:  (.*))?")


def progress():
    """The status line a person follows on a terminal: step, name and seconds, rewritten
    in place each second with the running command's last line, and gone from the screen
    once the run has ended, so the screen holds the report's lines and nothing else."""
    prepare_network(["whois.internic.net", "2018.ip138.com", "www.progress.com"])
    serve(43, whois_peer(b"Domain Name: PROGRESS.TEST\n", []))
    page = gbk("<center>[127.0.0.1]</center>\r\n")
    serve(80, web_peer({"/ic.asp": b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(page) + page,
                        "/": SITE_HEAD + b"ok"}, []))
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 40, 100, 0, 0))
    report = os.path.join(WORK, "report.txt")
    env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
    child = subprocess.Popen([os.path.join(BUILD, "tollvane"), "-o", report, "www.progress.com"],
                             stdin=subprocess.DEVNULL, stdout=slave, stderr=slave, env=env)
    os.close(slave)
    screen, samples, start = Screen(), [], time.monotonic()
    while time.monotonic() - start < 300:
        if select.select([master], [], [], 0.2)[0]:
            try:
                chunk = os.read(master, 65536)
            except OSError:
                break
            if not chunk:
                break
            screen.feed(chunk)
        samples.append((time.monotonic(), screen.lines[screen.row]))
    child.kill() if child.poll() is None else None
    child.wait()
    os.close(master)
    expect(child.returncode == 0, "tollvane ended with status %s" % child.returncode)
    expect(not screen.unexpected, "unexpected sequences %r" % screen.unexpected[:5])
    check_status_samples(samples)
    # Once the run is over only the report is on the screen, line for line, then the
    # findings tollvane shows a terminal after a run.
    shown = [line.rstrip() for line in screen.lines]
    if "诊断结论：" in shown:
        shown = shown[:shown.index("诊断结论：")]
    text = open(report, "rb").read().decode("gbk").replace("\r\n", "\n")
    expected = [line.rstrip() for line in text.split("\n")]
    while shown and not shown[-1]:
        shown.pop()
    while expected and not expected[-1]:
        expected.pop()
    expect(shown == expected, "the screen holds more than the report: %r" %
           [line for line in shown if line not in expected][:5])


def check_status_samples(samples):
    """Every command step from 5 on shows its name; the seconds follow the clock; psping's line shows."""
    seen = {}
    for moment, line in samples:
        match = STATUS.fullmatch(line.rstrip())
        if match:
            seen.setdefault(int(match.group(1)), []).append((moment, match))
    # Steps 5 to 8 run commands for seconds; the web site step on loopback can end between
    # two looks at the screen, so it is not required.
    for step in range(5, 9):
        expect(step in seen, "no status line for step %d; steps seen %s" % (step, sorted(seen)))
    for step, shots in seen.items():
        expect(all(m.group(2) == NAMES[step - 1] for _, m in shots), "step %d misnamed" % step)
        first = shots[0][0]
        late = [(moment - first, int(m.group(3))) for moment, m in shots
                if abs(int(m.group(3)) - (moment - first)) > 1.6]
        expect(not late, "step %d: seconds shown lag the clock: %r" % (step, late[:3]))
    ftp = seen.get(5, [])
    expect(ftp and int(ftp[-1][1].group(3)) >= 5, "step 5 never showed 5 seconds")
    expect(any((m.group(4) or "").find("127.0.0.1") >= 0 for _, m in ftp),
           "step 5 never showed psping's line: %r" % [m.group(0) for _, m in ftp][-3:])


SCENARIOS = {"escapes": escapes, "terminal-locales": terminal_locales, "failures": failures_named, "idn": idn,
             "flood": flood_everything, "silent-dns": silent_dns, "stalls": stalls, "progress": progress,
             "flood-peers": flood_peers_only}

if __name__ == "__main__":
    SCENARIOS[SCENARIO]()
    for failure in failures:
        print("FAIL (%s): %s" % (SCENARIO, failure), file=sys.stderr)
    if failures:
        sys.exit(1)
    print("%s: ok" % SCENARIO)
