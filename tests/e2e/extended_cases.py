"""Peers and cases of the optional checks (DNS answers, HTTPS certificate, IPv6 connects).

  extended_cases.py setup WORK          certificates, nginx and dnsmasq configuration
  extended_cases.py check WORK -- CMD   runs CMD dns|https|ipv6 DOMAIN for every case
  extended_cases.py silent WORK -- CMD  the checks against silent peers, timed
  extended_cases.py timing-peers WORK   the slow sites of the timing step (runs until ended)
  extended_cases.py timing WORK -- CMD  the timing step against them

Run by extended_peers_check.sh inside a private network namespace in which dnsmasq on
127.0.0.1 is the system's DNS server and nginx serves TLS on 127.0.0.1 and ::1. CMD
prints "ok=N" and the step text (GBK); each case compares the whole text.
"""
import datetime
import os
import re
import subprocess
import sys
import time

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import NameOID

NOW = datetime.datetime.utcnow().replace(microsecond=0)
DAY = datetime.timedelta(days=1)
REFUSED6 = "fd00:ee::2"
SILENT6 = "fd00:99::2"
# The timing step's sites: one slow to send its first byte (and whose cache missed), one
# slow to start its TLS handshake, and one that accepts and never says a word.
SLOW_BYTE, SLOW_TLS, MUTE = "127.0.0.5", "127.0.0.6", "127.0.0.8"
DELAY = 1.5


def name(common):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, common)])


def make_cert(common, sans, issuer_name, issuer_key, start, end, key=None, ca=False):
    key = key or ec.generate_private_key(ec.SECP256R1())
    builder = (x509.CertificateBuilder().subject_name(name(common)).issuer_name(issuer_name)
               .public_key(key.public_key()).serial_number(x509.random_serial_number())
               .not_valid_before(start).not_valid_after(end)
               .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True))
    if sans:
        builder = builder.add_extension(
            x509.SubjectAlternativeName([x509.DNSName(s) for s in sans]), critical=False)
    return builder.sign(issuer_key, hashes.SHA256()), key


def write_pair(work, label, cert, key):
    with open(os.path.join(work, label + ".crt"), "wb") as out:
        out.write(cert.public_bytes(serialization.Encoding.PEM))
    with open(os.path.join(work, label + ".key"), "wb") as out:
        out.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                    serialization.NoEncryption()))


# label: (common name, alternative names, issuer, first day, last day) relative to now
CERTS = {
    "valid": ("valid.test", ["valid.test", "www.valid.test"], "ca", -10, 90),
    "expired": ("expired.test", ["expired.test"], "ca", -100, -3),
    "wrong": ("other.test", ["other.test"], "ca", -10, 200),
    "untrusted": ("untrusted.test", ["untrusted.test"], "rogue", -10, 50),
    "selfsigned": ("selfsigned.test", ["selfsigned.test"], None, -1, 20),
}


def setup(work):
    cas = {}
    for label, common in (("ca", "Tollvane Test CA"), ("rogue", "Rogue Test CA")):
        key = ec.generate_private_key(ec.SECP256R1())
        cert, _ = make_cert(common, [], name(common), key, NOW - 30 * DAY, NOW + 3650 * DAY, key, True)
        cas[label] = (cert, key)
        write_pair(work, label, cert, key)
    for label, (common, sans, issuer, first, last) in CERTS.items():
        key = ec.generate_private_key(ec.SECP256R1())
        issuer_name, issuer_key = (cas[issuer][0].subject, cas[issuer][1]) if issuer else (name(common), key)
        cert, _ = make_cert(common, sans, issuer_name, issuer_key, NOW + first * DAY, NOW + last * DAY, key)
        write_pair(work, label, cert, key)
    servers = []
    for label in CERTS:
        host = label + ".test"
        servers.append(f"""
    server {{
        listen 127.0.0.1:443 ssl; listen [::1]:443 ssl;
        server_name {host} www.{host};
        ssl_certificate {work}/{label}.crt; ssl_certificate_key {work}/{label}.key;
        location / {{ return 200 "ok\\n"; }}
    }}""")
    with open(os.path.join(work, "nginx.conf"), "w") as out:
        out.write(f"""daemon off; master_process off; pid {work}/nginx.pid;
error_log {work}/nginx-error.log; worker_processes 1;
events {{ worker_connections 64; }}
http {{
    access_log off; server_tokens off; default_type text/plain;
    client_body_temp_path {work}; proxy_temp_path {work}; fastcgi_temp_path {work};
    uwsgi_temp_path {work}; scgi_temp_path {work};
    server {{ listen 127.0.0.1:80; listen [::1]:80; location / {{ return 200 "ok\\n"; }} }}
    {''.join(servers)}
}}
""")
    records = [
        "host-record=valid.test,127.0.0.1,::1,300",
        "cname=www.valid.test,valid.test,120",
        "cname=chain.test,mid.chain.test,90",
        "cname=mid.chain.test,valid.test,80",
        "host-record=v4only.test,127.0.0.1,60",
        f"host-record=refused6.test,{REFUSED6},45",
        f"host-record=silent6.test,{SILENT6},45",
        "host-record=hang.test,127.0.0.3,30",
        "host-record=refused.test,127.0.0.4,30",
        f"host-record=slowbyte.test,{SLOW_BYTE},30",
        f"host-record=slowtls.test,{SLOW_TLS},30",
        f"host-record=half6.test,127.0.0.1,{REFUSED6},30",
        f"host-record=mute.test,{MUTE},30",
        "server=/silentdns.test/127.0.0.9",
    ] + [f"host-record={label}.test,127.0.0.1,::1,30" for label in CERTS if label != "valid"]
    with open(os.path.join(work, "dnsmasq.conf"), "w") as out:
        out.write("\n".join(["no-resolv", "no-hosts", "listen-address=127.0.0.1",
                             "bind-interfaces", "local=/test/", "user=root"] + records) + "\n")


