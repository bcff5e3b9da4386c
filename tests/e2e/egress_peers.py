"""Peers of the egress and environment checks, inside the test's namespace.

  egress_peers.py dns WORK      DNS servers on the public resolvers' addresses (port 53)
  egress_peers.py http WORK     the address page, the address services and the site

The DNS peer answers by the table below; the HTTP peers serve what the files in WORK
say at the moment of each request, so the cases change them without restarting.
"""
import datetime
import http.server
import os
import socket
import socketserver
import struct
import sys
import threading

RESOLVERS = ["223.5.5.5", "119.29.29.29", "114.114.114.114", "8.8.8.8", "208.67.222.222"]
SITE = "93.184.216.34"
OTHER = "93.184.216.99"
# (resolver, domain) -> addresses; "*" for any resolver. Subdomains (www.) answer alike.
TABLE = {
    ("208.67.222.222", "myip.opendns.com"): ["198.51.100.7"],
    ("*", "alike.test"): [SITE],
    ("*", "fakeip.test"): [SITE],
    ("*", "nx.test"): [SITE],
    ("*", "differ.test"): [SITE],
    ("8.8.8.8", "differ.test"): [OTHER],
}


def lookup(server, name):
    name = name.lower().rstrip(".")
    for domain in sorted({d for _, d in TABLE}, key=len, reverse=True):
        if name == domain or name.endswith("." + domain):
            return TABLE.get((server, domain), TABLE.get(("*", domain)))
    return None


def question_end(message):
    at = 12
    while message[at]:
        at += message[at] + 1
    return at + 5


def labels(message):
    parts, at = [], 12
    while message[at]:
        parts.append(message[at + 1:at + 1 + message[at]].decode())
        at += message[at] + 1
    return ".".join(parts)


def answer(server, message):
    end = question_end(message)
    qtype = struct.unpack(">H", message[end - 4:end - 2])[0]
    found = lookup(server, labels(message))
    records = [] if found is None or qtype != 1 else found
    flags = 0x8180 if found is not None else 0x8183
    head = message[:2] + struct.pack(">HHHHH", flags, 1, len(records), 0, 0)
    body = b"".join(b"\xc0\x0c" + struct.pack(">HHIH", 1, 1, 60, 4) + socket.inet_aton(a) for a in records)
    return head + message[12:end] + body


def serve_dns(server):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((server, 53))
    while True:
        message, peer = sock.recvfrom(4096)
        try:
            sock.sendto(answer(server, message), peer)
        except (IndexError, UnicodeDecodeError, struct.error):
            pass


class Handler(http.server.BaseHTTPRequestHandler):
    work = "."

    def do_GET(self):
        host = self.server.server_address[0]
        path = os.path.join(self.work, "body-" + host)
        body = open(path, "rb").read() if os.path.exists(path) else b"<html>site</html>\n"
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def date_time_string(self, timestamp=None):
        # The site's clock runs by the offset its file names, to show a skewed local clock.
        path = os.path.join(self.work, "clock-offset")
        offset = int(open(path).read()) if os.path.exists(path) else 0
        now = datetime.datetime.now(datetime.timezone.utc) + datetime.timedelta(seconds=offset)
        return now.strftime("%a, %d %b %Y %H:%M:%S GMT")

    def log_message(self, *args):
        pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class Server6(Server):
    address_family = socket.AF_INET6


def serve_http(address):
    (Server6 if ":" in address else Server)((address, 80), Handler).serve_forever()


def main():
    mode, work = sys.argv[1], sys.argv[2]
    Handler.work = work
    if mode == "dns":
        targets, run = RESOLVERS, serve_dns
    else:
        targets = ["127.0.0.10", "127.0.0.11", "127.0.0.12", "127.0.0.13", "2001:db8:e::6", SITE]
        run = serve_http
    threads = [threading.Thread(target=run, args=(t,), daemon=True) for t in targets]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()


if __name__ == "__main__":
    main()