def run(command, probe, domain):
    started = time.monotonic()
    out = subprocess.run(command + [probe, domain], capture_output=True, timeout=120).stdout
    took = time.monotonic() - started
    head, _, text = out.partition(b"\n")
    return head.decode(), text.decode("gbk"), took


def date_line(label, which):
    first, last = CERTS[label][3], CERTS[label][4]
    moment = NOW + (first if which == "from" else last) * DAY
    return moment.strftime("%Y-%m-%d %H:%M:%S UTC")


def certificate_lines(label, windows, trusted, matches, validity):
    common, sans, issuer = CERTS[label][0], CERTS[label][1], CERTS[label][2]
    issuer_name = {"ca": "Tollvane Test CA", "rogue": "Rogue Test CA", None: common}[issuer]
    subject = common if windows else "CN = " + common
    lines = ["证书主题：" + subject, "证书备用名称：" + "、".join(sans)]
    lines.append("证书颁发者：" + (issuer_name if windows else "CN = " + issuer_name))
    lines += ["有效期自：" + date_line(label, "from"), "有效期至：" + date_line(label, "until"), validity,
              "证书受系统信任" if trusted else "证书不受信任",
              "证书与域名匹配" if matches else "证书与域名不匹配"]
    return "".join(line + "\r\n" for line in lines)


def days_left(label):
    return f"证书将于{CERTS[label][4] - 1}天后过期"  # issued a moment ago: a day not yet whole


HEADERS = re.compile(r"^HTTP/1\.1 200 OK\r\n(?:[A-Za-z-]+: [^\r\n]*\r\n)+\r\n")


def https_cases(windows):
    def cert(label, **kw):
        return certificate_lines(label, windows, **kw)
    return [
        ("valid.test", 1, cert("valid", trusted=True, matches=True, validity=days_left("valid"))),
        ("www.valid.test", 1, cert("valid", trusted=True, matches=True, validity=days_left("valid"))),
        ("expired.test", 0, cert("expired", trusted=True, matches=True, validity="证书已过期")),
        ("wrong.test", 0, cert("wrong", trusted=True, matches=False, validity=days_left("wrong"))),
        ("untrusted.test", 0, cert("untrusted", trusted=False, matches=True, validity=days_left("untrusted"))),
        ("selfsigned.test", 0, cert("selfsigned", trusted=False, matches=True, validity=days_left("selfsigned"))),
    ]


DNS_CASES = [
    ("valid.test", 1,
     "valid.test：\r\n  A 127.0.0.1（TTL 300）\r\n  AAAA ::1（TTL 300）\r\n"
     "www.valid.test：\r\n  CNAME www.valid.test -> valid.test（TTL 120）\r\n"
     "  A 127.0.0.1（TTL 300）\r\n  AAAA ::1（TTL 300）\r\n"),
    ("www.valid.test", 1,
     "www.valid.test：\r\n  CNAME www.valid.test -> valid.test（TTL 120）\r\n"
     "  A 127.0.0.1（TTL 300）\r\n  AAAA ::1（TTL 300）\r\n"),
    ("chain.test", 1,
     "chain.test：\r\n  CNAME chain.test -> mid.chain.test（TTL 90）\r\n"
     "  CNAME mid.chain.test -> valid.test（TTL 80）\r\n"
     "  A 127.0.0.1（TTL 300）\r\n  AAAA ::1（TTL 300）\r\n"
     "www.chain.test：\r\n  域名不存在\r\n"),
    ("v4only.test", 1,
     "v4only.test：\r\n  A 127.0.0.1（TTL 60）\r\n"
     "www.v4only.test：\r\n  域名不存在\r\n"),
    ("nx.test", 0, "nx.test：\r\n  域名不存在\r\nwww.nx.test：\r\n  域名不存在\r\n"),
]
DNS_SERVERS = "系统使用的DNS服务器：127.0.0.1\r\n"

IPV6_CASES = [
    ("valid.test", 1, "::1：\r\n  80端口：连接成功，用时#ms\r\n  443端口：连接成功，用时#ms\r\n"),
    ("refused6.test", 0, f"{REFUSED6}：\r\n  80端口：连接被拒绝\r\n  443端口：连接被拒绝\r\n"),
    ("v4only.test", 0, "该域名没有IPv6地址\r\n"),
    ("nx.test", 0, "该域名没有IPv6地址\r\n"),
]


def report(failures, what, ok, expected_ok, text, expected, matched):
    if ok == f"ok={expected_ok}" and matched:
        print(f"ok - {what}")
        return
    print(f"FAIL - {what}: got {ok}\n{text!r}\nexpected ok={expected_ok}\n{expected!r}")
    failures.append(what)


def check(command, windows):
    failures = []
    for domain, expected_ok, expected in DNS_CASES:
        if windows and "域名不存在" in expected:
            # Wine's dnsapi tells neither a missing name nor a missing record type as
            # Windows does (it gives a status of its own, or "no such name" for both).
            print(f"skip - dns {domain} under Wine")
            continue
        ok, text, _ = run(command, "dns", domain)
        report(failures, "dns " + domain, ok, expected_ok, text, expected + DNS_SERVERS,
               text == expected + DNS_SERVERS)
    for domain, expected_ok, expected in https_cases(windows):
        ok, text, _ = run(command, "https", domain)
        head = HEADERS.match(text)
        report(failures, "https " + domain, ok, expected_ok, text, expected,
               bool(head) and text[head.end():] == expected)
    for domain, expected_ok, expected in IPV6_CASES:
        ok, text, _ = run(command, "ipv6", domain)
        timed = re.sub(r"用时\d+\.\d\dms", "用时#ms", text)
        report(failures, "ipv6 " + domain, ok, expected_ok, text, expected, timed == expected)
    ok, text, _ = run(command, "https", "refused.test")
    report(failures, "https refused.test", ok, 0, text, "无法访问网站https://refused.test：...",
           bool(re.fullmatch(r"无法访问网站https://refused\.test：(连接被拒绝|无法建立连接)\r\n", text)))
    return failures


# Each check against peers that never answer ends within its own limit.
def silent(command):
    failures = []
    cases = [
        ("dns", "silentdns.test", 25, "silentdns.test：\r\n  A记录查询失败：查询超时\r\n"),
        ("https", "hang.test", 45, "无法访问网站https://hang.test：已连接到127.0.0.3，但"),
        ("ipv6", "silent6.test", 15, f"{SILENT6}：\r\n  80端口：连接超时\r\n  443端口：连接超时\r\n"),
    ]
    for probe, domain, limit, begins in cases:
        ok, text, took = run(command, probe, domain)
        report(failures, f"{probe} {domain} silent ({took:.1f} s, limit {limit} s)", ok, 0, text, begins,
               text.startswith(begins) and took < limit)
    return failures


ANSWER = (b"HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n"
          b"X-Cache: MISS from edge\r\nVia: 1.1 e\x7fdge\\1\r\n\r\nok\n")


def serve(address, port, context, before_tls, before_answer, answer=ANSWER):
    import socket, threading

    def one(conn):
        try:
            time.sleep(before_tls)
            if context:
                conn = context.wrap_socket(conn, server_side=True)
            conn.recv(4096)
            time.sleep(before_answer)
            conn.sendall(answer)
            conn.close()
        except OSError:
            pass
    listener = socket.create_server((address, port))
    def loop():
        while True:
            threading.Thread(target=one, args=(listener.accept()[0],), daemon=True).start()
    threading.Thread(target=loop, daemon=True).start()


def timing_peers(work):
    import ssl, socket
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(os.path.join(work, "valid.crt"), os.path.join(work, "valid.key"))
    plain = ANSWER.replace(b"X-Cache: MISS from edge\r\n", b"")
    serve(SLOW_BYTE, 80, None, 0, DELAY)
    serve(SLOW_BYTE, 443, context, 0, DELAY)
    serve(SLOW_TLS, 80, None, 0, 0, plain)
    serve(SLOW_TLS, 443, context, DELAY, 0, plain)
    mute = [socket.create_server((MUTE, port)) for port in (80, 443)]
    kept = []
    while True:
        for listener in mute:
            listener.settimeout(0.1)
            try:
                kept.append(listener.accept()[0])
            except OSError:
                pass


# A row of the table: scheme, family, address, status, then median/worst of each phase.
ROW = r"{} +{} +(?:{}) +{} +(\S+) +(\S+) +(\S+) +(\S+) +(\S+)\r\n"
CELL = r"(\d+\.\d|-)/(\d+\.\d|-)"
HEADING = "网站访问耗时：{}，每个地址各请求3次，单位ms，中位数/最差\r\n"


def median(cell):
    value = cell.split("/")[0]
    return -1 if value == "-" else float(value)


def timing_case(text, domain, rows, notes, headers, findings):
    """rows: (scheme, family, address, status, phase that is slow or None, failure line's pattern)"""
    problems = []
    if not text.startswith(HEADING.format(domain)):
        problems.append("heading")
    for scheme, family, address, status, slow, failure in rows:
        match = re.search(ROW.format(scheme, family, re.escape(address), status), text)
        if not match or not all(re.fullmatch(CELL, cell) for cell in match.groups()):
            problems.append(f"row {scheme} {family}")
            continue
        phases = dict(zip(["dns", "connect", "tls", "first", "total"], map(median, match.groups())))
        for phase in ("connect", "tls", "first"):
            fast = phases[phase] < DELAY * 1000 / 2
            if slow == phase and (fast or phases["total"] < DELAY * 1000) or slow != phase and not fast:
                problems.append(f"{scheme} {family} {phase} {phases[phase]} ms")
        if failure and not re.fullmatch(failure, text[match.end():].split("\r\n")[0]):
            problems.append(f"failure line of {scheme} {family}")
    problems += [f"line {line!r}" for line in notes + headers if line + "\r\n" not in text]
    said = text.rsplit("findings:", 1)[-1].split()
    if sorted(said) != sorted(findings):
        problems.append(f"findings {said}")
    return problems


# WinINet tells a refused connection from none only as "cannot connect".
REFUSED_LINE = " +3次中3次失败：(连接被拒绝|无法建立连接)"


TIMING_CASES = [
    ("slowbyte.test", [("http", "IPv4", SLOW_BYTE, 200, "first", ""),
                       ("https", "IPv4", SLOW_BYTE, 200, "first", "")],
     ["IPv6：该域名没有IPv6地址"],
     ["  http IPv4 X-Cache: MISS from edge", "  http IPv4 Via: 1.1 e\\x7Fdge\\\\1"],
     ["site-slow-server", "cdn-miss"]),
    ("slowtls.test", [("http", "IPv4", SLOW_TLS, 200, None, ""),
                      ("https", "IPv4", SLOW_TLS, 200, "tls", "")],
     ["IPv6：该域名没有IPv6地址"], ["  https IPv4 Via: 1.1 e\\x7Fdge\\\\1"], ["site-slow-tls"]),
    ("half6.test", [("http", "IPv4", "127.0.0.1", 200, None, ""),
                    ("http", "IPv6", REFUSED6, "-", None, REFUSED_LINE),
                    ("https", "IPv6", REFUSED6, "-", None, REFUSED_LINE)],
     [], [], ["ipv6-broken-only"]),
]


def timing(command):
    failures = []
    for domain, rows, notes, headers, findings in TIMING_CASES:
        ok, text, took = run(command, "timing", domain)
        problems = timing_case(text, domain, rows, notes, headers, findings)
        report(failures, f"timing {domain} ({took:.1f} s)", ok, 1, text, "; ".join(problems), not problems)
    ok, text, took = run(command, "timing", "mute.test")
    report(failures, f"timing mute.test silent ({took:.1f} s, limit 21 s)", ok, 0, text, "连接超时",
           took < 21 and "3次中3次失败" in text)
    return failures


def main():
    global NOW
    mode, work = sys.argv[1], sys.argv[2]
    stamp = os.path.join(work, "issued-at")
    if mode == "timing-peers":
        return timing_peers(work)
    if mode == "setup":
        with open(stamp, "w") as out:
            out.write(NOW.isoformat())
        return setup(work)
    with open(stamp) as source:
        NOW = datetime.datetime.fromisoformat(source.read())
    command = sys.argv[sys.argv.index("--") + 1:]
    windows = command[-1].lower().endswith(".exe")
    modes = {"check": lambda: check(command, windows), "silent": lambda: silent(command),
             "timing": lambda: timing(command)}
    failures = modes[mode]()
    print(f"{len(failures)} failed" if failures else "all passed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
